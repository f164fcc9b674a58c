#pragma once

#include <QString>
#include <QStringList>

#include "table/tablefile.h"

// Table files on disk: written whole or not at all, readable by their owner only.
namespace orvel {

// A table of every object is under 100 KB; a larger file is no table and is not read.
constexpr qint64 kMaxTableFileBytes = 1024 * 1024;

// Why a table was not saved; the words are the table's fault or the system's text.
enum class SaveFailure {
    NotATable,   // the table cannot be written as a table file (tableProblem)
    NotWritten,  // the file could not be written
};

// Why a table file could not be read at all; the words are the system's text, or what is
// there instead of a regular file (a FIFO, a device, a folder: none of them is opened).
enum class LoadFailure {
    NotRead,
    TooLarge,  // over kMaxTableFileBytes; no words
};

// A file read: its table, or the lines rejected.
using LoadResult = Outcome<ParseResult, LoadFailure>;

// Replaces `path` only once the whole table is written and synced (writeWhole): a failure,
// a full disk among them, leaves the old file as it was. The file gets mode 0600; only a
// regular file of the user's is replaced.
Done<SaveFailure> saveTable(const QString &path, const Table &table);

LoadResult loadTable(const QString &path);

// The first `count` rejected lines of a file, one text each, to show the operator.
QStringList firstRejections(const ParseResult &parsed, int count = 10);

}  // namespace orvel

#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "table/tablefile.h"

// Table files on disk: written whole or not at all, readable by their owner only.
namespace orvel {

// A table of every object is under 100 KB; a larger file is no table and is not read.
constexpr qint64 kMaxTableFileBytes = 1024 * 1024;

struct SaveResult {
    QString error;  // the file and why it could not be saved; empty when saved
    bool ok() const { return error.isEmpty(); }
};

struct LoadResult {
    std::optional<Table> table;
    QString error;                    // the file could not be read at all
    std::vector<Rejection> rejected;  // it was read, and these lines were rejected
    qsizetype rejectedLines = 0;
};

// Replaces `path` only once the whole table is written (QSaveFile): a failure leaves the
// old file as it was. The file gets mode 0600.
SaveResult saveTable(const QString &path, const Table &table);

LoadResult loadTable(const QString &path);

// The first `count` rejected lines of a load, one text each, to show the operator.
QStringList firstRejections(const LoadResult &loaded, int count = 10);

}  // namespace orvel

#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>
#include <vector>

#include "outcome/outcome.h"
#include "table/table.h"

// The table file: plain text, one "object,value" line per object read, under a header
// saying what, when and from where (docs/table-format.md). Whatever the reader accepts,
// the writer writes back byte for byte.
namespace orvel {

struct Rejection {
    qsizetype line;  // 1 for the first line; one past the last when the file ends too early
    QString text;    // "line 7: object 8176 is a settings cell, ..."
};

struct ParseResult {
    std::optional<Table> table;       // only when no line was rejected
    std::vector<Rejection> rejected;  // the first kMaxListedRejections, in line order
    qsizetype rejectedLines = 0;      // all of them
};

// A file of garbage names at most this many of its lines; the count says how many more.
constexpr qsizetype kMaxListedRejections = 100;

// What keeps a table, or a field of a table file, from being one; the words say it
// ("the table has no read time").
enum class TableFault {
    NoReadTime,
    BadPort,
    BadProfile,
    BadNumber,
    NotAnObject,
    NotASettingsCell,
};

// Whether `table` can be written as a table file.
Done<TableFault> tableProblem(const Table &table);

// The file for `table`; only for a table without a problem. The read time is written
// in UTC to the second.
QByteArray toBytes(const Table &table);

ParseResult parseTable(QByteArrayView file);

}  // namespace orvel

// The table file reader and writer, both ways round:
//  - any bytes: a file the reader accepts is written back to the same bytes; a file it
//    refuses has its faults named in line order, each "line N: ...", N within the file;
//  - the same bytes taken as a recipe for a table: every table the writer may write, the
//    reader takes back unchanged.
#include <QByteArrayView>
#include <cstdint>
#include <cstring>

#include "table/tablefile.h"

namespace {

using namespace orvel;

void check(bool ok) {
    if (!ok) __builtin_trap();
}

void checkFile(QByteArrayView file) {
    const ParseResult result = parseTable(file);
    if (result.table) {
        check(result.rejected.empty() && result.rejectedLines == 0);
        check(tableProblem(*result.table).ok());
        check(toBytes(*result.table) == file);
        return;
    }
    check(!result.rejected.empty());
    check(qsizetype(result.rejected.size()) ==
          std::min(result.rejectedLines, kMaxListedRejections));
    const qsizetype lines = file.count('\n') + 1;
    qsizetype previous = 0;
    for (const Rejection &rejection : result.rejected) {
        check(rejection.line > previous && rejection.line <= lines + 1);
        check(rejection.text.startsWith(QStringLiteral("line %1: ").arg(rejection.line)));
        previous = rejection.line;
    }
}

// 4 bytes of seconds, a port of as many bytes as the next one says, then cells of 3
// bytes: a 16-bit cell number (0 to 8199, so some lie outside every range) and its value.
Table recipe(QByteArrayView data) {
    Table table;
    std::uint32_t seconds = 0;
    if (data.size() < 5) return table;
    std::memcpy(&seconds, data.data(), 4);
    table.readAt = QDateTime::fromSecsSinceEpoch(qint64(seconds), Qt::UTC);
    const qsizetype portBytes = std::min<qsizetype>(std::uint8_t(data[4]), data.size() - 5);
    table.port = QString::fromUtf8(data.sliced(5, portBytes));
    for (qsizetype at = 5 + portBytes; at + 3 <= data.size(); at += 3) {
        const int cell = (std::uint8_t(data[at]) << 8 | std::uint8_t(data[at + 1])) % 8200;
        const auto value = std::uint8_t(data[at + 2]);
        (cell >= objects::kFirstSetting && cell <= objects::kLastSetting ? table.settings
                                                                 : table.objects)[cell] = value;
    }
    return table;
}

void checkTable(const Table &table) {
    const auto writable = tableProblem(table);
    const auto &cells = table.objects;
    if (!cells.empty() && (cells.begin()->first < objects::kFirst ||
                           cells.rbegin()->first > objects::kLast))
        check(!writable);  // a cell outside the objects
    if (!writable) return;
    const ParseResult back = parseTable(toBytes(table));
    check(back.table.has_value() && *back.table == table);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size) {
    const QByteArrayView bytes(data, qsizetype(size));
    checkFile(bytes);
    checkTable(recipe(bytes));
    return 0;
}

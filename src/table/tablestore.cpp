#include "table/tablestore.h"

#include "files/regularfile.h"

namespace orvel {

Done<SaveFailure> saveTable(const QString &path, const Table &table) {
    if (const auto checked = tableProblem(table); !checked)
        return Failure<SaveFailure>{SaveFailure::NotATable, checked.words()};
    if (const auto written = writeWhole(path, toBytes(table)); !written)
        return Failure<SaveFailure>{SaveFailure::NotWritten, written.words()};
    return {};
}

LoadResult loadTable(const QString &path) {
    // One byte more than the limit tells a file at the limit from a longer one.
    const auto bytes = readRegularFile(path, kMaxTableFileBytes + 1);
    if (!bytes) return Failure<LoadFailure>{LoadFailure::NotRead, bytes.words()};
    if (bytes->size() > kMaxTableFileBytes) return Failure<LoadFailure>{LoadFailure::TooLarge, {}};
    return parseTable(*bytes);
}

QStringList firstRejections(const ParseResult &parsed, int count) {
    QStringList lines;
    for (const Rejection &rejection : parsed.rejected) {
        if (lines.size() == count) break;
        lines.append(rejection.text);
    }
    return lines;
}

}  // namespace orvel

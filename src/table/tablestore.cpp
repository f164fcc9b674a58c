#include "table/tablestore.h"

#include <QFile>
#include <QSaveFile>

namespace orvel {

Done<SaveFailure> saveTable(const QString &path, const Table &table) {
    if (const auto checked = tableProblem(table); !checked)
        return Failure<SaveFailure>{SaveFailure::NotATable, checked.words()};
    const QByteArray bytes = toBytes(table);
    QSaveFile file(path);
    const auto failed = [&] {
        const QString why = file.errorString();
        file.cancelWriting();
        return Failure<SaveFailure>{SaveFailure::NotWritten, why};
    };
    if (!file.open(QIODevice::WriteOnly)) return failed();
    // On the temporary file, so the table is never readable by others, not even for a moment.
    if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) return failed();
    if (file.write(bytes) != bytes.size()) return failed();
    if (!file.commit()) return Failure<SaveFailure>{SaveFailure::NotWritten, file.errorString()};
    return {};
}

LoadResult loadTable(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Failure<LoadFailure>{LoadFailure::NotOpened, file.errorString()};
    // One byte more than the limit tells a file at the limit from a longer one.
    const QByteArray bytes = file.read(kMaxTableFileBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return Failure<LoadFailure>{LoadFailure::NotRead, file.errorString()};
    if (bytes.size() > kMaxTableFileBytes) return Failure<LoadFailure>{LoadFailure::TooLarge, {}};
    return parseTable(bytes);
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

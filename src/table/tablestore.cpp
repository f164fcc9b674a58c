#include "table/tablestore.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace orvel {

SaveResult saveTable(const QString &path, const Table &table) {
    const QString name = QDir::toNativeSeparators(path);
    if (const auto problem = tableProblem(table))
        return {QStringLiteral("%1 was not saved: %2").arg(name, *problem)};
    const QByteArray bytes = toBytes(table);
    QSaveFile file(path);
    const auto failed = [&] {
        const QString why = file.errorString();
        file.cancelWriting();
        return SaveResult{QStringLiteral("%1 could not be saved: %2").arg(name, why)};
    };
    if (!file.open(QIODevice::WriteOnly)) return failed();
    // On the temporary file, so the table is never readable by others, not even for a moment.
    if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) return failed();
    if (file.write(bytes) != bytes.size()) return failed();
    if (!file.commit())
        return {QStringLiteral("%1 could not be saved: %2").arg(name, file.errorString())};
    return {};
}

namespace {

LoadResult unread(const QString &why) {
    LoadResult result;
    result.error = why;
    return result;
}

}  // namespace

LoadResult loadTable(const QString &path) {
    const QString name = QDir::toNativeSeparators(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return unread(QStringLiteral("%1 could not be opened: %2").arg(name, file.errorString()));
    // One byte more than the limit tells a file at the limit from a longer one.
    const QByteArray bytes = file.read(kMaxTableFileBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return unread(QStringLiteral("%1 could not be read: %2").arg(name, file.errorString()));
    if (bytes.size() > kMaxTableFileBytes)
        return unread(QStringLiteral("%1 is larger than any table (%2 KB at most)")
                          .arg(name)
                          .arg(kMaxTableFileBytes / 1024));
    ParseResult parsed = parseTable(bytes);
    return {std::move(parsed.table), {}, std::move(parsed.rejected), parsed.rejectedLines};
}

QStringList firstRejections(const LoadResult &loaded, int count) {
    QStringList lines;
    for (const Rejection &rejection : loaded.rejected) {
        if (lines.size() == count) break;
        lines.append(rejection.text);
    }
    return lines;
}

}  // namespace orvel

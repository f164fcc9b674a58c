#include "table/restoreplan.h"

#include <QDir>

namespace orvel::plan {
namespace {

// A write with its read-back takes 18 bytes on the line where a read takes 8.
constexpr double kWriteToReadTime = 18.0 / 8.0;

}  // namespace

QString objectsText(int count) {
    return count == 1 ? QStringLiteral("1 object") : QStringLiteral("%1 objects").arg(count);
}

// A value that differs from the table's counts only once two reads agree on it.
Job readJob(const Table &table) {
    QList<JobItem> items;
    for (const auto &[object, value] : table.objects) items.append({object, value});
    return *Job::readExpecting(items);
}

Job writeJob(const std::vector<Difference> &differing) {
    QList<JobItem> items;
    for (const Difference &d : differing) items.append({d.object, d.file});
    return *Job::write(items);
}

std::chrono::milliseconds writeTime(Clock readTime, int objectsRead, int toWrite) {
    const double perObject =
        std::chrono::duration<double>(readTime).count() / std::max(1, objectsRead);
    return std::chrono::milliseconds(qint64(perObject * kWriteToReadTime * toWrite * 1000));
}

QString reasonText(FailReason reason) {
    switch (reason) {
        case FailReason::TimedOut:
            return QStringLiteral("no answer in time");
        case FailReason::NoAnswer:
            return QStringLiteral("the device did not answer");
        case FailReason::GaveUp:
            return QStringLiteral("the device gave the command up");
        case FailReason::Mismatch:
            return QStringLiteral("read back a different value");
        case FailReason::InDoubt:
            return QStringLiteral("the line left every value in doubt");
        case FailReason::Differing:
            return QStringLiteral("the device gave differing values");
        case FailReason::Unconfirmed:
            return QStringLiteral("it differed once, and no try was left to read it again");
        case FailReason::None:
            break;
    }
    return QString();
}

Outcome<Table, TableUnfit> usableTable(const QString &path) {
    return usableTable(path, loadTable(path));
}

Outcome<Table, TableUnfit> usableTable(const QString &path, const LoadResult &loaded) {
    const QString name = QDir::toNativeSeparators(path);
    if (!loaded) {
        switch (loaded.why()) {
            case LoadFailure::NotRead:
                return Failure<TableUnfit>{
                    TableUnfit::NotRead,
                    QStringLiteral("%1 could not be read: %2").arg(name, loaded.words())};
            case LoadFailure::TooLarge:
                break;
        }
        return Failure<TableUnfit>{TableUnfit::TooLarge,
                                   QStringLiteral("%1 is larger than any table (%2 KB at most)")
                                       .arg(name)
                                       .arg(kMaxTableFileBytes / 1024)};
    }
    if (!loaded->table) {
        return Failure<TableUnfit>{
            TableUnfit::NotATable,
            QStringLiteral("%1 is not a table file: %2 of its lines %3 rejected.\n\n%4")
                .arg(path)
                .arg(loaded->rejectedLines)
                .arg(loaded->rejectedLines == 1 ? QStringLiteral("is") : QStringLiteral("are"),
                     firstRejections(*loaded).join(u'\n'))};
    }
    if (loaded->table->objects.empty())
        return Failure<TableUnfit>{TableUnfit::Empty,
                                   QStringLiteral("%1 holds no object.").arg(path)};
    return *loaded->table;
}

QString saveProblem(const QString &path, const Failure<SaveFailure> &failure) {
    const QString name = QDir::toNativeSeparators(path);
    return (failure.why == SaveFailure::NotATable ? QStringLiteral("%1 was not saved: %2")
                                                  : QStringLiteral("%1 could not be saved: %2"))
        .arg(name, failure.words);
}

QString comparisonText(int compared, int differing, int total) {
    if (compared == total && differing == 0)
        return QStringLiteral("The device holds the table's values: none of its %1 differs.")
            .arg(objectsText(total));
    if (compared == 0)
        return QStringLiteral("None of the table's %1 was compared.").arg(objectsText(total));
    QString text =
        differing == 0
            ? QStringLiteral("None of the %1 compared differs from the table.")
                  .arg(objectsText(compared))
            : QStringLiteral("%1 of the %2 compared %3 from the table.")
                  .arg(differing)
                  .arg(objectsText(compared))
                  .arg(differing == 1 ? QStringLiteral("differs") : QStringLiteral("differ"));
    if (compared < total)
        text += QStringLiteral(" The other %1 of the table's %2 were not compared.")
                    .arg(total - compared)
                    .arg(total);
    return text;
}

}  // namespace orvel::plan

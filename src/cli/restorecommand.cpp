#include <unistd.h>

#include <QTextStream>
#include <cstdio>

#include "cli/commandline.h"
#include "cli/commands.h"
#include "cli/exitstatus.h"
#include "cli/operation.h"
#include "progress/transferprogress.h"
#include "table/differences.h"
#include "table/restoreplan.h"

namespace orvel::cli {
namespace {

// Asks on the terminal; only a yes writes.
bool operatorAgrees(const QString &question) {
    std::fputs(question.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
    const QString answer = QTextStream(stdin).readLine().trimmed().toLower();
    return answer == u"y" || answer == u"yes";
}

}  // namespace

int runRestore(const QStringList &arguments, Summary &summary) {
    CommandLine line(QStringLiteral("restore"),
                     QStringLiteral("orvel restore TABLE --port P [--dry-run] [--yes] [options]"),
                     QStringLiteral("Reads the table's objects from the device and writes only "
                                    "those that differ, with the table's values, each read "
                                    "back. Asks first on a terminal; elsewhere writes only with "
                                    "--yes."),
                     summary);
    line.parser().addPositionalArgument("TABLE",
                                        "A table file, as orvel read or the window's "
                                        "Save table writes it.");
    line.addDeviceOptions();
    line.parser().addOptions({
        {"dry-run",
         "Reads and prints what would be written and how long it would take; "
         "writes nothing. Exits with 1 when anything would be written."},
        {"yes", "Writes without asking."},
    });
    if (const auto status = line.parse(arguments, 1)) return *status;
    const std::optional<Table> table = tableArgument(line);
    if (!table) return kUsage;

    summary.objects = int(table->objects.size());
    Operation operation(QStringLiteral("restore"), line);
    if (const int status = operation.open()) return status;
    const RunResult read = operation.run(plan::readJob(*table), QStringLiteral("Restore: reading"),
                                         {QStringLiteral("restore-read"), {}});
    const std::vector<Difference> found = differences(*table, read.values);
    operation.summary.differed = int(found.size());
    operation.count(read);
    operation.sayFailed(read.summary);
    Ending ending = operation.ending(read);
    if (ending.portLost || ending.silent || ending.interrupted)
        return operation.finish(exitStatus(ending), QStringLiteral("Nothing was written."));

    if (found.empty())
        return operation.finish(exitStatus(ending),
                                QStringLiteral("The device on %1 already holds the values of the "
                                               "%2 read: nothing to write.")
                                    .arg(operation.port().label)
                                    .arg(plan::objectsText(int(read.summary.values.size()))));
    const QString intent = QStringLiteral(
                             "%1 of the %2 read on %3 %4 from the table; "
                             "writing %5, each read back, takes %6.")
                             .arg(found.size())
                             .arg(plan::objectsText(int(read.values.size())))
                             .arg(operation.port().label)
                             .arg(found.size() == 1 ? QStringLiteral("differs")
                                                    : QStringLiteral("differ"))
                             .arg(found.size() == 1 ? QStringLiteral("it") : QStringLiteral("them"))
                             .arg(approximateText(plan::writeTime(read.summary.elapsed,
                                                               read.summary.done,
                                                               int(found.size()))));
    if (line.isSet("dry-run")) {
        if (!operation.json()) {
            const QByteArray text = differencesText(found);
            std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
        }
        return operation.finish(kDiffer,
                                intent + QStringLiteral(" Nothing was written (--dry-run)."));
    }
    if (!line.isSet("yes")) {
        operation.watchSignals(false);
        if (!::isatty(STDIN_FILENO)) {
            operation.finish(kUsage, intent);
            std::fputs(
                "orvel restore: nothing was written: standard input is not a terminal to "
                "ask on. Give --yes to write without asking, or --dry-run to see what "
                "would be written.\n",
                stderr);
            return kUsage;
        }
        operation.say(intent);
        if (!operatorAgrees(QStringLiteral("Write %1? [y/N] ").arg(plan::objectsText(int(found.size())))))
            return operation.finish(kDiffer, QStringLiteral("Nothing was written."));
        operation.watchSignals(true);
    }

    const RunResult write =
        operation.run(plan::writeJob(found), QStringLiteral("Restore: writing"),
                      {QStringLiteral("restore-verify"), QStringLiteral("restore-write")});
    const JobSummary &s = write.summary;
    operation.sayFailed(s);
    operation.summary.written = s.written;
    operation.summary.verified = s.verified;
    operation.count(write);
    const Ending written = operation.ending(write);
    ending.portLost = written.portLost;
    ending.silent = written.silent;
    ending.interrupted = written.interrupted;
    ending.notDone += written.notDone;
    return operation.finish(exitStatus(ending),
                            QStringLiteral("Restored %1 on %2 in %3 s: %4 "
                                           "differed; written %5, verified %6, failed %7%8.")
                                .arg(line.positionals().at(0), operation.port().label)
                                .arg(operation.summary.seconds, 0, 'f', 1)
                                .arg(plan::objectsText(int(found.size())))
                                .arg(s.written)
                                .arg(s.verified)
                                .arg(operation.summary.failed)
                                .arg(notTriedText(operation.summary.notTried)));
}

}  // namespace orvel::cli

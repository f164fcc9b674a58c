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

// "3 of the 40 read on COM 3 differ from the table; writing them, each read back, takes
// about 2 s."
QString intentText(const Operation &operation, const RunResult &read, int differing) {
    return QStringLiteral("%1 of the %2 read on %3 %4 from the table; writing %5, each read "
                          "back, takes %6.")
        .arg(differing)
        .arg(plan::objectsText(int(read.values.size())))
        .arg(operation.port().label)
        .arg(differing == 1 ? QStringLiteral("differs") : QStringLiteral("differ"))
        .arg(differing == 1 ? QStringLiteral("it") : QStringLiteral("them"))
        .arg(approximateText(
            plan::writeTime(read.summary.elapsed, read.summary.done, differing)));
}

enum class Decision { Write, DryRun, Declined, NobodyToAsk };

// Whether the differences found are to be written: --dry-run never, --yes always, else
// the operator's answer on the terminal (Ctrl+C there ends the program as ever).
Decision decide(const CommandLine &line, Operation &operation, const QString &intent,
                int differing) {
    if (line.isSet("dry-run")) return Decision::DryRun;
    if (line.isSet("yes")) return Decision::Write;
    operation.watchSignals(false);
    if (!::isatty(STDIN_FILENO)) return Decision::NobodyToAsk;
    operation.say(intent);
    if (!operatorAgrees(QStringLiteral("Write %1? [y/N] ").arg(plan::objectsText(differing))))
        return Decision::Declined;
    operation.watchSignals(true);
    return Decision::Write;
}

// Ends the command on a decision not to write.
int endUnwritten(Operation &operation, Decision decision, Ending ending, const QString &intent,
                 const std::vector<Difference> &found) {
    switch (decision) {
        case Decision::DryRun:
            if (!operation.json()) {
                const QByteArray text = differencesText(found);
                std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
            }
            return operation.end(ending,
                                 intent + QStringLiteral(" Nothing was written (--dry-run)."));
        case Decision::NobodyToAsk: {
            ending.unasked = true;
            const int status = operation.end(ending, intent);
            std::fputs(
                "orvel restore: nothing was written: standard input is not a terminal to "
                "ask on. Give --yes to write without asking, or --dry-run to see what "
                "would be written.\n",
                stderr);
            return status;
        }
        case Decision::Declined:
        case Decision::Write:
            break;
    }
    return operation.end(ending, QStringLiteral("Nothing was written."));
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
    if (const auto parsed = line.parse(arguments, 1); !parsed)
        return line.halt(parsed.failure());
    const auto table = tableArgument(line);
    if (!table) return line.halt(table.failure());

    summary.objects = int(table->objects.size());
    Operation operation(QStringLiteral("restore"), line);
    if (const auto opened = operation.open(); !opened) return line.halt(opened.failure());

    // Read: the table's objects as the device holds them.
    const RunResult read = operation.run(plan::readJob(*table), QStringLiteral("Restore: reading"),
                                         {QStringLiteral("restore-read"), {}});
    const std::vector<Difference> found = differences(*table, read.values);
    Ending ending = operation.ended(read);
    ending.differed = int(found.size());
    if (ending.early()) return operation.end(ending, QStringLiteral("Nothing was written."));
    if (found.empty())
        return operation.end(ending,
                             QStringLiteral("The device on %1 already holds the values of the "
                                            "%2 read: nothing to write.")
                                 .arg(operation.port().label)
                                 .arg(plan::objectsText(int(read.summary.values.size()))));

    // Decide: whether the differences are written.
    const QString intent = intentText(operation, read, int(found.size()));
    if (const Decision decision = decide(line, operation, intent, int(found.size()));
        decision != Decision::Write)
        return endUnwritten(operation, decision, ending, intent, found);

    // Write: the differences, each read back.
    ending += operation.ended(
        operation.run(plan::writeJob(found), QStringLiteral("Restore: writing"),
                      {QStringLiteral("restore-verify"), QStringLiteral("restore-write")}));
    return operation.end(ending, QStringLiteral("Restored %1 on %2 in %3 s: %4 differed; %5.")
                                     .arg(line.positionals().at(0), operation.port().label)
                                     .arg(ending.seconds, 0, 'f', 1)
                                     .arg(plan::objectsText(int(found.size())))
                                     .arg(countsText(ending)));
}

}  // namespace orvel::cli

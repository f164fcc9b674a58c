#include <unistd.h>

#include <QTextStream>
#include <cstdio>

#include "cli/commandline.h"
#include "cli/commands.h"
#include "cli/exitstatus.h"
#include "cli/operation.h"
#include "cli/profilechoice.h"
#include "progress/transferprogress.h"
#include "table/differences.h"
#include "table/profileplan.h"
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

// "; 10 kept: the profile marks them read-only or keep"; nothing when none is kept.
QString keptText(int kept) {
    if (kept == 0) return {};
    return QStringLiteral("; %1 kept: the profile marks %2 read-only or keep")
        .arg(kept)
        .arg(kept == 1 ? QStringLiteral("it") : QStringLiteral("them"));
}

// "3 of the 40 read on COM 3 differ from the table; writing them, each read back, takes
// about 2 s." Under a profile keeping some: "13 of the 40 ... differ from the table; 10 kept:
// the profile marks them read-only or keep; writing the other 3, ..."
QString intentText(const Operation &operation, const RunResult &read, int toWrite, int kept) {
    const int differing = toWrite + kept;
    const QString what = kept == 0 ? (toWrite == 1 ? QStringLiteral("it") : QStringLiteral("them"))
                         : toWrite == 1 ? QStringLiteral("the other one")
                                        : QStringLiteral("the other %1").arg(toWrite);
    return QStringLiteral("%1 of the %2 read on %3 %4 from the table%5; writing %6, each read "
                          "back, takes %7.")
        .arg(differing)
        .arg(plan::objectsText(int(read.values.size())))
        .arg(operation.port().label)
        .arg(differing == 1 ? QStringLiteral("differs") : QStringLiteral("differ"))
        .arg(keptText(kept), what)
        .arg(approximateText(plan::writeTime(read.summary.elapsed, read.summary.done, toWrite)));
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

// Ends the command on a decision not to write. `listed`: the differences are on standard
// output already (under a profile, before the decision).
int endUnwritten(Operation &operation, Decision decision, Ending ending, const QString &intent,
                 const std::vector<Difference> &found, bool listed) {
    switch (decision) {
        case Decision::DryRun:
            if (!operation.json() && !listed) {
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
    addProfileOption(line,
                     QStringLiteral("Names the objects by the profile FILE, and lets it protect "
                                    "them: objects it marks read-only or keep are compared and "
                                    "listed as kept, never written; a table holding a value it "
                                    "does not allow is refused before anything is sent. The "
                                    "differences are printed with their names, and whether "
                                    "each is written or kept."));
    if (const auto parsed = line.parse(arguments, 1); !parsed)
        return line.halt(parsed.failure());
    const auto chosen = tableUnderProfile(line);
    if (!chosen) return line.halt(chosen.failure());
    const auto &[table, profile] = *chosen;

    summary.objects = int(table.objects.size());
    Operation operation(QStringLiteral("restore"), line);
    sayMismatch(operation, table, profile);
    // Refused as a table that cannot serve is: before the port is opened.
    if (const std::vector<plan::OutOfRange> refused = plan::outOfRange(table, profile);
        !refused.empty())
        return line.halt(
            {Halt::FileUnfit,
             QStringLiteral("%1 holds %2 the profile %3 does not allow: nothing is sent.\n%4")
                .arg(line.positionals().at(0),
                     refused.size() == 1 ? QStringLiteral("1 value")
                                         : QStringLiteral("%1 values").arg(refused.size()),
                     profile.name(), plan::outOfRangeLines(refused, profile).join(u'\n'))});
    if (const auto opened = operation.open(); !opened) return line.halt(opened.failure());

    // Read: the table's objects as the device holds them.
    const RunResult read = operation.run(plan::readJob(table), QStringLiteral("Restore: reading"),
                                         {QStringLiteral("restore-read"), {}});
    const std::vector<Difference> found = differences(table, read.values);
    // Kept: differing objects the profile marks read-only or keep, compared but never written.
    const plan::RestoreSplit split = plan::splitForRestore(found, profile);
    const int toWrite = int(split.toWrite.size());
    Ending ending = operation.ended(read);
    ending.differed = int(found.size());
    ending.kept = int(split.kept.size());
    if (inUse(profile)) {
        summary.more = namedSummary(found, profile, true);
        summary.more.insert("kept", ending.kept);
    }
    if (ending.early()) return operation.end(ending, QStringLiteral("Nothing was written."));
    if (found.empty())
        return operation.end(ending,
                             QStringLiteral("The device on %1 already holds the values of the "
                                            "%2 read: nothing to write.")
                                 .arg(operation.port().label)
                                 .arg(plan::objectsText(int(read.summary.values.size()))));
    const bool listed = inUse(profile) && !operation.json();
    if (listed) {
        const QByteArray text = namedDifferencesText(found, profile, true);
        std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
        std::fflush(stdout);
    }
    if (toWrite == 0)
        return operation.end(ending,
                             QStringLiteral("The device on %1 holds the values of the %2 read "
                                            "but for %3 kept (read-only or keep in the "
                                            "profile): nothing to write.")
                                 .arg(operation.port().label)
                                 .arg(plan::objectsText(int(read.summary.values.size())))
                                 .arg(ending.kept));

    // Decide: whether the differences are written.
    const QString intent = intentText(operation, read, toWrite, ending.kept);
    if (const Decision decision = decide(line, operation, intent, toWrite);
        decision != Decision::Write)
        return endUnwritten(operation, decision, ending, intent, found, listed);

    // Write: the differences, each read back; never one the profile keeps.
    ending += operation.ended(
        operation.run(plan::writeJob(split.toWrite), QStringLiteral("Restore: writing"),
                      {QStringLiteral("restore-verify"), QStringLiteral("restore-write")}));
    return operation.end(ending, QStringLiteral("Restored %1 on %2 in %3 s: %4 differed; %5%6.")
                                     .arg(line.positionals().at(0), operation.port().label)
                                     .arg(ending.seconds, 0, 'f', 1)
                                     .arg(plan::objectsText(int(found.size())))
                                     .arg(countsText(ending), keptText(ending.kept)));
}

}  // namespace orvel::cli

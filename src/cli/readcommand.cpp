#include <QFileInfo>
#include <QSet>
#include <cstdio>

#include "cli/commandline.h"
#include "cli/commands.h"
#include "cli/exitstatus.h"
#include "cli/operation.h"
#include "cli/profilechoice.h"
#include "files/regularfile.h"
#include "table/restoreplan.h"
#include "table/tablefile.h"
#include "table/tablestore.h"

namespace orvel::cli {
namespace {

// Why -o cannot take the table, found before the device is touched; the words name the
// file or the folder at fault.
enum class OutputFailure { NoFolder, FolderNotWritable, NotAFile, NotWritable };

Done<OutputFailure> usableOutput(const QString &path) {
    const QFileInfo file(path);
    const QFileInfo folder(file.absolutePath());
    if (!folder.isDir()) return Failure<OutputFailure>{OutputFailure::NoFolder, folder.filePath()};
    if (!folder.isWritable())
        return Failure<OutputFailure>{OutputFailure::FolderNotWritable, folder.filePath()};
    // A folder, a FIFO, a device or a link: never opened, and never replaced.
    if (const auto there = replaceable(path); !there)
        return Failure<OutputFailure>{OutputFailure::NotAFile, QStringLiteral("%1: %2").arg(path, there.words())};
    if (file.exists() && !file.isWritable())
        return Failure<OutputFailure>{OutputFailure::NotWritable, path};
    return {};
}

QString outputProblem(const Failure<OutputFailure> &failure) {
    switch (failure.why) {
        case OutputFailure::NoFolder:
            return QStringLiteral("-o: there is no folder %1").arg(failure.words);
        case OutputFailure::FolderNotWritable:
            return QStringLiteral("-o: the folder %1 cannot be written to").arg(failure.words);
        case OutputFailure::NotAFile:
            return QStringLiteral("-o: %1").arg(failure.words);
        case OutputFailure::NotWritable:
            break;
    }
    return QStringLiteral("-o: %1 cannot be written to").arg(failure.words);
}

// Objects that two reads did not confirm are read afresh, in as many rounds at most.
constexpr int kConfirmRounds = 3;

// One round of --confirm: the objects read, then read again with each value of the first
// pass expected, so that a value is kept only when two reads agree on it. A first pass that
// ended early confirms nothing. `readMore` gathers the objects read more than twice.
RunResult confirmRound(Operation &operation, const QList<int> &objects,
                       const JournalNames &names, QSet<int> &readMore) {
    RunResult first = operation.run(*Job::read(objects), QStringLiteral("Reading"), names);
    if (first.ending().early()) {
        first.values.clear();
        first.summary.values.clear();
        return first;
    }
    QList<JobItem> firstValues;
    for (const ObjectResult &read : first.summary.values)
        firstValues.append({read.object, *read.value});
    RunResult both =
        operation.run(*Job::readExpecting(firstValues), QStringLiteral("Confirming"), names);
    for (const QList<ObjectResult> &results : {both.summary.values, both.summary.failed})
        for (const ObjectResult &result : results)
            if (result.tries > 1 || result.doubts > 0) readMore.insert(result.object);
    both.summary.failed = first.summary.failed + both.summary.failed;
    both.summary.doubts += first.summary.doubts;
    both.summary.elapsed += first.summary.elapsed;
    both.seconds += first.seconds;
    if (!both.journalFailure) both.journalFailure = first.journalFailure;
    return both;
}

// The objects of `round` were those `all` had not done: its values join the others, its
// failures replace theirs.
void addRound(RunResult &all, const RunResult &round) {
    all.values.insert(round.values.begin(), round.values.end());
    if (round.lastValueAt.isValid()) all.lastValueAt = round.lastValueAt;
    all.summary.values += round.summary.values;
    all.summary.failed = round.summary.failed;
    all.summary.doubts += round.summary.doubts;
    all.summary.elapsed += round.summary.elapsed;
    all.summary.deviceNotAnswering = round.summary.deviceNotAnswering;
    all.interrupted = round.interrupted;
    all.portLost = round.portLost;
    all.seconds += round.seconds;
    if (!all.journalFailure) all.journalFailure = round.journalFailure;
}

// The cells read once each, or with --confirm in rounds until two reads agree on each.
// `readMore` gathers the objects read more than twice.
RunResult readCells(Operation &operation, const QList<int> &cells, bool confirm,
                    QSet<int> &readMore) {
    const JournalNames names = {QStringLiteral("read"), {}};
    if (!confirm) return operation.run(*Job::read(cells), QStringLiteral("Reading"), names);
    RunResult result;
    result.summary.total = int(cells.size());
    QList<int> pending = cells;
    for (int round = 0; round < kConfirmRounds && !pending.isEmpty(); ++round) {
        if (round > 0) readMore.unite(QSet<int>(pending.begin(), pending.end()));
        const RunResult done = confirmRound(operation, pending, names, readMore);
        addRound(result, done);
        if (done.ending().early()) break;
        pending.clear();
        for (const ObjectResult &failed : done.summary.failed)
            if (failed.tries > 0) pending.append(failed.object);
    }
    return result;
}

Table tableOf(const RunResult &result, const QDateTime &started, const QString &port,
              const Profile &profile) {
    Table table;
    table.profileName = profile.name();
    table.profileVersion = profile.version();
    table.readAt = result.lastValueAt.isValid() ? result.lastValueAt : started;
    table.port = port;
    for (const auto &[cell, value] : result.values)
        (cell <= objects::kLast ? table.objects : table.settings)[cell] = value;
    return table;
}

// Saves the table to -o, or prints it; returns where it went. A table that cannot be saved
// is printed where the operator sees it (the values read are the device's), and marks the
// ending unsaved.
QString deliver(const CommandLine &line, const Operation &operation, const Table &table,
                Ending &ending) {
    const QByteArray bytes = toBytes(table);
    if (!line.isSet("output")) {
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
        return QStringLiteral("standard output");
    }
    const QString where = line.value("output");
    const auto saved = saveTable(where, table);
    if (saved) return where;
    ending.unsaved = true;
    std::fprintf(stderr, "orvel read: %s\n",
                 plan::saveProblem(where, saved.failure()).toLocal8Bit().constData());
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), operation.json() ? stderr : stdout);
    return operation.json() ? QStringLiteral("standard error (not saved)")
                            : QStringLiteral("standard output (not saved)");
}

// What --confirm adds to the closing line.
QString twiceText(bool confirm, const RunResult &result, const QSet<int> &readMore) {
    if (!confirm || result.values.empty()) return {};
    if (readMore.isEmpty()) return QStringLiteral(", each value read twice alike");
    return QStringLiteral(", each value read twice alike (%1 read more often: two reads "
                          "differed or the line left one in doubt)")
        .arg(plan::objectsText(int(readMore.size())));
}

}  // namespace

int runRead(const QStringList &arguments, Summary &summary) {
    CommandLine line(QStringLiteral("read"),
                     QStringLiteral("orvel read --port P (--objects RANGES | --list FILE) "
                                    "[-o TABLE] [options]"),
                     QStringLiteral("Reads objects from the device into a table file, the "
                                    "format of the window's Save table. Cells 8176 to 8191 "
                                    "(the device's settings) may be read too."),
                     summary);
    line.addDeviceOptions();
    line.addObjectOptions();
    line.parser().addOption({{"o", "output"},
                             "Saves the table to TABLE (whole or not at all); without it the "
                             "table goes to standard output. Stopped by Ctrl+C, the objects "
                             "read so far are saved.",
                             "TABLE"});
    line.parser().addOption({"confirm",
                             "Reads every object twice and keeps a value only when two reads "
                             "agree, reading again where they differ: a byte the line replaced "
                             "is then caught, which one read cannot see (the protocol has no "
                             "checksum). Takes about twice as long."});
    addProfileOption(line, QStringLiteral("Saves the table under the profile FILE: its header "
                                          "names the profile and its version, as the window's "
                                          "Save table does under a profile."));
    if (const auto parsed = line.parse(arguments, 0); !parsed)
        return line.halt(parsed.failure());
    const auto cells = line.objects(objects::kFirst, objects::kLastSetting);
    if (!cells) return line.halt(cells.failure());
    if (line.isSet("json") && !line.isSet("output"))
        return line.usageError(QStringLiteral(
            "--json needs -o: the table and the summary cannot both go to standard output"));
    if (line.isSet("output")) {
        if (const Done<OutputFailure> usable = usableOutput(line.value("output")); !usable)
            return line.usageError(outputProblem(usable.failure()));
    }
    const auto profile = chosenProfile(line);
    if (!profile) return line.halt(profile.failure());

    summary.objects = int(cells->size());
    Operation operation(QStringLiteral("read"), line);
    if (const auto opened = operation.open(); !opened) return line.halt(opened.failure());
    const QDateTime started = QDateTime::currentDateTime();
    const bool confirm = line.isSet("confirm");
    QSet<int> readMore;
    const RunResult result = readCells(operation, *cells, confirm, readMore);
    Ending ending = operation.ended(result);
    const Table table = tableOf(result, started, operation.port().label, *profile);
    const QString where = deliver(line, operation, table, ending);
    return operation.end(ending, QStringLiteral("Read %1 of %2 from %3 in %4 s into %5%6.")
                                     .arg(result.values.size())
                                     .arg(plan::objectsText(int(cells->size())))
                                     .arg(operation.port().label)
                                     .arg(ending.seconds, 0, 'f', 1)
                                     .arg(where, twiceText(confirm, result, readMore)));
}

}  // namespace orvel::cli

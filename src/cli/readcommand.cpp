#include <QFileInfo>
#include <cstdio>

#include "cli/commandline.h"
#include "cli/commands.h"
#include "cli/exitstatus.h"
#include "cli/operation.h"
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

}  // namespace

int runRead(const QStringList &arguments) {
    CommandLine line(QStringLiteral("read"),
                     QStringLiteral("orvel read --port P (--objects RANGES | --list FILE) "
                                    "[-o TABLE] [options]"),
                     QStringLiteral("Reads objects from the device into a table file, the "
                                    "format of the window's Save table. Cells 8176 to 8191 "
                                    "(the device's settings) may be read too."));
    line.addDeviceOptions();
    line.addObjectOptions();
    line.parser().addOption({{"o", "output"},
                             "Saves the table to TABLE (whole or not at all); without it the "
                             "table goes to standard output. Stopped by Ctrl+C, the objects "
                             "read so far are saved.",
                             "TABLE"});
    if (const auto status = line.parse(arguments, 0)) return *status;
    const std::optional<QList<int>> cells = line.objects(objects::kFirst, objects::kLastSetting);
    if (!cells) return kUsage;
    if (line.isSet("json") && !line.isSet("output"))
        return line.usageError(QStringLiteral(
            "--json needs -o: the table and the summary cannot both go to standard output"));

    if (line.isSet("output")) {
        if (const Done<OutputFailure> usable = usableOutput(line.value("output")); !usable)
            return line.usageError(outputProblem(usable.failure()));
    }

    Operation operation(QStringLiteral("read"), line);
    if (const int status = operation.open()) return status;
    const QDateTime started = QDateTime::currentDateTime();
    const RunResult result =
        operation.run(*Job::read(*cells), QStringLiteral("Reading"), {QStringLiteral("read"), {}});

    Table table;
    table.readAt = result.lastValueAt.isValid() ? result.lastValueAt : started;
    table.port = operation.port().label;
    for (const auto &[cell, value] : result.values)
        (cell <= objects::kLast ? table.objects : table.settings)[cell] = value;

    Ending ending = operation.ending(result);
    operation.sayFailed(result.summary);
    QString where = QStringLiteral("standard output");
    const QByteArray bytes = toBytes(table);
    if (line.isSet("output")) {
        where = line.value("output");
        if (const auto saved = saveTable(where, table); !saved) {
            // The values read are the device's: they are kept where the operator sees them.
            ending.unsaved = true;
            std::fprintf(stderr, "orvel read: %s\n",
                         plan::saveProblem(where, saved.failure()).toLocal8Bit().constData());
            std::fwrite(bytes.constData(), 1, size_t(bytes.size()),
                        operation.json() ? stderr : stdout);
            where = operation.json() ? QStringLiteral("standard error (not saved)")
                                     : QStringLiteral("standard output (not saved)");
        }
    } else {
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    }
    operation.summary.objects = int(cells->size());
    operation.summary.failed = result.notDone();
    return operation.finish(exitStatus(ending),
                            QStringLiteral("Read %1 of %2 objects from %3 in %4 s into %5.")
                                .arg(result.values.size())
                                .arg(cells->size())
                                .arg(operation.port().label)
                                .arg(operation.summary.seconds, 0, 'f', 1)
                                .arg(where));
}

}  // namespace orvel::cli

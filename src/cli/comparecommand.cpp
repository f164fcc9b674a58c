#include <cstdio>

#include "cli/commandline.h"
#include "cli/commands.h"
#include "cli/exitstatus.h"
#include "cli/operation.h"
#include "table/differences.h"
#include "table/tablestore.h"

namespace orvel::cli {

std::optional<Table> tableArgument(const CommandLine &line) {
    const QString path = line.positionals().at(0);
    const LoadResult loaded = loadTable(path);
    if (!loaded.error.isEmpty()) {
        line.usageError(loaded.error);
        return std::nullopt;
    }
    if (!loaded.table) {
        const QStringList lines = firstRejections(loaded);
        line.usageError(QStringLiteral("%1 is not a table file (%2 of its lines are rejected):\n%3")
                            .arg(path)
                            .arg(loaded.rejectedLines)
                            .arg(lines.join(u'\n')));
        return std::nullopt;
    }
    if (loaded.table->objects.empty()) {
        line.usageError(QStringLiteral("%1 holds no object").arg(path));
        return std::nullopt;
    }
    return loaded.table;
}

int runCompare(const QStringList &arguments) {
    CommandLine line(QStringLiteral("compare"),
                     QStringLiteral("orvel compare TABLE --port P [options]"),
                     QStringLiteral("Reads the table's objects from the device and prints those "
                                    "that differ as lines of object,device,table. Exits with 1 "
                                    "when any differs or could not be read."));
    line.parser().addPositionalArgument("TABLE",
                                        "A table file, as orvel read or the window's "
                                        "Save table writes it.");
    line.addDeviceOptions();
    if (const auto status = line.parse(arguments, 1)) return *status;
    const std::optional<Table> table = tableArgument(line);
    if (!table) return kUsage;

    Operation operation(QStringLiteral("compare"), line);
    if (const int status = operation.open()) return status;
    QList<int> objects;
    for (const auto &entry : table->objects) objects.append(entry.first);
    const RunResult result = operation.run(*Job::read(objects), QStringLiteral("Comparing"),
                                           {QStringLiteral("compare"), {}});

    const std::vector<Difference> found = differences(*table, result.values);
    if (!operation.json()) {
        const QByteArray text = differencesText(found);
        std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    }
    const bool same = found.empty() && result.summary.failed.isEmpty();
    const int status = operation.interruption(result).value_or(same ? kDone : kDiffer);
    operation.sayFailed(result.summary);
    operation.summary.objects = int(objects.size());
    operation.summary.differed = int(found.size());
    operation.summary.failed = int(result.summary.failed.size());
    return operation.finish(status, QStringLiteral("%1 of the %2 objects read on %3 differ from "
                                                   "the table.")
                                        .arg(found.size())
                                        .arg(result.values.size())
                                        .arg(operation.port().label));
}

}  // namespace orvel::cli

#include <cstdio>

#include "cli/commandline.h"
#include "cli/commands.h"
#include "cli/exitstatus.h"
#include "cli/operation.h"
#include "cli/profilechoice.h"
#include "table/differences.h"
#include "table/restoreplan.h"
#include "table/tablestore.h"

namespace orvel::cli {

std::optional<Table> tableArgument(const CommandLine &line) {
    const QString path = line.positionals().at(0);
    const LoadResult loaded = loadTable(path);
    if (const QString problem = plan::tableProblem(path, loaded); !problem.isEmpty()) {
        line.usageError(problem);
        return std::nullopt;
    }
    return loaded->table;
}

int runCompare(const QStringList &arguments, Summary &summary) {
    CommandLine line(QStringLiteral("compare"),
                     QStringLiteral("orvel compare TABLE --port P [options]"),
                     QStringLiteral("Reads the table's objects from the device and prints those "
                                    "that differ as lines of object,device,table; with --profile "
                                    "followed by name,device means,table means. Exits with 1 "
                                    "when any differs or could not be read."),
                     summary);
    line.parser().addPositionalArgument("TABLE",
                                        "A table file, as orvel read or the window's "
                                        "Save table writes it.");
    line.addDeviceOptions();
    addProfileOption(line, QStringLiteral("Names the objects by the profile FILE: each line "
                                          "gets the object's name and what the two values "
                                          "mean; --json lists them."));
    if (const auto status = line.parse(arguments, 1)) return *status;
    const std::optional<Table> table = tableArgument(line);
    if (!table) return kUsage;
    const std::optional<Profile> profile = chosenProfile(line);
    if (!profile) return kUsage;

    summary.objects = int(table->objects.size());
    Operation operation(QStringLiteral("compare"), line);
    sayMismatch(operation, *table, *profile);
    if (const int status = operation.open()) return status;
    const RunResult result = operation.run(plan::readJob(*table), QStringLiteral("Comparing"),
                                           {QStringLiteral("compare"), {}});

    const std::vector<Difference> found = differences(*table, result.values);
    if (inUse(*profile)) summary.more = namedSummary(found, *profile, false);
    if (!operation.json()) {
        const QByteArray text = inUse(*profile) ? namedDifferencesText(found, *profile, false)
                                                : differencesText(found);
        std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    }
    Ending ending = operation.ended(result);
    ending.differed = int(found.size());
    return operation.end(
        ending, QStringLiteral("On %1: ").arg(operation.port().label) +
                    plan::comparisonText(int(result.summary.values.size()), int(found.size()),
                                         int(table->objects.size())));
}

}  // namespace orvel::cli

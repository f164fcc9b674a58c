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

Outcome<TableUnderProfile, Halt> tableUnderProfile(const CommandLine &line) {
    auto table = plan::usableTable(line.positionals().at(0));
    if (!table) return Failure<Halt>{Halt::FileUnfit, table.words()};
    auto profile = chosenProfile(line);
    if (!profile) return profile.failure();
    return TableUnderProfile{std::move(*table), std::move(*profile)};
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
    if (const auto parsed = line.parse(arguments, 1); !parsed)
        return line.halt(parsed.failure());
    const auto chosen = tableUnderProfile(line);
    if (!chosen) return line.halt(chosen.failure());
    const auto &[table, profile] = *chosen;

    summary.objects = int(table.objects.size());
    Operation operation(QStringLiteral("compare"), line);
    sayMismatch(operation, table, profile);
    if (const auto opened = operation.open(); !opened) return line.halt(opened.failure());
    const RunResult result = operation.run(plan::readJob(table), QStringLiteral("Comparing"),
                                           {QStringLiteral("compare"), {}});

    const std::vector<Difference> found = differences(table, result.values);
    if (inUse(profile)) summary.more = namedSummary(found, profile, false);
    if (!operation.json()) {
        const QByteArray text = inUse(profile) ? namedDifferencesText(found, profile, false)
                                                : differencesText(found);
        std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    }
    Ending ending = operation.ended(result);
    ending.differed = int(found.size());
    return operation.end(
        ending, QStringLiteral("On %1: ").arg(operation.port().label) +
                    plan::comparisonText(int(result.summary.values.size()), int(found.size()),
                                         int(table.objects.size())));
}

}  // namespace orvel::cli

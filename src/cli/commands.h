#pragma once

#include <QStringList>

#include "cli/exitstatus.h"
#include "cli/summary.h"
#include "outcome/outcome.h"
#include "profile/profile.h"
#include "table/table.h"

// The subcommands of `orvel`; each takes its arguments from its own name on and returns
// the exit status, with what --json is to print in `summary`.
namespace orvel::cli {

class CommandLine;

int runPorts(const QStringList &arguments, Summary &summary);
int runRead(const QStringList &arguments, Summary &summary);
int runWrite(const QStringList &arguments, Summary &summary);
int runCompare(const QStringList &arguments, Summary &summary);
int runRestore(const QStringList &arguments, Summary &summary);
int runStation(const QStringList &arguments, Summary &summary);
int runLedger(const QStringList &arguments, Summary &summary);
int runProfile(const QStringList &arguments, Summary &summary);

// The table file named by the command's one positional argument, and the profile --profile
// names (a default one, naming nothing, without the option).
struct TableUnderProfile {
    Table table;
    Profile profile;
};
Outcome<TableUnderProfile, Halt> tableUnderProfile(const CommandLine &line);

}  // namespace orvel::cli

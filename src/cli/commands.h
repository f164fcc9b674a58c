#pragma once

#include <QStringList>
#include <optional>

#include "table/table.h"

// The subcommands of `orvel`; each takes its arguments from its own name on and returns
// the exit status.
namespace orvel::cli {

class CommandLine;

int runPorts(const QStringList &arguments);
int runRead(const QStringList &arguments);
int runWrite(const QStringList &arguments);
int runCompare(const QStringList &arguments);
int runRestore(const QStringList &arguments);
int runProfile(const QStringList &arguments);

// The table file named by the command's one positional argument; nothing after saying why
// it cannot be used.
std::optional<Table> tableArgument(const CommandLine &line);

}  // namespace orvel::cli

#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <vector>

#include "cli/exitstatus.h"
#include "outcome/outcome.h"
#include "profile/profile.h"
#include "table/differences.h"
#include "table/table.h"

// --profile FILE for compare, restore, write and read: the profile that names the objects
// (docs/profile-format.md), and what it adds to the command's output. Without the option a
// command is as before, byte for byte.
namespace orvel::cli {

class CommandLine;
class Operation;

// --profile, with what it does for this command.
void addProfileOption(CommandLine &line, const QString &description);

// The profile --profile names, or a default Profile, naming nothing, without the option;
// a profile that cannot serve is a file unfit, halted on before the device is touched.
Outcome<Profile, Halt> chosenProfile(const CommandLine &line);

inline bool inUse(const Profile &profile) { return !profile.name().isEmpty(); }

// The differences as CSV with the profile's columns after object,device,table: the name
// and what the device's and the table's values mean; with `restoreColumn` one more, "write"
// or "kept" (never written: the profile marks it read-only or keep). A field holding a comma,
// a quote or a line break is quoted as RFC 4180 asks.
QByteArray namedDifferencesText(const std::vector<Difference> &list, const Profile &profile,
                                bool restoreColumn);

// What --json adds under a profile: the profile, and each difference with its name and
// meanings ("kept" with `restoreColumn`).
QJsonObject namedSummary(const std::vector<Difference> &list, const Profile &profile,
                         bool restoreColumn);

// Says, before the run starts, that the table was saved under another profile or another
// version of it (or under one while none is given). The command goes on: the profile given
// decides what is named, kept and refused.
void sayMismatch(const Operation &operation, const Table &table, const Profile &profile);

// Why `value` may not be written into each of `objects` under the profile: the objects it
// marks read-only or keep, and values it does not allow, one line each, the first ten (and
// how many more). Empty when every write may go.
QStringList writeRefusals(const QList<int> &objects, quint8 value, const Profile &profile);

}  // namespace orvel::cli

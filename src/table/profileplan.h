#pragma once

#include <QString>
#include <QStringList>
#include <vector>

#include "profile/profile.h"
#include "table/differences.h"
#include "table/table.h"

// What a profile changes in Compare and Restore: the names shown beside the numbers, the
// objects a table never writes, and the table values refused before anything is sent. A
// default Profile (none chosen) names nothing, protects nothing and allows every value.
namespace orvel::plan {

// A table value the profile does not allow its object.
struct OutOfRange {
    int object;
    quint8 value;

    bool operator==(const OutOfRange &) const = default;
};

// The values of `table` that Restore would write and the profile does not allow, in object
// order. Objects the profile protects are not written, so their values are not refused.
std::vector<OutOfRange> outOfRange(const Table &table, const Profile &profile);

// "object 103 (Door 3 enabled): 7 is not one of 0=off;1=on", the first `count`.
QStringList outOfRangeLines(const std::vector<OutOfRange> &refused, const Profile &profile,
                            int count = 10);

// The differences Restore writes and those it keeps (the profile marks them read-only or
// keep: compared and listed, never written). Both in object order.
struct RestoreSplit {
    std::vector<Difference> toWrite;
    std::vector<Difference> kept;
};
RestoreSplit splitForRestore(const std::vector<Difference> &differing, const Profile &profile);

// The columns a profile adds after object, device and table: the object's name and what
// each of the two values means (empty where the profile says nothing).
QStringList namedColumns(const Difference &difference, const Profile &profile);

// Whether a table saved under a profile may be compared under `profile` without a word:
// the same name and version, or the table names none. Otherwise the words that say so.
QString profileMismatch(const Table &table, const Profile &profile);

}  // namespace orvel::plan

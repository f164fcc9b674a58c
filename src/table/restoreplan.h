#pragma once

#include <QString>
#include <chrono>
#include <map>
#include <vector>

#include "device/job.h"
#include "device/jobresult.h"
#include "table/differences.h"
#include "table/table.h"
#include "table/tablestore.h"

// Compare and Restore as the window and the command share them: a table read from the
// device, the objects that differ, the writes that make the device hold the table, and
// the words for what happened, and for a table file that cannot serve or be saved.
namespace orvel::plan {

// Every object the table holds, read from the device.
Job readJob(const Table &table);
// The differing objects, each written with the table's value (and read back).
Job writeJob(const std::vector<Difference> &differing);

// How long writing `toWrite` objects takes, each read back, on the pace of a read that did
// `objectsRead` objects in `readTime`.
std::chrono::milliseconds writeTime(Clock readTime, int objectsRead, int toWrite);

// "1 object", "2 objects".
QString objectsText(int count);

// Why an object was not done, in a few words.
QString reasonText(FailReason reason);

enum class TableUnfit {
    NotRead,    // the file could not be read
    TooLarge,   // larger than any table
    NotATable,  // some of its lines are not a table's
    Empty,      // it holds no object
};

// The table at `path`, ready for use: read, without a rejected line, and holding an object.
// The words of a failure name the file and why it cannot serve, with the first ten
// rejected lines quoted.
Outcome<Table, TableUnfit> usableTable(const QString &path);
// The same, for the file at `path` loaded already.
Outcome<Table, TableUnfit> usableTable(const QString &path, const LoadResult &loaded);

// Why the table was not saved to `path`.
QString saveProblem(const QString &path, const Failure<SaveFailure> &failure);

// The end of a comparison of `total` objects, of which `compared` were read and
// `differing` differ. It says the device holds the table only when every object was read
// and none differs; otherwise how many were compared and that the rest were not.
QString comparisonText(int compared, int differing, int total);

}  // namespace orvel::plan

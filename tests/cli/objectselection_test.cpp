#include "cli/devicerun.h"
#include "cli/objectselection.h"

#include <gtest/gtest.h>

namespace orvel::cli {
namespace {

TEST(ObjectRanges, TakesRangesAndListsWithinTheLimits) {
    using enum RangeFailure;
    struct Row {
        const char *text;
        int last;
        QList<int> cells;  // empty: refused, for `why`
        RangeFailure why = Empty;
    };
    const Row rows[] = {
        {"1-3,20,30-31", 8175, {1, 2, 3, 20, 30, 31}},
        {" 5 , 2-3 ,3", 8175, {2, 3, 5}},  // ascending, each once
        {"8175", 8175, {8175}},
        {"8176-8177", 8191, {8176, 8177}},  // settings cells, where reading allows them
        {"8176", 8175, {}, OutOfBounds},    // but never for writing
        {"8175-8176", 8175, {}, OutOfBounds}, {"0", 8175, {}, OutOfBounds},
        {"5-2", 8175, {}, Backwards},         {"1-", 8175, {}, NotANumber},
        {"-3", 8175, {}, NotANumber},         {"1,,2", 8175, {}, NotANumber},
        {"+4", 8175, {}, NotANumber},         {"2.5", 8175, {}, NotANumber},
        {"", 8175, {}, Empty},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.text);
        const auto cells = parseObjectRanges(QString::fromLatin1(row.text), 1, row.last);
        EXPECT_EQ(cells.ok(), !row.cells.isEmpty());
        if (cells) {
            EXPECT_EQ(*cells, row.cells);
        } else {
            EXPECT_EQ(cells.why(), row.why);
        }
    }
}

// Objects not done end non-zero though the device answered, the port stayed and nobody
// stopped the run: the one incomplete run the simulator cannot play end to end.
TEST(ExitStatus, ObjectsNotDoneAreNeverDone) {
    for (const int done : {3, 2, 0}) {
        SCOPED_TRACE(done);
        const RunResult run{{QList<ObjectResult>(done), {}, 3}};
        EXPECT_EQ(exitStatus(run.ending()), done == 3 ? kDone : kDiffer);
    }
}

}  // namespace
}  // namespace orvel::cli

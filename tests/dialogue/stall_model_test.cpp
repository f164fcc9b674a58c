// The dialogue engine against the device model over thousands of seeded runs of stalls,
// noise and clicks, in virtual time (support/stallmodel.h has the rules held).
#include "support/stallmodel.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace orvel::test {
namespace {

TEST(StallModel, RecoversFromAnyStallAndWritesOnlyChosenCells) {
    constexpr int kRuns = 10000;
    for (const bool timesOut : {true, false}) {
        StallTally tally;
        int broken = 0;  // the first broken run is named
        for (int seed = 1; seed <= kRuns; ++seed) {
            SeededChoices choices{std::uint64_t(seed)};
            if (const auto rule = runStallModel(choices, timesOut, tally); rule && !broken++)
                ADD_FAILURE() << "seed " << seed << ", time-out " << timesOut << ": " << *rule;
        }
        EXPECT_EQ(broken, 0);
        // The runs met what they are for.
        EXPECT_GT(tally.values, 4u * kRuns);
        EXPECT_GT(tally.completed, std::uint64_t(kRuns));
        EXPECT_GT(tally.noisyValues, 0u);
        EXPECT_GT(tally.doubted, 0u);
        std::printf("%lu values, %lu wrong from noise, %lu doubted, %lu hidden by a true 172\n",
                    tally.values, tally.noisyValues, tally.doubted, tally.hiddenByReady);
        EXPECT_EQ(tally.givenUp > 0, timesOut);
        EXPECT_EQ(tally.lateAnswers > 0, timesOut);
    }
}

}  // namespace
}  // namespace orvel::test

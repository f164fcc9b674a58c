// The dialogue engine and the device client against the device model over thousands of
// seeded runs of stalls, noise, flipped bytes, clicks and jobs, in virtual time
// (support/stallmodel.h and support/clientmodel.h have the rules held); the figures are
// printed.
#include "support/clientmodel.h"

#include <gtest/gtest.h>

#include <iostream>

namespace orvel::test {
namespace {

// Seeds 1 to `runs` against a device that gives a command up after 500 ms and one that
// waits for ever, the figures summed for each; the first broken run is named.
template <class Tally, class Run, class Met>
void holdRules(int runs, Run run, Met met) {
    for (const bool timesOut : {true, false}) {
        Tally tally;
        int broken = 0;
        for (int seed = 1; seed <= runs; ++seed) {
            SeededChoices choices{std::uint64_t(seed)};
            if (const auto rule = run(choices, timesOut, tally); rule && !broken++)
                ADD_FAILURE() << "seed " << seed << ", time-out " << timesOut << ": " << *rule;
        }
        EXPECT_EQ(broken, 0) << "runs broken, time-out " << timesOut;
        met(timesOut, tally);
    }
}

TEST(StallModel, RecoversFromAnyStallAndWritesOnlyChosenCells) {
    constexpr int kRuns = 10000;
    holdRules<StallTally>(kRuns, runStallModel, [](bool timesOut, const StallTally &tally) {
        std::cout << tally.values << " values, " << tally.noisyValues << " wrong from noise, "
                  << tally.doubted << " doubted, " << tally.hiddenByReady
                  << " hidden by a true 172\n";
        // The runs met what they are for.
        EXPECT_GT(tally.values, 4u * kRuns);
        EXPECT_GT(tally.completed, std::uint64_t(kRuns));
        EXPECT_GT(tally.noisyValues, 0u);
        EXPECT_GT(tally.doubted, 0u);
        EXPECT_EQ(tally.givenUp > 0, timesOut);
        EXPECT_EQ(tally.lateAnswers > 0, timesOut);
    });
}

TEST(DeviceClientTest, HoldsItsRulesAgainstTheDeviceModel) {
    holdRules<ClientTally>(5000, runClientModel, [](bool timesOut, const ClientTally &t) {
        std::cout << "client model, device " << (timesOut ? "timing out: " : "waiting: ")
                  << t.stopped << " stopped, " << t.doubts << " reads in doubt, "
                  << t.differences << " differences, " << t.verified << " verified; "
                  << t.flippedValues << " value bytes flipped, " << t.wrongFlipped
                  << " values wrong (all flipped), " << t.lateWrong << " after a late answer\n";
        EXPECT_GT(t.doubts, 100u);
        EXPECT_GT(t.differences, 100u);
        EXPECT_GT(t.verified, 100u);
        EXPECT_GT(t.stopped, 100u);
        EXPECT_GT(t.flippedValues, 10u);
    });
}

}  // namespace
}  // namespace orvel::test

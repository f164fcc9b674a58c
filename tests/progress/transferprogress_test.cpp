// The time left in virtual time: within 10 % of the time that really remained from 5 % of
// the objects on (or within a second, the text's own resolution).
#include "progress/transferprogress.h"

#include <gtest/gtest.h>

#include <functional>

namespace orvel {
namespace {

using namespace std::chrono;
using Time = TransferProgress::Clock::time_point;

constexpr qint64 kObjects = 8175;
constexpr double kRead = 8 * 10 / 1200.0;  // seconds: eight bytes at 1200 bit/s

// The worst error of the time left from object `from` on (by default from 5 % of them on).
double worstError(const std::function<double(qint64)> &secondsFor, qint64 from = kObjects / 20) {
    std::vector<Time> at(kObjects + 1);
    at[0] = Time(hours(1));
    for (qint64 i = 1; i <= kObjects; ++i)
        at[i] = at[i - 1] + duration_cast<nanoseconds>(duration<double>(secondsFor(i)));
    TransferProgress progress;
    progress.start(kObjects, at[0]);
    double worst = 0;
    for (qint64 i = 1; i < kObjects; ++i) {
        progress.objectDone(at[i]);
        const double truth = duration<double>(at[kObjects] - at[i]).count();
        const double left = duration<double>(*progress.timeLeft()).count();
        if (i >= from && std::abs(left - truth) > 1.0)
            worst = std::max(worst, std::abs(left - truth) / truth);
    }
    return worst;
}

TEST(TransferProgress, TimeLeftStaysWithinTenPerCentOfTheTruth) {
    const struct {
        const char *name;
        std::function<double(qint64)> secondsFor;
        qint64 from = kObjects / 20;
    } rows[] = {
        {"jitter of a third", [](qint64 i) { return kRead * (1 + (i * 7919 % 11 - 5) / 15.0); }},
        {"the first object waits for the device's pair",
         [](qint64 i) { return i == 1 ? 0.2 : kRead; }},
        // A device time-out and the object tried again: one object takes 2 s.
        {"one stall", [](qint64 i) { return i == 3000 ? 2.0 : kRead; }},
        {"a stall every 500 objects", [](qint64 i) { return i % 500 == 0 ? 0.6 : kRead; }},
        // Slower for good: followed within 100 objects.
        {"three times slower from object 1000",
         [](qint64 i) { return i > 1000 ? 3 * kRead : kRead; }, 1100},
    };
    for (const auto &row : rows) EXPECT_LT(worstError(row.secondsFor, row.from), 0.10) << row.name;
}

TEST(TransferProgress, PerCentAndTimeLeftAsShown) {
    TransferProgress progress;
    progress.start(3, Time{});
    EXPECT_FALSE(progress.timeLeft());  // nothing to go by yet
    progress.objectDone(Time(seconds(2)));
    EXPECT_EQ(progress.percent(), 33);
    EXPECT_EQ(progress.timeLeft(), milliseconds(4000));
    progress.objectDone(Time(seconds(4)));
    progress.objectDone(Time(seconds(6)));
    EXPECT_EQ(progress.percent(), 100);
    EXPECT_EQ(progress.timeLeft(), milliseconds(0));

    const std::pair<qint64, const char *> texts[] = {
        {-5000, "0:00"}, {499, "0:00"}, {500, "0:01"}, {59499, "0:59"}, {3599499, "59:59"},
        {3723000, "1:02:03"}, {36000000, "10:00:00"},
    };
    for (const auto &[ms, text] : texts) EXPECT_EQ(durationText(milliseconds(ms)), text) << ms;
    const std::pair<qint64, const char *> about[] = {{499, "less than a second"},
        {500, "about 1 second"}, {59499, "about 59 seconds"}, {59500, "about 1:00"}};
    for (const auto &[ms, text] : about) EXPECT_EQ(approximateText(milliseconds(ms)), text) << ms;
}

}  // namespace
}  // namespace orvel

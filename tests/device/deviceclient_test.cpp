#include "device/deviceclient.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "devicesim/devicemodel.h"

namespace orvel {
namespace {

namespace sim = devicesim;
using std::chrono::milliseconds;
using Bytes = std::vector<quint8>;
using State = sim::DeviceModel::State;

Bytes bytes(const QString &text, int base) {
    Bytes out;
    bool ok = false;
    for (const QString &word : text.split(u' ', Qt::SkipEmptyParts))
        if (const uint byte = word.toUInt(&ok, base); ok) out.push_back(quint8(byte));
    return out;
}

// Device bytes in decimal, batch by batch (all but a batch's last byte have more waiting
// behind them), T a time-out, S Stop; our answers in hex; the values reported.
TEST(DeviceClientTest, AnswersOnlyWhatTheDeviceStillWaitsFor) {
    const std::optional<Job> read = Job::read({0x102}), write = Job::write({{0xAA, 1}});
    const std::optional<Job> write3 = Job::write({{3, 1}});
    // clang-format off
    const struct {
        const char *name;
        const std::optional<Job> &job;
        const char *device, *sent, *values;
    } rows[] = {
        {"read one object", read, "172,172,202,202,7", "55 01 02", "7"},
        {"a run ending mid-pair: no command yet", read, "172 172 172", "", ""},
        {"at the value step 172 is the value", read, "172,172,202,202,172", "55 01 02", "172"},
        {"an ack with more behind it is not answered", read, "172,172,202 172 172", "55 55", ""},
        {"an ack of nothing of ours is never answered", read, "202,172,172", "55", ""},
        {"a ready byte crossing our command", read, "172,172,172,202", "55 01", ""},
        {"a lost command goes again after two pairs", read, "172,172,172,172,172,172", "55 55", ""},
        {"a time-out keeps an answer still owed", read, "172,172,T,202", "55 01", ""},
        {"Stop lets an answer still owed come", read, "172,172,S,T,202,202,9", "55 01 02", "9"},
        {"write, then read back", write,
         "172,172,202,202,202,202,172,172,202,202,1", "AA 00 AA 01 55 00 AA", "1"},
        {"a read-back that disagrees: write again", write,
         "172,172,202,202,202,202,172,172,202,202,0,172,172", "AA 00 AA 01 55 00 AA AA", ""},
        {"the device gave up: the object starts again", write3, "172,172,202,202,172,172",
         "AA 00 03 AA", ""},
        // Our low byte 0xAA may have reached the idle device as a write command: two pairs
        // before a command of ours, and its acknowledgement is not ours to answer.
        {"the device gave up before our low byte 0xAA", write,
         "172,172,202,202,172,172,202,172,172", "AA 00 AA AA", ""},
    };
    // clang-format on
    for (const auto &row : rows) {
        DeviceClient client(*row.job, {}, Clock(0));
        Bytes sent, values;
        Clock now{0};
        for (const QString &step : QString::fromLatin1(row.device).split(u',')) {
            if (step == u"T") client.tick(now = *client.nextDeadline());
            if (step == u"S") client.stop(now);
            const Bytes batch = bytes(step, 10);
            for (size_t i = 0; i < batch.size(); ++i)
                if (auto reply = client.receive(batch[i], i + 1 < batch.size(), now))
                    sent.push_back(*reply);
        }
        for (const ObjectResult &r : client.summary().values) values.push_back(*r.value);
        EXPECT_EQ(sent, bytes(row.sent, 16)) << row.name;
        EXPECT_EQ(values, bytes(row.values, 10)) << row.name;
    }
}

TEST(DeviceClientTest, JobsNamingCellsOutsideTheirRangeAreRejected) {
    EXPECT_FALSE(Job::write({{1, 0}, {8176, 1}}) || Job::write({{0, 1}}));
    EXPECT_FALSE(Job::read({8192}) || Job::read({-1}));
    EXPECT_TRUE(Job::write({{1, 0}, {8175, 1}}) && Job::read({0, 8191}));
}

TEST(DeviceClientTest, TimeOutsRunFromTheLastStepForward) {
    DeviceClient silent(*Job::read({1, 2}), {}, Clock(0));
    silent.tick(milliseconds(1999));
    EXPECT_FALSE(silent.finished());
    silent.tick(milliseconds(2000));  // nothing at all from the start: not answering
    EXPECT_TRUE(silent.finished() && silent.summary().deviceNotAnswering);
    EXPECT_EQ(silent.summary().failed.size(), 2);
    DeviceClient slow(*Job::read({1}), {}, Clock(0));
    slow.receive(172, false, milliseconds(1490));
    slow.receive(172, false, milliseconds(1500));  // our command is a step forward
    EXPECT_EQ(slow.nextDeadline(), milliseconds(3500));
}

struct Conditions {
    sim::DeviceConfig device;
    Clock maxStall{0};  // now and then the program holds its input for up to this long
    Clock stopAt = Clock::max();
};

struct Outcome {
    sim::Memory before{}, after{};
    std::set<int> noisy;  // objects whose exchange met noise
    JobSummary summary;
    bool ended = false;
    State deviceAfter = State::Offline;
};

// The client against the device model in virtual time, in one process.
Outcome run(const Job &job, const Conditions &c, std::uint64_t seed) {
    Outcome o;
    o.before = o.after = sim::seededMemory(seed);
    sim::DeviceModel model(o.after, c.device);
    sim::Lcg random(seed * 31 + 7);
    Clock now{0}, stallUntil{0}, stopAt = c.stopAt;
    Bytes pending;
    bool pendingNoise = false;
    model.connect(now);
    DeviceClient client(job, {}, now);
    for (int step = 0; step < 200'000 && !client.finished(); ++step) {
        // A stalled program neither reads nor sees its time-outs until the stall ends.
        Clock next = std::max(*client.nextDeadline(), stallUntil);
        if (auto wakeup = model.nextWakeup()) next = std::min(next, *wakeup);
        if (!pending.empty()) next = std::min(next, std::max(now, stallUntil));
        now = std::max(now, std::min(next, stopAt));
        if (now >= stopAt) {
            client.stop(now);
            stopAt = Clock::max();
        }
        const auto noiseBefore = model.counters().noiseSent;
        const sim::Output out = model.advance(now);
        pending.insert(pending.end(), out.bytes.begin(), out.bytes.end());
        pendingNoise |= model.counters().noiseSent != noiseBefore;
        if (now < stallUntil) continue;
        client.tick(now);  // after a stall the timer may well come first
        for (size_t i = 0; i < pending.size(); ++i) {
            if (auto object = client.currentObject(); object && pendingNoise)
                o.noisy.insert(*object);
            if (auto reply = client.receive(pending[i], i + 1 < pending.size(), now))
                model.receive(*reply, now);
        }
        pending.clear();
        pendingNoise = false;
        if (c.maxStall.count() > 0 && random.nextUnit() < 0.1)
            stallUntil = now + Clock(std::int64_t(random.nextUnit() * double(c.maxStall.count())));
    }
    o.ended = client.finished();
    o.summary = client.summary();
    model.advance(now + milliseconds(50));  // whatever we sent last has arrived
    o.deviceAfter = model.state();
    return o;
}

// Always: the job ends, every object accounted for; memory changed only at chosen cells with
// chosen values, each reported. Unless a device that gives up meets a stalling program (it
// can pass a ready byte for a value): every value reported is the device's, save where noise
// met the exchange. With stalls shorter than the time-out too (a longer one looks like a
// device fallen silent), the device is left idle. Without stalls, noise or silence, every
// object is right at the first try.
void expectSound(const Job &job, const Conditions &c, const Outcome &o, const std::string &what) {
    SCOPED_TRACE(what);
    ASSERT_TRUE(o.ended);
    const JobSummary &s = o.summary;
    const bool exact = c.device.timeout > std::chrono::minutes(1) || c.maxStall.count() == 0;
    const bool calm = exact && c.maxStall < milliseconds(2000);
    const bool clean =
        exact && c.maxStall.count() == 0 && !c.device.silentAfter && c.device.noiseProbability == 0;
    EXPECT_EQ(s.values.size() + s.failed.size(), s.done);
    EXPECT_TRUE(s.stopped || s.done == job.size());
    EXPECT_TRUE(!calm || o.deviceAfter == State::Idle || o.deviceAfter == State::Silent);
    std::map<int, quint8> chosen, reported;
    for (const JobItem &item : job.items()) chosen[item.object] = item.value;
    for (const ObjectResult &r : s.values + s.failed) {
        reported[r.object] = r.value.value_or(0);
        const auto &cells = job.kind() == Job::Kind::Read ? o.before : o.after;
        EXPECT_TRUE(!exact || !r.value || o.noisy.count(r.object) || *r.value == cells[r.object])
            << r.object;
        EXPECT_TRUE(!clean || (r.ok && r.tries == 1)) << r.object;
    }
    for (int cell = 0; cell < int(o.after.size()); ++cell) {
        const bool chosenValue = job.kind() == Job::Kind::Write && chosen.count(cell) &&
                                 chosen[cell] == o.after[cell] && reported.count(cell);
        EXPECT_TRUE(o.after[cell] == o.before[cell] || chosenValue) << cell;
    }
}

sim::DeviceConfig device(Clock byteTime, double noise = 0, Clock timeout = milliseconds(500),
                         std::optional<std::uint64_t> silentAfter = {}) {
    return {.byteTime = byteTime,
            .timeout = timeout,
            .silentAfter = silentAfter,
            .noiseProbability = noise};
}

TEST(DeviceClientTest, ScenariosAgainstTheDeviceModel) {
    const Clock baud1200 = sim::byteTimeForBaud(1200), patient = std::chrono::hours(1);
    QList<int> range = {0, 0x55, 0xAA, 172, 202, 0x1AA, 8175, 8191};
    for (int i = 1; i <= 40; ++i) range.append(i);
    const QList<JobItem> cells = {{1, 1}, {0x55, 0}, {0xAA, 1}, {0x1AA, 0}, {8175, 1}};
    const std::optional<Job> read = Job::read(range), write = Job::write(cells + cells);
    // clang-format off
    const struct {
        const char *name;
        const std::optional<Job> &job;
        Conditions c;
        bool notAnswering;
    } rows[] = {
        {"read a range at 1200 bit/s", read, {device(baud1200)}, false},
        {"write with read-back", write, {device(baud1200)}, false},
        {"noise while reading", read, {device(baud1200, 0.2)}, false},
        {"noise while writing", write, {device(Clock(0), 0.2)}, false},
        {"falls silent mid-run", read, {device(baud1200, 0, patient, 60)}, true},
        {"waits for ever, program stalls", read,
         {device(baud1200, 0, patient), milliseconds(1500)}, false},
        {"stop during a write", write, {device(baud1200), {}, milliseconds(300)}, false},
    };
    // clang-format on
    for (const auto &row : rows) {
        const Outcome o = run(*row.job, row.c, 11);
        expectSound(*row.job, row.c, o, row.name);
        const JobSummary &s = o.summary;
        EXPECT_EQ(s.deviceNotAnswering, row.notAnswering) << row.name;
        EXPECT_TRUE(!row.notAnswering || (!s.values.isEmpty() && !s.failed.isEmpty())) << row.name;
        EXPECT_TRUE(row.c.device.noiseProbability == 0 || !o.noisy.empty()) << row.name;
        EXPECT_EQ(s.stopped, s.done < s.total) << row.name;
    }
}

TEST(DeviceClientTest, RandomJobsDevicesStallsAndStops) {
    constexpr int kRuns = 4000;
    sim::Lcg random(2024);
    auto pick = [&](std::uint64_t n) { return int((random.next() >> 32) % n); };
    const int awkward[] = {1, 0x55, 0xAA, 0x155, 0x1AA, 0x1F55, 8175};
    for (int n = 0; n < kRuns; ++n) {
        const bool write = pick(2), patient = pick(2);
        QList<JobItem> items;
        QList<int> objects;
        for (int count = 1 + pick(10); items.size() < count;) {
            const int object = pick(3) ? 1 + pick(objects::kLast) : awkward[pick(7)];
            if (objects.contains(object)) continue;
            objects.append(object);
            items.append({object, quint8(pick(3) ? pick(2) : pick(256))});
        }
        const Job job = *(write ? Job::write(items) : Job::read(objects));
        Conditions c{device(pick(2) ? sim::byteTimeForBaud(1200) : Clock(0),
                            pick(3) ? 0 : 0.3 * random.nextUnit(),
                            patient ? std::chrono::hours(1) : milliseconds(500))};
        c.device.noiseSeed = random.next();
        if (pick(10) == 0) c.device.silentAfter = pick(120);
        if (pick(3) == 0) c.maxStall = milliseconds(pick(2) ? 1500 : 3000);
        if (pick(3) == 0) c.stopAt = milliseconds(pick(150 * job.size()));
        const Outcome o = run(job, c, random.next());
        expectSound(job, c, o, "run " + std::to_string(n));
        if (HasFailure()) return;
    }
}

}  // namespace
}  // namespace orvel

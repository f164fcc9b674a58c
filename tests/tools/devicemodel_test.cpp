#include "devicesim/devicemodel.h"
#include "devicesim/options.h"
#include "devicesim/units.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

using namespace orvel::devicesim;

namespace {

constexpr int R = 172, A = 202;  // ready, acknowledge

struct Tx {
    long long at;  // microseconds
    int byte;
    bool operator==(const Tx &) const = default;
};
std::ostream &operator<<(std::ostream &os, const Tx &t) { return os << t.at << ":" << t.byte; }

struct Event {
    enum What { Byte, Connect, Disconnect } what;
    long long at;
    std::uint8_t byte = 0;
};
Event C(long long at) { return {Event::Connect, at}; }
Event D(long long at) { return {Event::Disconnect, at}; }
Event H(long long at, std::uint8_t byte) { return {Event::Byte, at, byte}; }  // the host sends

struct Trace {
    std::vector<Tx> sent;
    std::vector<std::string> units;  // arrivals and departures, with their times
    int memoryWrites = 0;
    Counters counters;  // at the end
    std::vector<Flip> flips;
};

const Output &deviceOutput(const Output &out) { return out; }
const Output &deviceOutput(const UnitStep &step) { return step.device; }
void noteUnit(Trace &, const Output &, long long) {}
void noteUnit(Trace &run, const UnitStep &step, long long at) {
    if (!step.event) return;
    const UnitEvent &e = step.event.value();
    const char *how = e.how == Away::Hangup ? "by hang-up" : "by silence";
    const bool here = e.kind == UnitEvent::Arrived;
    run.units.push_back(std::to_string(e.number) + (here ? " here" : std::string(" away ") + how) +
                        " at " + std::to_string(at));
}

// Plays the part of the I/O loop: wakes the model (or the units) exactly when it asks to be
// woken, and feeds the programmer's bytes at their times.
template <class Model>
Trace drive(Model &model, const std::vector<Event> &events, long long until) {
    Trace run;
    auto runUntil = [&](long long t) {
        while (const auto wake = model.nextWakeup()) {
            if (wake->count() > t) break;
            const auto step = model.advance(*wake);
            const Output &out = deviceOutput(step);
            noteUnit(run, step, wake->count());
            for (auto b : out.bytes) run.sent.push_back({wake->count(), b});
            run.memoryWrites += out.memoryWritten ? 1 : 0;
            run.flips.insert(run.flips.end(), out.flips.begin(), out.flips.end());
        }
    };
    for (const Event &e : events) {
        runUntil(e.at);
        switch (e.what) {
        case Event::Byte: model.receive(e.byte, Micros(e.at)); break;
        case Event::Connect: model.connect(Micros(e.at)); break;
        case Event::Disconnect: model.disconnect(); break;
        }
    }
    runUntil(until);
    if constexpr (std::is_same_v<Model, DeviceModel>) run.counters = model.counters();
    return run;
}

// One byte takes 1 ms on the line (none without pacing): round numbers in the tables.
const DeviceConfig kPaced{.byteTime = Micros(1000)};

using S = DeviceModel::State;

TEST(DeviceModel, Exchanges) {
    struct Case {
        const char *name;
        DeviceConfig config;
        int cell;  // the one cell that matters, -1 for none; its value before and after
        std::uint8_t before, after;
        std::vector<Event> events;
        long long until;
        std::vector<Tx> sent;
        std::uint64_t read, written, noise;
        S end;
    };
    // Time-outs, the repeated ready pair, a command cutting it short, a cell holding 172 and a
    // paced write are held by the client and stall model tests, which run this model against
    // the real client; the byte times are those of a read.
    const Case cases[] = {
        {"read, paced byte for byte, its address above 8191 masked", kPaced, 0x1FFF, 0x42, 0x42,
         {C(0), H(2000, 0x55), H(4000, 0x3F), H(6000, 0xFF)}, 10'000,
         {{1000, R}, {2000, R}, {4000, A}, {6000, A}, {8000, 0x42}, {9000, R}, {10'000, R}}, 1, 0,
         0, S::Idle},
        {"idle: bytes arriving together are taken a byte time apart", kPaced, -1, 0, 0,
         {C(0), H(2000, 0x01), H(2000, 0x02), H(2000, 0x03), H(2000, 0x55)}, 7000,
         {{1000, R}, {2000, R}, {7000, A}}, 0, 0, 3, S::ReadHigh},
        {"write: address above 8191 is masked", {}, 5, 0x00, 0x07,
         {C(0), H(0, 0xAA), H(0, 0xE0), H(0, 0x05), H(0, 0x07)}, 0,
         {{0, R}, {0, R}, {0, A}, {0, A}, {0, A}, {0, A}, {0, R}, {0, R}}, 0, 1, 0, S::Idle},
        {"a stuck cell: the write acknowledged, the value kept", {.stuckCell = 5}, 5, 0, 0,
         {C(0), H(0, 0xAA), H(0, 0x00), H(0, 0x05), H(0, 0x07)}, 0,
         {{0, R}, {0, R}, {0, A}, {0, A}, {0, A}, {0, A}, {0, R}, {0, R}}, 0, 0, 0, S::Idle},
        {"a command finishing as the second ready byte goes out does not stop it", kPaced, -1,
         0, 0, {C(0), H(1000, 0x55)}, 3000, {{1000, R}, {2000, R}, {3000, A}}, 0, 0, 0,
         S::ReadHigh},
        {"closing the port drops a read under way; nothing is sent while closed", kPaced, -1,
         0, 0, {C(0), H(2000, 0x55), D(3500), C(10'000), H(12'000, 0x23)}, 13'000,
         {{1000, R}, {2000, R}, {11'000, R}, {12'000, R}}, 0, 0, 1, S::Idle},
    };
    for (const Case &tc : cases) {
        SCOPED_TRACE(tc.name);
        Memory memory{};
        if (tc.cell >= 0) memory[tc.cell] = tc.before;
        DeviceModel model(memory, tc.config);
        const Trace run = drive(model, tc.events, tc.until);
        EXPECT_EQ(run.sent, tc.sent);
        EXPECT_EQ(tc.cell < 0 ? tc.after : memory[tc.cell], tc.after);
        const Counters &n = run.counters;
        EXPECT_EQ(std::tuple(n.bytesSent, n.objectsRead, n.objectsWritten, n.noiseReceived),
                  std::tuple(tc.sent.size(), tc.read, tc.written, tc.noise));
        EXPECT_EQ(run.memoryWrites, int(tc.written));
        EXPECT_EQ(model.state(), tc.end);
    }
    // A line that flips every byte: each goes at its time as another value, the value byte's
    // flip named with its cell; a flip draws each of the 255 other values, 172 and 202 too.
    Memory memory{};
    memory[0x1FFF] = 0x42;
    DeviceModel model(memory, {.byteTime = Micros(1000), .flipProbability = 1.0});
    const Trace run = drive(model, cases[0].events, cases[0].until);
    EXPECT_EQ(run.sent.size(), cases[0].sent.size());
    for (size_t i = 0; i < std::min(run.sent.size(), cases[0].sent.size()); ++i) {
        EXPECT_EQ(run.sent[i].at, cases[0].sent[i].at);
        EXPECT_NE(run.sent[i].byte, cases[0].sent[i].byte);
    }
    EXPECT_EQ(std::tuple(run.counters.flipped, run.counters.flippedValues),
              std::tuple(run.sent.size(), std::uint64_t(1)));
    const auto value = std::find_if(run.flips.begin(), run.flips.end(),
                                    [](const Flip &f) { return f.cell.has_value(); });
    EXPECT_TRUE(value != run.flips.end() && *value->cell == 0x1FFF && value->sent == 0x42 &&
                value->flipped == run.sent[4].byte);
    std::set<int> drawn;
    for (std::uint64_t v = 0; v < 255; ++v) drawn.insert(flippedByteFrom(0x42, v << 32));
    EXPECT_EQ(drawn.size(), 255u);
    EXPECT_FALSE(drawn.count(0x42));
    std::set<int> noise;  // inserted noise is never a ready or an acknowledge byte
    for (std::uint64_t v = 0; v < 254; ++v) noise.insert(noiseByteFrom(v << 32));
    EXPECT_TRUE(noise.size() == 254 && !noise.count(R) && !noise.count(A));
}

// Units on a jig: one byte takes 1 ms, each unit goes 10 ms after the programmer's last byte
// (or its first opening of the port) and the next comes 5 ms later; cell 3 tells them apart.
Unit unit(std::uint8_t cell3, Away away = Away::Silence, DeviceConfig config = kPaced) {
    Unit u{{}, config, away, Micros(10'000)};
    u.memory[3] = cell3;
    return u;
}

TEST(UnitSequence, TakesEachUnitAwayWhenLeftAloneAndBringsTheNext) {
    struct Case {
        const char *name;
        std::vector<Unit> units;
        std::vector<Event> events;
        std::vector<Tx> sent;
        std::vector<std::string> arrivals;
        std::uint8_t cell3Of2;  // unit 2's cell 3 at the end
    };
    DeviceConfig hangsUp = kPaced;
    hangsUp.hangupAfter = 3;
    // clang-format off
    const Case cases[] = {
        {"silence: unit 2 announces itself on the port left open, and takes its own write",
         {unit(0x11), unit(0x22)},
         {C(0), H(2000, 0x55), H(4000, 0), H(6000, 3),
          H(23'000, 0xAA), H(25'000, 0), H(27'000, 3), H(29'000, 0x33)},
         {{1000, R}, {2000, R}, {4000, A}, {6000, A}, {8000, 0x11}, {9000, R}, {10'000, R},
          {22'000, R}, {23'000, R}, {25'000, A}, {27'000, A}, {29'000, A}, {31'000, A},
          {32'000, R}, {33'000, R}},
         {"1 away by silence at 16000", "2 here at 21000", "2 away by silence at 39000"}, 0x33},
        {"hang-up: unit 2 waits for the port to be opened again, its clock from then",
         {unit(0x11, Away::Hangup), unit(0x22)}, {C(0), C(30'000)},
         {{1000, R}, {2000, R}, {31'000, R}, {32'000, R}},
         {"1 away by hang-up at 10000", "2 here at 15000", "2 away by silence at 40000"}, 0x22},
        {"a unit hanging up by its fault goes at once; one never opened stays",
         {unit(0x11, Away::Silence, hangsUp), unit(0x22)}, {C(0), H(2000, 0x55)},
         {{1000, R}, {2000, R}, {4000, A}}, {"1 away by hang-up at 4000", "2 here at 9000"}, 0x22},
    };
    // clang-format on
    for (const Case &tc : cases) {
        SCOPED_TRACE(tc.name);
        UnitSequence units(tc.units, Micros(5000));
        const Trace run = drive(units, tc.events, 100'000);
        EXPECT_EQ(run.sent, tc.sent);
        EXPECT_EQ(run.units, tc.arrivals);
        EXPECT_EQ(std::pair(units.memory(1)[3], units.memory(2)[3]),
                  std::pair(std::uint8_t(0x11), tc.cell3Of2));
    }
}

TEST(UnitSequence, EachUnitHasItsOwnOptions) {
    const ParseResult jig = parseOptions({"--units", "3", "--seed", "7", "--stuck-cell", "5",
                                          "--unit", "2:stuck-cell=6,away=hangup,seed=1"});
    ASSERT_TRUE(jig) << jig.words();
    const std::tuple<std::uint64_t, int, Away> expected[] = {
        {7, 5, Away::Silence}, {1, 6, Away::Hangup}, {9, 5, Away::Silence}};
    for (unsigned number = 1; number <= 3; ++number) {
        SCOPED_TRACE(number);
        const Options own = optionsOfUnit(*jig, number);
        EXPECT_EQ(std::tuple(own.seed, int(own.stuckCell.value_or(-1)), own.away),
                  expected[number - 1]);
    }
    const std::vector<std::string> refused[] = {{"--units", "2", "--unit", "3:seed=1"},
                                                {"--units", "2", "--unit", "1:link=x"},
                                                {"--units", "2", "--memory", "m.bin"},
                                                {"--away", "hangup"}};
    for (const auto &args : refused) EXPECT_FALSE(parseOptions(args)) << args.back();
}

}  // namespace

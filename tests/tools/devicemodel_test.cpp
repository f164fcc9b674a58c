#include "devicesim/devicemodel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <tuple>
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
    int memoryWrites = 0;
    Counters counters;  // at the end
    std::vector<Flip> flips;
};

// Plays the part of the I/O loop: wakes the model exactly when it asks to be woken, and
// feeds the programmer's bytes at their times.
Trace drive(DeviceModel &model, const std::vector<Event> &events, long long until) {
    Trace run;
    auto runUntil = [&](long long t) {
        while (const auto wake = model.nextWakeup()) {
            if (wake->count() > t) break;
            const Output out = model.advance(*wake);
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
    run.counters = model.counters();
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

}  // namespace

#include "devicesim/devicemodel.h"
#include "devicesim/options.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
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
    long long hungUpAt = -1;
    std::vector<std::pair<bool, int>> addressed;  // write?, address as sent
    Counters counters;  // at the end
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
            if (out.hangup) run.hungUpAt = wake->count();
            for (const Addressed &a : out.addressed) run.addressed.push_back({a.write, a.address});
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

// One byte takes 1 ms on the line (0 with `fast`): round numbers in the tables.
DeviceConfig paced(bool fast = false, void (*change)(DeviceConfig &) = nullptr,
                   double noise = 0, std::uint64_t seed = 1) {
    DeviceConfig c;
    c.byteTime = Micros(fast ? 0 : 1000);
    c.noiseProbability = noise;
    c.noiseSeed = seed;
    if (change) change(c);
    return c;
}

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
        long long hungUpAt = -1;
    };
    const Case cases[] = {
        {"read, paced byte for byte", paced(), 0x0123, 0x42, 0x42,
         {C(0), H(2000, 0x55), H(4000, 0x01), H(6000, 0x23)}, 10'000,
         {{1000, R}, {2000, R}, {4000, A}, {6000, A}, {8000, 0x42}, {9000, R}, {10'000, R}}, 1, 0,
         0, S::Idle},
        {"read of a cell holding 172: sent as the value", paced(true), 5, R, R,
         {C(0), H(0, 0x55), H(0, 0x00), H(0, 0x05)}, 0,
         {{0, R}, {0, R}, {0, A}, {0, A}, {0, R}, {0, R}, {0, R}}, 1, 0, 0, S::Idle},
        {"read: address above 8191 is masked", paced(), 0x1FFF, A, A,
         {C(0), H(2000, 0x55), H(4000, 0x3F), H(6000, 0xFF)}, 8000,
         {{1000, R}, {2000, R}, {4000, A}, {6000, A}, {8000, A}}, 1, 0, 0, S::Idle},
        {"idle: bytes arriving together are taken a byte time apart", paced(), -1, 0, 0,
         {C(0), H(2000, 0x01), H(2000, 0x02), H(2000, 0x03), H(2000, 0x55)}, 7000,
         {{1000, R}, {2000, R}, {7000, A}}, 0, 0, 3, S::ReadHigh},
        {"write, paced byte for byte", paced(), 8191, 0x00, 0x01,
         {C(0), H(2000, 0xAA), H(4000, 0x1F), H(6000, 0xFF), H(8000, 0x01)}, 12'000,
         {{1000, R}, {2000, R}, {4000, A}, {6000, A}, {8000, A}, {10'000, A}, {11'000, R},
          {12'000, R}}, 0, 1, 0, S::Idle},
        {"write: address above 8191 is masked", paced(true), 5, 0x00, 0x07,
         {C(0), H(0, 0xAA), H(0, 0xE0), H(0, 0x05), H(0, 0x07)}, 0,
         {{0, R}, {0, R}, {0, A}, {0, A}, {0, A}, {0, A}, {0, R}, {0, R}}, 0, 1, 0, S::Idle},
        {"time-out inside a read: back to idle, next 85 is a new command", paced(), -1, 0, 0,
         {C(0), H(2000, 0x55), H(4000, 0x01), H(508'000, 0x55)}, 510'000,
         {{1000, R}, {2000, R}, {4000, A}, {6000, A}, {507'000, R}, {508'000, R}, {510'000, A}},
         0, 0, 0, S::ReadHigh},
        {"time-out before the value of a write: memory untouched", paced(), 7, 0x44, 0x44,
         {C(0), H(2000, 0xAA), H(4000, 0x00), H(6000, 0x07), H(510'000, 0x33)}, 520'000,
         {{1000, R}, {2000, R}, {4000, A}, {6000, A}, {8000, A}, {509'000, R}, {510'000, R}},
         0, 0, 1, S::Idle},
        {"idle: pair repeated each idle window, stray bytes ignored", paced(), -1, 0, 0,
         {C(0), H(2000, 0x01), H(50'000, 0xCA)}, 206'000,
         {{1000, R}, {2000, R}, {103'000, R}, {104'000, R}, {205'000, R}, {206'000, R}}, 0, 0, 2,
         S::Idle},
        {"a command cuts the ready pair short", paced(), -1, 0, 0, {C(0), H(500, 0x55)}, 3000,
         {{1000, R}, {2500, A}}, 0, 0, 0, S::ReadHigh},
        {"a command finishing as the second ready byte goes out does not stop it", paced(), -1,
         0, 0, {C(0), H(1000, 0x55)}, 3000, {{1000, R}, {2000, R}, {3000, A}}, 0, 0, 0,
         S::ReadHigh},
        {"wrong first byte after the first opening only, then normal",
         paced(false, [](DeviceConfig &c) { c.wrongFirstByte = 7; }), -1, 0, 0,
         {C(0), D(5000), C(10'000)}, 114'000,
         {{1000, 7}, {2000, R}, {11'000, R}, {12'000, R}, {113'000, R}, {114'000, R}}, 0, 0, 0,
         S::Idle},
        {"closing the port drops a read under way; nothing is sent while closed", paced(), -1,
         0, 0, {C(0), H(2000, 0x55), D(3500), C(10'000), H(12'000, 0x23)}, 13'000,
         {{1000, R}, {2000, R}, {11'000, R}, {12'000, R}}, 0, 0, 1, S::Idle},
        {"open delay before the first byte",
         paced(false, [](DeviceConfig &c) { c.openDelay = Micros(10'000); }), -1, 0, 0, {C(0)},
         12'000, {{11'000, R}, {12'000, R}}, 0, 0, 0, S::Idle},
        {"silent after 3 bytes, also after reopening",
         paced(false, [](DeviceConfig &c) { c.silentAfter = 3; }), -1, 0, 0,
         {C(0), H(2000, 0x55), H(4000, 0x01), D(600'000), C(700'000)}, 2'000'000,
         {{1000, R}, {2000, R}, {4000, A}}, 0, 0, 0, S::Silent},
        {"paused after 3 bytes: deaf and mute, then afresh from idle",
         paced(false, [](DeviceConfig &c) { c.pauseAfter = 3; c.pauseLength = Micros(10'000); }),
         -1, 0, 0, {C(0), H(2000, 0x55), H(6000, 0x01), H(20'000, 0x55)}, 22'000,
         {{1000, R}, {2000, R}, {4000, A}, {15'000, R}, {16'000, R}, {22'000, A}}, 0, 0, 0,
         S::ReadHigh},
        {"hang up after 2 bytes", paced(false, [](DeviceConfig &c) { c.hangupAfter = 2; }), -1,
         0, 0, {C(0), H(2000, 0x55)}, 100'000, {{1000, R}, {2000, R}}, 0, 0, 0, S::HungUp, 2000},
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
        EXPECT_EQ(std::pair(model.state(), run.hungUpAt), std::pair(tc.end, tc.hungUpAt));
    }
}

// What the stall model learns from the device: each address as sent (before it is taken
// modulo 8192), and the commands given up for want of an answer (idle windows are none).
TEST(DeviceModel, ReportsAddressesAsSentAndCommandsGivenUp) {
    Memory memory{};
    DeviceModel model(memory, paced());
    const Trace run = drive(model,
                            {C(0), H(2000, 0x55), H(4000, 0x3F), H(6000, 0xFF), H(10'000, 0xAA),
                             H(12'000, 0x00), H(14'000, 0x07)},
                            700'000);
    EXPECT_EQ(run.addressed, (std::vector<std::pair<bool, int>>{{false, 0x3FFF}, {true, 7}}));
    EXPECT_EQ(run.counters.commandsGivenUp, 1u);  // the write's value never came
}

// Left idle for `until` microseconds after connecting at 0, with noise of probability `p`.
std::vector<int> idleBytes(double p, std::uint64_t seed, long long until) {
    Memory memory{};
    DeviceModel model(memory, paced(true, nullptr, p, seed));
    std::vector<int> all;
    for (const Tx &tx : drive(model, {C(0)}, until).sent) all.push_back(tx.byte);
    return all;
}

// Noise is never a protocol byte; its rate follows the probability and the seed alone
// decides it; the seeded memory holds 172 and 202 as data, and most other values.
TEST(DeviceModel, NoiseAndSeededMemory) {
    std::set<int> produced;
    for (std::uint64_t v = 0; v < 254; ++v) produced.insert(noiseByteFrom(v << 32));
    EXPECT_EQ(produced.size(), 254u);
    EXPECT_EQ(produced.count(R) + produced.count(A), 0u);
    const auto a = idleBytes(0.25, 11, 200'000'000);
    const long ready = std::count(a.begin(), a.end(), R), noise = long(a.size()) - ready;
    EXPECT_EQ(ready, 2 * 2001);
    EXPECT_GT(noise, ready * 20 / 100);
    EXPECT_LT(noise, ready * 30 / 100);
    EXPECT_EQ(a, idleBytes(0.25, 11, 200'000'000));
    EXPECT_NE(a, idleBytes(0.25, 12, 200'000'000));
    EXPECT_EQ(idleBytes(0.0, 11, 200'000'000), std::vector<int>(2 * 2001, R));
    for (std::uint64_t seed : {0ULL, 42ULL, ~0ULL}) {
        const Memory m = seededMemory(seed);
        EXPECT_EQ(std::count(m.begin() + 1, m.begin() + 8176, R) > 0, true) << seed;
        EXPECT_EQ(std::count(m.begin() + 1, m.begin() + 8176, A) > 0, true) << seed;
        EXPECT_GE(std::set<int>(m.begin(), m.end()).size(), 250u) << seed;
    }
    EXPECT_NE(seededMemory(42), seededMemory(43));
}

// The pacing the simulator keeps by default, and command lines it must refuse rather
// than run with a wrong setting.
TEST(DeviceSimOptions, DefaultsSettingsAndRefusals) {
    const DeviceConfig c = deviceConfig(parseOptions({}).options);
    EXPECT_EQ(std::tuple(c.byteTime, c.idleWindow, c.timeout),
              std::tuple(Micros(8333), Micros(100'000), Micros(500'000)));  // 1200 baud
    const ParseResult r = parseOptions({"--fast", "--idle-ms=250", "--noise", "0.25",
                                        "--wrong-first-byte", "255", "--silent-after", "0"});
    ASSERT_EQ(r.error, "");
    const DeviceConfig s = deviceConfig(r.options);
    EXPECT_EQ(std::tuple(s.byteTime, s.idleWindow, s.noiseProbability, s.wrongFirstByte,
                         s.silentAfter),
              std::tuple(Micros(0), Micros(250'000), 0.25, std::optional<std::uint8_t>(255),
                         std::optional<std::uint64_t>(0)));
    const std::vector<std::vector<std::string>> refused = {
        {"--noise", "1.5"}, {"--noise", "nan"}, {"--wrong-first-byte", "256"}, {"--baud", "0"},
        {"--idle-ms", "0"}, {"--seed", "12x"}, {"--fast=1"}, {"--bogus", "1"}, {"stray"}};
    for (const auto &args : refused) EXPECT_FALSE(parseOptions(args).error.empty()) << args[0];
}

}  // namespace

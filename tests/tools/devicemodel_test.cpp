#include "devicesim/devicemodel.h"
#include "devicesim/options.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

using namespace orvel::devicesim;

namespace {

struct Tx {
    long long at;  // microseconds
    int byte;
    bool operator==(const Tx &) const = default;
};

std::ostream &operator<<(std::ostream &os, const Tx &t)
{
    return os << "{" << t.at << ", " << t.byte << "}";
}

struct Event {
    enum What { Byte, Connect, Disconnect } what;
    long long at;
    std::uint8_t byte = 0;
};

Event connectAt(long long at) { return {Event::Connect, at}; }
Event disconnectAt(long long at) { return {Event::Disconnect, at}; }
Event hostSends(long long at, std::uint8_t byte) { return {Event::Byte, at, byte}; }

struct Trace {
    std::vector<Tx> sent;
    int memoryWrites = 0;
    long long hungUpAt = -1;
};

// Plays the part of the I/O loop: wakes the model exactly when it asks to be
// woken, and feeds the programmer's bytes at their times.
Trace drive(DeviceModel &model, const std::vector<Event> &events, long long until)
{
    Trace run;
    auto runUntil = [&](long long t) {
        while (const auto wake = model.nextWakeup()) {
            if (wake->count() > t) break;
            const Output out = model.advance(*wake);
            for (auto b : out.bytes) run.sent.push_back({wake->count(), b});
            run.memoryWrites += out.memoryWritten ? 1 : 0;
            if (out.hangup) run.hungUpAt = wake->count();
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
    return run;
}

// One byte takes 1 ms on the line: round numbers in the tables.
DeviceConfig paced()
{
    DeviceConfig c;
    c.byteTime = Micros(1000);
    c.idleWindow = Micros(100'000);
    c.timeout = Micros(500'000);
    return c;
}

DeviceConfig fast()
{
    DeviceConfig c = paced();
    c.byteTime = Micros(0);
    return c;
}

template <typename F>
DeviceConfig with(DeviceConfig c, F change)
{
    change(c);
    return c;
}

struct ExchangeCase {
    std::string name;
    DeviceConfig config;
    std::vector<std::pair<int, std::uint8_t>> cellsBefore;
    std::vector<Event> events;
    long long until;
    std::vector<Tx> expectedSent;
    std::vector<std::pair<int, std::uint8_t>> cellsAfter;
    Counters expected;  // objectsRead, objectsWritten and noiseReceived are compared
    DeviceModel::State finalState;
    long long hungUpAt = -1;
};

Counters counts(std::uint64_t read, std::uint64_t written, std::uint64_t noise)
{
    Counters c;
    c.objectsRead = read;
    c.objectsWritten = written;
    c.noiseReceived = noise;
    return c;
}

using S = DeviceModel::State;

TEST(DeviceModel, Exchanges)
{
    const std::vector<ExchangeCase> cases = {
        {"read, paced byte for byte",
         paced(),
         {{0x0123, 0x42}},
         {connectAt(0), hostSends(2000, 0x55), hostSends(4000, 0x01), hostSends(6000, 0x23)},
         10'000,
         {{1000, 172}, {2000, 172}, {4000, 202}, {6000, 202}, {8000, 0x42}, {9000, 172},
          {10'000, 172}},
         {{0x0123, 0x42}},
         counts(1, 0, 0),
         S::Idle},
        {"read of a cell holding 172: sent as the value",
         fast(),
         {{5, 172}},
         {connectAt(0), hostSends(0, 0x55), hostSends(0, 0x00), hostSends(0, 0x05)},
         0,
         {{0, 172}, {0, 172}, {0, 202}, {0, 202}, {0, 172}, {0, 172}, {0, 172}},
         {{5, 172}},
         counts(1, 0, 0),
         S::Idle},
        {"read: address above 8191 is masked",
         paced(),
         {{0x1FFF, 202}},
         {connectAt(0), hostSends(2000, 0x55), hostSends(4000, 0x3F), hostSends(6000, 0xFF)},
         8000,
         {{1000, 172}, {2000, 172}, {4000, 202}, {6000, 202}, {8000, 202}},
         {},
         counts(1, 0, 0),
         S::Idle},
        {"read: high and low arriving together are taken a byte time apart",
         paced(),
         {{0x0123, 0x42}},
         {connectAt(0), hostSends(2000, 0x55), hostSends(4000, 0x01), hostSends(4000, 0x23)},
         9000,
         {{1000, 172}, {2000, 172}, {4000, 202}, {6000, 202}, {7000, 0x42}, {8000, 172},
          {9000, 172}},
         {},
         counts(1, 0, 0),
         S::Idle},
        {"idle: bytes arriving together are taken a byte time apart",
         paced(),
         {},
         {connectAt(0), hostSends(2000, 0x01), hostSends(2000, 0x02), hostSends(2000, 0x03),
          hostSends(2000, 0x55)},
         7000,
         {{1000, 172}, {2000, 172}, {7000, 202}},
         {},
         counts(0, 0, 3),
         S::ReadHigh},
        {"write, paced byte for byte",
         paced(),
         {{8191, 0x00}},
         {connectAt(0), hostSends(2000, 0xAA), hostSends(4000, 0x1F), hostSends(6000, 0xFF),
          hostSends(8000, 0x01)},
         12'000,
         {{1000, 172}, {2000, 172}, {4000, 202}, {6000, 202}, {8000, 202}, {10'000, 202},
          {11'000, 172}, {12'000, 172}},
         {{8191, 0x01}},
         counts(0, 1, 0),
         S::Idle},
        {"write: address above 8191 is masked",
         fast(),
         {{5, 0x00}},
         {connectAt(0), hostSends(0, 0xAA), hostSends(0, 0xE0), hostSends(0, 0x05),
          hostSends(0, 0x07)},
         0,
         {{0, 172}, {0, 172}, {0, 202}, {0, 202}, {0, 202}, {0, 202}, {0, 172}, {0, 172}},
         {{5, 0x07}},
         counts(0, 1, 0),
         S::Idle},
        {"time-out inside a read: back to idle, next 85 is a new command",
         paced(),
         {{0x0155, 0x11}},
         {connectAt(0), hostSends(2000, 0x55), hostSends(4000, 0x01), hostSends(508'000, 0x55)},
         510'000,
         {{1000, 172}, {2000, 172}, {4000, 202}, {6000, 202}, {507'000, 172}, {508'000, 172},
          {510'000, 202}},
         {},
         counts(0, 0, 0),
         S::ReadHigh},
        {"time-out before the value of a write: memory untouched",
         paced(),
         {{7, 0x44}},
         {connectAt(0), hostSends(2000, 0xAA), hostSends(4000, 0x00), hostSends(6000, 0x07),
          hostSends(510'000, 0x33)},
         520'000,
         {{1000, 172}, {2000, 172}, {4000, 202}, {6000, 202}, {8000, 202}, {509'000, 172},
          {510'000, 172}},
         {{7, 0x44}},
         counts(0, 0, 1),
         S::Idle},
        {"idle: pair repeated each idle window, stray bytes ignored",
         paced(),
         {},
         {connectAt(0), hostSends(2000, 0x01), hostSends(50'000, 0xCA)},
         206'000,
         {{1000, 172}, {2000, 172}, {103'000, 172}, {104'000, 172}, {205'000, 172},
          {206'000, 172}},
         {},
         counts(0, 0, 2),
         S::Idle},
        {"a command cuts the ready pair short",
         paced(),
         {},
         {connectAt(0), hostSends(500, 0x55)},
         3000,
         {{1000, 172}, {2500, 202}},
         {},
         counts(0, 0, 0),
         S::ReadHigh},
        {"a command finishing as the second ready byte goes out does not stop it",
         paced(),
         {},
         {connectAt(0), hostSends(1000, 0x55)},
         3000,
         {{1000, 172}, {2000, 172}, {3000, 202}},
         {},
         counts(0, 0, 0),
         S::ReadHigh},
        {"wrong first byte after the first opening only, then normal",
         with(paced(), [](DeviceConfig &c) { c.wrongFirstByte = 7; }),
         {},
         {connectAt(0), disconnectAt(5000), connectAt(10'000)},
         114'000,
         {{1000, 7}, {2000, 172}, {11'000, 172}, {12'000, 172}, {113'000, 172}, {114'000, 172}},
         {},
         counts(0, 0, 0),
         S::Idle},
        {"closing the port drops a read under way",
         paced(),
         {},
         {connectAt(0), hostSends(2000, 0x55), disconnectAt(3500), connectAt(10'000),
          hostSends(12'000, 0x23)},
         13'000,
         {{1000, 172}, {2000, 172}, {11'000, 172}, {12'000, 172}},
         {},
         counts(0, 0, 1),
         S::Idle},
        {"nothing is sent while the port is closed",
         paced(),
         {},
         {connectAt(0), disconnectAt(1500)},
         1'000'000,
         {{1000, 172}},
         {},
         counts(0, 0, 0),
         S::Offline},
        {"open delay before the first byte",
         with(paced(), [](DeviceConfig &c) { c.openDelay = Micros(10'000); }),
         {},
         {connectAt(0)},
         12'000,
         {{11'000, 172}, {12'000, 172}},
         {},
         counts(0, 0, 0),
         S::Idle},
        {"silent after 3 bytes, also after reopening",
         with(paced(), [](DeviceConfig &c) { c.silentAfter = 3; }),
         {},
         {connectAt(0), hostSends(2000, 0x55), hostSends(4000, 0x01), disconnectAt(600'000),
          connectAt(700'000)},
         2'000'000,
         {{1000, 172}, {2000, 172}, {4000, 202}},
         {},
         counts(0, 0, 0),
         S::Silent},
        {"hang up after 2 bytes",
         with(paced(), [](DeviceConfig &c) { c.hangupAfter = 2; }),
         {},
         {connectAt(0), hostSends(2000, 0x55)},
         100'000,
         {{1000, 172}, {2000, 172}},
         {},
         counts(0, 0, 0),
         S::HungUp,
         2000},
    };

    for (const ExchangeCase &tc : cases) {
        SCOPED_TRACE(tc.name);
        Memory memory{};
        for (auto [cell, value] : tc.cellsBefore) memory[cell] = value;
        DeviceModel model(memory, tc.config);
        const Trace run = drive(model, tc.events, tc.until);

        EXPECT_EQ(run.sent, tc.expectedSent);
        for (auto [cell, value] : tc.cellsAfter) EXPECT_EQ(memory[cell], value) << "cell " << cell;
        const Counters &c = model.counters();
        EXPECT_EQ(c.bytesSent, tc.expectedSent.size());
        EXPECT_EQ(c.objectsRead, tc.expected.objectsRead);
        EXPECT_EQ(c.objectsWritten, tc.expected.objectsWritten);
        EXPECT_EQ(c.noiseReceived, tc.expected.noiseReceived);
        EXPECT_EQ(run.memoryWrites, static_cast<int>(tc.expected.objectsWritten));
        EXPECT_EQ(model.state(), tc.finalState);
        EXPECT_EQ(run.hungUpAt, tc.hungUpAt);
    }
}

TEST(DeviceModel, NoiseIsNeverAProtocolByte)
{
    // Every value the mapping can produce, and nothing else.
    std::set<int> produced;
    for (std::uint64_t v = 0; v < 254; ++v) produced.insert(noiseByteFrom(v << 32));
    EXPECT_EQ(produced.size(), 254u);
    EXPECT_EQ(produced.count(172), 0u);
    EXPECT_EQ(produced.count(202), 0u);

    // With certain noise every byte is preceded by one; the exchange itself
    // still goes through underneath.
    Memory memory{};
    memory[5] = 0x42;
    DeviceModel model(memory, with(fast(), [](DeviceConfig &c) {
                          c.noiseProbability = 1.0;
                          c.noiseSeed = 3;
                      }));
    std::vector<Event> events = {connectAt(0), hostSends(0, 0x55), hostSends(0, 0x00),
                                 hostSends(0, 0x05)};
    const Trace run = drive(model, events, 100'000LL * 1000);
    ASSERT_GT(run.sent.size(), 2000u);
    ASSERT_EQ(run.sent.size() % 2, 0u);
    std::vector<int> clean;
    std::set<int> noiseValues;
    for (std::size_t i = 0; i < run.sent.size(); i += 2) {
        EXPECT_NE(run.sent[i].byte, 172);
        EXPECT_NE(run.sent[i].byte, 202);
        noiseValues.insert(run.sent[i].byte);
        clean.push_back(run.sent[i + 1].byte);
    }
    const std::vector<int> exchange = {172, 172, 202, 202, 0x42, 172, 172};
    ASSERT_GE(clean.size(), exchange.size());
    EXPECT_TRUE(std::equal(exchange.begin(), exchange.end(), clean.begin()));
    EXPECT_TRUE(std::all_of(clean.begin() + 7, clean.end(), [](int b) { return b == 172; }));
    EXPECT_GT(noiseValues.size(), 200u);
    EXPECT_EQ(model.counters().noiseSent, run.sent.size() / 2);
    EXPECT_EQ(model.counters().objectsRead, 1u);
}

TEST(DeviceModel, NoiseRateAndSeed)
{
    auto idleStream = [](double p, std::uint64_t seed) {
        Memory memory{};
        DeviceModel model(memory, with(fast(), [&](DeviceConfig &c) {
                              c.noiseProbability = p;
                              c.noiseSeed = seed;
                          }));
        Trace run = drive(model, {connectAt(0)}, 100'000LL * 2000);
        std::vector<int> bytes;
        for (const Tx &t : run.sent) bytes.push_back(t.byte);
        return bytes;
    };
    const auto a = idleStream(0.25, 11);
    const auto readyCount = std::count(a.begin(), a.end(), 172);
    const auto noiseCount = static_cast<long>(a.size()) - readyCount;
    EXPECT_EQ(readyCount, 2 * 2001);
    EXPECT_GT(noiseCount, readyCount * 20 / 100);
    EXPECT_LT(noiseCount, readyCount * 30 / 100);
    EXPECT_EQ(a, idleStream(0.25, 11));
    EXPECT_NE(a, idleStream(0.25, 12));
    const auto none = idleStream(0.0, 11);
    EXPECT_TRUE(std::all_of(none.begin(), none.end(), [](int b) { return b == 172; }));
}

TEST(DeviceModel, SeededMemoryHoldsProtocolValuesAsData)
{
    std::vector<std::uint64_t> seeds = {0, 1, 2, 0xFFFFFFFFFFFFFFFFULL};
    for (std::uint64_t s = 3; s < 300; ++s) seeds.push_back(s);
    for (std::uint64_t seed : seeds) {
        SCOPED_TRACE(seed);
        const Memory m = seededMemory(seed);
        EXPECT_NE(std::find(m.begin() + 1, m.begin() + 8176, 172), m.begin() + 8176);
        EXPECT_NE(std::find(m.begin() + 1, m.begin() + 8176, 202), m.begin() + 8176);
        EXPECT_GE(std::set<int>(m.begin(), m.end()).size(), 250u);
    }
    EXPECT_EQ(seededMemory(42), seededMemory(42));
    EXPECT_NE(seededMemory(42), seededMemory(43));
}

struct OptionsCase {
    std::vector<std::string> args;
    bool ok;
    std::function<void(const Options &)> check;
};

TEST(DeviceSimOptions, Parse)
{
    const std::vector<OptionsCase> cases = {
        {{},
         true,
         [](const Options &o) {
             EXPECT_EQ(o.baud, 1200u);
             EXPECT_FALSE(o.fast);
             EXPECT_EQ(o.seed, 1u);
             const DeviceConfig c = deviceConfig(o);
             EXPECT_EQ(c.byteTime, Micros(8333));  // 10 bits at 1200 baud
             EXPECT_EQ(c.idleWindow, Micros(100'000));
             EXPECT_EQ(c.timeout, Micros(500'000));
             EXPECT_FALSE(c.wrongFirstByte);
             EXPECT_FALSE(c.silentAfter);
             EXPECT_FALSE(c.hangupAfter);
         }},
        {{"--fast", "--seed", "7", "--idle-ms=250", "--timeout-ms", "40", "--link", "/tmp/x"},
         true,
         [](const Options &o) {
             EXPECT_EQ(o.seed, 7u);
             EXPECT_EQ(o.linkPath, "/tmp/x");
             const DeviceConfig c = deviceConfig(o);
             EXPECT_EQ(c.byteTime, Micros(0));
             EXPECT_EQ(c.idleWindow, Micros(250'000));
             EXPECT_EQ(c.timeout, Micros(40'000));
         }},
        {{"--baud", "9600"},
         true,
         [](const Options &o) { EXPECT_EQ(deviceConfig(o).byteTime, Micros(1041)); }},
        {{"--noise", "0.25", "--noise-seed", "9", "--wrong-first-byte", "255", "--silent-after",
          "0", "--hangup-after", "12"},
         true,
         [](const Options &o) {
             const DeviceConfig c = deviceConfig(o);
             EXPECT_DOUBLE_EQ(c.noiseProbability, 0.25);
             EXPECT_EQ(c.noiseSeed, 9u);
             EXPECT_EQ(c.wrongFirstByte, std::optional<std::uint8_t>(255));
             EXPECT_EQ(c.silentAfter, std::optional<std::uint64_t>(0));
             EXPECT_EQ(c.hangupAfter, std::optional<std::uint64_t>(12));
         }},
        {{"--help"}, true, [](const Options &o) { EXPECT_TRUE(o.help); }},
        {{"--noise", "1.5"}, false, nullptr},
        {{"--noise", "-0.1"}, false, nullptr},
        {{"--noise", "nan"}, false, nullptr},
        {{"--wrong-first-byte", "256"}, false, nullptr},
        {{"--baud", "0"}, false, nullptr},
        {{"--idle-ms", "0"}, false, nullptr},
        {{"--seed"}, false, nullptr},
        {{"--seed", "-1"}, false, nullptr},
        {{"--seed", "12x"}, false, nullptr},
        {{"--fast=1"}, false, nullptr},
        {{"--bogus", "1"}, false, nullptr},
        {{"stray"}, false, nullptr},
        {{"--link", ""}, false, nullptr},
    };
    for (const OptionsCase &tc : cases) {
        std::string joined;
        for (const auto &a : tc.args) joined += "[" + a + "]";
        SCOPED_TRACE(joined);
        const ParseResult r = parseOptions(tc.args);
        EXPECT_EQ(r.error.empty(), tc.ok) << r.error;
        if (tc.ok && tc.check) tc.check(r.options);
    }
}

}  // namespace

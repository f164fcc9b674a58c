#pragma once

#include "devicesim/devicemodel.h"

#include <QtGlobal>

#include <cstdint>
#include <cstdio>
#include <deque>
#include <optional>
#include <random>
#include <string>

// The dialogue engine against the simulator's device model, in one process and in virtual
// time: the device's bytes wait in a queue that the program empties one byte at a time,
// except while it stalls (a busy machine, a box held open), when they pile up. Shared by
// the stall model test and the stall fuzz target.
namespace orvel::test {

// Where a run's choices come from: a seeded generator, or a fuzz input.
class Choices {
public:
    virtual ~Choices() = default;
    virtual std::uint32_t pick(std::uint32_t n) = 0;  // 0 to n - 1
};

// Choices from a seed, for the tests.
class SeededChoices final : public Choices {
public:
    explicit SeededChoices(std::uint64_t seed) : m_random(seed) {}
    std::uint32_t pick(std::uint32_t n) override {
        return std::uniform_int_distribution<std::uint32_t>(0, n - 1)(m_random);
    }

private:
    std::mt19937_64 m_random;
};

// Choices from a fuzz input: each pick takes as many bytes as it needs; an input used up
// picks 0 from then on.
class InputChoices final : public Choices {
public:
    InputChoices(const std::uint8_t *data, std::size_t size) : m_p(data), m_end(data + size) {}
    std::uint32_t pick(std::uint32_t n) override {
        std::uint32_t value = 0;
        for (std::uint64_t range = 1; range < n; range <<= 8)
            value = value << 8 | (m_p < m_end ? *m_p++ : 0);
        return value % n;
    }

private:
    const std::uint8_t *m_p;
    const std::uint8_t *m_end;
};

// The line the models run on: 1200 bit/s, a device that gives a command up after 500 ms
// or waits for ever, no noise, 2 % or 10 %, seeded by the choices.
devicesim::DeviceConfig lineConfig(Choices &choices, bool deviceTimesOut);
// A wait between two things the operator does: mostly within an exchange or two, now and
// then long enough for a transfer.
devicesim::Micros pickDelay(Choices &choices);
// A stall of the program: 3 ms to 2.5 s, around the device's time-out.
devicesim::Micros pickStall(Choices &choices);

// What both models share: the device's memory and model on one virtual clock, the device's
// bytes the program has not taken yet, the answers of ours that came late, the first rule
// broken. The model itself is the run's, made from the memory with the run's config.
class ModelRun {
protected:
    using Micros = devicesim::Micros;
    static constexpr Micros kNever = Micros::max();
    static constexpr Micros kLongAgo{-(1LL << 40)};

    ModelRun(Choices &choices, bool timesOut)
        : m_choices(choices),
          m_timesOut(timesOut),
          m_memory(devicesim::seededMemory(choices.pick(1u << 16))) {}

    void fail(const std::string &why) {
        if (!m_failure) m_failure = why + " at " + std::to_string(m_now.count() / 1000) + " ms";
    }
    // An answer of ours went out, or the device gave a command up: within two byte times of
    // each other, the answer came late, and no protocol without framing can tell whether the
    // device took it. Only a device that times out gives up.
    void answered() {
        m_lastSend = m_now;
        if (m_now - m_lastGiveUp < 2 * m_byteTime) late();
    }
    void gaveUp() {
        m_lastGiveUp = m_now;
        if (m_now - m_lastSend < 2 * m_byteTime) late();
    }

    Choices &m_choices;
    const bool m_timesOut;
    const Micros m_byteTime = devicesim::byteTimeForBaud(1200);
    devicesim::Memory m_memory;
    struct Received {
        std::uint8_t byte;
        bool noise;  // inserted by the line
    };
    std::deque<Received> m_queue;  // the device's bytes the program has not taken yet
    Micros m_now{0}, m_heldUntil{0};
    Micros m_lastLate = kLongAgo;  // the last answer of ours that came late
    std::uint64_t m_lates = 0;
    std::optional<std::string> m_failure;

private:
    void late() {
        m_lastLate = m_now;
        ++m_lates;
        if (!m_timesOut) fail("late: an answer came late to a device that waits for ever");
    }
    Micros m_lastSend = kLongAgo, m_lastGiveUp = kLongAgo;
};

// What the runs met, summed over runs.
struct StallTally {
    std::uint64_t completed = 0, values = 0, givenUp = 0;
    std::uint64_t noisyValues = 0;  // wrong values from exchanges that met a noise byte
    std::uint64_t doubted = 0;      // values put in doubt
    std::uint64_t hiddenByReady = 0;  // noisy values whose true value 172 looked like ready
    std::uint64_t lateAnswers = 0;  // answers on the line as the device gave its command up
};

// One run, with a device that gives a command up after 500 ms or waits for ever. Returns
// the first rule broken, if any:
//  - only a ready byte is answered, with a command; only an acknowledge with an operand;
//    one byte answers one reply;
//  - a command addresses an object: the one current as it went out (a read also the one
//    just written), unless an answer of ours was late; a write only a cell the operator
//    chose, with the value chosen; the device's memory changes nowhere else;
//  - the memory copy changes only at the cell whose value just came, to that byte, the
//    device's unless a noise byte or a late answer came between;
//  - a wrong value that a noise byte brought is put in doubt at the device's next byte,
//    unless that byte is the true value 172, which reads as the device's ready byte;
//  - the last transfer, started after Stop, completes without reconnecting.
std::optional<std::string> runStallModel(Choices &choices, bool deviceTimesOut, StallTally &tally);

// A fuzz target's run of a model: the first byte chooses the device (bit 0: one that gives
// a command up after 500 ms, else one that waits for ever), the rest decides pick by pick.
// A broken rule traps, so libFuzzer keeps the input; ORVEL_FUZZ_VERBOSE=1 names the rule.
template <class Tally, class Run>
int fuzzOneRun(const char *target, const std::uint8_t *data, std::size_t size, Run run) {
    if (size == 0 || size > 4096) return -1;
    InputChoices choices(data + 1, size - 1);
    Tally tally;
    const std::optional<std::string> broken = run(choices, data[0] & 1, tally);
    if (!broken) return 0;
    if (qEnvironmentVariableIntValue("ORVEL_FUZZ_VERBOSE"))
        std::fprintf(stderr, "%s: violated: %s\n", target, broken->c_str());
    __builtin_trap();
}

}  // namespace orvel::test

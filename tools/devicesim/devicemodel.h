#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

// The Orvel device as a pure state machine: it is given the bytes that the
// programmer sends and the time, and says which bytes go on the line and when.
// No I/O here, so the whole protocol can be tested without a terminal.
namespace orvel::devicesim {

inline constexpr std::size_t kMemorySize = 8192;
inline constexpr std::uint16_t kAddressMask = 0x1FFF;

inline constexpr std::uint8_t kReadyByte = 0xAC;     // 172
inline constexpr std::uint8_t kAckByte = 0xCA;       // 202
inline constexpr std::uint8_t kReadCommand = 0x55;   // 85
inline constexpr std::uint8_t kWriteCommand = 0xAA;  // 170

using Memory = std::array<std::uint8_t, kMemorySize>;
// A point in time, counted from any fixed start the caller likes.
using Micros = std::chrono::microseconds;

// 64-bit linear congruential generator, state = state * 6364136223846793005
// + 1442695040888963407 (mod 2^64), starting from the seed; each step yields
// the top byte of the new state.
class Lcg {
public:
    explicit Lcg(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t next();
    std::uint8_t nextByte() { return static_cast<std::uint8_t>(next() >> 56); }
    // Uniform in [0, 1).
    double nextUnit();

private:
    std::uint64_t m_state;
};

// Cell i (0..8191 in order) gets the i-th byte of Lcg(seed).
Memory seededMemory(std::uint64_t seed);

// One byte of 8N1 framing is 10 bits on the line.
Micros byteTimeForBaud(unsigned baud);

// A byte drawn for line noise: uniform over 0..255 without 172 and 202, so
// that noise never looks like a protocol byte of the device.
std::uint8_t noiseByteFrom(std::uint64_t randomBits);
// A byte drawn to replace `original` on a line that flips bits: uniform over the 255 other
// values, 172 and 202 included.
std::uint8_t flippedByteFrom(std::uint8_t original, std::uint64_t randomBits);

struct DeviceConfig {
    Micros byteTime{0};  // 0: no pacing
    Micros idleWindow{100'000};
    Micros timeout{500'000};
    Micros openDelay{0};  // pause between the port being opened and our first byte
    std::optional<std::uint8_t> wrongFirstByte;
    std::optional<std::uint64_t> silentAfter;
    std::optional<std::uint64_t> hangupAfter;
    // After this many bytes sent, once: mute and deaf for pauseLength, then afresh from idle.
    std::optional<std::uint64_t> pauseAfter;
    Micros pauseLength{1'000'000};
    double noiseProbability = 0.0;
    std::uint64_t noiseSeed = 1;  // of the noise bytes, and of the flips (another stream)
    // Each byte sent is replaced by another with this probability.
    double flipProbability = 0.0;
    // A cell that ignores writes: acknowledged as any, its value kept.
    std::optional<std::uint16_t> stuckCell;
};

struct Counters {
    std::uint64_t bytesSent = 0;  // noise included
    std::uint64_t bytesReceived = 0;
    std::uint64_t objectsRead = 0;
    std::uint64_t objectsWritten = 0;
    std::uint64_t noiseReceived = 0;  // bytes that were no command while idle
    std::uint64_t noiseSent = 0;
    std::uint64_t commandsGivenUp = 0;  // time-outs inside a command
    std::uint64_t flipped = 0;          // bytes sent replaced by another
    std::uint64_t flippedValues = 0;    // of them, value bytes of a read
    std::uint64_t writesIgnored = 0;    // by the stuck cell
};

// A byte the line replaced: what the device sent, and what went out instead.
struct Flip {
    std::uint8_t sent = 0;
    std::uint8_t flipped = 0;
    std::optional<std::uint16_t> cell;  // the cell whose value byte it was, if one
};

// A command whose address the device has taken whole, as sent (before the address is
// taken modulo 8192).
struct Addressed {
    bool write = false;
    std::uint16_t address = 0;
};

struct Output {
    std::vector<std::uint8_t> bytes;  // to be put on the line now, in this order
    bool memoryWritten = false;
    bool hangup = false;
    std::vector<Addressed> addressed;
    std::vector<Flip> flips;
};

class DeviceModel {
public:
    enum class State {
        Offline,  // nobody has the port open
        Idle,     // announcing readiness, waiting for a command
        ReadHigh,
        ReadLow,
        WriteHigh,
        WriteLow,
        WriteValue,
        Paused,  // --pause-after reached: mute and deaf until the pause is over
        Silent,  // --silent-after reached: mute for good
        HungUp,  // --hangup-after reached
    };

    DeviceModel(Memory &memory, DeviceConfig config);

    // The programmer opened the port at `now`.
    void connect(Micros now);
    // The programmer closed the port; whatever was under way is dropped.
    void disconnect();
    // A byte was read from the line at `readAt`; it is acted on once it has
    // fully arrived, one byte time later.
    void receive(std::uint8_t byte, Micros readAt);
    // Carries out everything due at or before `now`.
    Output advance(Micros now);
    // When advance() has something to do next; none while there is nothing to wait for.
    std::optional<Micros> nextWakeup() const;

    State state() const { return m_state; }
    const Counters &counters() const { return m_counters; }

private:
    enum class Kind { Ready, Ack, Value, Noise };
    struct Outgoing {
        std::uint8_t byte;
        Kind kind;
        Micros due;
        std::uint16_t cell;  // a value's
    };
    struct Incoming {
        std::uint8_t byte;
        Micros due;
    };

    bool active() const;
    void queue(std::uint8_t byte, Kind kind, Micros decidedAt, std::uint16_t cell = 0);
    void queueReadyPair(Micros decidedAt, std::uint8_t first = kReadyByte);
    void queueAck(Micros decidedAt);
    void dropUnsent();
    bool stopIfLimitReached(Output &out);
    void transmitFront(Output &out);
    void take(std::uint8_t byte, Micros at, Output &out);
    void onDeadline(Micros at);

    Memory &m_memory;
    DeviceConfig m_config;
    Lcg m_noise;
    Lcg m_flip;
    State m_state = State::Offline;
    std::deque<Outgoing> m_tx;
    std::deque<Incoming> m_rx;
    bool m_connectedBefore = false;
    bool m_pausedBefore = false;
    Micros m_lastTxDue{0};   // when the line is free for our next byte
    Micros m_lastSent{0};    // due time of the last byte actually sent
    Micros m_lastRxDue{0};   // when the line from the programmer is free again
    std::optional<Micros> m_deadline;  // idle window or command time-out
    std::uint16_t m_address = 0;
    Counters m_counters;
};

}  // namespace orvel::devicesim

#include "devicesim/devicemodel.h"

#include <algorithm>

namespace orvel::devicesim {

std::uint64_t Lcg::next() {
    m_state = m_state * 6364136223846793005ULL + 1442695040888963407ULL;
    return m_state;
}

double Lcg::nextUnit() {
    return static_cast<double>(next() >> 11) * 0x1.0p-53;
}

Memory seededMemory(std::uint64_t seed) {
    Memory memory{};
    Lcg lcg(seed);
    for (auto &cell : memory) cell = lcg.nextByte();
    return memory;
}

Micros byteTimeForBaud(unsigned baud) {
    return Micros(baud == 0 ? 0 : 10'000'000 / baud);
}

std::uint8_t noiseByteFrom(std::uint64_t randomBits) {
    // 254 values, spread over 0..255 by stepping over the two protocol bytes.
    unsigned v = static_cast<unsigned>((randomBits >> 32) % 254);
    if (v >= kReadyByte) ++v;
    if (v >= kAckByte) ++v;
    return static_cast<std::uint8_t>(v);
}

std::uint8_t flippedByteFrom(std::uint8_t original, std::uint64_t randomBits) {
    unsigned v = static_cast<unsigned>((randomBits >> 32) % 255);
    if (v >= original) ++v;
    return static_cast<std::uint8_t>(v);
}

DeviceModel::DeviceModel(Memory &memory, DeviceConfig config)
    : m_memory(memory),
      m_config(config),
      m_noise(config.noiseSeed),
      m_flip(config.noiseSeed ^ 0x9E3779B97F4A7C15ULL) {
}

bool DeviceModel::active() const {
    return m_state != State::Offline && m_state != State::Silent && m_state != State::HungUp;
}

void DeviceModel::connect(Micros now) {
    if (m_state != State::Offline) return;
    m_state = State::Idle;
    m_tx.clear();
    m_rx.clear();
    m_lastTxDue = now + m_config.openDelay;
    m_lastSent = m_lastTxDue;
    m_lastRxDue = now;
    // The wrong first byte is a one-off: the programmer reconnects and must then succeed.
    const bool wrong = m_config.wrongFirstByte && !m_connectedBefore;
    m_connectedBefore = true;
    queueReadyPair(m_lastTxDue, wrong ? *m_config.wrongFirstByte : kReadyByte);
}

void DeviceModel::disconnect() {
    m_tx.clear();
    m_rx.clear();
    m_deadline.reset();
    if (active()) m_state = State::Offline;
}

void DeviceModel::receive(std::uint8_t byte, Micros readAt) {
    ++m_counters.bytesReceived;
    if (!active()) return;
    m_lastRxDue = std::max(readAt, m_lastRxDue) + m_config.byteTime;
    m_rx.push_back({byte, m_lastRxDue});
}

void DeviceModel::queue(std::uint8_t byte, Kind kind, Micros decidedAt, std::uint16_t cell) {
    auto push = [&](std::uint8_t b, Kind k) {
        m_lastTxDue = std::max(decidedAt, m_lastTxDue) + m_config.byteTime;
        m_tx.push_back({b, k, m_lastTxDue, cell});
    };
    if (m_config.noiseProbability > 0.0 && m_noise.nextUnit() < m_config.noiseProbability)
        push(noiseByteFrom(m_noise.next()), Kind::Noise);
    push(byte, kind);
}

void DeviceModel::queueReadyPair(Micros decidedAt, std::uint8_t first) {
    queue(first, Kind::Ready, decidedAt);
    queue(kReadyByte, Kind::Ready, decidedAt);
    m_deadline = m_lastTxDue + m_config.idleWindow;
}

void DeviceModel::queueAck(Micros decidedAt) {
    queue(kAckByte, Kind::Ack, decidedAt);
    m_deadline = m_lastTxDue + m_config.timeout;
}

void DeviceModel::dropUnsent() {
    m_tx.clear();
    m_lastTxDue = m_lastSent;
}

bool DeviceModel::stopIfLimitReached(Output &out) {
    const auto sent = m_counters.bytesSent;
    if (m_config.hangupAfter && sent >= *m_config.hangupAfter) {
        m_state = State::HungUp;
        out.hangup = true;
    } else if (m_config.silentAfter && sent >= *m_config.silentAfter) {
        m_state = State::Silent;
    } else if (m_config.pauseAfter && sent >= *m_config.pauseAfter && !m_pausedBefore) {
        m_pausedBefore = true;
        m_state = State::Paused;
        m_tx.clear();
        m_rx.clear();
        m_deadline = m_lastSent + m_config.pauseLength;
        return true;
    } else {
        return false;
    }
    m_tx.clear();
    m_rx.clear();
    m_deadline.reset();
    return true;
}

void DeviceModel::transmitFront(Output &out) {
    if (stopIfLimitReached(out)) return;
    const Outgoing o = m_tx.front();
    m_tx.pop_front();
    m_lastSent = o.due;
    std::uint8_t byte = o.byte;
    if (m_config.flipProbability > 0.0 && m_flip.nextUnit() < m_config.flipProbability) {
        byte = flippedByteFrom(o.byte, m_flip.next());
        ++m_counters.flipped;
        const bool value = o.kind == Kind::Value;
        if (value) ++m_counters.flippedValues;
        out.flips.push_back({o.byte, byte, value ? std::optional(o.cell) : std::nullopt});
    }
    out.bytes.push_back(byte);
    ++m_counters.bytesSent;
    if (o.kind == Kind::Noise) ++m_counters.noiseSent;
    if (o.kind == Kind::Value) ++m_counters.objectsRead;
    stopIfLimitReached(out);
}

void DeviceModel::take(std::uint8_t byte, Micros at, Output &out) {
    switch (m_state) {
    case State::Idle:
        if (byte == kReadCommand || byte == kWriteCommand) {
            // A command cuts short whatever announcing had not gone out yet.
            dropUnsent();
            m_state = byte == kReadCommand ? State::ReadHigh : State::WriteHigh;
            queueAck(at);
        } else {
            ++m_counters.noiseReceived;
        }
        break;
    case State::ReadHigh:
    case State::WriteHigh:
        m_address = static_cast<std::uint16_t>(byte << 8);
        m_state = m_state == State::ReadHigh ? State::ReadLow : State::WriteLow;
        queueAck(at);
        break;
    case State::ReadLow:
        out.addressed.push_back({false, static_cast<std::uint16_t>(m_address | byte)});
        m_address = (m_address | byte) & kAddressMask;
        queue(m_memory[m_address], Kind::Value, at, m_address);
        m_state = State::Idle;
        queueReadyPair(at);
        break;
    case State::WriteLow:
        out.addressed.push_back({true, static_cast<std::uint16_t>(m_address | byte)});
        m_address = (m_address | byte) & kAddressMask;
        m_state = State::WriteValue;
        queueAck(at);
        break;
    case State::WriteValue:
        if (m_config.stuckCell && *m_config.stuckCell == m_address) {
            ++m_counters.writesIgnored;
        } else {
            m_memory[m_address] = byte;
            ++m_counters.objectsWritten;
            out.memoryWritten = true;
        }
        queueAck(at);
        m_state = State::Idle;
        queueReadyPair(at);
        break;
    case State::Offline:
    case State::Paused:
    case State::Silent:
    case State::HungUp:
        break;
    }
}

void DeviceModel::onDeadline(Micros at) {
    // In the idle state this repeats the announcement; in the middle of a
    // command the programmer went quiet and the device gives up on it; after
    // a pause the device starts afresh.
    if (!active()) return;
    if (m_state != State::Idle && m_state != State::Paused) ++m_counters.commandsGivenUp;
    m_state = State::Idle;
    queueReadyPair(at);
}

Output DeviceModel::advance(Micros now) {
    Output out;
    constexpr Micros never = Micros::max();
    while (active()) {
        const Micros txDue = m_tx.empty() ? never : m_tx.front().due;
        const Micros rxDue = m_rx.empty() ? never : m_rx.front().due;
        const Micros deadline = m_deadline.value_or(never);
        const Micros next = std::min({txDue, rxDue, deadline});
        if (next > now) break;
        // At equal times: what we send first, then what we received, then the clock.
        if (txDue == next) {
            transmitFront(out);
        } else if (rxDue == next) {
            const Incoming in = m_rx.front();
            m_rx.pop_front();
            take(in.byte, in.due, out);
        } else {
            m_deadline.reset();
            onDeadline(deadline);
        }
    }
    return out;
}

std::optional<Micros> DeviceModel::nextWakeup() const {
    if (!active()) return std::nullopt;
    std::optional<Micros> next = m_deadline;
    auto earlier = [&next](Micros t) {
        if (!next || t < *next) next = t;
    };
    if (!m_tx.empty()) earlier(m_tx.front().due);
    if (!m_rx.empty()) earlier(m_rx.front().due);
    return next;
}

}  // namespace orvel::devicesim

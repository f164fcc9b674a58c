#include "device/deviceclient.h"

#include "dialogue/protocol.h"

#include <algorithm>

namespace orvel {
namespace {

using protocol::kAcknowledge;
using protocol::kReady;
constexpr quint8 kReadCommand = quint8(protocol::kReadCommand);
constexpr quint8 kWriteCommand = quint8(protocol::kWriteCommand);

// A command goes out on the second byte of a ready pair. While a byte of ours that the
// device may still take as a command is on its way, a pair may have crossed it, so only
// the second pair after it shows the device idle with nothing of ours to come.
constexpr int kPair = 2;
constexpr int kTwoPairs = 4;
// The two bytes of a pair follow each other on the line; pairs are an idle window apart
// (100 ms). A ready byte this long after the last one begins a pair, whatever was counted:
// a first byte lost to the line (a wrong first byte) must not put us out of step for good.
constexpr Clock kPairGap = std::chrono::milliseconds(50);

bool isCommand(quint8 byte) {
    return byte == kReadCommand || byte == kWriteCommand;
}

}  // namespace

DeviceClient::DeviceClient(Job job, ClientOptions options, Clock now)
    : m_job(std::move(job)), m_options(options), m_start(now), m_progressAt(now) {
    m_summary.total = int(m_job.size());
    m_phase = m_job.kind() == Job::Kind::Write ? Phase::Write : Phase::Read;
    if (m_job.size() == 0) finish(now);
}

std::optional<quint8> DeviceClient::receive(quint8 byte, bool moreWaiting, Clock now) {
    if (m_finished) return std::nullopt;
    m_heardAt = now;
    // An acknowledgement where a value or a ready byte was due: the device is in a command of
    // its own (a late answer of ours taken for one), which ends before Stop may.
    if (m_confirm != Confirm::None && byte == kAcknowledge &&
        (m_confirm != Confirm::Pair || m_sent != Sent::Command))
        m_deviceBusy = true;
    switch (m_confirm) {
        case Confirm::Value:
            if (byte == kReady) {
                m_confirm = Confirm::FirstReady;
                m_lastReadyAt = now;
                m_readySeen = 1;
                return std::nullopt;
            }
            doubt(now);
            break;
        case Confirm::FirstReady:
            if (byte == kReady) return pairArrived(moreWaiting, now);
            doubt(now);
            break;
        case Confirm::Pair:
            if (byte == kAcknowledge && m_sent == Sent::Command) {
                confirm(now);
            } else {
                // A third ready byte: the device's pair came a byte late, so the byte taken
                // for the value was not the first after our low byte. Anything else: noise,
                // or a ready byte the line changed.
                doubt(now);
                if (byte == kReady && m_sent == Sent::Nothing) m_readySeen = 1;  // pair's 2nd
            }
            break;
        case Confirm::None:
            break;
    }
    if (m_finished) return std::nullopt;
    if (m_sent == Sent::Low && m_phase == Phase::Read) {
        valueArrived(byte, now);  // the value, if the line leaves no doubt: 172 and 202 too
        return std::nullopt;
    }
    if (byte == kAcknowledge) return onAcknowledge(moreWaiting, now);
    if (byte == kReady) return onReady(moreWaiting, now);
    return std::nullopt;  // noise, or a value that came after its time: nothing to answer
}

std::optional<quint8> DeviceClient::onAcknowledge(bool moreWaiting, Clock now) {
    if (m_sent == Sent::Nothing) {
        // The device took something as a command we never started: never complete it. It
        // gives it up and announces itself again.
        m_deviceBusy = true;
        m_readySeen = 0;
        m_readyNeeded = kPair;
        return std::nullopt;
    }
    m_progressAt = now;
    if (m_sent == Sent::Value) {
        writeAcknowledged();
        return std::nullopt;
    }
    if (moreWaiting) {
        // The device said more after this acknowledgement: it no longer waits for our
        // answer, so an answer now would land in whatever it does next.
        m_sent = Sent::Nothing;
        m_readySeen = 0;
        m_readyNeeded = kPair;
        tryFailed(FailReason::GaveUp, now);
        return std::nullopt;
    }
    switch (m_sent) {
        case Sent::Command:
            return send(Sent::High, quint8(m_command.object >> 8), now);
        case Sent::High:
            return send(Sent::Low, quint8(m_command.object & 0xFF), now);
        default:
            // Said before the byte goes out: no write reaches the device unsaid.
            m_events.push_back({ClientEvent::Type::Written,
                                {m_command.object, m_command.value, true, m_tries},
                                m_summary.done});
            return send(Sent::Value, m_command.value, now);
    }
}

std::optional<quint8> DeviceClient::onReady(bool moreWaiting, Clock now) {
    if (m_sent != Sent::Nothing && m_sent != Sent::Command) {
        // Where an acknowledgement was due: the device gave the command up. The object
        // starts again from this ready byte.
        abandonExchange();
        tryFailed(FailReason::GaveUp, now);
        if (m_finished) return std::nullopt;
    }
    // After our command this is a pair that crossed it, or the command was lost; its
    // acknowledgement is still taken if it comes.
    m_deviceBusy = false;
    if (m_readySeen % 2 != 0 && m_lastReadyAt && now - *m_lastReadyAt > kPairGap) --m_readySeen;
    m_lastReadyAt = now;
    ++m_readySeen;
    if (moreWaiting || m_readySeen < m_readyNeeded || m_readySeen % 2 != 0) return std::nullopt;
    return startCommand(now);
}

std::optional<quint8> DeviceClient::startCommand(Clock now) {
    if (m_stopping && !readBackDue()) {
        endStopped(now);
        return std::nullopt;
    }
    return sendCommand(m_index, m_phase == Phase::Write, now);
}

std::optional<quint8> DeviceClient::sendCommand(qsizetype index, bool write, Clock now) {
    m_command = m_job.items()[index];
    m_commandIndex = index;
    if (index == m_index) m_started = true;
    m_readySeen = 0;
    m_readyNeeded = kTwoPairs;
    Q_ASSERT(!write || Job::writable(m_command.object));
    return send(Sent::Command, write ? kWriteCommand : kReadCommand, now);
}

// Our byte is a step forward, so the time-out is the device's time to answer it; a command
// sent again (the first one lost) is none.
quint8 DeviceClient::send(Sent what, quint8 byte, Clock now) {
    if (what != Sent::Command || m_sent == Sent::Nothing) m_progressAt = now;
    m_sent = what;
    m_lastSent = byte;
    return byte;
}

void DeviceClient::valueArrived(quint8 value, Clock now) {
    m_sent = Sent::Nothing;
    m_readySeen = 0;
    m_readyNeeded = kPair;
    m_progressAt = now;
    m_candidate = value;
    m_confirm = Confirm::Value;
}

// The value and the device's pair, nothing between. The next command goes out now, as on
// any pair: for the object the value, if without doubt, leaves next.
//
// Where no command is due (the job's last object, or Stop), the object is read once more:
// the value counts when that read's command is acknowledged and its own value agrees.
// Time is no proof of a quiet line: the program itself may have stalled.
std::optional<quint8> DeviceClient::pairArrived(bool moreWaiting, Clock now) {
    m_confirm = Confirm::Pair;
    m_lastReadyAt = now;
    m_readySeen = kPair;
    if (moreWaiting) return std::nullopt;  // bytes piled up: the next one tells
    FailReason reason = FailReason::None;
    const Verdict verdict = judge(m_candidate, &reason);
    const bool write = m_job.kind() == Job::Kind::Write;
    if (verdict == Verdict::Again && !m_stopping) return sendCommand(m_index, write, now);
    if (m_index + 1 < m_job.size() && !m_stopping) return sendCommand(m_index + 1, write, now);
    if (verdict != Verdict::Done) {
        // No try left (or Stop), and nothing confirms this value: it is not taken for the
        // device's. The object fails as a difference not confirmed, or for what failed before.
        m_confirm = Confirm::None;
        const bool expecting = m_job.kind() == Job::Kind::Read;
        const FailReason last = m_lastFailure == FailReason::None ? FailReason::InDoubt
                                                                  : m_lastFailure;
        objectDone(false, expecting ? FailReason::Unconfirmed : last, now);
        return std::nullopt;
    }
    if (m_agreeWith == m_candidate) {
        confirm(now);  // two reads agree
        return std::nullopt;
    }
    if (m_agreeWith || m_tries > m_options.tries) {  // two reads disagree, or no try left
        const qsizetype index = m_index;
        doubt(now);
        if (m_finished || m_index != index) return std::nullopt;
    }
    return sendCommand(m_index, false, now);
}

DeviceClient::Verdict DeviceClient::judge(quint8 value, FailReason *reason) const {
    const JobItem &item = m_job.items()[m_index];
    bool counts = true;
    if (m_job.kind() == Job::Kind::Write) {
        counts = value == item.value;
        *reason = FailReason::Mismatch;
    } else if (m_job.expecting()) {
        // Equal to the value expected at once; else only once two reads in a row agree.
        counts = m_differing ? value == *m_differing : value == item.value;
        // A first difference with no try left to read it again is not the device's word.
        *reason = m_differing ? FailReason::Differing : FailReason::Unconfirmed;
    }
    if (counts) return Verdict::Done;
    return m_tries >= m_options.tries ? Verdict::Failed : Verdict::Again;
}

// The value is without doubt: after its pair the device acknowledged our next command
// before any other byte, or (no command being due) a second read agrees with it.
void DeviceClient::confirm(Clock now) {
    m_confirm = Confirm::None;
    FailReason reason = FailReason::None;
    const Verdict verdict = judge(m_candidate, &reason);
    if (verdict == Verdict::Done && m_sent == Sent::Command && m_commandIndex == m_index) {
        m_agreeWith = m_candidate;  // read once more, to agree
        m_phase = Phase::Read;
        return;
    }
    if (verdict == Verdict::Done) {
        m_lastValue = m_candidate;
        objectDone(true, FailReason::None, now);
        return;
    }
    if (m_job.kind() == Job::Kind::Write) {
        m_lastValue = m_candidate;
    } else {
        m_differing = m_agreeWith = m_candidate;
        readAgain();
    }
    tryFailed(reason, now);
}

// The value is in doubt: the object is read again, a try. A command already on its way is
// for this object now (a write job's is a write: the value is written again).
void DeviceClient::doubt(Clock now) {
    const bool inFlight = m_confirm == Confirm::Pair && m_sent == Sent::Command;
    m_confirm = Confirm::None;
    ++m_doubts;
    ++m_summary.doubts;
    readAgain();
    m_progressAt = now;
    m_lastFailure = FailReason::InDoubt;
    // A command of ours for it on its way is owed its exchange, whatever the tries.
    const bool owed = inFlight && m_commandIndex == m_index;
    if ((m_tries >= m_options.tries && !owed) || (m_stopping && !inFlight)) {
        // A difference read once without doubt was not confirmed: not every value was in doubt.
        objectDone(false, m_differing ? FailReason::Unconfirmed : FailReason::InDoubt, now);
        return;
    }
    ++m_tries;
    if (inFlight) {
        m_command = m_job.items()[m_index];
        m_commandIndex = m_index;
    }
    m_phase = inFlight && m_lastSent == kWriteCommand ? Phase::Write : Phase::Read;
}

void DeviceClient::readAgain() {
    if (!m_readAgain) ++m_summary.readAgain;
    m_readAgain = true;
}

void DeviceClient::writeAcknowledged() {
    m_sent = Sent::Nothing;
    m_readySeen = 0;
    m_readyNeeded = kPair;
    m_phase = Phase::Read;
    written();
}

void DeviceClient::written() {
    if (!m_written) ++m_summary.written;
    m_written = true;
}

void DeviceClient::abandonExchange() {
    if (m_sent == Sent::Value) written();  // the device may have taken it
    const bool mayBeTaken = m_sent != Sent::Nothing && isCommand(m_lastSent);
    m_sent = Sent::Nothing;
    m_readySeen = 0;
    m_readyNeeded = mayBeTaken ? kTwoPairs : kPair;
}

void DeviceClient::tryFailed(FailReason reason, Clock now) {
    m_progressAt = now;
    m_lastFailure = reason;
    if (m_tries >= m_options.tries || (m_stopping && m_sent == Sent::Nothing)) {
        objectDone(false, reason, now);
        return;
    }
    ++m_tries;
    if (m_job.kind() == Job::Kind::Write) m_phase = Phase::Write;  // write and read back again
}

void DeviceClient::objectDone(bool ok, FailReason reason, Clock now) {
    report({m_job.items()[m_index].object, m_lastValue, ok, m_tries, reason, m_doubts});
    nextObject(now);
}

void DeviceClient::report(const ObjectResult &result) {
    ++m_summary.done;
    if (result.ok) {
        m_summary.values.append(result);
        ++(m_job.kind() == Job::Kind::Read ? m_summary.read : m_summary.verified);
    } else {
        m_summary.failed.append(result);
    }
    m_events.push_back({ClientEvent::Type::ObjectDone, result, m_summary.done});
}

void DeviceClient::nextObject(Clock now) {
    ++m_index;
    m_tries = 1;
    m_phase = m_job.kind() == Job::Kind::Write ? Phase::Write : Phase::Read;
    m_started = m_sent != Sent::Nothing && m_commandIndex == m_index;  // its command is out
    m_written = false;
    m_lastFailure = FailReason::None;
    m_lastValue.reset();
    m_differing.reset();
    m_agreeWith.reset();
    m_doubts = 0;
    m_readAgain = false;
    m_progressAt = now;
    if (m_index == m_job.size() || (m_stopping && lineQuiet())) finish(now);
}

void DeviceClient::tick(Clock now) {
    if (m_finished) return;
    if (m_finished || now < m_progressAt + m_options.timeout) return;
    if (m_confirm != Confirm::None) {  // a value without its pair
        doubt(now);
        return;
    }
    const bool silent = !m_heardAt || *m_heardAt <= m_progressAt;
    if (!m_heardAt || (silent && m_tries >= m_options.tries)) {
        deviceNotAnswering(now);
        return;
    }
    if (m_stopping && !m_started) {
        finish(now);
        return;
    }
    const FailReason reason = silent ? FailReason::NoAnswer : FailReason::TimedOut;
    // Stopping tries no command again, but an answer still owed is given its tries.
    if (m_tries >= m_options.tries || (m_stopping && m_sent == Sent::Nothing)) {
        abandonExchange();
        objectDone(false, reason, now);
        return;
    }
    // Tried again. An answer still owed to the exchange under way is taken if it comes: a
    // device that waits for ever would otherwise wait for it for ever.
    ++m_tries;
    m_progressAt = now;
    m_lastFailure = reason;
    if (m_sent == Sent::Nothing && m_job.kind() == Job::Kind::Write) m_phase = Phase::Write;
}

void DeviceClient::deviceNotAnswering(Clock now) {
    m_summary.deviceNotAnswering = true;
    m_events.push_back({ClientEvent::Type::DeviceNotAnswering, {}, m_summary.done});
    abandonExchange();
    report({m_job.items()[m_index].object, m_lastValue, false, m_tries, FailReason::NoAnswer,
            m_doubts});
    for (qsizetype i = m_index + 1; i < m_job.size(); ++i)
        report({m_job.items()[i].object, std::nullopt, false, 0, FailReason::NoAnswer});
    finish(now);
}

void DeviceClient::stop(Clock now) {
    if (m_finished || m_stopping) return;
    m_stopping = true;
    if (lineQuiet() && !readBackDue()) endStopped(now);
}

// Between two tries of an object, or its command lost: it is reported with the tries it
// had, so that no written cell goes unreported.
void DeviceClient::endStopped(Clock now) {
    const bool lost = m_sent == Sent::Command;
    if (m_started)
        report({m_job.items()[m_index].object, m_lastValue, false, lost ? m_tries : m_tries - 1,
                lost ? FailReason::NoAnswer : m_lastFailure, m_doubts});
    finish(now);
}

void DeviceClient::finish(Clock now) {
    m_finished = true;
    m_summary.stopped = m_stopping;
    m_summary.elapsed = now - m_start;
    m_events.push_back({ClientEvent::Type::Finished, {}, m_summary.done});
}

bool DeviceClient::readBackDue() const {
    return m_job.kind() == Job::Kind::Write && m_phase == Phase::Read;
}

// Nothing of ours under way or on its way, and the device in no command of its own.
bool DeviceClient::lineQuiet() const {
    return m_sent == Sent::Nothing && m_readyNeeded == kPair && !m_deviceBusy &&
           m_confirm == Confirm::None;
}

std::optional<Clock> DeviceClient::nextDeadline() const {
    if (m_finished) return std::nullopt;
    return m_progressAt + m_options.timeout;
}

std::optional<int> DeviceClient::currentObject() const {
    if (m_finished) return std::nullopt;
    return m_job.items()[m_index].object;
}

}  // namespace orvel

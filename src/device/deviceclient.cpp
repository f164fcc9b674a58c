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

// What a byte does, by where the line stands; columns: ready, acknowledge, anything else.
// Confirm, Doubt and GaveUp leave the byte to be heard again from where the line then is.
const DeviceClient::Act DeviceClient::kActs[12][3] = {
    /* Idle       */ {Act::Count, Act::OwnCommand, Act::Nothing},
    /* Unsure     */ {Act::Count, Act::OwnCommand, Act::Nothing},
    /* OwnCommand */ {Act::Count, Act::OwnCommand, Act::Nothing},
    /* Command    */ {Act::Count, Act::Answer, Act::Nothing},
    /* High       */ {Act::GaveUp, Act::Answer, Act::Nothing},
    /* Low        */ {Act::Value, Act::Value, Act::Value},  // 172 and 202 too
    /* LowOfWrite */ {Act::GaveUp, Act::Answer, Act::Nothing},
    /* Value      */ {Act::GaveUp, Act::Taken, Act::Nothing},
    /* Arrived    */ {Act::FirstReady, Act::Doubt, Act::Doubt},
    /* FirstReady */ {Act::Pair, Act::Doubt, Act::Doubt},
    // A third ready byte: the device's pair came a byte late, so the byte taken for the value
    // was not the first after our low byte. Anything else: noise, or a ready byte the line
    // changed; an acknowledgement we never asked for puts the device in a command of its own.
    /* Pair       */ {Act::Doubt, Act::Doubt, Act::Doubt},
    /* PairAsked  */ {Act::Doubt, Act::Confirm, Act::Doubt},
};

DeviceClient::DeviceClient(Job job, ClientOptions options, Clock now)
    : m_job(std::move(job)), m_options(options), m_start(now), m_progressAt(now) {
    m_summary.total = int(m_job.size());
    m_current.phase = firstPhase();
    if (m_job.size() == 0) finish(now);
}

std::optional<quint8> DeviceClient::receive(quint8 byte, bool moreWaiting, Clock now) {
    if (m_finished) return std::nullopt;
    m_heardAt = now;
    const Heard heard = byte == kReady         ? Heard::Ready
                        : byte == kAcknowledge ? Heard::Acknowledge
                                               : Heard::Other;
    for (;;) {
        const Line from = m_line;
        switch (kActs[int(from)][int(heard)]) {
            case Act::Nothing:  // noise, or a value that came after its time
                return std::nullopt;
            case Act::Count:
                return countReady(moreWaiting, now);
            case Act::OwnCommand:
                // The device took something as a command we never started: never complete
                // it. It gives it up and announces itself again.
                m_line = Line::OwnCommand;
                m_readySeen = 0;
                return std::nullopt;
            case Act::Answer:
                return answer(from, moreWaiting, now);
            case Act::Taken:
                m_progressAt = now;
                m_line = Line::Idle;
                m_readySeen = 0;
                m_current.phase = Phase::Read;
                written();
                return std::nullopt;
            case Act::GaveUp:
                // Where an acknowledgement was due: the device gave the command up. The
                // object starts again from this ready byte.
                abandonExchange();
                tryFailed(FailReason::GaveUp, now);
                break;
            case Act::Value:
                valueArrived(byte, now);
                return std::nullopt;
            case Act::FirstReady:
                m_line = Line::FirstReady;
                m_lastReadyAt = now;
                m_readySeen = 1;
                return std::nullopt;
            case Act::Pair:
                return pairArrived(moreWaiting, now);
            case Act::Confirm:
                confirm(now);
                break;
            case Act::Doubt:
                doubt(now, heard == Heard::Acknowledge);
                if (from == Line::Pair && heard == Heard::Ready) m_readySeen = 1;  // pair's 2nd
                break;
        }
        if (m_finished) return std::nullopt;
    }
}

std::optional<quint8> DeviceClient::answer(Line from, bool moreWaiting, Clock now) {
    m_progressAt = now;
    if (moreWaiting) {
        // The device said more after this acknowledgement: it no longer waits for our
        // answer, so an answer now would land in whatever it does next.
        m_line = Line::Idle;
        m_readySeen = 0;
        tryFailed(FailReason::GaveUp, now);
        return std::nullopt;
    }
    switch (from) {
        case Line::Command:
            return send(Line::High, quint8(m_command.object >> 8), now);
        case Line::High:
            return send(m_commandWrites ? Line::LowOfWrite : Line::Low,
                        quint8(m_command.object & 0xFF), now);
        default:
            // Said before the byte goes out: no write reaches the device unsaid.
            m_events.push_back({ClientEvent::Type::Written,
                                {m_command.object, m_command.value, true, m_current.tries},
                                m_summary.done});
            return send(Line::Value, m_command.value, now);
    }
}

// After our command this is a pair that crossed it, or the command was lost; its
// acknowledgement is still taken if it comes.
std::optional<quint8> DeviceClient::countReady(bool moreWaiting, Clock now) {
    if (m_line == Line::OwnCommand) m_line = Line::Idle;  // the device's command is over
    if (m_readySeen % 2 != 0 && m_lastReadyAt && now - *m_lastReadyAt > kPairGap) --m_readySeen;
    m_lastReadyAt = now;
    ++m_readySeen;
    const int needed = m_line == Line::Idle ? kPair : kTwoPairs;
    if (moreWaiting || m_readySeen < needed || m_readySeen % 2 != 0) return std::nullopt;
    return startCommand(now);
}

std::optional<quint8> DeviceClient::startCommand(Clock now) {
    if (m_stopping && !readBackDue()) {
        endStopped(now);
        return std::nullopt;
    }
    return sendCommand(m_index, m_current.phase == Phase::Write, now);
}

std::optional<quint8> DeviceClient::sendCommand(qsizetype index, bool write, Clock now) {
    m_command = m_job.items()[index];
    m_commandIndex = index;
    m_commandWrites = write;
    if (index == m_index) m_current.started = true;
    m_readySeen = 0;
    Q_ASSERT(!write || Job::writable(m_command.object));
    return send(Line::Command, write ? kWriteCommand : kReadCommand, now);
}

// Our byte is a step forward, so the time-out is the device's time to answer it; a command
// sent again (the first one lost) is none. A command out on a value's pair is what confirms it.
quint8 DeviceClient::send(Line what, quint8 byte, Clock now) {
    if (what != Line::Command || m_line != Line::Command) m_progressAt = now;
    m_line = what == Line::Command && m_line == Line::Pair ? Line::PairAsked : what;
    return byte;
}

void DeviceClient::valueArrived(quint8 value, Clock now) {
    m_line = Line::Arrived;
    m_readySeen = 0;
    m_progressAt = now;
    m_candidate = value;
}

// The value and the device's pair, nothing between. The next command goes out now, as on
// any pair: for the object the value, if without doubt, leaves next.
//
// Where no command is due (the job's last object, or Stop), the object is read once more:
// the value counts when that read's command is acknowledged and its own value agrees.
// Time is no proof of a quiet line: the program itself may have stalled.
std::optional<quint8> DeviceClient::pairArrived(bool moreWaiting, Clock now) {
    m_line = Line::Pair;
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
        settle(false);
        const bool expecting = m_job.kind() == Job::Kind::Read;
        const FailReason last = m_current.lastFailure == FailReason::None
                                    ? FailReason::InDoubt
                                    : m_current.lastFailure;
        objectDone(false, expecting ? FailReason::Unconfirmed : last, now);
        return std::nullopt;
    }
    if (m_current.agreeWith == m_candidate) {
        confirm(now);  // two reads agree
        return std::nullopt;
    }
    if (m_current.agreeWith || m_current.tries > m_options.tries) {
        // Two reads disagree, or no try left.
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
        counts = m_current.differing ? value == *m_current.differing : value == item.value;
        // A first difference with no try left to read it again is not the device's word.
        *reason = m_current.differing ? FailReason::Differing : FailReason::Unconfirmed;
    }
    if (counts) return Verdict::Done;
    return m_current.tries >= m_options.tries ? Verdict::Failed : Verdict::Again;
}

// The value under judgement is settled: a command of ours out on its pair stays out; an
// acknowledgement we never asked for puts the device in a command of its own.
void DeviceClient::settle(bool acknowledged) {
    m_line = m_line == Line::PairAsked ? Line::Command
             : acknowledged            ? Line::OwnCommand
                                       : Line::Idle;
}

// The value is without doubt: after its pair the device acknowledged our next command
// before any other byte, or (no command being due) a second read agrees with it.
void DeviceClient::confirm(Clock now) {
    const bool asked = m_line == Line::PairAsked;
    settle(false);
    FailReason reason = FailReason::None;
    const Verdict verdict = judge(m_candidate, &reason);
    if (verdict == Verdict::Done && asked && m_commandIndex == m_index) {
        m_current.agreeWith = m_candidate;  // read once more, to agree
        m_current.phase = Phase::Read;
        return;
    }
    if (verdict == Verdict::Done) {
        m_current.lastValue = m_candidate;
        objectDone(true, FailReason::None, now);
        return;
    }
    if (m_job.kind() == Job::Kind::Write)
        m_current.lastValue = m_candidate;
    else
        m_current.differing = m_current.agreeWith = m_candidate;
    tryFailed(reason, now);
}

// The value is in doubt: the object is read again, a try. A command already on its way is
// for this object now (a write job's is a write: the value is written again).
void DeviceClient::doubt(Clock now, bool acknowledged) {
    const bool inFlight = m_line == Line::PairAsked;
    settle(acknowledged);
    ++m_current.doubts;
    ++m_summary.doubts;
    m_progressAt = now;
    m_current.lastFailure = FailReason::InDoubt;
    // A command of ours for it on its way is owed its exchange, whatever the tries.
    const bool owed = inFlight && m_commandIndex == m_index;
    if ((m_current.tries >= m_options.tries && !owed) || (m_stopping && !inFlight)) {
        // A difference read once without doubt was not confirmed: not every value was in doubt.
        objectDone(false, m_current.differing ? FailReason::Unconfirmed : FailReason::InDoubt,
                   now);
        return;
    }
    ++m_current.tries;
    if (inFlight) {
        m_command = m_job.items()[m_index];
        m_commandIndex = m_index;
    }
    m_current.phase = inFlight && m_commandWrites ? Phase::Write : Phase::Read;
}

void DeviceClient::written() {
    if (!m_current.written) ++m_summary.written;
    m_current.written = true;
}

void DeviceClient::abandonExchange() {
    if (m_line == Line::Value) written();  // the device may have taken it
    const bool mayBeTaken = ourByteOut() && isCommand(lastSent());
    m_readySeen = 0;
    if (m_line != Line::OwnCommand) m_line = mayBeTaken ? Line::Unsure : Line::Idle;
}

void DeviceClient::tryFailed(FailReason reason, Clock now) {
    m_progressAt = now;
    m_current.lastFailure = reason;
    if (m_current.tries >= m_options.tries || (m_stopping && !ourByteOut())) {
        objectDone(false, reason, now);
        return;
    }
    ++m_current.tries;
    if (m_job.kind() == Job::Kind::Write) m_current.phase = Phase::Write;  // write, read back
}

void DeviceClient::objectDone(bool ok, FailReason reason, Clock now) {
    report({m_job.items()[m_index].object, m_current.lastValue, ok, m_current.tries, reason,
            m_current.doubts});
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
    m_current = {};
    m_current.phase = firstPhase();
    m_current.started = ourByteOut() && m_commandIndex == m_index;  // its command is out
    m_progressAt = now;
    if (m_index == m_job.size() || (m_stopping && m_line == Line::Idle)) finish(now);
}

void DeviceClient::tick(Clock now) {
    if (m_finished || now < m_progressAt + m_options.timeout) return;
    if (judging()) {  // a value without its pair
        doubt(now);
        return;
    }
    const bool silent = !m_heardAt || *m_heardAt <= m_progressAt;
    if (!m_heardAt || (silent && m_current.tries >= m_options.tries)) {
        deviceNotAnswering(now);
        return;
    }
    if (m_stopping && !m_current.started) {
        finish(now);
        return;
    }
    const FailReason reason = silent ? FailReason::NoAnswer : FailReason::TimedOut;
    // Stopping tries no command again, but an answer still owed is given its tries.
    if (m_current.tries >= m_options.tries || (m_stopping && !ourByteOut())) {
        abandonExchange();
        objectDone(false, reason, now);
        return;
    }
    // Tried again. An answer still owed to the exchange under way is taken if it comes: a
    // device that waits for ever would otherwise wait for it for ever.
    ++m_current.tries;
    m_progressAt = now;
    m_current.lastFailure = reason;
    if (!ourByteOut() && m_job.kind() == Job::Kind::Write) m_current.phase = Phase::Write;
}

void DeviceClient::deviceNotAnswering(Clock now) {
    m_summary.deviceNotAnswering = true;
    m_events.push_back({ClientEvent::Type::DeviceNotAnswering, {}, m_summary.done});
    abandonExchange();
    report({m_job.items()[m_index].object, m_current.lastValue, false, m_current.tries,
            FailReason::NoAnswer, m_current.doubts});
    for (qsizetype i = m_index + 1; i < m_job.size(); ++i)
        report({m_job.items()[i].object, std::nullopt, false, 0, FailReason::NoAnswer});
    finish(now);
}

void DeviceClient::stop(Clock now) {
    if (m_finished || m_stopping) return;
    m_stopping = true;
    if (m_line == Line::Idle && !readBackDue()) endStopped(now);
}

// Between two tries of an object, or its command lost: it is reported with the tries it
// had, so that no written cell goes unreported.
void DeviceClient::endStopped(Clock now) {
    const bool lost = m_line == Line::Command;
    if (m_current.started)
        report({m_job.items()[m_index].object, m_current.lastValue, false,
                lost ? m_current.tries : m_current.tries - 1,
                lost ? FailReason::NoAnswer : m_current.lastFailure, m_current.doubts});
    finish(now);
}

void DeviceClient::finish(Clock now) {
    m_finished = true;
    m_summary.stopped = m_stopping;
    m_summary.elapsed = now - m_start;
    m_events.push_back({ClientEvent::Type::Finished, {}, m_summary.done});
}

DeviceClient::Phase DeviceClient::firstPhase() const {
    return m_job.kind() == Job::Kind::Write ? Phase::Write : Phase::Read;
}

bool DeviceClient::readBackDue() const {
    return m_job.kind() == Job::Kind::Write && m_current.phase == Phase::Read;
}

// The byte of ours whose answer is due.
quint8 DeviceClient::lastSent() const {
    switch (m_line) {
        case Line::High:
            return quint8(m_command.object >> 8);
        case Line::Low:
        case Line::LowOfWrite:
            return quint8(m_command.object & 0xFF);
        case Line::Value:
            return m_command.value;
        default:
            return m_commandWrites ? kWriteCommand : kReadCommand;
    }
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

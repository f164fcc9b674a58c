#pragma once

#include <optional>
#include <utility>
#include <vector>

#include "device/job.h"
#include "device/jobresult.h"

namespace orvel {

struct ClientOptions {
    Clock timeout = std::chrono::seconds(2);  // without progress, an object is tried again
    int tries = 3;
};

struct ClientEvent {
    // Written: a value byte of ours is to go out, the answer returned with this event: from
    // then on the device may hold it. Before its read-back.
    enum class Type { ObjectDone, Written, DeviceNotAnswering, Finished };
    Type type = Type::ObjectDone;
    ObjectResult result;  // ObjectDone; Written: the object and the value sent
    int done = 0;         // objects done so far, this one included
};

// Runs a job against the device as a pure state machine: it is given each received byte
// and the time, answers with at most one byte, and never sends on its own: the device
// leads; we only answer.
//
//   read one object:  172 -> (nothing), 172 -> 0x55, 202 -> high, 202 -> low, value
//   write one object: 172 -> (nothing), 172 -> 0xAA, 202 -> high, 202 -> low,
//                     202 -> value, 202 -> (nothing); then the object is read back
//
// A value counts only when the line leaves no doubt: the device sends exactly one byte
// after our low byte, then its ready pair, then nothing until it acknowledges our next
// command. Any other byte between the value and the pair or after it (a third ready byte:
// the value was a byte late), or an exchange broken before the pair, leaves the value in
// doubt: the object is read again (a try), never reported from it. The next command goes
// out on the pair, as on a clean line; it is turned to the object in doubt if need be.
// The job's last object (or the one under way at Stop) is read once more, to agree.
class DeviceClient {
public:
    DeviceClient(Job job, ClientOptions options, Clock now);

    // One received byte; moreWaiting: further received bytes already wait behind it.
    // Returns the byte to send in answer, if any.
    std::optional<quint8> receive(quint8 byte, bool moreWaiting, Clock now);
    // Lets time-outs happen; due at nextDeadline().
    void tick(Clock now);
    // Ends the job once the object under way is done or timed out, the device idle.
    void stop(Clock now);

    std::optional<Clock> nextDeadline() const;
    std::vector<ClientEvent> takeEvents() { return std::exchange(m_events, {}); }
    bool finished() const { return m_finished; }
    std::optional<int> currentObject() const;
    const Job &job() const { return m_job; }
    const JobSummary &summary() const { return m_summary; }

private:
    // Where the line stands: the one value the exchange moves (kActs: what a byte does where).
    enum class Line {
        Idle,        // nothing of ours under way: a command goes out on the device's next pair
        Unsure,      // a byte of ours may have reached the device as a command: two pairs first
        OwnCommand,  // the device in a command we never started, until its next ready byte
        Command, High, Low, LowOfWrite, Value,  // our byte out, its answer due (Low: a value)
        Arrived, FirstReady, Pair,  // a value, then its pair (Pair: more bytes piled up behind)
        PairAsked,  // the value's pair, and our next command: its acknowledgement confirms it
    };
    enum class Heard { Ready, Acknowledge, Other };
    enum class Act { Nothing, Count, OwnCommand, Answer, Taken, GaveUp, Value, FirstReady, Pair,
                     Confirm, Doubt };
    static const Act kActs[12][3];
    enum class Phase { Write, Read };
    // What the value, if without doubt, makes of its object.
    enum class Verdict { Done, Again, Failed };
    // The object under way; a new one starts from scratch.
    struct Current {
        int tries = 1;
        Phase phase = Phase::Read;  // what its next command is
        bool started = false;       // a command went out for it
        bool written = false;
        std::optional<quint8> lastValue;  // the last value read without doubt, if it counts
        std::optional<quint8> differing;  // expecting: a value without doubt that differed
        std::optional<quint8> agreeWith;  // a value without doubt the next read must agree with
        int doubts = 0;
        FailReason lastFailure = FailReason::None;
    };

    std::optional<quint8> answer(Line from, bool moreWaiting, Clock now);
    std::optional<quint8> countReady(bool moreWaiting, Clock now);
    std::optional<quint8> startCommand(Clock now);
    std::optional<quint8> sendCommand(qsizetype index, bool write, Clock now);
    quint8 send(Line what, quint8 byte, Clock now);
    void valueArrived(quint8 value, Clock now);
    std::optional<quint8> pairArrived(bool moreWaiting, Clock now);
    Verdict judge(quint8 value, FailReason *reason) const;
    void settle(bool acknowledged);
    void confirm(Clock now);
    void doubt(Clock now, bool acknowledged = false);
    void written();
    void abandonExchange();
    void tryFailed(FailReason reason, Clock now);
    void objectDone(bool ok, FailReason reason, Clock now);
    void report(const ObjectResult &result);
    void nextObject(Clock now);
    void deviceNotAnswering(Clock now);
    void endStopped(Clock now);
    void finish(Clock now);
    Phase firstPhase() const;
    bool readBackDue() const;
    bool judging() const { return m_line >= Line::Arrived; }
    bool ourByteOut() const { return m_line >= Line::Command && m_line <= Line::Value; }
    quint8 lastSent() const;

    Job m_job;
    ClientOptions m_options;
    Clock m_start;
    Clock m_progressAt;  // start of the try, or the device's last step forward in it
    std::optional<Clock> m_heardAt;
    std::optional<Clock> m_lastReadyAt;

    qsizetype m_index = 0;
    Current m_current;

    // The line.
    Line m_line = Line::Idle;
    int m_readySeen = 0;
    JobItem m_command;  // what the exchange under way is for, taken when its command went out
    qsizetype m_commandIndex = 0;  // its place in the job
    bool m_commandWrites = false;
    quint8 m_candidate = 0;  // the value under judgement

    bool m_stopping = false;
    bool m_finished = false;
    JobSummary m_summary;
    std::vector<ClientEvent> m_events;
};

}  // namespace orvel

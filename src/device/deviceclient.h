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
    // Our last byte of the exchange under way, not yet answered by the device.
    enum class Sent { Nothing, Command, High, Low, Value };
    enum class Phase { Write, Read };
    // Where the value under judgement is: its byte came (want the first ready byte), the
    // first ready byte came (want the second), or the pair came (want no third).
    enum class Confirm { None, Value, FirstReady, Pair };
    // What the value, if without doubt, makes of its object.
    enum class Verdict { Done, Again, Failed };

    std::optional<quint8> onAcknowledge(bool moreWaiting, Clock now);
    std::optional<quint8> onReady(bool moreWaiting, Clock now);
    std::optional<quint8> startCommand(Clock now);
    quint8 send(Sent what, quint8 byte, Clock now);
    void valueArrived(quint8 value, Clock now);
    std::optional<quint8> pairArrived(bool moreWaiting, Clock now);
    Verdict judge(quint8 value, FailReason *reason) const;
    void confirm(Clock now);
    void doubt(Clock now);
    std::optional<quint8> sendCommand(qsizetype index, bool write, Clock now);
    void writeAcknowledged();
    void written();
    void readAgain();
    void abandonExchange();
    void tryFailed(FailReason reason, Clock now);
    void objectDone(bool ok, FailReason reason, Clock now);
    void report(const ObjectResult &result);
    void nextObject(Clock now);
    void deviceNotAnswering(Clock now);
    void endStopped(Clock now);
    void finish(Clock now);
    bool readBackDue() const;
    bool lineQuiet() const;

    Job m_job;
    ClientOptions m_options;
    Clock m_start;
    Clock m_progressAt;  // start of the try, or the device's last step forward in it
    std::optional<Clock> m_heardAt;
    std::optional<Clock> m_lastReadyAt;

    // The current object.
    qsizetype m_index = 0;
    int m_tries = 1;
    Phase m_phase = Phase::Read;
    bool m_started = false;  // a command went out for it
    bool m_written = false;
    std::optional<quint8> m_lastValue;  // the last value read without doubt, if it counts
    std::optional<quint8> m_differing;  // expecting: a value without doubt that differed
    std::optional<quint8> m_agreeWith;  // a value without doubt the next read must agree with
    int m_doubts = 0;
    bool m_readAgain = false;
    FailReason m_lastFailure = FailReason::None;

    // The value under judgement.
    Confirm m_confirm = Confirm::None;
    quint8 m_candidate = 0;

    // The line.
    Sent m_sent = Sent::Nothing;
    quint8 m_lastSent = 0;
    JobItem m_command;  // what the exchange under way is for, taken when its command went out
    qsizetype m_commandIndex = 0;  // its place in the job
    int m_readySeen = 0;
    int m_readyNeeded = 2;
    bool m_deviceBusy = false;  // in a command we did not start

    bool m_stopping = false;
    bool m_finished = false;
    JobSummary m_summary;
    std::vector<ClientEvent> m_events;
};

}  // namespace orvel

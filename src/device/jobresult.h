#pragma once

#include <QList>
#include <QtGlobal>
#include <chrono>
#include <optional>

namespace orvel {

// A point in time for the device client, counted from any fixed start the caller likes.
using Clock = std::chrono::microseconds;

enum class FailReason {
    None,
    TimedOut,  // the device spoke, but the exchange made no progress for the time-out
    NoAnswer,  // the device said nothing at all
    GaveUp,    // the device gave the command up (it waited for us too long)
    Mismatch,  // the value read back was not the value written
    InDoubt,    // the line left every value the device gave for it in doubt
    Differing,  // the device gave differing values, no two reads in a row agreeing
    Unconfirmed,  // one read differed, and no try was left to read it again
};

struct ObjectResult {
    int object = 0;
    std::optional<quint8> value;  // the last value the device gave for it
    bool ok = false;
    int tries = 0;  // 0: never tried (the device stopped answering before)
    FailReason reason = FailReason::None;
    int doubts = 0;  // reads of it that the line left in doubt
};

struct JobSummary {
    QList<ObjectResult> values;  // read, or written and verified, in the order done
    QList<ObjectResult> failed;  // with the reason; a read-back that disagreed has its value
    int total = 0;
    int done = 0;
    int read = 0;
    int written = 0;  // objects whose value the device took (or may have taken) at least once
    int verified = 0;
    int doubts = 0;     // reads left in doubt by the line, each read again
    bool stopped = false;
    bool deviceNotAnswering = false;
    Clock elapsed{0};
};

}  // namespace orvel

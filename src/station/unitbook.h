#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

#include "outcome/outcome.h"
#include "device/jobresult.h"
#include "table/differences.h"

// What the station keeps of each unit it touches, as the slot hands it over step by step.
// A record is begun before the first byte goes to the unit and closed at its end; a record
// never closed tells that the station was cut short there. What the table asked for
// (intended) and what the device gave (observed) are handed over apart.
namespace orvel::station {

enum class UnitResult { Pass, Fail, CutShort };

enum class BookFailure {
    LabelsUsedUp,   // every label of the list has been used
    LabelUsed,      // the label is recorded already (PASS, unless programmed again)
    NotWritten,     // the record could not be written; the words say why
    NoUnitWaits,    // a label came while no slot's unit waited for one
};

struct UnitStart {
    QString label;
    int slot = 0;
    QString port;   // as the operator named it
    QString place;  // where the port is plugged, where the system knows it
    QDateTime startedAt;
};

// One object in one step: what the table asked for apart from what the device gave.
struct ObjectSeen {
    int object = 0;
    std::optional<quint8> intended;  // the table's value, the value sent
    std::optional<quint8> observed;  // the device's; none when nothing was read without doubt
    int tries = 0;
    int doubts = 0;                  // reads the line left in doubt, each read again
    FailReason failure = FailReason::None;  // why it was not done; None when it was
    bool kept = false;  // the profile marks it read-only or keep: compared, never written
};

// The read before writing: the objects that differ from the table (those the profile
// protects marked kept), and those not read.
struct ReadNote {
    std::vector<ObjectSeen> differed;
    std::vector<ObjectSeen> failed;
};

// The writes (noted as intended before the first goes out), then each with its read-back.
struct WriteNote {
    std::vector<ObjectSeen> objects;
};

// The independent read of every object of the table after writing.
enum class Verdict {
    Held,        // every object read as the table has it
    Differs,     // an object differs, two reads agreeing
    Incomplete,  // an object could not be read either way
};
struct ConfirmNote {
    Verdict verdict = Verdict::Incomplete;
    std::vector<ObjectSeen> objects;  // those that differ or could not be read
};

// Why a unit did not pass.
enum class Cause {
    None,
    NotRead,        // objects of the first read not read
    NotWritten,     // objects not written and verified
    Differs,        // the confirming read found objects that differ, two reads agreeing
    Unconfirmed,    // the confirming read could not confirm some objects either way
    Silent,         // the device stopped answering
    PortLost,       // the port went away under the unit
    Stopped,        // the station was stopped (cut short)
    NotRecorded,    // a step of its record could not be written
};

// The cause as the record keeps it: a short stable word ("port-lost").
QString causeToken(Cause cause);
QString resultToken(UnitResult result);

struct UnitEnd {
    UnitResult result = UnitResult::CutShort;
    Cause cause = Cause::None;
    int objects = 0;  // how many objects the cause concerns, where it counts them
    QDateTime endedAt;
};

using RecordId = qint64;

// The record keeper. Every step returns once what it was handed is on the disk, or says why
// it is not; a slot that cannot record does not go on with the unit.
class UnitBook {
public:
    virtual ~UnitBook() = default;

    // The label for the next unit, from the list or the counter; claimed for good.
    virtual Outcome<QString, BookFailure> nextLabel() = 0;
    // A label scanned or typed: refused when it was recorded PASS, unless `again`.
    virtual Done<BookFailure> acceptLabel(const QString &label, bool again) = 0;

    virtual Outcome<RecordId, BookFailure> begin(const UnitStart &start) = 0;
    virtual Done<BookFailure> noteRead(RecordId id, const ReadNote &note) = 0;
    // Before the first write goes out: what is to be written.
    virtual Done<BookFailure> noteIntent(RecordId id, const WriteNote &note) = 0;
    virtual Done<BookFailure> noteWrite(RecordId id, const WriteNote &note) = 0;
    virtual Done<BookFailure> noteConfirm(RecordId id, const ConfirmNote &note) = 0;
    virtual Done<BookFailure> close(RecordId id, const UnitEnd &end) = 0;
};

}  // namespace orvel::station

#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <map>
#include <memory>

#include "device/devicesession.h"
#include "ports/portfailure.h"
#include "profile/profile.h"
#include "progress/transferprogress.h"
#include "station/unitbook.h"
#include "table/table.h"

namespace orvel {
class Journal;
class SerialBackend;
}  // namespace orvel

namespace orvel::station {

// Where a slot stands with its unit.
enum class Phase {
    NoPort,      // the port is not there (yet): it is tried again and again
    Waiting,     // open, no unit: waiting for a device's ready bytes
    NeedsLabel,  // a unit is there and waits for its label to be scanned or typed
    Reading,     // the table's objects read before writing
    Writing,     // the objects that differ written, each read back
    Confirming,  // every object of the table read again, independently
    Finished,    // PASS or FAIL shown; waiting until the unit is taken away
    Stopped,     // the station is ending: nothing more is sent
};

struct SlotTiming {
    // A unit whose device has sent nothing for this long has been taken away.
    std::chrono::milliseconds goneAfter{1500};
    // How often a port that is not there is tried again.
    std::chrono::milliseconds reopenEvery{500};
};

// What the operator sees of a slot.
struct SlotStatus {
    Phase phase = Phase::NoPort;
    QString label;
    TransferProgress progress;  // of the step under way
    std::optional<UnitResult> lastResult;
    Cause lastCause = Cause::None;  // why the last unit did not pass
    int lastCount = 0;              // how many objects that concerns
    // A unit that could not be begun: no label to give it, or no record to keep.
    std::optional<Failure<BookFailure>> refused;
    QString portProblem;  // the system's words, while the port is not there
};

// How a unit's run ended, for the station's totals and the --json line.
struct UnitReport {
    int slot = 0;
    QString label;
    UnitResult result = UnitResult::CutShort;
    Cause cause = Cause::None;
    QString causeWords;  // the system's words behind the cause (port lost, not recorded)
    int differed = 0;
    int kept = 0;  // of those that differed, the ones the profile protects: not written
    int written = 0;
    int verified = 0;
    int failed = 0;
    double seconds = 0;
};

// One port of the station, on its own: it waits for a unit, programs it like the table (but
// for the objects the profile protects), confirms it with an independent read, records every
// step, and waits until the unit is taken away. It shares nothing with the other slots but the book and the journal, and
// never blocks: a fault on its line is its own.
class Slot final : public QObject {
    Q_OBJECT
public:
    struct Setup {
        int number = 0;
        PortTarget target;
        QString place;
        // Labels come from the operator (scanned or typed) rather than from the book.
        bool labelsTyped = false;
        // A label recorded PASS may be programmed again.
        bool again = false;
        // Objects it marks read-only or keep are compared and never written; a default
        // profile protects none.
        Profile profile;
    };

    Slot(Setup setup, const Table &table, UnitBook &book, Journal &journal,
         std::unique_ptr<SerialBackend> backend, SlotTiming timing = {},
         QObject *parent = nullptr);
    ~Slot() override;

    void start();
    // Finishes the object under way, leaves the device idle, closes the record as cut short.
    void stop();
    // A label scanned or typed for this slot's unit; false (and why) when refused.
    Done<BookFailure> giveLabel(const QString &label);

    const Setup &setup() const { return m_setup; }
    const SlotStatus &status() const { return m_status; }

signals:
    void changed();
    void unitFinished(const orvel::station::UnitReport &report);
    void stopped();

private:
    enum class Step { Read, Write, Confirm };

    void newSession();
    void abandonStep(Cause cause);
    void tryOpen();
    void received();
    void portLost(const QString &words);
    void checkGone();
    void unitArrived();
    void beginUnit(const QString &label);
    void runStep(Step step, const Job &job);
    void stepFinished(const JobSummary &summary);
    void afterRead(const JobSummary &summary);
    void afterWrite(const JobSummary &summary);
    void afterConfirm(const JobSummary &summary);
    void endUnit(UnitResult result, Cause cause, int count = 0, const QString &words = {});
    void setPhase(Phase phase);
    void closePort();
    void journalValue(const QString &operation, int object, int value);
    bool record(const Done<BookFailure> &step);

    Setup m_setup;
    const Table &m_table;
    UnitBook &m_book;
    Journal &m_journal;
    std::unique_ptr<SerialBackend> m_backend;
    SlotTiming m_timing;
    std::unique_ptr<DeviceSession> m_session;
    QTimer m_reopen;
    QTimer m_watch;
    QElapsedTimer m_lastByte;
    QElapsedTimer m_unitClock;
    SlotStatus m_status;
    Step m_step = Step::Read;
    std::optional<RecordId> m_record;
    UnitReport m_report;
    bool m_stopping = false;
    bool m_lost = false;
    bool m_abandoned = false;  // the unit fell silent inside a step: taken away
};

}  // namespace orvel::station

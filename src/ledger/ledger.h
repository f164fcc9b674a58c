#pragma once

#include <QDateTime>
#include <QString>
#include <optional>
#include <set>
#include <vector>

#include "outcome/outcome.h"
#include "table/table.h"

// The ledger: a record per unit a station programs, in an SQLite database (Qt SQL, WAL,
// synchronous=FULL). A record is opened before the first byte goes to the unit, each step
// after it is one transaction, and it is closed at the end; a record not closed (a station
// killed) stays open, and reads as such, never as PASS. A closed record, and every note in
// it, is never changed: the database's triggers refuse it, whoever asks. What the station
// meant to write and what the device gave are kept apart in every note.
//
// A Ledger is one connection of its own, used only on the thread that opened it; a thread
// that needs the ledger opens its own. Readers open it read-only: WAL lets them read while a
// station writes, and neither waits for the other.
namespace orvel {

// Why a ledger step failed; the words are the system's or SQLite's text, or the place.
enum class LedgerFailure {
    Link,          // a symbolic link where the ledger's folder or file must be: not followed
    NotOwn,        // not a folder, or a regular file, of the user's alone with no other name
    System,        // the system refused the folder or the file
    Missing,       // reading: there is no ledger at that place
    NoDriver,      // Qt's SQLite driver is not installed (libqt6sql6-sqlite)
    NotALedger,    // the file is not a ledger, or is damaged
    Newer,         // written by a newer program; left as it is
    NotATable,     // the table given cannot be stored as a table file (its words say why)
    Refused,       // SQLite refused the step (disk full, I/O error, busy too long): nothing of it
                   // was written
    ReadOnly,      // a step asked of a ledger opened for reading
    LabelUsed,     // a list label already given to a unit, ever
    LabelPassed,   // a unit with this label was recorded PASS; programming again not asked
    NoRecord,      // no record with that id
    Closed,        // the record is closed; finished records never change
    NotConfirmed,  // PASS without a confirming read that found the table held
    Incomplete,    // a step of this record could not be written: it cannot be closed PASS
};

using RecordId = qint64;

// How a unit ended.
enum class UnitResult { Pass, Fail, CutShort };

// What the independent read of every object of the table found.
enum class Confirmation {
    Held,        // every object read, each as the table has it (two reads agreeing)
    Differs,     // an object differs from the table
    Incomplete,  // an object could not be read (silence, doubt, a lost port)
};

// One object in one step: what was intended apart from what was observed.
struct ObjectNote {
    int object = 0;
    std::optional<int> intended;  // the table's value, the value sent
    std::optional<int> observed;  // what the device gave; none when nothing was read
    int tries = 1;                // reads or writes it took
    int inDoubt = 0;              // reads put in doubt on the way
    QString failure;              // why it was not done; empty when it was
    bool kept = false;            // the profile marks it read-only or keep: never written
};

// What a record starts with; fixed once the record is open.
struct UnitStart {
    QString label;
    bool labelFromList = false;  // a list label: given to one unit only, ever
    bool programAgain = false;   // the operator asks to program a label recorded PASS again
    QString slot;                // e.g. "COM1"
    QString port;                // the device, e.g. /dev/ttyUSB0
    QString place;               // the physical place (by-path), where known
    QString station;
    QString operatorName;
    QString version;             // the program's
    QString tableName;           // the table file's name
    Table table;                 // stored once per SHA-256 of its file bytes
    // The profile the unit is programmed under (its SHA-256 in lower-case hex); all empty,
    // and NULL in the ledger, when none is used.
    QString profileName, profileVersion, profileSha256;
};

// A record as read back.
struct UnitRecord {
    RecordId id = 0;
    QString label, slot, port, place, station, operatorName, version, tableName, tableSha256;
    QString profileName, profileVersion, profileSha256;  // empty: no profile
    QDateTime started, ended;                  // ended is invalid while open
    std::optional<UnitResult> result;          // none: open (under way, or cut short by a kill)
    std::optional<Confirmation> confirmation;  // none: no confirming read noted
    QString words;                             // said at the close
    std::vector<ObjectNote> differed;   // the pre-read: objects unlike the table
    std::vector<ObjectNote> intended;   // writes about to go out
    std::vector<ObjectNote> written;    // writes done, each with its read back
    std::vector<ObjectNote> confirmed;  // the confirming read, as noted
};

// What `records` returns; an empty or invalid field does not filter.
struct RecordFilter {
    QString label, station, slot;
    QDateTime from, to;  // the start time, from <= started < to
    std::optional<UnitResult> result;
    bool openOnly = false;  // records not closed
};

// What the ledger knows of a label.
struct LabelStatus {
    bool givenFromList = false;
    int passes = 0;  // records with this label closed PASS
};

// The table a unit was programmed with.
struct UnitTable {
    QString name;
    QString sha256;
    Table table;
};

// $XDG_DATA_HOME/orvel-programator/ledger/ledger.sqlite, else under ~/.local/share.
QString defaultLedgerPath();

// "pass", "fail", "cut-short" as stored and printed; "open" for none.
QString resultName(std::optional<UnitResult> result);
QString confirmationName(std::optional<Confirmation> confirmation);

class Ledger {
public:
    // For a station: creates the file (0600; its folder 0700 at the default place) and the
    // schema when missing. An empty path is the default place. The folder and the file are
    // never reached through a link the program did not choose, and must be the user's.
    static Outcome<Ledger, LedgerFailure> open(const QString &path = {});
    // For a reader: read-only, nothing created, no write lock ever taken.
    static Outcome<Ledger, LedgerFailure> openForReading(const QString &path = {});

    Ledger(Ledger &&other) noexcept;
    Ledger &operator=(Ledger &&other) noexcept;
    Ledger(const Ledger &) = delete;
    Ledger &operator=(const Ledger &) = delete;
    ~Ledger();

    const QString &path() const { return m_path; }

    // Opens a record, before the first byte goes to the unit; a list label is taken in the
    // same step.
    Outcome<RecordId, LedgerFailure> beginUnit(const UnitStart &start);
    // The pre-read: the objects whose value differed from the table.
    Done<LedgerFailure> noteDifferences(RecordId id, const std::vector<ObjectNote> &objects);
    // The writes about to go out (intended only).
    Done<LedgerFailure> noteIntended(RecordId id, const std::vector<ObjectNote> &objects);
    // Writes done: each with what was read back, its tries, or why it failed.
    Done<LedgerFailure> noteWritten(RecordId id, const std::vector<ObjectNote> &objects);
    // The confirming read: its verdict and the objects worth keeping (at least those that
    // differed or could not be read).
    Done<LedgerFailure> noteConfirmation(RecordId id, Confirmation verdict,
                                         const std::vector<ObjectNote> &objects);
    // Closes the record for good. PASS only after a confirming read that held, and only
    // when every step of the record was written.
    Done<LedgerFailure> closeUnit(RecordId id, UnitResult result, const QString &words = {});
    // At a station's start: closes as cut short the records of `station` left open by a
    // kill. Only for the one station running under that name. How many were closed.
    Outcome<int, LedgerFailure> closeLeftOpen(const QString &station);

    Outcome<LabelStatus, LedgerFailure> labelStatus(const QString &label);
    // Oldest first.
    Outcome<std::vector<UnitRecord>, LedgerFailure> records(const RecordFilter &filter);
    Outcome<UnitTable, LedgerFailure> tableOf(RecordId id);

private:
    Ledger(QString connection, QString path, bool readOnly);
    static Outcome<Ledger, LedgerFailure> connect(const QString &given, bool readOnly);
    template <class Body>
    Done<LedgerFailure> step(RecordId id, Body &&body);
    Done<LedgerFailure> noteObjects(RecordId id, const char *phase,
                                    const std::vector<ObjectNote> &objects);

    QString m_connection;  // the Qt SQL connection's name; empty once moved from
    QString m_path;
    bool m_readOnly = false;
    std::set<RecordId> m_incomplete;  // records a step of which was not written
};

}  // namespace orvel

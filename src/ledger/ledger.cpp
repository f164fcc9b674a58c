#include "ledger/ledger.h"

#include <QCryptographicHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <atomic>
#include <initializer_list>

#include "ledger/ledgerfile.h"
#include "table/tablefile.h"

namespace orvel {
namespace {

constexpr int kSchemaVersion = 2;

// Version 1, as a new file still begins before it is brought to the current version. The triggers keep every record honest whoever writes to the file: a record is
// born open, only its closing columns change and only while it is open, nothing is ever
// removed, and a note or a stored table never changes.
constexpr const char *kSchema[] = {
    R"(CREATE TABLE tables (
        sha256 TEXT PRIMARY KEY NOT NULL CHECK (length(sha256) = 64),
        bytes BLOB NOT NULL))",
    R"(CREATE TABLE units (
        id INTEGER PRIMARY KEY,
        label TEXT NOT NULL, slot TEXT NOT NULL, port TEXT NOT NULL, place TEXT NOT NULL,
        station TEXT NOT NULL, operator TEXT NOT NULL, version TEXT NOT NULL,
        table_name TEXT NOT NULL, table_sha256 TEXT NOT NULL REFERENCES tables (sha256),
        started TEXT NOT NULL, ended TEXT,
        result TEXT CHECK (result IN ('pass', 'fail', 'cut-short')),
        confirmation TEXT CHECK (confirmation IN ('held', 'differs', 'incomplete')),
        words TEXT NOT NULL DEFAULT '',
        CHECK ((ended IS NULL) = (result IS NULL)),
        CHECK (result IS NOT 'pass' OR confirmation = 'held')))",
    "CREATE INDEX units_by_label ON units (label)",
    "CREATE INDEX units_by_start ON units (started)",
    R"(CREATE TABLE notes (
        unit INTEGER NOT NULL REFERENCES units (id),
        phase TEXT NOT NULL CHECK (phase IN ('differed', 'intended', 'written', 'confirmed')),
        object INTEGER NOT NULL CHECK (object BETWEEN 1 AND 8191),
        intended INTEGER CHECK (intended BETWEEN 0 AND 255),
        observed INTEGER CHECK (observed BETWEEN 0 AND 255),
        tries INTEGER NOT NULL CHECK (tries >= 0),
        in_doubt INTEGER NOT NULL CHECK (in_doubt >= 0),
        failure TEXT NOT NULL))",
    "CREATE INDEX notes_by_unit ON notes (unit)",
    R"(CREATE TABLE list_labels (
        label TEXT PRIMARY KEY NOT NULL, unit INTEGER NOT NULL REFERENCES units (id)))",
    R"(CREATE TRIGGER units_born_open BEFORE INSERT ON units
        WHEN NEW.result IS NOT NULL OR NEW.ended IS NOT NULL OR NEW.confirmation IS NOT NULL
        BEGIN SELECT RAISE(ABORT, 'a record is opened before it is closed'); END)",
    R"(CREATE TRIGGER units_closed_kept BEFORE UPDATE ON units WHEN OLD.result IS NOT NULL
        BEGIN SELECT RAISE(ABORT, 'a closed record is never changed'); END)",
    R"(CREATE TRIGGER units_start_kept BEFORE UPDATE OF id, label, slot, port, place, station,
        operator, version, table_name, table_sha256, started ON units
        BEGIN SELECT RAISE(ABORT, 'what a record started with is never changed'); END)",
    R"(CREATE TRIGGER units_kept BEFORE DELETE ON units
        BEGIN SELECT RAISE(ABORT, 'a record is never removed'); END)",
    R"(CREATE TRIGGER notes_only_while_open BEFORE INSERT ON notes
        WHEN (SELECT result FROM units WHERE id = NEW.unit) IS NOT NULL
        BEGIN SELECT RAISE(ABORT, 'a closed record is never changed'); END)",
    R"(CREATE TRIGGER notes_kept BEFORE UPDATE ON notes
        BEGIN SELECT RAISE(ABORT, 'a note is never changed'); END)",
    R"(CREATE TRIGGER notes_not_removed BEFORE DELETE ON notes
        BEGIN SELECT RAISE(ABORT, 'a note is never removed'); END)",
    R"(CREATE TRIGGER tables_kept BEFORE UPDATE ON tables
        BEGIN SELECT RAISE(ABORT, 'a stored table is never changed'); END)",
    R"(CREATE TRIGGER tables_not_removed BEFORE DELETE ON tables
        BEGIN SELECT RAISE(ABORT, 'a stored table is never removed'); END)",
    R"(CREATE TRIGGER list_labels_kept BEFORE UPDATE ON list_labels
        BEGIN SELECT RAISE(ABORT, 'a list label given out stays given out'); END)",
    R"(CREATE TRIGGER list_labels_not_removed BEFORE DELETE ON list_labels
        BEGIN SELECT RAISE(ABORT, 'a list label given out stays given out'); END)",
};

// Version 2: the profile a unit was programmed under (NULL when none), fixed as the rest of
// what the record started with, and the differing objects it kept from being written. A
// ledger of version 1 is brought here by the first station that opens it; its records stay.
constexpr const char *kToVersion2[] = {
    "ALTER TABLE units ADD COLUMN profile_name TEXT",
    "ALTER TABLE units ADD COLUMN profile_version TEXT",
    "ALTER TABLE units ADD COLUMN profile_sha256 TEXT "
    "CHECK (profile_sha256 IS NULL OR length(profile_sha256) = 64)",
    "ALTER TABLE notes ADD COLUMN kept INTEGER NOT NULL DEFAULT 0 CHECK (kept IN (0, 1))",
    "DROP TRIGGER units_start_kept",
    R"(CREATE TRIGGER units_start_kept BEFORE UPDATE OF id, label, slot, port, place, station,
        operator, version, table_name, table_sha256, started, profile_name, profile_version,
        profile_sha256 ON units
        BEGIN SELECT RAISE(ABORT, 'what a record started with is never changed'); END)",
    "PRAGMA user_version = 2",
};

constexpr const char *kUnitColumns =
    "id, label, slot, port, place, station, operator, version, table_name, table_sha256, "
    "started, ended, result, confirmation, words, %1";
// What a reader takes for the columns a ledger of version 1 does not have yet.
constexpr const char *kProfileColumns[] = {"profile_name, profile_version, profile_sha256",
                                           "NULL, NULL, NULL"};
constexpr const char *kKeptColumn[] = {"kept", "0"};

// SQLite's primary result codes met when a file is no database, or a damaged one.
constexpr int kCorrupt = 11;
constexpr int kNotADatabase = 26;

std::atomic<int> g_connections{0};

Failure<LedgerFailure> failed(LedgerFailure why, const QString &words = {}) {
    return {why, words};
}

Failure<LedgerFailure> refused(const QSqlQuery &query) {
    const QSqlError error = query.lastError();
    const int code = error.nativeErrorCode().toInt() & 0xff;
    const bool damaged = code == kCorrupt || code == kNotADatabase;
    return {damaged ? LedgerFailure::NotALedger : LedgerFailure::Refused,
            error.databaseText().isEmpty() ? error.text() : error.databaseText()};
}

// Prepares `sql` and runs it with `values` bound in order.
bool run(QSqlQuery &query, const QString &sql, std::initializer_list<QVariant> values = {}) {
    if (!query.prepare(sql)) return false;
    for (const QVariant &value : values) query.addBindValue(value);
    return query.exec();
}

// Qt binds a null text as NULL; a text column of ours is never NULL.
QVariant text(const QString &value) { return value.isNull() ? QStringLiteral("") : value; }
// A profile's columns: NULL when no profile was used.
QVariant orNull(const QString &value) {
    return value.isEmpty() ? QVariant(QMetaType::fromType<QString>()) : QVariant(value);
}

QString now() { return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs); }

QVariant optional(const std::optional<int> &value) {
    return value ? QVariant(*value) : QVariant(QMetaType::fromType<int>());
}

std::optional<UnitResult> resultOfName(const QString &name) {
    for (const UnitResult result : {UnitResult::Pass, UnitResult::Fail, UnitResult::CutShort})
        if (resultName(result) == name) return result;
    return std::nullopt;
}

std::optional<Confirmation> confirmationOfName(const QString &name) {
    for (const auto verdict : {Confirmation::Held, Confirmation::Differs, Confirmation::Incomplete})
        if (confirmationName(verdict) == name) return verdict;
    return std::nullopt;
}

QString sha256Of(const QByteArray &bytes) {
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

// Within a step: the record must be there and open.
Done<LedgerFailure> openRecord(QSqlQuery &query, RecordId id) {
    if (!run(query, QStringLiteral("SELECT result FROM units WHERE id = ?"), {id}))
        return refused(query);
    if (!query.next()) return failed(LedgerFailure::NoRecord);
    if (!query.value(0).isNull()) return failed(LedgerFailure::Closed);
    return {};
}

// Sets the connection up, and a new file's schema (or an older file's step to the current
// version) in one transaction: a second station opening the same file waits for it and finds
// the schema made. A reader takes the file as it is.
Done<LedgerFailure> prepare(const QSqlDatabase &db, bool readOnly) {
    QSqlQuery query(db);
    const auto pragma = [&](const char *sql) { return run(query, QString::fromLatin1(sql)); };
    if (!pragma("PRAGMA foreign_keys = ON")) return refused(query);
    if (readOnly) {
        if (!pragma("PRAGMA query_only = ON") || !pragma("PRAGMA user_version") || !query.next())
            return refused(query);
        const int version = query.value(0).toInt();
        if (version > kSchemaVersion) return failed(LedgerFailure::Newer);
        if (version == 0) return failed(LedgerFailure::NotALedger, QStringLiteral("empty"));
        return {};
    }
    if (!pragma("PRAGMA synchronous = FULL") || !pragma("PRAGMA journal_mode = WAL") ||
        !query.next())
        return refused(query);
    if (query.value(0).toString() != u"wal")
        return failed(LedgerFailure::Refused, QStringLiteral("the file cannot be kept in WAL mode"));
    if (!pragma("BEGIN IMMEDIATE")) return refused(query);
    const auto done = [&](Done<LedgerFailure> outcome) {
        QSqlQuery end(db);
        if (outcome && !end.exec(QStringLiteral("COMMIT"))) outcome = refused(end);
        if (!outcome) end.exec(QStringLiteral("ROLLBACK"));
        return outcome;
    };
    if (!pragma("PRAGMA user_version") || !query.next()) return done(refused(query));
    const int version = query.value(0).toInt();
    if (version > kSchemaVersion) return done(failed(LedgerFailure::Newer));
    if (version == kSchemaVersion) return done({});
    if (version == 0) {
        if (!pragma("SELECT count(*) FROM sqlite_master") || !query.next())
            return done(refused(query));
        if (query.value(0).toInt() != 0)
            return done(failed(LedgerFailure::NotALedger, QStringLiteral("holds other tables")));
        for (const char *statement : kSchema)
            if (!pragma(statement)) return done(refused(query));
    }
    for (const char *statement : kToVersion2)
        if (!pragma(statement)) return done(refused(query));
    return done({});
}

Done<LedgerFailure> insertNotes(QSqlQuery &query, RecordId id, const char *phase,
                                const std::vector<ObjectNote> &objects) {
    if (!query.prepare(QStringLiteral(
            "INSERT INTO notes (unit, phase, object, intended, observed, tries, in_doubt, "
            "failure, kept) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)")))
        return refused(query);
    for (const ObjectNote &note : objects) {
        const QVariant values[] = {id,          QString::fromLatin1(phase), note.object,
                                   optional(note.intended), optional(note.observed),
                                   note.tries,  note.inDoubt,              text(note.failure),
                                   int(note.kept)};
        for (int i = 0; i < 9; ++i) query.bindValue(i, values[i]);
        if (!query.exec()) return refused(query);
    }
    return {};
}

void readNotes(QSqlQuery &query, UnitRecord &record) {
    while (query.next()) {
        ObjectNote note;
        note.object = query.value(1).toInt();
        if (!query.value(2).isNull()) note.intended = query.value(2).toInt();
        if (!query.value(3).isNull()) note.observed = query.value(3).toInt();
        note.tries = query.value(4).toInt();
        note.inDoubt = query.value(5).toInt();
        note.failure = query.value(6).toString();
        note.kept = query.value(7).toBool();
        const QString phase = query.value(0).toString();
        (phase == u"differed"   ? record.differed
         : phase == u"intended" ? record.intended
         : phase == u"written"  ? record.written
                                : record.confirmed)
            .push_back(std::move(note));
    }
}

}  // namespace

QString resultName(std::optional<UnitResult> result) {
    if (!result) return QStringLiteral("open");
    switch (*result) {
        case UnitResult::Pass:
            return QStringLiteral("pass");
        case UnitResult::Fail:
            return QStringLiteral("fail");
        case UnitResult::CutShort:
            break;
    }
    return QStringLiteral("cut-short");
}

QString confirmationName(std::optional<Confirmation> confirmation) {
    if (!confirmation) return {};
    switch (*confirmation) {
        case Confirmation::Held:
            return QStringLiteral("held");
        case Confirmation::Differs:
            return QStringLiteral("differs");
        case Confirmation::Incomplete:
            break;
    }
    return QStringLiteral("incomplete");
}

Outcome<Ledger, LedgerFailure> Ledger::connect(const QString &given, bool readOnly) {
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE")))
        return failed(LedgerFailure::NoDriver);
    const auto file = prepareLedgerFile(given, !readOnly);
    if (!file) return file.failure();
    const QString name = QStringLiteral("orvel-ledger-%1").arg(++g_connections);
    Ledger ledger(name, file->path, readOnly);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(file->path);
    db.setConnectOptions(readOnly ? QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000;QSQLITE_OPEN_READONLY")
                                  : QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
    if (!db.open()) return failed(LedgerFailure::Refused, db.lastError().text());
    if (!stillTheFile(*file))
        return failed(LedgerFailure::Link, file->path + QStringLiteral(": replaced while opened"));
    if (const auto prepared = prepare(db, readOnly); !prepared) return prepared.failure();
    return ledger;
}

Ledger::Ledger(QString connection, QString path, bool readOnly)
    : m_connection(std::move(connection)), m_path(std::move(path)), m_readOnly(readOnly) {}

Outcome<Ledger, LedgerFailure> Ledger::open(const QString &path) {
    return connect(path, false);
}

Outcome<Ledger, LedgerFailure> Ledger::openForReading(const QString &path) {
    return connect(path, true);
}

Ledger::Ledger(Ledger &&other) noexcept
    : m_connection(std::exchange(other.m_connection, {})),
      m_path(std::move(other.m_path)),
      m_readOnly(other.m_readOnly),
      m_incomplete(std::move(other.m_incomplete)) {}

Ledger &Ledger::operator=(Ledger &&other) noexcept {
    if (this != &other) {
        this->~Ledger();
        new (this) Ledger(std::move(other));
    }
    return *this;
}

Ledger::~Ledger() {
    if (m_connection.isEmpty()) return;
    QSqlDatabase::database(m_connection, false).close();
    QSqlDatabase::removeDatabase(m_connection);
}

template <class Body>
Done<LedgerFailure> Ledger::step(RecordId id, Body &&body) {
    if (m_readOnly) return failed(LedgerFailure::ReadOnly);
    const QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery control(db);
    // IMMEDIATE: the write lock is taken at the start, so two stations on one file wait for
    // each other instead of failing half-way.
    if (!control.exec(QStringLiteral("BEGIN IMMEDIATE"))) return refused(control);
    QSqlQuery query(db);
    Done<LedgerFailure> done = body(query);
    query.finish();
    if (done && !control.exec(QStringLiteral("COMMIT"))) done = refused(control);
    if (!done) {
        control.exec(QStringLiteral("ROLLBACK"));
        if (done.why() == LedgerFailure::Refused && id != 0) m_incomplete.insert(id);
    }
    return done;
}

Outcome<RecordId, LedgerFailure> Ledger::beginUnit(const UnitStart &start) {
    if (const auto problem = tableProblem(start.table); !problem)
        return failed(LedgerFailure::NotATable, problem.words());
    const QByteArray bytes = toBytes(start.table);
    const QString sha256 = sha256Of(bytes);
    RecordId id = 0;
    const auto done = step(0, [&](QSqlQuery &query) -> Done<LedgerFailure> {
        if (start.labelFromList) {
            if (!run(query, QStringLiteral("SELECT 1 FROM list_labels WHERE label = ?"),
                     {start.label}))
                return refused(query);
            if (query.next()) return failed(LedgerFailure::LabelUsed, start.label);
        }
        if (!start.programAgain) {
            if (!run(query,
                     QStringLiteral("SELECT 1 FROM units WHERE label = ? AND result = 'pass'"),
                     {start.label}))
                return refused(query);
            if (query.next()) return failed(LedgerFailure::LabelPassed, start.label);
        }
        if (!run(query, QStringLiteral("INSERT OR IGNORE INTO tables (sha256, bytes) VALUES (?, ?)"),
                 {sha256, bytes}) ||
            !run(query,
                 QStringLiteral("INSERT INTO units (label, slot, port, place, station, operator, "
                                "version, table_name, table_sha256, started, profile_name, "
                                "profile_version, profile_sha256) "
                                "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                 {text(start.label), text(start.slot), text(start.port), text(start.place),
                  text(start.station), text(start.operatorName), text(start.version),
                  text(start.tableName), sha256, now(), orNull(start.profileName),
                  orNull(start.profileVersion), orNull(start.profileSha256)}))
            return refused(query);
        id = query.lastInsertId().toLongLong();
        if (start.labelFromList &&
            !run(query, QStringLiteral("INSERT INTO list_labels (label, unit) VALUES (?, ?)"),
                 {start.label, id}))
            return refused(query);
        return {};
    });
    if (!done) return done.failure();
    return id;
}

Done<LedgerFailure> Ledger::noteObjects(RecordId id, const char *phase,
                                        const std::vector<ObjectNote> &objects) {
    return step(id, [&](QSqlQuery &query) -> Done<LedgerFailure> {
        if (const auto open = openRecord(query, id); !open) return open;
        return insertNotes(query, id, phase, objects);
    });
}

Done<LedgerFailure> Ledger::noteDifferences(RecordId id, const std::vector<ObjectNote> &objects) {
    return noteObjects(id, "differed", objects);
}

Done<LedgerFailure> Ledger::noteIntended(RecordId id, const std::vector<ObjectNote> &objects) {
    return noteObjects(id, "intended", objects);
}

Done<LedgerFailure> Ledger::noteWritten(RecordId id, const std::vector<ObjectNote> &objects) {
    return noteObjects(id, "written", objects);
}

Done<LedgerFailure> Ledger::noteConfirmation(RecordId id, Confirmation verdict,
                                             const std::vector<ObjectNote> &objects) {
    return step(id, [&](QSqlQuery &query) -> Done<LedgerFailure> {
        if (const auto open = openRecord(query, id); !open) return open;
        if (const auto noted = insertNotes(query, id, "confirmed", objects); !noted) return noted;
        if (!run(query, QStringLiteral("UPDATE units SET confirmation = ? WHERE id = ?"),
                 {confirmationName(verdict), id}))
            return refused(query);
        return {};
    });
}

Done<LedgerFailure> Ledger::closeUnit(RecordId id, UnitResult result, const QString &words) {
    if (result == UnitResult::Pass && m_incomplete.count(id) != 0)
        return failed(LedgerFailure::Incomplete);
    return step(id, [&](QSqlQuery &query) -> Done<LedgerFailure> {
        if (const auto open = openRecord(query, id); !open) return open;
        if (result == UnitResult::Pass) {
            if (!run(query, QStringLiteral("SELECT confirmation FROM units WHERE id = ?"), {id}) ||
                !query.next())
                return refused(query);
            if (query.value(0).toString() != confirmationName(Confirmation::Held))
                return failed(LedgerFailure::NotConfirmed);
        }
        if (!run(query,
                 QStringLiteral("UPDATE units SET ended = ?, result = ?, words = ? WHERE id = ?"),
                 {now(), resultName(result), text(words), id}))
            return refused(query);
        return {};
    });
}

Outcome<int, LedgerFailure> Ledger::closeLeftOpen(const QString &station) {
    int closed = 0;
    const auto done = step(0, [&](QSqlQuery &query) -> Done<LedgerFailure> {
        if (!run(query,
                 QStringLiteral("UPDATE units SET ended = ?, result = 'cut-short', words = ? "
                                "WHERE result IS NULL AND station = ?"),
                 {now(), QStringLiteral("left open: the station stopped before closing it"),
                  station}))
            return refused(query);
        closed = query.numRowsAffected();
        return {};
    });
    if (!done) return done.failure();
    return closed;
}

Outcome<LabelStatus, LedgerFailure> Ledger::labelStatus(const QString &label) {
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    if (!run(query,
             QStringLiteral("SELECT EXISTS (SELECT 1 FROM list_labels WHERE label = ?), "
                            "(SELECT count(*) FROM units WHERE label = ? AND result = 'pass')"),
             {label, label}) ||
        !query.next())
        return refused(query);
    return LabelStatus{query.value(0).toBool(), query.value(1).toInt()};
}

Outcome<std::vector<UnitRecord>, LedgerFailure> Ledger::records(const RecordFilter &filter) {
    const QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery query(db);
    // One read transaction: the records and their notes as of one moment, while a station
    // goes on committing beside it (and may bring a ledger of version 1 to version 2).
    QSqlQuery control(db);
    if (!control.exec(QStringLiteral("BEGIN"))) return refused(control);
    const auto end = [&](Failure<LedgerFailure> failure) {
        control.exec(QStringLiteral("ROLLBACK"));
        return failure;
    };
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next())
        return end(refused(query));
    const int old = query.value(0).toInt() < 2 ? 1 : 0;
    const QString columns =
        QString::fromLatin1(kUnitColumns).arg(QLatin1String(kProfileColumns[old]));
    QString sql = QStringLiteral("SELECT %1 FROM units WHERE 1").arg(columns);
    QVariantList values;
    const auto where = [&](const char *condition, const QVariant &value) {
        sql += QLatin1String(condition);
        values.append(value);
    };
    if (!filter.label.isEmpty()) where(" AND label = ?", filter.label);
    if (!filter.station.isEmpty()) where(" AND station = ?", filter.station);
    if (!filter.slot.isEmpty()) where(" AND slot = ?", filter.slot);
    if (filter.from.isValid())
        where(" AND started >= ?", filter.from.toUTC().toString(Qt::ISODateWithMs));
    if (filter.to.isValid()) where(" AND started < ?", filter.to.toUTC().toString(Qt::ISODateWithMs));
    if (filter.result) where(" AND result = ?", resultName(filter.result));
    if (filter.openOnly) sql += QLatin1String(" AND result IS NULL");
    sql += QLatin1String(" ORDER BY id");
    if (!query.prepare(sql)) return end(refused(query));
    for (const QVariant &value : values) query.addBindValue(value);
    if (!query.exec()) return end(refused(query));
    std::vector<UnitRecord> records;
    while (query.next()) {
        UnitRecord r;
        r.id = query.value(0).toLongLong();
        QString *texts[] = {&r.label,    &r.slot,         &r.port,    &r.place,     &r.station,
                            &r.operatorName, &r.version, &r.tableName, &r.tableSha256};
        for (int i = 0; i < 9; ++i) *texts[i] = query.value(1 + i).toString();
        r.started = QDateTime::fromString(query.value(10).toString(), Qt::ISODateWithMs);
        r.ended = QDateTime::fromString(query.value(11).toString(), Qt::ISODateWithMs);
        r.result = resultOfName(query.value(12).toString());
        r.confirmation = confirmationOfName(query.value(13).toString());
        r.words = query.value(14).toString();
        r.profileName = query.value(15).toString();
        r.profileVersion = query.value(16).toString();
        r.profileSha256 = query.value(17).toString();
        records.push_back(std::move(r));
    }
    QSqlQuery notes(db);
    if (!notes.prepare(QStringLiteral("SELECT phase, object, intended, observed, tries, in_doubt, "
                                      "failure, %1 FROM notes WHERE unit = ? ORDER BY rowid")
                           .arg(QLatin1String(kKeptColumn[old]))))
        return end(refused(notes));
    for (UnitRecord &record : records) {
        notes.bindValue(0, record.id);
        if (!notes.exec()) return end(refused(notes));
        readNotes(notes, record);
    }
    control.exec(QStringLiteral("COMMIT"));
    return records;
}

Outcome<UnitTable, LedgerFailure> Ledger::tableOf(RecordId id) {
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    if (!run(query,
             QStringLiteral("SELECT u.table_name, u.table_sha256, t.bytes FROM units u "
                            "JOIN tables t ON t.sha256 = u.table_sha256 WHERE u.id = ?"),
             {id}))
        return refused(query);
    if (!query.next()) return failed(LedgerFailure::NoRecord);
    const QByteArray bytes = query.value(2).toByteArray();
    const QString sha256 = query.value(1).toString();
    ParseResult parsed = parseTable(bytes);
    if (sha256Of(bytes) != sha256 || !parsed.table)
        return failed(LedgerFailure::NotALedger,
                      QStringLiteral("the table stored as %1 is damaged").arg(sha256));
    return UnitTable{query.value(0).toString(), sha256, std::move(*parsed.table)};
}

}  // namespace orvel

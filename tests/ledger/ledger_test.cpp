#include "ledger/ledger.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <algorithm>
#include <functional>
#include <map>
#include <random>

#include "table/tablefile.h"

namespace orvel {
namespace {

Table table(int objects) {
    Table t{QDateTime(QDate(2026, 3, 1), QTime(8, 0), Qt::UTC), QStringLiteral("COM 1"), {}, {}};
    for (int object = 1; object <= objects; ++object) t.objects[object] = quint8(object % 2);
    return t;
}

UnitStart unit(const QString &label, bool fromList = true, int objects = 20) {
    return {label, fromList, false, "COM1", "/dev/ttyUSB0", "pci-0000:00:14.0-usb-0:2:1.0",
            "line 3", "ann", "1.0", "lamp.csv", table(objects), "D", "2", QString(64, 'e')};
}

std::vector<ObjectNote> notes(int count, bool observed = true) {
    std::vector<ObjectNote> all;
    for (int object = 1; object <= count; ++object)
        all.push_back({object, 1, observed ? std::optional(object % 2) : std::nullopt, 2, 1,
                       object % 5 ? QString() : QStringLiteral("no acknowledge after 3 tries"),
                       object % 7 == 0});
    return all;
}

// A unit programmed through: begun, each step, confirmed, closed PASS, as a station that
// goes on whatever a step returned. `said` hears 'O' once begun, 'C' before the close, then
// 'P' after a close that said PASS or 'X' after one refused.
bool program(Ledger &ledger, const UnitStart &start, int objects,
             const std::function<void(char)> &said = [](char) {}) {
    const auto id = ledger.beginUnit(start);
    if (!id) return false;
    said('O');
    bool done = ledger.noteDifferences(*id, notes(objects)).ok();
    done = ledger.noteIntended(*id, notes(objects, false)).ok() && done;
    done = ledger.noteWritten(*id, notes(objects)).ok() && done;
    done = ledger.noteConfirmation(*id, Confirmation::Held, notes(objects)).ok() && done;
    said('C');
    if (!ledger.closeUnit(*id, UnitResult::Pass)) return said('X'), false;
    said('P');
    return done;
}

std::vector<UnitRecord> recordsIn(const QString &path) {
    auto reader = Ledger::openForReading(path);
    if (!reader) return {};
    auto records = reader->records({});
    return records ? *records : std::vector<UnitRecord>{};
}

// The database's own check of its file, and a statement run as anyone could.
QString sql(const QString &path, const QString &statement) {
    QString answer = "refused";
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "raw");
        db.setDatabaseName(path);
        QSqlQuery query(db);
        if (db.open() && query.exec(statement)) answer = query.next() ? query.value(0).toString() : "";
    }
    QSqlDatabase::removeDatabase("raw");
    return answer;
}

// Runs `body` in a child process that tells what happened through a pipe, one byte per
// event; returns the child and the pipe's reading end.
std::pair<pid_t, int> inChild(const std::function<void(int out)> &body) {
    int ends[2];
    if (::pipe(ends) != 0) return {-1, -1};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(ends[0]);
        body(ends[1]);
        ::_exit(0);
    }
    ::close(ends[1]);
    return {child, ends[0]};
}

QByteArray heard(int from) {
    QFile pipe;  // read to its end: the child has ended
    pipe.open(from, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    return pipe.readAll();
}

void tell(int out, char event) { (void)!::write(out, &event, 1); }

// On a new ledger, and on one of version 1 (its station's: a pass, one left open) brought up.
TEST(Ledger, FinishedRecordsAndGivenLabelsStayAsTheyAre) {
    for (const QString old : {"", ORVEL_LEDGER_V1}) {
        SCOPED_TRACE(old.isEmpty() ? "a new ledger" : "a ledger of version 1");
        QTemporaryDir dir;
        const QString path = dir.filePath("ledger.sqlite");
        const size_t a1 = old.isEmpty() ? 0 : 2;  // the first record made here
        ASSERT_TRUE(old.isEmpty() || QFile::copy(old, path));
        ASSERT_EQ(recordsIn(path).size(), a1);  // version 1 read as it is, before a station
        auto ledger = Ledger::open(path);
        ASSERT_TRUE(ledger.ok()) << ledger.words().toStdString();
        ASSERT_TRUE(program(*ledger, unit("A-1"), 30));
        const auto open = ledger->beginUnit(unit("A-2"));
        ASSERT_TRUE(open.ok());
        const std::vector<UnitRecord> before = recordsIn(path);
        const auto refused = [](auto outcome, LedgerFailure why) {
            return !outcome.ok() && outcome.why() == why;
        };
        UnitStart again = unit("A-1", false);
        again.programAgain = true;
        const struct {
            const char *name;
            std::function<bool()> refused;  // true when the change was refused
        } rows[] = {
            {"a list label given again", [&] { return refused(ledger->beginUnit(unit("A-2")), LedgerFailure::LabelUsed); }},
            {"a label recorded PASS on another unit", [&] { return refused(ledger->beginUnit(unit("A-1", false)), LedgerFailure::LabelPassed); }},
            {"a note on a closed record", [&] { return refused(ledger->noteWritten(1, notes(1)), LedgerFailure::Closed); }},
            {"a closed record closed again", [&] { return refused(ledger->closeUnit(1, UnitResult::Fail), LedgerFailure::Closed); }},
            {"PASS without a confirming read", [&] { return refused(ledger->closeUnit(*open, UnitResult::Pass), LedgerFailure::NotConfirmed); }},
            {"PASS after a confirming read that differs", [&] { return ledger->noteConfirmation(*open, Confirmation::Differs, {}) && refused(ledger->closeUnit(*open, UnitResult::Pass), LedgerFailure::NotConfirmed); }},
            {"SQL: a closed result changed", [&] { return sql(path, "UPDATE units SET result = 'fail' WHERE id = 1") == "refused"; }},
            {"SQL: an open record's label changed", [&] { return sql(path, "UPDATE units SET label = 'B' WHERE id = 2") == "refused"; }},
            {"SQL: a record removed", [&] { return sql(path, "DELETE FROM units WHERE id = 2") == "refused"; }},
            {"SQL: an open record's profile changed", [&] { return sql(path, QString("UPDATE units SET profile_sha256 = NULL WHERE id = %1").arg(*open)) == "refused"; }},
            {"SQL: a record born PASS", [&] { return sql(path, "INSERT INTO units SELECT 9, 'Z', slot, port, place, station, operator, version, table_name, table_sha256, started, ended, result, confirmation, words, NULL, NULL, NULL FROM units WHERE id = 1") == "refused"; }},
            {"SQL: a note added to a closed record", [&] { return sql(path, "INSERT INTO notes VALUES (1, 'written', 5, 1, 1, 1, 0, '', 0)") == "refused"; }},
            {"SQL: a note changed", [&] { return sql(path, "UPDATE notes SET observed = 1 WHERE observed = 0") == "refused"; }},
            {"SQL: a note removed", [&] { return sql(path, "DELETE FROM notes WHERE unit = 1") == "refused"; }},
            {"SQL: a stored table changed", [&] { return sql(path, "UPDATE tables SET bytes = x'00'") == "refused"; }},
            {"SQL: a list label given back", [&] { return sql(path, "DELETE FROM list_labels") == "refused"; }},
        };
        for (const auto &row : rows) {
            SCOPED_TRACE(row.name);
            EXPECT_TRUE(row.refused());
            const std::vector<UnitRecord> after = recordsIn(path);
            ASSERT_EQ(after.size(), before.size());
            EXPECT_EQ(resultName(after[0].result), "pass");
            EXPECT_EQ(after[0].written.size(), 30u);
            EXPECT_EQ(after[0].ended, before[0].ended);
        }
        // What was meant and what was seen, apart; a second programming is a record of its own
        // with the same table, stored once and given back byte for byte.
        const std::vector<UnitRecord> all = recordsIn(path);
        ASSERT_FALSE(all.empty());
        const UnitRecord &first = all[a1];
        EXPECT_EQ(first.profileName + first.profileVersion + first.profileSha256,
                  "D2" + QString(64, 'e'));
        EXPECT_EQ(all[1].profileName.isEmpty(), a1 > 0);  // none before version 2
        EXPECT_TRUE(first.differed[6].kept && !first.differed[5].kept);
        EXPECT_EQ(first.written[3].intended, 1);
        EXPECT_EQ(first.written[3].observed, 0);
        EXPECT_EQ(first.intended[3].observed, std::nullopt);
        EXPECT_EQ(first.written[4].failure, "no acknowledge after 3 tries");
        EXPECT_TRUE(ledger->beginUnit(again).ok());
        EXPECT_EQ(sql(path, "SELECT count(*) FROM tables"), a1 ? "2" : "1");  // and version 1's
        const auto stored = ledger->tableOf(a1 + 3);
        ASSERT_TRUE(stored.ok());
        EXPECT_EQ(toBytes(stored->table), toBytes(table(20)));
        EXPECT_EQ(sql(path, "PRAGMA integrity_check"), "ok");
    }
}

TEST(Ledger, TakesNoPlantedLinkAndKeepsItsFilesPrivate) {
    QTemporaryDir dir;
    const QString data = dir.filePath("data");
    qputenv("XDG_DATA_HOME", QFile::encodeName(data));
    QDir().mkpath(dir.filePath("elsewhere"));
    const struct {
        const char *name;
        QString planted, path;  // a link at `planted` to elsewhere; `path` given or default
        LedgerFailure why;
    } rows[] = {
        {"the ledger's folder a link", data + "/orvel-programator/ledger", "", LedgerFailure::Link},
        {"the given file a link", dir.filePath("given.sqlite"), dir.filePath("given.sqlite"), LedgerFailure::Link},
        {"its -wal a link", dir.filePath("w.sqlite-wal"), dir.filePath("w.sqlite"), LedgerFailure::Link},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        QDir().mkpath(QFileInfo(row.planted).path());
        ASSERT_TRUE(QFile::link(dir.filePath("elsewhere"), row.planted));
        const auto ledger = Ledger::open(row.path);
        EXPECT_FALSE(ledger.ok());
        EXPECT_EQ(ledger.ok() ? LedgerFailure::Refused : ledger.why(), row.why);
        EXPECT_TRUE(QDir(dir.filePath("elsewhere")).isEmpty());
        QFile::remove(row.planted);
    }
    ASSERT_TRUE(Ledger::open().ok());
    EXPECT_EQ(QFileInfo(defaultLedgerPath()).permissions() & 0x0077, 0);  // no group, no others
    EXPECT_EQ(QFileInfo(QFileInfo(defaultLedgerPath()).path()).permissions() & 0x0077, 0);
}

// A station killed at random moments, again and again on one ledger: every unit begun has a
// record, none reads PASS unless its close was under way, each label went to one unit, and
// the file stays whole. The child says 'B' before beginning, 'O' once begun, 'C' before
// closing PASS.
TEST(Ledger, EveryUnitBegunIsRecordedWhateverMomentAKillLandsAt) {
    QTemporaryDir dir;
    const QString path = dir.filePath("ledger.sqlite");
    std::mt19937 random(7);
    std::map<int, QByteArray> told;  // unit number -> what its child said of it
    int next = 0;
    for (int run = 0; run < 40; ++run) {
        SCOPED_TRACE(run);
        const int first = next;
        auto [child, from] = inChild([&](int out) {
            auto ledger = Ledger::open(path);
            if (!ledger || !ledger->closeLeftOpen("line 3")) ::_exit(1);
            for (int n = first;; ++n) {
                tell(out, 'B');
                program(*ledger, unit(QString::number(n)), 20, [&](char e) { tell(out, e); });
            }
        });
        // Now and then long enough for whole units, however slow the machine (a sanitizer).
        QThread::usleep(run % 8 == 7 ? 3000000 : random() % 200000);
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        int n = first - 1;  // the child begins its units in order, each said with 'B'
        for (const char event : heard(from)) {
            n += event == 'B';
            told[n] += event;
        }
        next = n + 1;
        std::map<QString, int> labels;
        for (const UnitRecord &record : recordsIn(path)) {
            const QByteArray said = told[record.label.toInt()];
            EXPECT_TRUE(said.startsWith('B')) << "a record of no unit begun: " << record.id;
            EXPECT_EQ(++labels[record.label], 1) << "label given twice: " << record.label.toStdString();
            if (record.result == UnitResult::Pass) {
                EXPECT_TRUE(said.contains('C') && !said.contains('X')) << "PASS unasked: " << record.id;
                EXPECT_EQ(record.confirmed.size(), 20u);
            }
        }
        for (const auto &[n, said] : told)
            EXPECT_TRUE(!said.contains('O') || labels.count(QString::number(n)) == 1) << n;
        ASSERT_EQ(sql(path, "PRAGMA integrity_check"), "ok");
    }
    const auto units = [&](char e) {
        return std::count_if(told.begin(), told.end(), [&](auto &u) { return u.second.contains(e); });
    };
    EXPECT_GT(units('P'), 0);
    EXPECT_GT(units('O'), units('P'));  // kills landed inside units
    auto station = Ledger::open(path);
    ASSERT_TRUE(station.ok());
    EXPECT_TRUE(station->closeLeftOpen("line 3").ok());
    for (const UnitRecord &record : recordsIn(path)) EXPECT_TRUE(record.result.has_value());
}

// A disk that fills (RLIMIT_FSIZE, SIGXFSZ ignored): the step that cannot be written says so,
// its record is never closed PASS, and what was said to be written is there.
TEST(Ledger, AStepTheFullDiskRefusesFailsAndItsUnitNeverPasses) {
    const struct { const char *name; rlim_t room; } rows[] = {
        {"full as the ledger is made", 6 * 1024},
        {"full in the first unit", 100 * 1024},
        {"full after some units", 400 * 1024},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir dir;
        const QString path = dir.filePath("ledger.sqlite");
        auto [child, from] = inChild([&](int out) {
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit room{row.room, RLIM_INFINITY};
            ::setrlimit(RLIMIT_FSIZE, &room);
            auto ledger = Ledger::open(path);
            if (!ledger) return tell(out, 'F');
            for (int n = 0; n < 200; ++n) {
                tell(out, 'B');
                if (!program(*ledger, unit(QString::number(n)), 300, [&](char e) { tell(out, e); }))
                    return tell(out, 'F');
            }
        });
        int status = 0;
        ::waitpid(child, &status, 0);
        const QByteArray events = heard(from);
        ASSERT_TRUE(events.endsWith('F')) << "the disk never filled: " << events.size();
        int passes = 0;
        const std::vector<UnitRecord> records = recordsIn(path);
        for (const UnitRecord &record : records) passes += record.result == UnitResult::Pass;
        EXPECT_EQ(passes, events.count('P'));
        EXPECT_EQ(int(records.size()), events.count('O'));
        EXPECT_EQ(sql(path, "PRAGMA integrity_check"), "ok");
    }
}

// Two readers, another connection holding one moment's view and `orvel ledger` runs, while
// a station commits unit after unit: the readers always read, the station never waits.
TEST(Ledger, ReadersBesideAWritingStationNeitherWaitNorHoldItUp) {
    QTemporaryDir dir;
    const QString path = dir.filePath("ledger.sqlite");
    ASSERT_TRUE(Ledger::open(path).ok());
    int go[2];
    ASSERT_EQ(::pipe(go), 0);
    // Forked before this process opens the file: SQLite's locks do not cross a fork.
    auto [child, from] = inChild([&](int out) {
        char byte;
        if (::read(go[0], &byte, 1) != 1) return tell(out, 'F');
        auto ledger = Ledger::open(path);
        for (int n = 0; n < 60; ++n)
            if (!ledger || !program(*ledger, unit(QString::number(n)), 10)) return tell(out, 'F');
        tell(out, 'P');
    });
    QSqlDatabase held = QSqlDatabase::addDatabase("QSQLITE", "held");
    held.setDatabaseName(path);
    held.setConnectOptions("QSQLITE_OPEN_READONLY");
    QSqlQuery view(held);
    ASSERT_TRUE(held.open() && view.exec("BEGIN") && view.exec("SELECT count(*) FROM notes") &&
                view.next());
    ASSERT_EQ(::write(go[1], "g", 1), 1);
    auto reader = Ledger::openForReading(path);
    ASSERT_TRUE(reader.ok());
    int reads = 0, seen = 0;
    for (int status = 0; ::waitpid(child, &status, WNOHANG) == 0; ++reads) {
        const auto records = reader->records({});
        ASSERT_TRUE(records.ok()) << records.words().toStdString();
        EXPECT_GE(int(records->size()), seen);
        seen = int(records->size());
        QProcess orvel;
        orvel.start(ORVEL_CLI, {"ledger", "--ledger", path, "--result", "pass"});
        EXPECT_TRUE(orvel.waitForFinished(60000));
        EXPECT_EQ(orvel.exitCode(), 0) << orvel.readAllStandardError().toStdString();
        ASSERT_LT(reads, 5000) << "the station did not finish";
    }
    EXPECT_EQ(heard(from), "P");  // every step written while a view was held
    EXPECT_EQ(reader->records({})->size(), 60u);
    ASSERT_TRUE(view.exec("SELECT count(*) FROM notes") && view.next());
    EXPECT_EQ(view.value(0).toInt(), 0);  // the held view is one moment's
    view = QSqlQuery();
    held = QSqlDatabase();
    QSqlDatabase::removeDatabase("held");
    // A station in the middle of a step holds the write lock: the readers read all the same.
    QSqlDatabase station = QSqlDatabase::addDatabase("QSQLITE", "station");
    station.setDatabaseName(path);
    QSqlQuery step(station);
    ASSERT_TRUE(station.open() && step.exec("BEGIN IMMEDIATE") &&
                step.exec("INSERT INTO tables VALUES (printf('%064d', 0), x'00')"));
    const auto all = reader->records({});
    EXPECT_TRUE(all.ok() && all->size() == 60u) << all.words().toStdString();
    QProcess orvel;
    orvel.start(ORVEL_CLI, {"ledger", "--ledger", path, "--json"});
    EXPECT_TRUE(orvel.waitForFinished(60000));
    EXPECT_EQ(orvel.readAllStandardOutput().count('\n'), 60);
    step.exec("ROLLBACK");
    step = QSqlQuery();
    station = QSqlDatabase();
    QSqlDatabase::removeDatabase("station");
}

}  // namespace
}  // namespace orvel

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

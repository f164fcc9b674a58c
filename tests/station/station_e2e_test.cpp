// `orvel station` against simulated jigs, one a slot: each slot on its own whatever the
// others meet, every unit it touches in the ledger, and PASS only for a unit that holds the
// table.
#include <gtest/gtest.h>

#include <QtCore>
#include <csignal>
#include <memory>
#include <random>

#include "table/tablestore.h"

namespace {

constexpr int kWait = 60000;
constexpr int kObjects = 60;

QByteArray readFile(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const QByteArray kProfile = "# Orvel profile\n# name: Jig\n# version: 2\n"
                            "object,name,group,values,access,note\n61,Own,,,keep,\n";
// A station's folder: the table (objects 1 to kObjects + 1, every value 7, saved under version
// 1 of the profile, which keeps the last), the profile, the ledger, the journal, and a jig per
// slot whose units' final memories land in out<slot>/.
struct Line {
    QTemporaryDir dir;
    QString table = dir.filePath("table.csv");
    QString profile = dir.filePath("profile.csv");
    QString ledger = dir.filePath("ledger.sqlite");
    std::vector<std::unique_ptr<QProcess>> jigs;

    Line() {
        qputenv("XDG_STATE_HOME", QFile::encodeName(dir.filePath("state")));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath("config")));
        orvel::Table t{QDateTime::currentDateTime(), "COM 1", {}, {}, "Jig", "1"};
        for (int i = 1; i <= kObjects + 1; ++i) t.objects[i] = 7;
        EXPECT_TRUE(orvel::saveTable(table, t).ok());
        QFile file(profile);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(kProfile) == kProfile.size());
    }
    ~Line() {
        for (auto &jig : jigs) {
            ::kill(pid_t(jig->processId()), SIGTERM);
            jig->waitForFinished(kWait);
        }
    }
    QString port(int slot) const { return dir.filePath(QStringLiteral("com%1").arg(slot)); }
    QString out(int slot) const { return dir.filePath(QStringLiteral("out%1").arg(slot)); }

    // Paced at 9600 bit/s, or not at all.
    void addJig(int units, const QStringList &options, bool paced = false) {
        const int slot = int(jigs.size()) + 1;
        QDir().mkpath(out(slot));
        auto jig = std::make_unique<QProcess>();
        jig->start(ORVEL_DEVICE_SIM,
                   QStringList{paced ? "--baud=9600" : "--fast", "--units", QString::number(units), "--seed",
                               QString::number(slot * 100), "--link", port(slot), "--units-out",
                               out(slot), "--gap-ms", "700"} +
                       options);
        ASSERT_TRUE(jig->waitForReadyRead(kWait));  // its port's path: the link is there
        jigs.push_back(std::move(jig));
    }
    // Ends the jigs, so that each unit still on the line has its memory written; what
    // they said on standard error.
    QByteArray endJigs() {
        QByteArray said;
        for (auto &jig : jigs) {
            ::kill(pid_t(jig->processId()), SIGTERM);
            jig->waitForFinished(kWait);
            said += jig->readAllStandardError();
        }
        jigs.clear();
        return said;
    }
    QStringList stationArguments(const QStringList &more) const {
        QStringList ports;
        for (int slot = 1; slot <= int(jigs.size()); ++slot) ports << port(slot);
        return QStringList{"station", "--table", table, "--ports", ports.join(u','),
                           "--ledger", ledger, "--gone-after", "300", "--station", "test"} +
               more;
    }
    // The ledger's records, oldest first.
    QList<QJsonObject> records() const {
        QProcess reader;
        reader.start(ORVEL_CLI, {"ledger", "--ledger", ledger, "--json"});
        EXPECT_TRUE(reader.waitForFinished(kWait));
        QList<QJsonObject> list;
        for (const QByteArray &line : reader.readAllStandardOutput().split('\n'))
            if (!line.isEmpty()) list.append(QJsonDocument::fromJson(line).object());
        return list;
    }
    // Whether unit `unit` of `slot` holds the table's values at the end.
    bool holdsTable(int slot, int unit) const {
        const QByteArray memory = readFile(QStringLiteral("%1/%2.bin").arg(out(slot)).arg(unit));
        return memory.size() == 8192 && memory.mid(1, kObjects) == QByteArray(kObjects, 7);
    }
};

TEST(Station, EachSlotOnItsOwnAndPassOnlyForAUnitThatHoldsTheTable) {
    struct Row {
        const char *name;
        QStringList jig;
        QStringList results;  // each unit's, in order: result and the cause's word
    };
    // clang-format off
    const Row rows[] = {
        {"two units that pass", {}, {"pass", "pass"}},
        {"a unit falls silent while reading; the next passes", {"--unit", "1:silent-after=100"},
         {"fail silent", "pass"}},
        {"a unit hangs up while written; the next comes on a new port",
         {"--away", "hangup", "--unit", "1:hangup-after=600"}, {"fail port-lost", "pass"}},
        {"a cell that ignores writes", {"--unit", "1:stuck-cell=3"}, {"fail not-written 1"}},
    };
    // clang-format on
    Line line;
    int units = 0;
    for (const Row &row : rows) {
        line.addJig(int(row.results.size()), row.jig);
        units += int(row.results.size());
    }
    QProcess station;
    station.start(ORVEL_CLI, line.stationArguments({"--auto-labels", "U", "--units",
                                                    QString::number(units), "--json",
                                                    "--profile", line.profile}));
    ASSERT_TRUE(station.waitForFinished(kWait * 2));
    const QByteArray said = station.readAllStandardError();
    EXPECT_EQ(station.exitCode(), 1) << said.toStdString();
    EXPECT_TRUE(said.contains("saved under the profile Jig, version 1; version 2 of it is in"));
    line.endJigs();
    const QString sha256 = QCryptographicHash::hash(kProfile, QCryptographicHash::Sha256).toHex();
    const QJsonObject profile{{"name", "Jig"}, {"version", "2"}, {"sha256", sha256}};

    const QList<QJsonObject> records = line.records();
    EXPECT_EQ(records.size(), units);
    for (int slot = 1; slot <= int(std::size(rows)); ++slot) {
        const Row &row = rows[slot - 1];
        SCOPED_TRACE(row.name);
        QStringList results;
        for (const QJsonObject &r : records) {
            if (r["slot"].toString() != QString::number(slot)) continue;
            results << (r["result"].toString() + u' ' + r["words"].toString()).trimmed();
            EXPECT_EQ(r["profile"].toObject(), profile);
            for (const QJsonValue note : r["differed"].toArray())
                EXPECT_EQ(note["kept"].toBool(), note["object"].toInt() == kObjects + 1);
        }
        EXPECT_EQ(results, row.results);
        for (int unit = 1; unit <= int(row.results.size()); ++unit) {
            if (results.value(unit - 1) == u"pass") {
                EXPECT_TRUE(line.holdsTable(slot, unit));
            }
        }
    }
}

// The station killed at any moment and started again: every unit a killed station touched
// keeps a record that says it was cut short (never none, never PASS), and the station that
// comes after it programs the unit anew.
TEST(Station, KilledAnywhereEveryTouchedUnitKeepsItsRecord) {
    Line line;
    for (int slot = 1; slot <= 2; ++slot)
        line.addJig(1, {"--away-after-ms", "600000", "--baud", "19200"});  // never taken away
    std::mt19937 random(std::random_device{}());
    const QString journal = line.dir.filePath("state/orvel-programator/journal/journal-" +
                                              QDate::currentDate().toString(Qt::ISODate) + ".csv");
    qsizetype seen = 0;  // records
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        const qint64 journaled = QFileInfo(journal).size();
        QProcess station;
        station.start(ORVEL_CLI, line.stationArguments({"--auto-labels", "K"}));
        ASSERT_TRUE(station.waitForStarted(kWait));
        QThread::msleep(std::uniform_int_distribution<int>(200, 1500)(random));
        ::kill(pid_t(station.processId()), SIGKILL);
        station.waitForFinished(kWait);
        // Each port the killed station spoke on has a record begun in this round.
        QSet<QString> touched, recorded;
        for (const QByteArray &entry : readFile(journal).mid(journaled).split('\n')) {
            if (const QList<QByteArray> fields = entry.split(',');
                fields.size() == 5 && fields[0] != "time")
                touched << QString::fromUtf8(fields[1]);
        }
        const QList<QJsonObject> records = line.records();
        for (const QJsonObject &r : records.mid(seen)) recorded << r["port"].toString();
        seen = records.size();
        // A record is begun before the first byte: it may have come before any value did.
        EXPECT_TRUE(recorded.contains(touched)) << touched.size() << " ports spoken on";
        for (const QJsonObject &r : records) {
            // Left open only by this round's kill; closed as cut short by the next start.
            if (r["result"].toString() == u"open") {
                EXPECT_TRUE(recorded.contains(r["port"].toString()));
            }
        }
    }
    QProcess station;
    station.start(ORVEL_CLI, line.stationArguments({"--auto-labels", "K", "--units", "2"}));
    ASSERT_TRUE(station.waitForFinished(kWait * 2));
    EXPECT_EQ(station.exitCode(), 0) << station.readAllStandardError().toStdString();
    line.endJigs();
    const QList<QJsonObject> records = line.records();
    QMap<QString, int> results;
    for (const QJsonObject &r : records) ++results[r["result"].toString()];
    EXPECT_EQ(results.value("open"), 0);
    EXPECT_GE(results.value("pass"), 2);
    for (int slot = 1; slot <= 2; ++slot) EXPECT_TRUE(line.holdsTable(slot, 1)) << slot;
}

// What a station says on standard error (a line per event), gathered until `times` lines
// hold `text`.
struct Said {
    QProcess &station;
    QByteArray text;
    bool waitFor(const QByteArray &what, int times = 1) {
        QElapsedTimer clock;
        clock.start();
        while (text.count(what) < times && clock.elapsed() < kWait) {
            station.waitForReadyRead(100);
            text += station.readAllStandardError();
        }
        return text.count(what) >= times;
    }
};

// Labels scanned or typed: a line goes to the slot that has waited longest for one; a label
// recorded PASS is refused on another unit. SIGTERM then stops the station as Ctrl+C does:
// the object under way finished, the device left idle, the record closed as cut short.
TEST(Station, ScannedLabelsGoToTheSlotWaitingLongestAndSigtermClosesTheRecords) {
    Line line;
    line.addJig(2, {"--away-after-ms", "4000"});
    line.addJig(2, {"--away-after-ms", "4000"}, true);
    QProcess station;
    station.setReadChannel(QProcess::StandardError);
    station.start(ORVEL_CLI, line.stationArguments({}));
    Said said{station, {}};
    const QByteArray waits = ": scan its label";
    ASSERT_TRUE(said.waitFor(waits, 2)) << said.text.toStdString();
    const QByteArray first = QRegularExpression("slot (\\d) [^\n]*: scan its label")
                                 .match(QString::fromUtf8(said.text))
                                 .captured(1)
                                 .toUtf8();
    const QByteArray other = first == "1" ? "2" : "1";
    const QByteArray slot1 = line.port(1).toUtf8(), slot2 = line.port(2).toUtf8();
    station.write("A\n");
    ASSERT_TRUE(said.waitFor("Label A goes to slot " + first)) << said.text.toStdString();
    station.write("B\n");
    ASSERT_TRUE(said.waitFor("Label B goes to slot " + other)) << said.text.toStdString();
    ASSERT_TRUE(said.waitFor("slot " + first + ": A PASS") && said.waitFor(slot1 + waits, 2));
    station.write("A\n");  // slot 1's second unit
    EXPECT_TRUE(said.waitFor("Label A: label A is recorded already"));
    station.write("C\n");
    ASSERT_TRUE(said.waitFor("slot 1: C PASS") && said.waitFor(slot2 + waits, 2));
    station.write("D\n");
    ASSERT_TRUE(said.waitFor(slot2 + ": writing", 2)) << said.text.toStdString();
    ::kill(pid_t(station.processId()), SIGTERM);
    ASSERT_TRUE(station.waitForFinished(kWait));
    EXPECT_EQ(station.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(station.exitCode(), 128 + SIGTERM) << said.text.toStdString();
    const QByteArray jigs = line.endJigs();
    EXPECT_EQ(jigs.count("commands given up 0"), 4) << jigs.toStdString();
    QStringList records;
    for (const QJsonObject &r : line.records())
        records << r["label"].toString() + u' ' + r["slot"].toString() + u' ' +
                       r["result"].toString();
    EXPECT_EQ(records, QStringList({"A " + first + " pass", "B " + other + " pass", "C 1 pass",
                                    "D 2 cut-short"}));
}

}  // namespace

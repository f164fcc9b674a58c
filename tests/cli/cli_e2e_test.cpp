// `orvel` as a script runs it, against the simulated device on a pseudo-terminal: the exit
// status, the summary, the files written, and the device's memory afterwards.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <map>

#include "table/tablestore.h"

namespace orvel::cli {
namespace {

constexpr int kWait = 30000;
using Cells = std::map<int, quint8>;

// Every value 0 to 255 among the objects, 172 and 202 too.
QByteArray startMemory() {
    QByteArray memory(8192, '\0');
    for (int i = 0; i < memory.size(); ++i) memory[i] = char((i * 37 + 33) % 256);
    return memory;
}

QList<int> firstObjects(int n) {
    QList<int> objects;
    for (int i = 1; i <= n; ++i) objects.append(i);
    return objects;
}

void save(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

struct Result {
    int status = -1;
    QByteArray out, err;
    QJsonObject json() const { return QJsonDocument::fromJson(out.trimmed()).object(); }
};

class Cli : public ::testing::Test {
protected:
    Cli() {
        qputenv("XDG_STATE_HOME", QFile::encodeName(dir.filePath("state")));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath("config")));
        qputenv("ORVEL_COM3", QFile::encodeName(link));
        save(dir.filePath("objects.onf"), "3, 4.5,5.5\r\n0,9000,12\n");
        // Objects 1 to 40 as the device holds them, but for three.
        Table table{QDateTime::currentDateTime(), "COM 1 (/dev/ttyUSB0)", {}, {}};
        for (int i = 1; i <= 40; ++i) table.objects[i] = quint8(memory[i]);
        for (const auto &[object, value] : kTableDiffers) table.objects[object] = value;
        EXPECT_TRUE(saveTable(dir.filePath("table.csv"), table).ok());
    }
    ~Cli() override { stopSim(); }

    void startSim(const QStringList &arguments) {
        save(dir.filePath("memory.bin"), memory);
        sim.start(ORVEL_DEVICE_SIM,
                  QStringList{"--link", link, "--memory", dir.filePath("memory.bin")} + arguments);
        ASSERT_TRUE(sim.waitForStarted(kWait));
        while (!sim.canReadLine()) ASSERT_TRUE(sim.waitForReadyRead(kWait));
    }
    // Ends the simulator as a signal would; its memory then.
    QByteArray stopSim() {
        if (sim.state() == QProcess::Running) ::kill(pid_t(sim.processId()), SIGTERM);
        sim.waitForFinished(kWait);
        QFile file(dir.filePath("memory.bin"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    Result orvel(const QStringList &arguments) {
        QProcess process;
        process.start(ORVEL_CLI, arguments);
        process.closeWriteChannel();
        EXPECT_TRUE(process.waitForFinished(kWait));
        return {process.exitCode(), process.readAllStandardOutput(),
                process.readAllStandardError()};
    }
    QByteArray memoryWith(const Cells &changes) const {
        QByteArray expected = memory;
        for (const auto &[cell, value] : changes) expected[cell] = char(value);
        return expected;
    }
    QByteArray differencesText() const {
        QByteArray text = "object,device,table\n";
        for (const auto &[object, value] : kTableDiffers)
            text += QByteArray::number(object) + ',' + QByteArray::number(quint8(memory[object])) +
                    ',' + QByteArray::number(value) + '\n';
        return text;
    }

    const Cells kTableDiffers = {{5, 1}, {17, 0}, {33, 200}};
    QTemporaryDir dir;
    QString link = dir.filePath("com");
    QByteArray memory = startMemory();
    QProcess sim;
};

TEST_F(Cli, EverySubcommandEndsWithItsStatusSummaryAndMemory) {
    struct Row {
        const char *name;
        QStringList sim;  // no simulator when empty
        QStringList arguments;
        int status;
        std::map<QString, int> json;  // fields of the summary (--json)
        Cells written;                // the memory afterwards: the start with these cells
        QList<int> table;             // the cells t.csv holds, each with the device's value
        QByteArray out = {};          // standard output, when given
        QString says = {};            // a part of standard output or error
    };
    const QString t = dir.filePath("t.csv"), table = dir.filePath("table.csv");
    const QStringList fast = {"--fast"};
    Cells ones;
    for (int i = 10; i <= 20; ++i) ones[i] = 1;
    // clang-format off
    const Row rows[] = {
        {"read a range and a settings cell", fast,
         {"read", "--port", link, "--objects", "1-3,8176", "-o", t, "--json"}, 0,
         {{"objects", 4}, {"failed", 0}, {"status", 0}}, {}, {1, 2, 3, 8176}},
        {"read an object number file", fast,
         {"read", "--port", link, "--list", dir.filePath("objects.onf"), "-o", t}, 0, {}, {},
         {3, 4, 6, 12}},
        {"write with read-back", fast,
         {"write", "--port", link, "--objects", "10-20", "--value", "1", "--json"}, 0,
         {{"objects", 11}, {"written", 11}, {"verified", 11}, {"failed", 0}}, ones},
        {"compare", fast, {"compare", table, "--port", link}, 1, {}, {}, {}, differencesText()},
        {"restore", fast, {"restore", table, "--port", link, "--yes", "--json"}, 0,
         {{"objects", 40}, {"differed", 3}, {"written", 3}, {"verified", 3}, {"failed", 0}},
         kTableDiffers},
        {"restore asks, and a pipe cannot answer", fast, {"restore", table, "--port", link}, 2,
         {}, {}, {}, {}, "standard input is not a terminal"},
        {"restore --dry-run", fast, {"restore", table, "--port", link, "--dry-run"}, 1, {}, {},
         {}, differencesText()},
        {"a wrong first byte", {"--fast", "--wrong-first-byte", "7"},
         {"read", "--port", link, "--objects", "1-30", "-o", t}, 0, {}, {},
         firstObjects(30)},
        {"noise on the line", {"--fast", "--noise", "0.03", "--noise-seed", "5"},
         {"write", "--port", link, "--objects", "10-20", "--value", "1", "--json"}, 0,
         {{"verified", 11}, {"failed", 0}}, ones},
        {"a device falling silent", {"--fast", "--silent-after", "40"},
         {"read", "--port", link, "--objects", "1-50", "-o", t, "--json"}, 4,
         {{"status", 4}}, {}, firstObjects(8), {}, "not answering"},
        {"a device hanging up", {"--fast", "--hangup-after", "200"},
         {"read", "--port", link, "--objects", "1-500", "-o", t, "--json"}, 4,
         {{"failed", 460}}, {}, firstObjects(40), {}, "lost"},
        {"a port that is not there", {}, {"read", "--port", link, "--objects", "1"}, 3, {}, {},
         {}, {}, "cannot be opened"},
        {"the ports", {}, {"ports"}, 0, {}, {}, {}, {},
         QStringLiteral("COM 3 is %1 (set by ORVEL_COM3)").arg(link)},
        {"a value that cannot be written", {},
         {"write", "--port", "COM1", "--objects", "1", "--value", "2"}, 2},
        {"a range backwards", {}, {"read", "--port", "COM1", "--objects", "5-2"}, 2},
        {"no port", {}, {"read", "--objects", "1"}, 2},
        {"no table", {}, {"compare", "--port", "COM1"}, 2},
        {"no table file", {}, {"compare", dir.filePath("objects.onf"), "--port", "COM1"}, 2},
        {"two outputs on one stream", {}, {"read", "--port", "COM1", "--objects", "1", "--json"},
         2},
        {"no such command", {}, {"program"}, 2},
    };
    // clang-format on
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        QFile::remove(t);
        if (!row.sim.isEmpty()) startSim(row.sim);
        const Result result = orvel(row.arguments);
        EXPECT_EQ(result.status, row.status) << result.err.toStdString();
        for (const auto &[field, value] : row.json)
            EXPECT_EQ(result.json().value(field).toInt(-1), value) << field.toStdString();
        if (!row.out.isNull()) {
            EXPECT_EQ(result.out, row.out);
        }
        EXPECT_TRUE(QString::fromLocal8Bit(result.out + result.err).contains(row.says))
            << result.out.toStdString() << result.err.toStdString();
        if (!row.sim.isEmpty()) {
            EXPECT_EQ(stopSim(), memoryWith(row.written));
        }
        if (row.table.isEmpty()) continue;
        const LoadResult saved = loadTable(t);
        ASSERT_TRUE(saved.table) << saved.error.toStdString();
        Cells expected;
        for (const int cell : row.table) expected[cell] = quint8(memory[cell]);
        Cells got = saved.table->objects;
        got.insert(saved.table->settings.begin(), saved.table->settings.end());
        EXPECT_EQ(got, expected);
    }
}

TEST_F(Cli, AComPortLogsEveryByteAndJournalsEveryValue) {
    startSim({"--fast"});
    const QString log = dir.filePath("bytes.log");
    const Result result =
        orvel({"write", "--port", "COM3", "--objects", "7-9", "--value", "0", "--log", log});
    ASSERT_EQ(result.status, 0) << result.err.toStdString();
    stopSim();
    // Everything we sent reached the device, and nothing more.
    const QString simSummary = QString::fromLocal8Bit(sim.readAllStandardError());
    const auto received = QRegularExpression("bytes received (\\d+)").match(simSummary);
    QFile file(log);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray lines = file.readAll();
    EXPECT_EQ(QString(lines).count(
                  QRegularExpression("^\\S+Z out \\d+$", QRegularExpression::MultilineOption)),
              received.captured(1).toInt());

    QDir journals(dir.filePath("state/orvel-programator/journal"));
    const QStringList days = journals.entryList({"journal-*.csv"});
    ASSERT_EQ(days.size(), 1);
    QFile journal(journals.filePath(days.first()));
    ASSERT_TRUE(journal.open(QIODevice::ReadOnly));
    const QString text = journal.readAll();
    for (int object = 7; object <= 9; ++object) {
        const QString port = QStringLiteral(",COM 3 (%1),").arg(link);
        EXPECT_TRUE(text.contains(port + QStringLiteral("write,%1,0\n").arg(object)));
        EXPECT_TRUE(text.contains(port + QStringLiteral("read-back,%1,0\n").arg(object)));
    }
}

// Ctrl+C mid-read: the object under way is finished, the device left idle, the objects read
// so far saved.
TEST_F(Cli, CtrlCLeavesTheDeviceIdleAndSavesThePartialTable) {
    startSim({"--baud", "9600", "--log", dir.filePath("sim.log")});
    QProcess process;
    process.start(ORVEL_CLI, {"read", "--port", link, "--objects", "1-8175", "-o",
                              dir.filePath("t.csv"), "--json"});
    ASSERT_TRUE(process.waitForStarted(kWait));
    QThread::msleep(800);
    ::kill(pid_t(process.processId()), SIGINT);
    ASSERT_TRUE(process.waitForFinished(kWait));
    EXPECT_EQ(process.exitCode(), 130);
    const QJsonObject summary = QJsonDocument::fromJson(process.readAllStandardOutput()).object();
    EXPECT_EQ(summary.value("status").toInt(), 130);

    const LoadResult saved = loadTable(dir.filePath("t.csv"));
    ASSERT_TRUE(saved.table);
    const Cells &objects = saved.table->objects;
    ASSERT_GT(objects.size(), 10u);
    ASSERT_LT(objects.size(), 8175u);
    EXPECT_EQ(objects.rbegin()->first, int(objects.size()));  // 1 to n, none missing
    for (const auto &[object, value] : objects) EXPECT_EQ(value, quint8(memory[object]));

    QThread::msleep(700);  // longer than the device waits for the rest of a command
    EXPECT_EQ(stopSim(), memory);
    // The last bytes the device received are the read of the last object saved, and it
    // answered with the value.
    QFile file(dir.filePath("sim.log"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString(file.readAll()).split('\n', Qt::SkipEmptyParts);
    QList<int> received;
    qsizetype lastReceived = 0;
    for (qsizetype i = 0; i < lines.size(); ++i)
        if (lines[i].startsWith("rx ")) received.append(lines[i].mid(3).toInt()), lastReceived = i;
    const int last = objects.rbegin()->first;
    EXPECT_EQ(received.mid(received.size() - 3), (QList<int>{0x55, last >> 8, last & 0xFF}));
    ASSERT_LT(lastReceived + 1, lines.size());
    EXPECT_EQ(lines[lastReceived + 1], QStringLiteral("tx %1").arg(quint8(memory[last])));
}

}  // namespace
}  // namespace orvel::cli

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

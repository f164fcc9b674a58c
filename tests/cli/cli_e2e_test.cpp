// `orvel` as a script runs it, against the simulated device: status, summary, files, memory.
#include <gtest/gtest.h>

#include <QtCore>
#include <grp.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <map>
#include <random>

#include "table/restoreplan.h"
#include "table/tablestore.h"

namespace orvel::cli {
namespace {

constexpr int kWait = 30000;
using Cells = std::map<int, quint8>;

QByteArray readFile(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void save(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

// The simulator's memory at the start: every value 0 to 255, 172 and 202 too.
QByteArray startMemory() {
    QByteArray memory(8192, '\0');
    for (int i = 0; i < memory.size(); ++i) memory[i] = char((i * 37 + 33) % 256);
    return memory;
}
// Objects 1 to 40 of table.csv as the device holds them, but for three.
const Cells kTableDiffers = {{5, 1}, {17, 0}, {33, 200}};
const QString kDifferences = "object,device,table\n5,218,1\n17,150,0\n33,230,200\n";
Cells cellsOf(int first, int last, quint8 value, int but = 0) {
    Cells cells;
    for (int i = first; i <= last; ++i) if (i != but) cells[i] = value;
    return cells;
}

// Every path starts with @, the row's own folder.
const QString link = "@/com", t = "@/t.csv", table = "@/table.csv", log = "@/bytes.log";
const QString allDiffer = "@/all.csv", gone = "@/gone";

// Under the profile named.csv objects 1-5 are kept, 6-10 read-only, 101-130 doors whose
// every value N means "vN" (130's name holds a comma and quotes), 200 allows 1 to 60.
// doors.csv holds 101-130, unit.csv 1-10 besides, each the device's value + 1.
const QString named = "@/named.csv", doors = "@/doors.csv", unit = "@/unit.csv";
const QString wrong = "@/wrong.csv";  // doors.csv, and 99 in 200
quint8 device(int cell) { return quint8((cell * 37 + 33) % 256); }
quint8 next(int cell) { return quint8(device(cell) + 1); }
const QString kNamedHeader = "object,device,table,name,device means,table means";
QString namedLines(int first, int last, const QString &restore = {}) {
    QString lines;
    for (int o = first; o <= last; ++o) {
        const QString name = o <= 5    ? QString("Unit %1").arg(o)
                             : o <= 10 ? QString("Build %1").arg(o - 5)
                             : o < 130 ? QString("Door %1 enabled").arg(o - 100)
                                       : "\"Door 30, \"\"main\"\"\"";
        const QString means = o > 100 ? QString(",v%1,v%2").arg(device(o)).arg(next(o)) : ",,";
        lines += QString("%1,%2,%3,").arg(o).arg(device(o)).arg(next(o)) + name + means + restore;
        lines += '\n';
    }
    return lines;
}
Cells doorsWritten() {
    Cells cells;
    for (int o = 101; o <= 130; ++o) cells[o] = next(o);
    return cells;
}

// How the command is started: as this suite's user; as the user nobody; or in a mount
// namespace of its own whose /dev/serial/by-id names the simulator's link usb-Orvel-sim (as
// udev names an adapter), the pseudo-terminals kept. Both others need root.
enum class Start { Us, AsNobody, WithByIdName };
// $1 the row's folder; then the command.
constexpr const char *kByIdName =
    "mkdir \"$1/pts\" && mount --bind /dev/pts \"$1/pts\" && mount -t tmpfs tmpfs /dev && "
    "mkdir -p /dev/pts /dev/serial/by-id && mount --move \"$1/pts\" /dev/pts && "
    "ln -s \"$1/com\" /dev/serial/by-id/usb-Orvel-sim && shift && exec \"$@\"";

struct Row {
    const char *name;
    QStringList sim;  // no simulator when empty
    QStringList arguments;
    int status;
    std::map<QString, int> json;  // fields of the summary (--json)
    Cells written;                // the memory afterwards: the start with these cells
    QList<int> table;             // the cells t.csv holds, each with the device's value
    QString says = {};            // a part of standard output or error
    int interruptAfter = 0;       // ms, then Ctrl+C (or the folder "gone" removed)
    int first = 0;                // and objects 1 to n (after Ctrl+C, n or more)
    bool partial = false;  // written: some of the table's objects, at least one, as counted
    QStringList journaled = {};  // lines of the journal
    Start start = Start::Us;
    bool unsent = false;  // the device received not a byte
};
const QStringList fast = {"--fast"};
// clang-format off
const Row kRows[] = {
    {"read a range and a settings cell", fast,
     {"read", "--port", link, "--objects", "1-3,8175,8176", "-o", t, "--json"}, 0,
     {{"objects", 5}, {"failed", 0}, {"status", 0}}, {}, {1, 2, 3, 8175, 8176}, {}, 0, 0, false,
     {",@/com,read,8176,"}},
    {"read an object number file", fast,
     {"read", "--port", link, "--list", "@/objects.onf", "-o", t}, 0, {}, {}, {3, 4, 6, 12}},
    {"write with read-back, on COM 3 and logging every byte", fast,
     {"write", "--port", "COM3", "--objects", "10-20", "--value", "1", "--json", "--log", log},
     0, {{"objects", 11}, {"written", 11}, {"verified", 11}, {"failed", 0}}, cellsOf(10, 20, 1),
     {}, {}, 0, 0, false, {"COM 3 (@/com),write,20,1\n", "COM 3 (@/com),read-back,20,1\n"}},
    {"compare", fast, {"compare", table, "--port", link}, 1, {}, {}, {}, kDifferences},
    {"restore", fast, {"restore", table, "--port", link, "--yes", "--json"}, 0,
     {{"objects", 40}, {"differed", 3}, {"written", 3}, {"verified", 3}, {"failed", 0}},
     kTableDiffers, {}, {}, 0, 0, false, {",@/com,restore-verify,33,200\n"}},
    {"restore asks, and a pipe cannot answer", fast, {"restore", table, "--port", link}, 2,
     {}, {}, {}, "standard input is not a terminal"},
    {"restore --dry-run", fast, {"restore", table, "--port", link, "--dry-run"}, 1, {}, {},
     {}, kDifferences},
    {"a device falling silent", {"--fast", "--silent-after", "40"},
     {"read", "--port", link, "--objects", "1-50", "-o", t, "--json"}, 4,
     {{"status", 4}}, {}, {}, "not answering", 0, 7},  // the 8th value without its pair
    {"a device hanging up", {"--fast", "--hangup-after", "200"},
     {"read", "--port", link, "--objects", "1-500", "-o", t, "--json"}, 4,
     {{"failed", 1}, {"notTried", 460}}, {}, {}, "lost", 0, 39},  // the 40th unconfirmed
    // The objects read so far are saved, and the device is left idle.
    {"Ctrl+C", {"--baud", "9600"},
     {"read", "--port", link, "--objects", "1-8175", "-o", t, "--json"}, 130,
     {{"status", 130}}, {}, {}, {}, 800, 11},
    {"a port that is not there", {}, {"compare", table, "--port", link, "--json"}, 3,
     {{"status", 3}, {"objects", 40}}, {}, {}, "cannot be opened"},
    {"the ports", {}, {"ports"}, 0, {}, {}, {}, "COM 3 is @/com (set by ORVEL_COM3)"},
    {"a value that cannot be written", {},
     {"write", "--port", "COM1", "--objects", "1", "--value", "2"}, 2},
    {"no such port", {}, {"write", "--port", "COM9", "--objects", "1", "--value", "1",
     "--json"}, 2, {{"status", 2}, {"objects", 1}}, {}, {}, "no port"},
    {"no table file", {}, {"compare", "@/objects.onf", "--port", "COM1"}, 2},
    {"no such command", {}, {"program"}, 2},
    {"help", {}, {"read", "--help"}, 0, {}, {}, {}, "Usage: orvel read --port P"},
    {"a profile naming two objects alike", {}, {"profile", "check", "@/profile.csv"},
     1, {}, {}, {}, "line 6: the name 'A3' is object 3's already (line 5)"},
    // A run that fell short, and -o checked before the device is touched.
    {"compare, the line hung up", {"--fast", "--hangup-after", "100"},
     {"compare", table, "--port", link}, 4, {}, {}, {}, "were not compared"},
    {"restore, the line hung up among the writes", {"--fast", "--hangup-after", "700"},
     {"restore", allDiffer, "--port", link, "--yes", "--json"}, 4, {{"differed", 40}}, {}, {},
     "was lost", 0, 0, true},
    {"read -o into no folder", {}, {"read", "--port", link, "--objects", "1", "-o",
     "@/none/t.csv"}, 2, {}, {}, {}, "no folder"},
    {"read, the table not saved at the end", {"--baud", "9600"},
     {"read", "--port", link, "--objects", "1-200", "-o", gone + "/t.csv"}, 2, {}, {}, {},
     "# Orvel device table", 400},
    {"write, a cell that ignores writes", {"--fast", "--stuck-cell", "15"},
     {"write", "--port", link, "--objects", "10-20", "--value", "1", "--json"}, 1,
     {{"written", 11}, {"verified", 10}, {"failed", 1}}, cellsOf(10, 20, 1, 15)},
    // Ctrl+C while restore still reads: nothing is written.
    {"restore, Ctrl+C while reading", {"--baud", "9600"},
     {"restore", allDiffer, "--port", link, "--yes", "--json"}, 130,
     {{"status", 130}, {"written", 0}}, {}, {}, {}, 800},
    {"restore, a cell that ignores writes", {"--fast", "--stuck-cell", "5"},
     {"restore", table, "--port", link, "--yes", "--json"}, 1,
     {{"differed", 3}, {"written", 3}, {"verified", 2}, {"failed", 1}, {"status", 1}},
     {{17, 0}, {33, 200}}},
    {"read -o into a folder the user cannot write to", {},
     {"read", "--port", link, "--objects", "1", "-o", "/t.csv"}, 2, {}, {}, {},
     "-o: the folder / cannot be written to", 0, 0, false, {}, Start::AsNobody},
    // p.csv keeps objects 1 to 9 (object 5 differs); object 20: 0 to 5 (table 5, all.csv 6).
    {"station under a profile", fast, {"station", "--table", table, "--ports", link,
     "--ledger", "@/l.sqlite", "--auto-labels", "S", "--units", "1", "--profile", "@/p.csv"},
     0, {}, {{17, 0}, {33, 200}}, {}, "written 2, verified 2, kept 1)"},
    {"station, a table value the profile does not allow", fast, {"station", "--table",
     allDiffer, "--ports", link, "--ledger", "@/l.sqlite", "--auto-labels", "S", "--units",
     "1", "--profile", "@/p.csv"}, 2, {}, {}, {}, "object 20 (B): 6 is not within 0-5"},
    {"read a port named by its /dev/serial/by-id name", fast,
     {"read", "--port", "usb-Orvel-sim", "--objects", "1-3", "-o", t, "--json"}, 0,
     {{"status", 0}}, {}, {1, 2, 3}, "\"port\":\"/dev/serial/by-id/usb-Orvel-sim\"", 0, 0,
     false, {}, Start::WithByIdName},
    // Under a profile: names and meanings after the three columns, quoted where a name holds
    // a comma; objects it keeps never written; values it does not allow refused unsent.
    {"compare under a profile", fast, {"compare", doors, "--port", link, "--profile", named}, 1,
     {}, {}, {}, kNamedHeader + '\n' + namedLines(101, 130)},
    {"compare under a profile, --json", fast, {"compare", doors, "--port", link, "--profile",
     named, "--json"}, 1, {{"differed", 30}}, {}, {}, QString("{\"device\":%1,\"deviceMeans\":"
     "\"v%1\",\"name\":\"Door 30, \\\"main\\\"\",\"object\":130,\"table\":%2,\"tableMeans\":"
     "\"v%2\"}").arg(device(130)).arg(next(130))},
    {"restore --dry-run under a profile", fast, {"restore", unit, "--port", link, "--profile",
     named, "--dry-run"}, 1, {}, {}, {}, kNamedHeader + ",restore\n" + namedLines(1, 10, ",kept")
     + namedLines(101, 130, ",write")},
    {"restore under a profile keeping ten", fast, {"restore", unit, "--port", link, "--profile",
     named, "--yes", "--json"}, 0, {{"differed", 40}, {"written", 30}, {"verified", 30},
     {"kept", 10}}, doorsWritten(), {}, "under the profile Sim doors, version 1; version 2 of"},
    {"restore of a value the profile does not allow", fast, {"restore", wrong, "--port", link,
     "--profile", named, "--yes"}, 2, {}, {}, {}, "object 200 (Open time): 99 is not within 1-60",
     0, 0, false, {}, Start::Us, true},
    {"write refused by a profile", fast, {"write", "--port", link, "--objects", "1,200",
     "--value", "0", "--profile", named}, 2, {}, {}, {},
     "object 1 (Unit 1): the profile marks it keep\nobject 200 (Open time): 0 is not within", 0,
     0, false, {}, Start::Us, true},
    {"write refused by a profile, --force", fast, {"write", "--port", link, "--objects",
     "1,200", "--value", "0", "--profile", named, "--force", "--json"}, 0, {{"verified", 2}},
     {{1, 0}, {200, 0}}},
    {"read under a profile", fast, {"read", "--port", link, "--objects", "1-3", "--profile",
     named}, 0, {}, {}, {}, "# profile: Sim doors, version 2\nobject,value\n1,70\n"},
};
// clang-format on

class EverySubcommand : public ::testing::TestWithParam<Row> {};
void PrintTo(const Row &row, std::ostream *out) { *out << row.name; }

TEST_P(EverySubcommand, EndsWithItsStatusSummaryAndMemory) {
    const Row &row = GetParam();
    const QTemporaryDir dir;
    const auto at = [&](QString text) { return text.replace('@', dir.path()); };
    const auto atAll = [&](QStringList texts) {
        for (QString &text : texts) text = at(text);
        return texts;
    };
    const QString memoryFile = dir.filePath("memory.bin");
    qputenv("XDG_STATE_HOME", QFile::encodeName(dir.filePath("state")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath("config")));
    qputenv("ORVEL_COM3", QFile::encodeName(at(link)));
    const QByteArray memory = startMemory();
    save(dir.filePath("objects.onf"), "3, 4.5,5.5\r\n0,9000,12\n");
    save(dir.filePath("profile.csv"), "# Orvel profile\n# name: P\n# version: 1\nobject,name,group,"
                                      "values,access,note\n1-9,A{n},,,keep,\n12,A3,,,keep,\n");
    save(dir.filePath("p.csv"), "# Orvel profile\n# name: Q\n# version: 1\nobject,name,group,"
                                "values,access,note\n1-9,A{n},,,keep,\n20,B,,0-5,read-write,\n");
    Table saved{QDateTime::currentDateTime(), "COM 1 (/dev/ttyUSB0)", {}, {}};
    for (int i = 1; i <= 40; ++i) saved.objects[i] = quint8(memory[i]);
    for (const auto &[object, value] : kTableDiffers) saved.objects[object] = value;
    ASSERT_TRUE(saveTable(at(table), saved).ok());
    // Every object of it differs: the writes take long enough for a hang-up among them.
    Table all = saved;
    for (auto &[object, value] : all.objects) value = quint8(memory[object] + 1);
    ASSERT_TRUE(saveTable(at(allDiffer), all).ok());
    QDir().mkpath(at(gone));
    QStringList every;
    for (int v = 0; v < 256; ++v) every << QString("%1=v%1").arg(v);
    save(at(named), ("# Orvel profile\n# name: Sim doors\n# version: 2\nobject,name,group,values,"
                     "access,note\n1-5,Unit {n},,,keep,\n6-10,Build {n},,,read-only,\n101-129,"
                     "Door {n} enabled,," + every.join(';') + ",read-write,\n130,\"Door 30, "
                     "\"\"main\"\"\",," + every.join(';') + ",read-write,\n200,Open time,,1-60,"
                     "read-write,\n").toUtf8());
    Table doorsTable{saved.readAt, saved.port, {}, {}};
    for (const auto &[object, value] : doorsWritten()) doorsTable.objects[object] = value;
    Table unitTable = doorsTable;
    for (int o = 1; o <= 10; ++o) unitTable.objects[o] = next(o);
    unitTable.profileName = "Sim doors", unitTable.profileVersion = "1";
    doorsTable.objects[200] = 99;
    ASSERT_TRUE(saveTable(at(unit), unitTable) && saveTable(at(wrong), doorsTable));
    doorsTable.objects.erase(200);
    ASSERT_TRUE(saveTable(at(doors), doorsTable).ok());
    if (row.start != Start::Us && ::geteuid() != 0)
        GTEST_SKIP() << "only root can run the command as another user, or in a namespace";
    if (row.start == Start::WithByIdName && QProcess::execute("unshare", {"-m", "true"}) != 0)
        GTEST_SKIP() << "no mount namespace to be had here";

    QProcess sim;
    if (!row.sim.isEmpty()) {
        save(memoryFile, memory);
        const QStringList options = {"--link", at(link), "--memory", memoryFile};
        sim.start(ORVEL_DEVICE_SIM, options + row.sim);
        const bool started = sim.waitForStarted(kWait);
        while (started && !sim.canReadLine() && sim.waitForReadyRead(kWait)) {}
        ASSERT_TRUE(sim.canReadLine()) << "the simulator names no link";
    }
    QProcess orvel;
    // Ctrl+C reaches it however this suite was started (a background shell ignores it).
    const bool asNobody = row.start == Start::AsNobody;
    orvel.setChildProcessModifier([asNobody] {
        ::signal(SIGINT, SIG_DFL);
        if (asNobody && (::setgroups(0, nullptr) || ::setgid(65534) || ::setuid(65534)))
            ::_exit(99);
    });
    const QStringList arguments = atAll(row.arguments);
    if (row.start == Start::WithByIdName)
        orvel.start("unshare", QStringList{"-m", "--propagation", "private", "sh", "-c", kByIdName,
                                           "sh", dir.path(), ORVEL_CLI} + arguments);
    else
        orvel.start(ORVEL_CLI, arguments);
    orvel.closeWriteChannel();
    if (row.interruptAfter && orvel.waitForStarted(kWait)) {
        QThread::msleep(row.interruptAfter);
        if (arguments.contains(at(gone) + "/t.csv"))
            QDir(at(gone)).removeRecursively();
        else
            ::kill(pid_t(orvel.processId()), SIGINT);
    }
    EXPECT_TRUE(orvel.waitForFinished(kWait));
    const QByteArray out = orvel.readAllStandardOutput(), err = orvel.readAllStandardError();
    EXPECT_EQ(orvel.exitCode(), row.status) << err.toStdString();
    const QJsonObject json = QJsonDocument::fromJson(out.trimmed()).object();
    for (const auto &[field, value] : row.json)
        EXPECT_EQ(json.value(field).toInt(-1), value) << field.toStdString();
    EXPECT_TRUE(QString::fromLocal8Bit(out + err).contains(at(row.says))) << out.toStdString();
    QThread::msleep(row.interruptAfter);  // longer than the device waits for a command
    if (!row.sim.isEmpty()) {
        QByteArray expected = memory;
        for (const auto &[cell, value] : row.written) expected[cell] = char(value);
        ::kill(pid_t(sim.processId()), SIGTERM);  // it saves its memory
        EXPECT_TRUE(sim.waitForFinished(kWait));
        const QString simSaid = sim.readAllStandardError();
        // A station refused opens no port.
        EXPECT_TRUE(arguments[0] != "station" || row.status != 2 || simSaid.contains("sent 0,"));
        const QByteArray after = readFile(memoryFile);
        if (!row.partial) { EXPECT_EQ(after, expected); }
        // Every cell the device took is counted (and the one under way at most besides).
        int changed = 0, written = json.value("written").toInt(-1);
        for (int cell = 0; cell < after.size(); ++cell) changed += after[cell] != memory[cell];
        const bool counted = written > 0 && changed >= written && changed <= written + 1;
        if (row.partial) { EXPECT_TRUE(counted) << changed << " changed, written " << written; }
        const auto received = QRegularExpression("bytes received (\\d+)").match(simSaid);
        if (row.unsent) { EXPECT_TRUE(received.hasMatch() && received.captured(1) == "0"); }
        if (arguments.contains(at(log))) {  // every byte we sent is logged, and no more
            EXPECT_EQ(QString(readFile(at(log))).count(" out "), received.captured(1).toInt());
            EXPECT_EQ(QFileInfo(at(log)).permissions().toInt() & 0x7777, 0x6600);
        }
    }
    const QDir journals(dir.filePath("state/orvel-programator/journal"));
    const QString journal = readFile(journals.filePath(journals.entryList(QDir::Files).value(0)));
    for (const QString &line : atAll(row.journaled))
        EXPECT_TRUE(journal.contains(line)) << line.toStdString();
    if (row.table.isEmpty() && (!row.first || row.partial)) return;
    const LoadResult loaded = loadTable(at(t));
    ASSERT_TRUE(loaded && loaded->table) << plan::usableTable(at(t), loaded).words().toStdString();
    const Table &read = *loaded->table;
    Cells got = read.objects, expected;
    got.insert(read.settings.begin(), read.settings.end());
    for (const int cell : row.table) expected[cell] = quint8(memory[cell]);
    const int first = row.interruptAfter ? std::max(row.first, int(got.size())) : row.first;
    for (int cell = 1; cell <= first; ++cell) expected[cell] = quint8(memory[cell]);
    EXPECT_EQ(got, expected);
}

// Each row its own CTest test, named by the row: "Ctrl+C" as Ctrl_C.
INSTANTIATE_TEST_SUITE_P(Cli, EverySubcommand, ::testing::ValuesIn(kRows), [](const auto &row) {
    return QString(row.param.name).replace(QRegularExpression("[^A-Za-z0-9]+"), "_").toStdString();
});

// A read ended by SIGTERM (a `timeout`) or SIGHUP (a dropped session), a write by Ctrl+C,
// on the paced simulator: the object under way is finished (our last bytes a read command
// and its address), what was read is saved, the rest is "not tried". On a line that replaces
// bytes, --confirm keeps no value that two reads do not agree on.
TEST(Cli, ASignalEndsAfterTheObjectUnderWayAndConfirmKeepsNoReplacedValue) {
    const QTemporaryDir dir;
    const QString link = dir.filePath("com"), t = dir.filePath("t.csv");
    const QString memoryFile = dir.filePath("memory.bin"), simLog = dir.filePath("sim.log");
    qputenv("XDG_STATE_HOME", QFile::encodeName(dir.filePath("state")));
    QByteArray memory(8192, '\0');
    for (int i = 0; i < memory.size(); ++i) memory[i] = char((i * 37 + 33) % 256);
    const QStringList read = {"read", "--port", link, "--objects", "1-120", "-o", t, "--json"};
    // A short time-out: each command the flips break costs the simulator's time-out.
    const QStringList flips = {"--fast",       "--flip",       "0.03", "--noise-seed",
                               "4",            "--timeout-ms", "50"};
    // No signal: the read is --confirm, on a line that flips bytes.
    const struct { const char *name; int signal; QStringList arguments; } rows[] = {{"read, SIGTERM", SIGTERM, read}, {"read, SIGHUP", SIGHUP, read},
                {"write, Ctrl+C", SIGINT, {"write", "--port", link, "--objects", "1-120",
                                           "--value", "1", "--json"}},
                {"read --confirm, bytes flipped", 0, read + QStringList{"--confirm"}}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        QFile::remove(t);
        QFile::remove(simLog);
        save(memoryFile, memory);
        QProcess sim, orvel;
        sim.start(ORVEL_DEVICE_SIM, QStringList{"--link", link, "--memory", memoryFile, "--log",
                                                simLog} + (row.signal ? QStringList() : flips));
        while (sim.waitForStarted(kWait) && !sim.canReadLine()) sim.waitForReadyRead(kWait);
        orvel.setChildProcessModifier([] { ::signal(SIGINT, SIG_DFL), ::signal(SIGHUP, SIG_DFL); });
        orvel.start(ORVEL_CLI, row.arguments);
        QElapsedTimer waited;  // a few commands done, then the signal, whenever it lands
        for (waited.start(); row.signal && readFile(simLog).count("rx 85") < 5 &&
                             waited.elapsed() < kWait;)
            QThread::msleep(20);
        if (row.signal) ::kill(pid_t(orvel.processId()), row.signal);
        EXPECT_TRUE(orvel.waitForFinished(4 * kWait));
        const QJsonObject json = QJsonDocument::fromJson(orvel.readAllStandardOutput()).object();
        ::kill(pid_t(sim.processId()), SIGTERM);
        EXPECT_TRUE(sim.waitForFinished(kWait));
        const QByteArray after = readFile(memoryFile), err = sim.readAllStandardError();
        const LoadResult loaded = loadTable(t);
        Cells got = loaded && loaded->table ? loaded->table->objects : Cells(), expected;
        if (!row.signal) {  // the fault met, and every value kept the device's
            EXPECT_TRUE(err.contains("value bytes flipped ") && !err.contains("flipped 0"));
            for (const auto &[object, value] : got) expected[object] = quint8(memory[object]);
            EXPECT_TRUE(got.size() >= 115 && got == expected) << got.size();
            continue;
        }
        const int status = 128 + row.signal;
        EXPECT_TRUE(orvel.exitCode() == status && json.value("status").toInt() == status);
        QList<int> rx;  // the last object's value is saved, or its cell written: it was answered
        for (const QString &line : QString(readFile(simLog)).split('\n'))
            if (line.startsWith("rx ")) rx.append(line.mid(3).toInt());
        ASSERT_GE(rx.size(), 3);
        const int last = rx.at(rx.size() - 2) * 256 + rx.last();
        EXPECT_EQ(rx.at(rx.size() - 3), 85);
        EXPECT_EQ(json.value("failed").toInt(-1), 0);
        EXPECT_EQ(json.value("notTried").toInt(), 120 - last);
        const bool write = row.signal == SIGINT;  // its cells written: 1 to the last, no other
        for (int cell = 1; cell <= last; ++cell)
            if (!write || memory[cell] != 1) expected[cell] = write ? 1 : quint8(memory[cell]);
        for (int cell = 0; write && cell < after.size(); ++cell)
            if (after[cell] != memory[cell]) got[cell] = quint8(after[cell]);
        EXPECT_EQ(got, expected);
    }
}

// orvel write killed at random moments against the paced simulator: every cell the
// simulator's memory shows written has its journal line (the write is journaled as the
// device takes it, before its read-back).
TEST(Cli, AWriteKilledAtAnyMomentLeavesEveryWrittenCellJournaled) {
    const QTemporaryDir dir;
    const QString link = dir.filePath("com"), memoryFile = dir.filePath("memory.bin");
    qputenv("XDG_STATE_HOME", QFile::encodeName(dir.filePath("state")));
    QByteArray before(8192, '\0');
    save(memoryFile, before);
    QProcess sim;
    sim.start(ORVEL_DEVICE_SIM, {"--link", link, "--memory", memoryFile});
    ASSERT_TRUE(sim.waitForStarted(kWait));
    while (!sim.canReadLine()) ASSERT_TRUE(sim.waitForReadyRead(kWait));
    const QDir journals(dir.filePath("state/orvel-programator/journal"));
    std::mt19937 random(23);
    int written = 0, beforeReadBack = 0;
    qsizetype journaled = 0;
    for (int kill = 0; kill < 50; ++kill) {
        const int first = 1 + 2 * kill;  // two objects of their own, holding 0 till written
        QProcess orvel;
        orvel.start(ORVEL_CLI, {"write", "--port", link, "--objects",
                                QStringLiteral("%1-%2").arg(first).arg(first + 1), "--value", "1"});
        EXPECT_TRUE(orvel.waitForStarted(kWait));
        QThread::msleep(50 + random() % 600);
        ::kill(pid_t(orvel.processId()), SIGKILL);
        EXPECT_TRUE(orvel.waitForFinished(kWait));
        QThread::msleep(30);  // the simulator takes a byte still on the line
        const QByteArray after = readFile(memoryFile);
        QString journal;  // the lines of this try
        for (const QString &name : journals.entryList(QDir::Files))
            journal += readFile(journals.filePath(name));
        journal.remove(0, std::exchange(journaled, journal.size()));
        for (int cell = 0; cell < after.size(); ++cell) {
            if (after[cell] == before[cell]) continue;
            ++written;
            const QString line = QStringLiteral(",%1,1\n").arg(cell);
            EXPECT_TRUE(journal.contains(",write" + line)) << "kill " << kill << ", cell " << cell;
            beforeReadBack += !journal.contains(",read-back" + line);
        }
        before = after;
    }
    std::printf("50 kills: %d cells written, %d of them killed before their read-back\n",
                written, beforeReadBack);
    EXPECT_GT(beforeReadBack, 0);  // the moment that matters was met
    ::kill(pid_t(sim.processId()), SIGTERM);
    EXPECT_TRUE(sim.waitForFinished(kWait));
}

}  // namespace
}  // namespace orvel::cli

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// The simulator as a jig: three units one after another on one link, each programmed by
// `orvel` as a line would, each final memory in its own file once the unit is taken away.
#include <gtest/gtest.h>

#include <QtCore>
#include <csignal>
#include <map>

#include "files/regularfile.h"
#include "table/tablestore.h"

namespace {

constexpr int kWait = 30000;

// Until the simulator has said `line` on standard output.
bool said(QProcess &sim, QByteArray &out, const QByteArray &line) {
    while (!out.contains(line + '\n') && sim.waitForReadyRead(kWait)) out += sim.readAll();
    return out.contains(line + '\n');
}

TEST(Jig, EachUnitInTurnProgrammedAndItsFinalMemoryKept) {
    const QTemporaryDir dir;
    const QString link = dir.filePath("com"), from = dir.filePath("in"), out = dir.filePath("out");
    QDir().mkpath(from);
    QDir().mkpath(out);
    qputenv("XDG_STATE_HOME", QFile::encodeName(dir.filePath("state")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath("config")));
    QByteArray memory[2] = {QByteArray(8192, 0), QByteArray(8192, 0)};  // of units 1 and 3
    for (int i = 0; i < 8192; ++i) {
        memory[0][i] = char((i * 37 + 33) % 256);
        memory[1][i] = char((i * 11 + 5) % 256);
    }
    for (const int n : {0, 1})
        ASSERT_TRUE(orvel::writeWhole(from + QStringLiteral("/%1.bin").arg(n * 2 + 1), memory[n]));
    struct Row {
        QStringList arguments;
        int status;
        std::map<int, char> written;  // unit 2 is seeded: only its written cells are checked
    };
    const Row rows[] = {
        {{"read", "--objects", "1-8", "-o", dir.filePath("1.csv")}, 0, {}},
        {{"write", "--objects", "1-4", "--value", "1"}, 0, {{1, 1}, {2, 1}, {3, 1}, {4, 1}}},
        {{"write", "--objects", "1-4", "--value", "0"}, 1, {{1, 0}, {3, 0}, {4, 0}}},  // 2 stuck
    };
    QProcess sim;
    sim.start(ORVEL_DEVICE_SIM, {"--fast", "--units", "3", "--link", link, "--units-from", from,
                                 "--units-out", out, "--away-after-ms", "1500", "--gap-ms", "50",
                                 "--unit", "2:away=hangup", "--unit", "3:stuck-cell=2"});
    QByteArray said_;
    for (int unit = 1; unit <= 3; ++unit) {
        SCOPED_TRACE(unit);
        const Row &row = rows[unit - 1];
        ASSERT_TRUE(said(sim, said_, QStringLiteral("unit %1 here").arg(unit).toUtf8()));
        QProcess orvel;
        orvel.start(ORVEL_CLI, row.arguments + QStringList{"--port", link});
        EXPECT_TRUE(orvel.waitForFinished(kWait));
        EXPECT_EQ(orvel.exitCode(), row.status) << orvel.readAllStandardError().toStdString();
        ASSERT_TRUE(said(sim, said_, QStringLiteral("unit %1 away").arg(unit).toUtf8()));
        const auto read = orvel::readRegularFile(out + QStringLiteral("/%1.bin").arg(unit), 9000);
        ASSERT_TRUE(read && read->size() == 8192);
        const QByteArray &after = *read;
        QByteArray expected = unit == 2 ? after : memory[unit / 2];
        for (const auto &[cell, value] : row.written) expected[cell] = value;
        EXPECT_EQ(after, expected);
        if (unit == 2) {
            EXPECT_NE(after.left(64), memory[0].left(64));  // its own seeded memory
        }
    }
    const orvel::LoadResult read = orvel::loadTable(dir.filePath("1.csv"));
    ASSERT_TRUE(read && read->table);
    for (const auto &[object, value] : read->table->objects)
        EXPECT_EQ(value, quint8(memory[0][object])) << object;
    EXPECT_EQ(read->table->objects.size(), 8u);
    ::kill(pid_t(sim.processId()), SIGTERM);
    EXPECT_TRUE(sim.waitForFinished(kWait));
    EXPECT_EQ(sim.exitCode(), 0);
    const QFileInfoList files = QDir(out).entryInfoList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(files.size(), 3);  // no temporary left
    for (const QFileInfo &file : files)
        EXPECT_EQ(file.permissions().toInt() & 0x7777, 0x6600) << file.fileName().toStdString();
}

}  // namespace

// What `orvel` does with the files it is given: a table saved whole or not at all, and
// nothing but a regular file read or written, before the device is touched.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <QtCore>
#include <csignal>
#include <cstring>

#include "table/tablestore.h"

namespace orvel::cli {
namespace {

constexpr int kWait = 30000;
constexpr int kAtOnce = 10000;  // a refusal takes no time; a FIFO opened would block for ever

// The simulator on `link`: its stderr tells what it received once it is stopped.
bool startSim(QProcess &sim, const QString &link) {
    sim.start(ORVEL_DEVICE_SIM, {"--fast", "--link", link});
    if (!sim.waitForStarted(kWait)) return false;
    while (!sim.canReadLine() && sim.waitForReadyRead(kWait)) {}
    return sim.canReadLine();
}

QByteArray readFile(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A disk with less room than the table (a file size limit on orvel, SIGXFSZ ignored): the
// old file stays byte for byte, orvel exits 2 with the system's words, and the table read
// goes to standard output.
TEST(CliFiles, ATableTooLargeForTheDiskLeavesTheOldOneAndIsPrinted) {
    const struct { const char *name, *objects; rlim_t room; } cases[] = {
        {"under 4 KiB, 1 KiB of room", "1-300", 1024},
        {"between 4 and 16 KiB, one block of room", "1-1500", 4096},
        {"over 16 KiB, 16 KiB of room", "1-3000", 16384},
    };
    const QTemporaryDir dir;
    qputenv("XDG_STATE_HOME", QFile::encodeName(dir.filePath("state")));
    const QString link = dir.filePath("com"), table = dir.filePath("t.csv");
    QProcess sim;
    ASSERT_TRUE(startSim(sim, link));
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QFile old(table);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly) && old.write("an old table\n") == 13);
        old.close();
        QProcess orvel;
        orvel.setChildProcessModifier([room = c.room] {
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{room, room};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        });
        orvel.start(ORVEL_CLI, {"read", "--port", link, "--objects", c.objects, "-o", table});
        EXPECT_TRUE(orvel.waitForFinished(kWait));
        const QString err = orvel.readAllStandardError();
        EXPECT_EQ(orvel.exitCode(), 2) << err.toStdString();
        EXPECT_TRUE(err.contains("t.csv could not be saved: " + qt_error_string(EFBIG)))
            << err.toStdString();
        EXPECT_EQ(readFile(table), "an old table\n");
        const ParseResult printed = parseTable(orvel.readAllStandardOutput());
        EXPECT_EQ(printed.table ? printed.table->objects.size() : 0,
                  QString(c.objects).section('-', 1).toULong());
    }
    ::kill(pid_t(sim.processId()), SIGTERM);
    EXPECT_TRUE(sim.waitForFinished(kWait));
}

struct Node {
    mode_t mode;
    ino_t inode;
    nlink_t names;
    QByteArray contents;
    bool operator==(const Node &) const = default;
};

Node node(const QString &path) {
    struct stat info {};
    ::lstat(QFile::encodeName(path).constData(), &info);
    return {info.st_mode, info.st_ino, info.st_nlink,
            S_ISREG(info.st_mode) ? readFile(path) : QByteArray()};
}

// -o, --log, --list and the tables of compare and restore at what is no regular file of
// the user's own: refused at once with what it is, the node as it was, no byte to the device.
TEST(CliFiles, WhatIsNoRegularFileIsRefusedBeforeTheDeviceIsTouched) {
    const QTemporaryDir dir;
    qputenv("XDG_STATE_HOME", QFile::encodeName(dir.filePath("state")));
    const QString link = dir.filePath("com"), device = dir.filePath("null"),
                  fifo = dir.filePath("fifo"), socket = dir.filePath("socket"),
                  folder = dir.filePath("folder"), log = dir.filePath("log"),
                  linked = dir.filePath("linked.log"), symbolic = dir.filePath("symbolic.log");
    const bool root = ::mknod(QFile::encodeName(device).constData(), S_IFCHR | 0666,
                              makedev(1, 3)) == 0;  // as /dev/null
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const int listening = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{AF_UNIX, {}};
    std::strncpy(address.sun_path, QFile::encodeName(socket).constData(),
                 sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(listening, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    QDir().mkpath(folder);
    QFile(log).open(QIODevice::WriteOnly);
    QFile::link(log, symbolic);
    ASSERT_EQ(::link(QFile::encodeName(log).constData(), QFile::encodeName(linked).constData()), 0);
    const QStringList read = {"read", "--port", link, "--objects", "1"};
    const struct { const char *name; QStringList arguments; QString node, says; } cases[] = {
        {"-o at a character device", read + QStringList{"-o", device}, device,
         "a character device, not a regular file"},
        {"-o at a FIFO", read + QStringList{"-o", fifo}, fifo, "a FIFO (named pipe), not"},
        {"-o at a socket", read + QStringList{"-o", socket}, socket, "a socket, not"},
        {"-o at a folder", read + QStringList{"-o", folder}, folder, "a folder, not"},
        {"--log at a hard link", read + QStringList{"--log", linked}, log, "has other names"},
        {"--log at a FIFO", read + QStringList{"--log", fifo}, fifo, "a FIFO (named pipe), not"},
        {"--log through a symbolic link", read + QStringList{"--log", symbolic}, symbolic,
         "a symbolic link, not followed"},
        {"--list at a FIFO", {"read", "--port", link, "--list", fifo}, fifo, "a FIFO"},
        {"compare with a FIFO", {"compare", fifo, "--port", link}, fifo, "a FIFO"},
        {"restore with a FIFO", {"restore", fifo, "--port", link, "--yes"}, fifo, "a FIFO"},
    };
    QProcess sim;
    ASSERT_TRUE(startSim(sim, link));
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.node == device && !root) continue;  // only root makes a device node
        const Node before = node(c.node);
        QProcess orvel;
        orvel.start(ORVEL_CLI, c.arguments);
        EXPECT_TRUE(orvel.waitForFinished(kAtOnce));
        orvel.kill();
        orvel.waitForFinished(kWait);
        const QString err = orvel.readAllStandardError();
        EXPECT_EQ(orvel.exitCode(), 2);
        EXPECT_TRUE(err.contains(c.says)) << err.toStdString();
        EXPECT_TRUE(node(c.node) == before);
    }
    ::kill(pid_t(sim.processId()), SIGTERM);
    EXPECT_TRUE(sim.waitForFinished(kWait));
    EXPECT_TRUE(sim.readAllStandardError().contains("bytes received 0,"));
    ::close(listening);
}

}  // namespace
}  // namespace orvel::cli

// The files `orvel` is given: only a regular file of the user's, and a table whole or not.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>

#include <QtCore>
#include <csignal>

namespace orvel::cli {
namespace {

constexpr int kWait = 30000, kAtOnce = 10000;  // a FIFO opened would block for ever

QString startSim(QProcess &sim, const QString &link) {
    sim.start(ORVEL_DEVICE_SIM, {"--fast", "--link", link});
    while (sim.waitForStarted(kWait) && !sim.canReadLine() && sim.waitForReadyRead(kWait)) {}
    return link;
}

QByteArray node(const QString &path) {
    struct stat info {};
    ::lstat(QFile::encodeName(path).constData(), &info);
    QFile file(path);
    return QByteArray::number(info.st_mode) + ' ' + QByteArray::number(info.st_ino) + ' ' +
           QByteArray::number(info.st_nlink) + ' ' +
           (S_ISREG(info.st_mode) && file.open(QIODevice::ReadOnly) ? file.readAll() : "");
}

// No regular file of the user's (-o, --log, --list, a table): refused at once, saying what it
// is, the node as it was, no byte to the device. A disk with less room than the table (a size
// limit, SIGXFSZ ignored): the old file byte for byte, exit 2 and the system's words.
TEST(CliFiles, WhatCannotBeAWholeRegularFileOfOursIsLeftAsItWas) {
    const QTemporaryDir dir;
    QDir::setCurrent(dir.path());  // every name below is in it
    qputenv("XDG_STATE_HOME", QFile::encodeName(dir.filePath("state")));
    QProcess untouched, device;
    const QString idle = startSim(untouched, dir.filePath("idle")),
                  com = startSim(device, dir.filePath("com"));
    const bool root = ::mknod("null", S_IFCHR | 0666, makedev(1, 3)) == 0;  // as /dev/null
    ASSERT_EQ(::mkfifo("fifo", 0600), 0);
    sockaddr_un address{AF_UNIX, "socket"};
    const int listening = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::bind(listening, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    QFile old("old.csv"), log("log");
    ASSERT_TRUE(old.open(QIODevice::WriteOnly) && old.write("an old table\n") == 13);
    QFile theirs("theirs.csv");  // another user's table: only root can give it away
    ASSERT_TRUE(theirs.open(QIODevice::WriteOnly) && theirs.write("their table\n") == 12);
    theirs.close();
    ASSERT_TRUE(!root || ::chown("theirs.csv", 65534, 65534) == 0);
    ASSERT_TRUE(QDir().mkpath("folder") && log.open(QIODevice::WriteOnly) &&
                log.link("symbolic") && ::link("log", "linked") == 0);
    const QStringList read = {"read", "--port", idle, "--objects", "1"};
    const QString full = "could not be saved: " + qt_error_string(EFBIG);
    const struct { const char *name; QStringList arguments; const char *node; QString says;
                   rlim_t room = RLIM_INFINITY; } cases[] = {
        {"-o at a character device", read + QStringList{"-o", "null"}, "null",
         "null: a character device, not a regular file"},
        {"-o at a FIFO", read + QStringList{"-o", "fifo"}, "fifo", "a FIFO (named pipe), not"},
        {"-o at a socket", read + QStringList{"-o", "socket"}, "socket", "a socket, not"},
        {"-o at a folder", read + QStringList{"-o", "folder"}, "folder", "a folder, not"},
        {"-o at another user's file", read + QStringList{"-o", "theirs.csv"}, "theirs.csv",
         "belongs to another user"},
        {"--log at a hard link", read + QStringList{"--log", "linked"}, "log", "other names"},
        {"--log at a FIFO", read + QStringList{"--log", "fifo"}, "fifo", "a FIFO"},
        {"--log at a symbolic link", read + QStringList{"--log", "symbolic"}, "symbolic",
         "a symbolic link, not followed"},
        {"--list at a FIFO", {"read", "--port", idle, "--list", "fifo"}, "fifo", "a FIFO"},
        {"compare with a FIFO", {"compare", "fifo", "--port", idle}, "fifo", "a FIFO"},
        {"restore with a FIFO", {"restore", "fifo", "--port", idle, "--yes"}, "fifo", "a FIFO"},
        {"-o, under 4 KiB, 1 KiB of room", {"read", "--port", com, "--objects", "1-300", "-o",
         "old.csv"}, "old.csv", full, 1024},
        {"-o, 4 to 16 KiB, 4 KiB of room", {"read", "--port", com, "--objects", "1-1500", "-o",
         "old.csv"}, "old.csv", full, 4096},
        {"-o, over 16 KiB, 16 KiB of room", {"read", "--port", com, "--objects", "1-3000", "-o",
         "old.csv"}, "old.csv", full, 16384},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        if (!root && (c.node == QStringLiteral("null") || c.node == QStringLiteral("theirs.csv")))
            continue;  // only root makes a device or gives a file away
        const QByteArray before = node(c.node);
        QProcess orvel;
        orvel.setChildProcessModifier([room = c.room] {
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{room, room};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        });
        orvel.start(ORVEL_CLI, c.arguments);
        EXPECT_TRUE(orvel.waitForFinished(kAtOnce));
        orvel.kill();
        orvel.waitForFinished(kWait);
        const QString err = orvel.readAllStandardError();
        EXPECT_EQ(orvel.exitCode(), 2);
        EXPECT_TRUE(err.contains(c.says)) << err.toStdString();
        EXPECT_EQ(node(c.node), before);
    }
    for (QProcess *sim : {&untouched, &device}) ::kill(pid_t(sim->processId()), SIGTERM);
    EXPECT_TRUE(untouched.waitForFinished(kWait) && device.waitForFinished(kWait));
    EXPECT_TRUE(untouched.readAllStandardError().contains("bytes received 0,"));
    ::close(listening);
    QDir::setCurrent(QDir::tempPath());
}

}  // namespace
}  // namespace orvel::cli

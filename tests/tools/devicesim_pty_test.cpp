// Runs the built simulator and talks to it over its pseudo-terminal the way the
// programmer does: open the printed path, answer the device's bytes.
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The device's next byte, or -1 after 3 s.
int readByte(int fd) {
    pollfd p{fd, POLLIN, 0};
    std::uint8_t b = 0;
    return poll(&p, 1, 3000) > 0 && read(fd, &b, 1) == 1 ? b : -1;
}

QByteArray readFile(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(DeviceSimPty, ReadAndWriteOverTheTerminal) {
    QTemporaryDir dir;
    const QString memoryFile = dir.filePath("memory.bin"), link = dir.filePath("port");
    // 13 and 10 are the bytes a cooked terminal would mangle (CR to LF, LF to CR LF).
    QByteArray before(8192, '\0');
    for (int i = 0; i < before.size(); ++i) before[i] = char(i * 7 + 3);
    before[0x0123] = 13;
    QFile file(memoryFile);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(before) == before.size());
    file.close();

    QProcess sim;
    sim.start(ORVEL_DEVICE_SIM,
              {"--fast", "--memory", memoryFile, "--link", link, "--idle-ms", "1000"});
    ASSERT_TRUE(sim.waitForReadyRead(5000));
    const QByteArray slave = sim.readLine().trimmed();
    ASSERT_TRUE(slave.startsWith("/dev/")) << slave.toStdString();
    EXPECT_EQ(QFile::symLinkTarget(link), QString::fromLocal8Bit(slave));
    const int fd = open(slave.constData(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    termios tio{};  // left as the simulator set it up: raw, no echo
    ASSERT_EQ(tcgetattr(fd, &tio), 0);
    EXPECT_EQ(tio.c_lflag & (ECHO | ICANON | ISIG), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_iflag & (ICRNL | IXON), 0u);

    // Read of cell 0x0123, then a write of 10 into cell 0x100A: what we send (-1 nothing),
    // and the device's answer.
    const std::pair<int, int> exchange[] = {{-1, 172},   {-1, 172},   {0x55, 202}, {0x01, 202},
                                            {0x23, 13},  {-1, 172},   {-1, 172},   {0xAA, 202},
                                            {0x10, 202}, {0x0A, 202}, {0x0A, 202}};
    for (const auto &[out, in] : exchange) {
        const char byte = char(out);
        if (out >= 0) {
            ASSERT_EQ(write(fd, &byte, 1), 1);
        }
        int answer = readByte(fd);
        // The device may have repeated its ready pair before it saw our command.
        while ((out == 0x55 || out == 0xAA) && answer == 172) answer = readByte(fd);
        EXPECT_EQ(answer, in) << out;
    }

    // Saved after the write already, not only at the end.
    QByteArray expected = before;
    expected[0x100A] = 10;
    for (int i = 0; i < 300 && readFile(memoryFile) != expected; ++i) QThread::msleep(10);
    EXPECT_EQ(readFile(memoryFile), expected);

    // A signal ends it cleanly: a summary, its link gone, the memory saved.
    ASSERT_EQ(kill(pid_t(sim.processId()), SIGTERM), 0);
    ASSERT_TRUE(sim.waitForFinished(5000));
    EXPECT_EQ(sim.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sim.exitCode(), 0);
    close(fd);
    const QByteArray summary = sim.readAllStandardError();
    EXPECT_TRUE(summary.contains(
        "bytes received 7, objects read 1, objects written 1, noise 0"))
        << summary.toStdString();
    struct stat st {};
    EXPECT_NE(lstat(link.toLocal8Bit().constData(), &st), 0) << "link left behind";
    EXPECT_EQ(readFile(memoryFile), expected);
}

}  // namespace

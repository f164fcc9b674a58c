// The real port against a pseudo-terminal that plays the device.
#include "serial/qserialbackend.h"
#include "app/porttexts.h"
#include "ports/fakeportenumerator.h"
#include "ports/portdescription.h"
#include "support/formfixture.h"

#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace orvel::test {
namespace {

using namespace std::chrono_literals;

struct QSerialBackendTest : PortsTest {
    void SetUp() override { ASSERT_TRUE(pty.ok()) << "no pseudo-terminal on this machine"; }
    Pty pty;
};

// One device under one name or two: whoever comes second is refused, root or not, the
// first keeps the line, and once it lets go the port can be had.
TEST_F(QSerialBackendTest, APortHeldByAnotherOpenerIsInUse) {
    QTemporaryDir dir;
    const QString link = dir.filePath("orvel-port");
    ASSERT_TRUE(QFile::link(pty.path(), link));
    for (const auto &[firstPath, secondPath] : {std::pair{link, pty.path()}, {pty.path(), link}}) {
        QSerialBackend first, second;
        ASSERT_TRUE(first.open({firstPath, "COM 2"}).ok());
        EXPECT_EQ(second.open({secondPath, "COM 3"}).why(), PortFailure::InUse);
        EXPECT_FALSE(second.isOpen());
        ASSERT_TRUE(first.write('a'));
        EXPECT_EQ(pty.take(1), "a");
        EXPECT_TRUE(first.close());
        EXPECT_TRUE(second.open({secondPath, "COM 3"}).ok());
    }
    // A program that holds only the port's lock file (Qt's way), not the device: root passes
    // its exclusive mode, the claim is had, and the lock file says the port is in use.
    QSerialPort other(pty.path());
    ASSERT_TRUE(other.open(QIODevice::ReadWrite));
    QSerialBackend refused;
    EXPECT_EQ(refused.open({pty.path(), "COM 3"}).why(), PortFailure::InUse);
    other.close();
    EXPECT_TRUE(QSerialBackend().open({pty.path(), "COM 3"}).ok());  // nothing left claimed
}

// What is missing, no serial port or not ours to use is refused as such, with what to do
// and the ports present (their labels are checked with the port list).
TEST_F(QSerialBackendTest, WhatCannotBeOpenedIsRefusedWithThePortsPresent) {
    QTemporaryFile file;
    ASSERT_TRUE(file.open());
    const QString choose = ".\n\nChoose the device for COM 3 under Serial ports, or start the "
                           "program with, for example, ORVEL_COM3=/dev/ttyUSB0";
    const QString none = "No serial port is present.";
    const QString two = "Serial ports present: " + portLabel(kAcm) + ", " + portLabel(kFtdi) + ".";
    const QString pts = pty.path();
    const bool root = ::geteuid() == 0 && ::chmod(pts.toLocal8Bit().constData(), S_IRUSR) == 0;
    const std::tuple<QString, QList<PortInfo>, QString, QString> rows[] = {
        {"/dev/does-not-exist", {}, "there is no device /dev/does-not-exist" + choose, none},
        {file.fileName(), {kAcm, kFtdi}, file.fileName() + " is not a serial port" + choose, two},
        {"/dev/null", {}, "/dev/null is not a serial port" + choose, none},
        {"/dev/ptmx", {}, "/dev/ptmx is not a serial port" + choose, none},
        // A node only root may open (as the pty is made below), opened as the user nobody.
        {pts, {}, "permission to use " + pts + " is denied.\n\nYour user must be in the group that "
                  "owns " + pts + " (usually dialout)", none},
    };
    for (const auto &[path, present, why, presentText] : rows) {
        if (path == pts && !root) continue;  // only root can open as another user
        QSerialBackend backend;
        if (path == pts) EXPECT_EQ(::seteuid(65534), 0);
        const Done<PortFailure> result = backend.open({path, "COM 3"});
        if (path == pts) EXPECT_EQ(::seteuid(0), 0);
        EXPECT_FALSE(result) << path.toStdString();
        if (result) continue;
        // The window's words for what the backend found.
        const QString error = openFailureText(result.failure(), 3, path, present);
        EXPECT_TRUE(error.startsWith("COM 3 cannot be opened: " + why)) << error.toStdString();
        EXPECT_TRUE(error.endsWith("\n\n" + presentText)) << error.toStdString();
    }
}

// Each byte goes out at once, unchanged (no line-end or high-bit translation); what comes in
// is read, or awaited, silence only as long as asked, appended in order whether the port or
// the descriptor has it, but nothing that came before the port was opened (a ready pair left
// by a program killed in mid-command would shift the dialogue by a byte). The port opens
// again after closing; a hang-up is reported once.
TEST_F(QSerialBackendTest, TalksToTheDeviceUntilTheLineHangsUp) {
    // Raw, as a device's line is: what the device sends before we open is not echoed to it.
    const int slave = ::open(pty.path().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    termios raw{};
    ASSERT_EQ(::tcgetattr(slave, &raw), 0);
    ::cfmakeraw(&raw);
    ASSERT_EQ(::tcsetattr(slave, TCSANOW, &raw), 0);
    ::close(slave);
    QSerialBackend backend;
    for (int round = 0; round < 2; ++round) {
        pty.send("\xac\xac\xca");  // before the port is opened
        ASSERT_TRUE(backend.open({pty.path(), "COM 2"}).ok());
        for (char byte : {char(0x55), char(0x0A), char(0xAA), char(0x0D), char(0x00)}) {
            EXPECT_TRUE(backend.write(byte));
            EXPECT_EQ(pty.take(1), QByteArray(1, byte)) << int(quint8(byte));
        }
        QSignalSpy ready(&backend, &SerialBackend::readyRead);
        pty.send(QByteArray::fromHex("ac00ca0d0a7fff"));
        QByteArray received;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return (received += backend.readAll()).size() >= 7; }, 3000));
        EXPECT_GE(ready.count(), 1);
        QElapsedTimer waited;
        waited.start();
        EXPECT_FALSE(backend.awaitMore(received, 30ms));
        EXPECT_GE(waited.elapsed(), 25);
        pty.send(QByteArray::fromHex("acca07"));
        while (received.size() < 10 && backend.awaitMore(received, 2s)) {
        }
        EXPECT_EQ(received.toHex(), "ac00ca0d0a7fffacca07");
        if (round == 0) {
            EXPECT_TRUE(backend.close());
            EXPECT_FALSE(backend.isOpen());
            EXPECT_EQ(backend.write('x').why(), PortFailure::NotOpen);
        }
    }
    QSignalSpy lineEvents(&backend, &SerialBackend::lineEvent);
    QSignalSpy ready(&backend, &SerialBackend::readyRead);
    pty.send("\xac\x07");  // the device's last bytes, not yet taken when the line hangs up
    ASSERT_TRUE(QTest::qWaitFor([&] { return ready.count() > 0; }, 3000));
    const qsizetype readyBefore = ready.count();
    pty.closeMaster();
    ASSERT_TRUE(QTest::qWaitFor([&] { return lineEvents.count() > 0; }, 3000));
    EXPECT_GT(ready.count(), readyBefore);  // said again: they wait in the backend now
    EXPECT_EQ(backend.readAll().toHex(), "ac07");
    // The control stays open until the operator disconnects, but says why it cannot send.
    EXPECT_TRUE(backend.isOpen());
    EXPECT_EQ(backend.write('x').why(), PortFailure::Lost);
    QByteArray into;
    EXPECT_FALSE(backend.awaitMore(into, 30ms));  // the line is the port's to report
    const qsizetype eventsBefore = lineEvents.count();
    const double cpuBefore = cpuSeconds();
    QTest::qWait(1000);
    EXPECT_LT(cpuSeconds() - cpuBefore, 0.2) << "the event loop kept waking on the dead line";
    EXPECT_EQ(lineEvents.count(), eventsBefore);
    EXPECT_TRUE(backend.close());
    EXPECT_FALSE(backend.isOpen());
}

}  // namespace
}  // namespace orvel::test

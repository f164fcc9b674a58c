#include "serial/qserialbackend.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QSignalSpy>
#include <QTest>
#include <chrono>

namespace orvel {
namespace {

// A pseudo-terminal pair: the backend opens the slave as its port, the test plays the
// device on the master.
class Pty {
public:
    Pty() {
        m_master = posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) return;
        if (const char *name = ptsname(m_master)) m_slave = QString::fromLocal8Bit(name);
    }
    ~Pty() { closeMaster(); }
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    bool ok() const { return m_master >= 0 && !m_slave.isEmpty(); }
    const QString &slave() const { return m_slave; }

    bool send(const QByteArray &data) {
        return ::write(m_master, data.constData(), size_t(data.size())) == data.size();
    }
    // What the backend wrote, once `count` bytes are there or the time is up.
    QByteArray take(qsizetype count, std::chrono::milliseconds timeout = std::chrono::seconds(2)) {
        QByteArray data;
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (data.size() < count && std::chrono::steady_clock::now() < end) {
            pollfd fd{m_master, POLLIN, 0};
            if (::poll(&fd, 1, 50) <= 0 || !(fd.revents & POLLIN)) continue;
            char buffer[256];
            const ssize_t n = ::read(m_master, buffer, sizeof buffer);
            if (n > 0) data.append(buffer, qsizetype(n));
        }
        return data;
    }
    void closeMaster() {
        if (m_master >= 0) ::close(m_master);
        m_master = -1;
    }

private:
    int m_master = -1;
    QString m_slave;
};

double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

class QSerialBackendTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pty.ok()) << "no pseudo-terminal on this machine";
        qputenv("ORVEL_COM2", pty.slave().toLocal8Bit());
    }
    void TearDown() override { qunsetenv("ORVEL_COM2"); }

    Pty pty;
};

TEST_F(QSerialBackendTest, TalksToTheDeviceBehindThePort) {
    QSerialBackend backend;
    QString error;
    ASSERT_TRUE(backend.open(2, &error)) << error.toStdString();
    EXPECT_TRUE(backend.isOpen());

    // Out: each byte is sent at once, unchanged (no line-end or high-bit translation).
    for (char byte : {char(0x55), char(0x0A), char(0xAA), char(0x0D), char(0x00)}) {
        ASSERT_TRUE(backend.write(byte, &error)) << error.toStdString();
        EXPECT_EQ(pty.take(1), QByteArray(1, byte)) << int(quint8(byte));
    }

    // In: bytes from the device, as they come.
    QSignalSpy ready(&backend, &SerialBackend::readyRead);
    const QByteArray fromDevice = QByteArray::fromHex("ac00ca0d0a7fff");
    ASSERT_TRUE(pty.send(fromDevice));
    QByteArray received;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            received += backend.readAll();
            return received.size() >= fromDevice.size();
        },
        3000));
    EXPECT_EQ(received.toHex(), fromDevice.toHex());
    EXPECT_GE(ready.count(), 1);

    EXPECT_TRUE(backend.close(&error));
    EXPECT_FALSE(backend.isOpen());
    QString writeError;
    EXPECT_FALSE(backend.write('x', &writeError));
    EXPECT_FALSE(writeError.isEmpty());

    // The port can be opened again after closing.
    ASSERT_TRUE(backend.open(2, &error)) << error.toStdString();
    ASSERT_TRUE(backend.write(char(0xCA), &error));
    EXPECT_EQ(pty.take(1), QByteArray(1, char(0xCA)));
    backend.close(&error);
}

TEST_F(QSerialBackendTest, AMissingDeviceIsNamedWithItsVariable) {
    qputenv("ORVEL_COM3", "/dev/does-not-exist");
    QSerialBackend backend;
    QString error;
    EXPECT_FALSE(backend.open(3, &error));
    qunsetenv("ORVEL_COM3");
    EXPECT_FALSE(backend.isOpen());
    EXPECT_TRUE(error.contains("/dev/does-not-exist")) << error.toStdString();
    EXPECT_TRUE(error.contains("ORVEL_COM3")) << error.toStdString();
    EXPECT_TRUE(error.startsWith("COM 3 ")) << error.toStdString();
    QString writeError;
    EXPECT_FALSE(backend.write('x', &writeError));
}

TEST_F(QSerialBackendTest, APortHeldByAnotherOpenerIsInUse) {
    QSerialBackend first;
    QSerialBackend second;
    QString error;
    ASSERT_TRUE(first.open(2, &error)) << error.toStdString();

    EXPECT_FALSE(second.open(2, &error));
    EXPECT_FALSE(second.isOpen());
    EXPECT_TRUE(error.contains("in use by another program")) << error.toStdString();
    EXPECT_TRUE(error.contains(pty.slave())) << error.toStdString();

    // The first still works, and once it lets go the second gets the port.
    ASSERT_TRUE(first.write('a', &error)) << error.toStdString();
    EXPECT_EQ(pty.take(1), "a");
    first.close(&error);
    error.clear();
    EXPECT_TRUE(second.open(2, &error)) << error.toStdString();
    second.close(&error);
}

TEST_F(QSerialBackendTest, AHungUpLineIsReportedOnceAndDoesNotSpin) {
    QSerialBackend backend;
    QString error;
    ASSERT_TRUE(backend.open(2, &error)) << error.toStdString();
    QSignalSpy lineEvents(&backend, &SerialBackend::lineEvent);

    pty.closeMaster();
    QTest::qWait(500);

    ASSERT_GE(lineEvents.count(), 1);
    // The control stays open until the operator disconnects, but says why it cannot send.
    EXPECT_TRUE(backend.isOpen());
    QString writeError;
    EXPECT_FALSE(backend.write('x', &writeError));
    EXPECT_TRUE(writeError.contains(pty.slave())) << writeError.toStdString();

    const int eventsBefore = int(lineEvents.count());
    const double cpuBefore = processCpuSeconds();
    QTest::qWait(1000);
    const double cpuUsed = processCpuSeconds() - cpuBefore;
    EXPECT_LT(cpuUsed, 0.2) << "the event loop kept waking on the dead line";
    EXPECT_EQ(lineEvents.count(), eventsBefore);

    EXPECT_TRUE(backend.close(&error));
    EXPECT_FALSE(backend.isOpen());
}

}  // namespace
}  // namespace orvel

// The real port against a pseudo-terminal that plays the device.
#include "serial/qserialbackend.h"
#include "ports/fakeportenumerator.h"
#include "support/formfixture.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace orvel::test {
namespace {

class QSerialBackendTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pty.ok()) << "no pseudo-terminal on this machine";
        qputenv("ORVEL_COM2", pty.path().toLocal8Bit());
    }
    void TearDown() override {
        qunsetenv("ORVEL_COM2");
        qunsetenv("ORVEL_COM3");
    }

    Pty pty;
    QString error;
};

TEST_F(QSerialBackendTest, TalksToTheDeviceBehindThePort) {
    QSerialBackend backend;
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
    pty.send(fromDevice);
    QByteArray received;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return (received += backend.readAll()).size() >= fromDevice.size(); }, 3000));
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
    EXPECT_FALSE(backend.open(3, &error));
    qunsetenv("ORVEL_COM3");
    EXPECT_FALSE(backend.isOpen());
    for (const char *part : {"/dev/does-not-exist", "ORVEL_COM3"})
        EXPECT_TRUE(error.contains(part)) << error.toStdString();
    EXPECT_TRUE(error.startsWith("COM 3 ")) << error.toStdString();
    QString writeError;
    EXPECT_FALSE(backend.write('x', &writeError));
}

// One device under one name or two: whoever comes second is refused, root or not, the
// first keeps the line, and once it lets go the port can be had.
TEST_F(QSerialBackendTest, APortHeldByAnotherOpenerIsInUse) {
    QTemporaryDir dir;
    const QString link = dir.filePath("orvel-port");
    ASSERT_TRUE(QFile::link(pty.path(), link));
    const std::pair<QString, QString> rows[] = {
        {pty.path(), pty.path()}, {link, pty.path()}, {pty.path(), link}};
    for (const auto &[firstPath, secondPath] : rows) {
        qputenv("ORVEL_COM2", firstPath.toLocal8Bit());
        qputenv("ORVEL_COM3", secondPath.toLocal8Bit());
        QSerialBackend first, second;
        ASSERT_TRUE(first.open(2, &error)) << error.toStdString();
        EXPECT_FALSE(second.open(3, &error));
        EXPECT_FALSE(second.isOpen());
        EXPECT_TRUE(error.startsWith("COM 3 cannot be opened: " + secondPath +
                                     " is in use by another program."))
            << error.toStdString();
        ASSERT_TRUE(first.write('a', &error)) << error.toStdString();
        EXPECT_EQ(pty.take(1), "a");
        pty.send("b");
        EXPECT_TRUE(QTest::qWaitFor([&] { return first.readAll() == "b"; }, 2000));
        first.close(&error);
        EXPECT_TRUE(second.open(3, &error)) << error.toStdString();
    }
}

// What is no serial port is refused as such, with how to choose another and the ports present.
TEST_F(QSerialBackendTest, WhatIsNoSerialPortIsRefusedWithThePortsPresent) {
    QTemporaryDir dir;
    QFile file(dir.filePath("objects.onf"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    const struct {
        QString path;
        QList<PortInfo> present;
        const char *presentText;
    } rows[] = {
        {file.fileName(), {}, "No serial port is present."},
        {"/dev/null", {kFtdi},
         "Serial ports present: /dev/ttyUSB0 (FT232R USB UART, FTDI, serial number A10K, "
         "0403:6001, /dev/serial/by-id/usb-FTDI_FT232R_A10K-if00-port0)."},
        {dir.path(), {kAcm, kFtdi}, "Serial ports present: /dev/ttyACM0 (USB serial, Orvel, "
         "2341:0043), /dev/ttyUSB0 (FT232R USB UART, FTDI, serial number A10K, 0403:6001, "
         "/dev/serial/by-id/usb-FTDI_FT232R_A10K-if00-port0)."},
        {"/dev/ptmx", {kAcm}, "Serial ports present: /dev/ttyACM0 (USB serial, Orvel, 2341:0043)."},
    };
    for (const auto &row : rows) {
        qputenv("ORVEL_COM3", row.path.toLocal8Bit());
        FakePortEnumerator ports;
        ports.present = row.present;
        QSerialBackend backend(nullptr, &ports);
        EXPECT_FALSE(backend.open(3, &error)) << row.path.toStdString();
        EXPECT_FALSE(backend.isOpen());
        EXPECT_TRUE(error.startsWith("COM 3 cannot be opened: " + row.path +
                                     " is not a serial port.\n\nChoose the device for COM 3 "
                                     "under Serial ports, or start the program with, for "
                                     "example, ORVEL_COM3=/dev/ttyUSB0"))
            << error.toStdString();
        EXPECT_TRUE(error.endsWith(QString("\n\n") + row.presentText)) << error.toStdString();
    }
}

TEST_F(QSerialBackendTest, AHungUpLineIsReportedOnceAndDoesNotSpin) {
    QSerialBackend backend;
    ASSERT_TRUE(backend.open(2, &error)) << error.toStdString();
    QSignalSpy lineEvents(&backend, &SerialBackend::lineEvent);
    pty.closeMaster();
    QTest::qWait(500);
    ASSERT_GE(lineEvents.count(), 1);
    // The control stays open until the operator disconnects, but says why it cannot send.
    EXPECT_TRUE(backend.isOpen());
    QString writeError;
    EXPECT_FALSE(backend.write('x', &writeError));
    EXPECT_TRUE(writeError.contains(pty.path())) << writeError.toStdString();

    const qsizetype eventsBefore = lineEvents.count();
    const double cpuBefore = cpuSeconds();
    QTest::qWait(1000);
    EXPECT_LT(cpuSeconds() - cpuBefore, 0.2) << "the event loop kept waking on the dead line";
    EXPECT_EQ(lineEvents.count(), eventsBefore);
    EXPECT_TRUE(backend.close(&error));
    EXPECT_FALSE(backend.isOpen());
}

TEST_F(QSerialBackendTest, AwaitsTheDevicesNextByteOnlyAsLongAsAsked) {
    using namespace std::chrono_literals;
    QSerialBackend backend;
    ASSERT_TRUE(backend.open(2, &error)) << error.toStdString();
    QByteArray into = "x";
    QElapsedTimer waited;
    waited.start();
    EXPECT_FALSE(backend.awaitMore(into, 30ms));  // the device is silent
    EXPECT_GE(waited.elapsed(), 25);
    EXPECT_EQ(into, "x");
    // What the device sends is appended in order, whether the port or the descriptor has it.
    pty.send(QByteArray::fromHex("acca07"));
    while (into.size() < 4 && backend.awaitMore(into, 2s)) {
    }
    EXPECT_EQ(into.toHex(), "78acca07");
    // A hung-up line is the port's to report: nothing here.
    pty.closeMaster();
    EXPECT_FALSE(backend.awaitMore(into, 30ms));
    EXPECT_EQ(into.size(), 4);
    backend.close(&error);
}

}  // namespace
}  // namespace orvel::test

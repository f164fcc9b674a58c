#pragma once

#include "ports/portenumerator.h"

#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace orvel::test {

// Ports that come and go as the test says.
struct FakePortEnumerator final : PortEnumerator {
    QList<PortInfo> present;
    QList<PortInfo> ports() const override { return present; }
};

inline const PortInfo kFtdi{"/dev/ttyUSB0", "/dev/serial/by-id/usb-FTDI_FT232R_A10K-if00-port0",
                            "FT232R USB UART", "FTDI", "A10K", true, 0x0403, 0x6001};
inline const PortInfo kAcm{"/dev/ttyACM0", "", "USB serial", "Orvel", "", true, 0x2341, 0x0043};

// The program's settings in a folder of the test's own, gone after it.
struct PortsTest : ::testing::Test {
    PortsTest() { QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path()); }
    ~PortsTest() override {
        for (const char *name : {"ORVEL_COM1", "ORVEL_COM2", "ORVEL_COM3", "ORVEL_COM4"})
            qunsetenv(name);
    }
    QTemporaryDir dir;
    FakePortEnumerator ports;
};

}  // namespace orvel::test

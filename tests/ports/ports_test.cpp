#include "ports/fakeportenumerator.h"
#include "ports/portassignments.h"
#include "ports/portdescription.h"
#include "ports/systemportenumerator.h"
#include "serial/portnames.h"

#include <QDir>

namespace orvel::test {
namespace {

using Source = PortAssignments::Source;

// Each row is stored, then read back as after a restart: the port opened, where it comes
// from, and what the COM option's tooltip says with only the FTDI adapter plugged in.
TEST_F(PortsTest, ComPortsResolveEnvironmentThenAssignmentThenDefault) {
    const QString ftdi = portLabel(kFtdi), byId = kFtdi.byIdPath;
    const QString defaultTip = "COM 2 is /dev/ttyS1 (the default): not present now";
    const std::tuple<QString, QString, QString, Source, QString> rows[] = {
        {"", byId, byId, Source::Assignment,
         "COM 2 is " + byId + " (chosen under Serial ports): " + ftdi},
        {"", "/dev/ttyACM3", "/dev/ttyACM3", Source::Assignment,
         "COM 2 is /dev/ttyACM3 (chosen under Serial ports): not present now"},
        {"/dev/ttyUSB0", "/dev/ttyACM3", "/dev/ttyUSB0", Source::Environment,
         "COM 2 is /dev/ttyUSB0 (set by ORVEL_COM2): " + ftdi},
        {"", "", "/dev/ttyS1", Source::Default, defaultTip},
    };
    for (const auto &[environment, assigned, opened, source, toolTip] : rows) {
        PortAssignments before;
        before.assign(2, assigned);
        before.save();
        qputenv("ORVEL_COM2", environment.toLocal8Bit());
        const PortAssignments after;
        EXPECT_EQ(after.assigned(2), assigned);
        EXPECT_EQ(devicePathForPort(2), opened);
        EXPECT_EQ(after.resolve(2).source, source) << opened.toStdString();
        EXPECT_EQ(comPortToolTip(2, after, {kFtdi}), toolTip);
        EXPECT_EQ(devicePathForPort(3), "/dev/ttyS2");
    }
    EXPECT_EQ(ftdi, "/dev/ttyUSB0 (FT232R USB UART, FTDI, serial number A10K, 0403:6001, "
                    "/dev/serial/by-id/usb-FTDI_FT232R_A10K-if00-port0)");
    EXPECT_EQ(portLabel(kAcm), "/dev/ttyACM0 (USB serial, Orvel, 2341:0043)");
}

TEST_F(PortsTest, StableNamesAreTheLinksThatLeadToADevice) {
    QTemporaryDir dir;
    const QDir byId(dir.path());
    QFile device(byId.filePath("ttyUSB0"));
    ASSERT_TRUE(device.open(QIODevice::WriteOnly));
    ASSERT_TRUE(QFile::link(device.fileName(), byId.filePath("usb-FTDI-if00")));
    ASSERT_TRUE(QFile::link(byId.filePath("ttyUSB9"), byId.filePath("usb-gone-if00")));
    EXPECT_EQ(SystemPortEnumerator::stableNames(dir.path()),
              (QHash<QString, QString>{{QFileInfo(device).canonicalFilePath(),
                                        byId.filePath("usb-FTDI-if00")}}));
}

}  // namespace
}  // namespace orvel::test

#include "ports/fakeportenumerator.h"
#include "ports/portassignments.h"
#include "ports/portdescription.h"
#include "app/portsdialog.h"
#include "serial/systemportenumerator.h"
#include "ports/portnames.h"
#include "support/formfixture.h"
#include "tableops/operationdialog.h"

#include <QtTest>
#include <QtWidgets>

namespace orvel::test {
namespace {

using namespace std::chrono_literals;

// Adapters plugged in and out while the window is open; COM 1 stays on the FTDI adapter
// it was given, shown as absent while it is out.
TEST_F(PortsTest, TheListFollowsAdaptersWhileOpen) {
    const QString ftdiAbsent = kFtdi.byIdPath + " (absent)";
    const std::pair<QList<PortInfo>, QString> steps[] = {{{}, ftdiAbsent},
        {{kAcm, kFtdi}, portLabel(kFtdi)}, {{kAcm}, ftdiAbsent}, {{kFtdi}, portLabel(kFtdi)}};
    PortAssignments assignments;
    assignments.assign(1, kFtdi.byIdPath);
    PortsDialog dialog(ports, assignments, nullptr, 10ms);
    const auto *table = dialog.findChild<QTableWidget *>("ports");
    const auto *com1 = dialog.findChild<QComboBox *>("com1");
    for (const auto &[present, expected] : steps) {
        const QString com1Text = expected;  // a copy the wait's lambda can take
        ports.present = present;
        EXPECT_TRUE(QTest::qWaitFor([&] { return com1->currentText() == com1Text; }, 2000));
        ASSERT_EQ(table->rowCount(), present.size());
        for (int r = 0; r < table->rowCount(); ++r)
            EXPECT_EQ(table->item(r, 0)->text(), present[r].devicePath);
        // The default, each port present, and the absent choice.
        EXPECT_EQ(com1->count(), 1 + present.size() + (com1Text == ftdiAbsent));
    }
    QStringList cells;
    for (int c = 0; c < table->columnCount(); ++c) cells.append(table->item(0, c)->text());
    EXPECT_EQ(cells.join('|'),
              "/dev/ttyUSB0|" + kFtdi.byIdPath + "|FT232R USB UART|FTDI|A10K|0403:6001");
}

// OK stores the choices, Cancel does not; a COM whose variable is set says that it wins.
TEST_F(PortsTest, OkStoresTheChoicesAndTheVariableIsShownToWin) {
    qputenv("ORVEL_COM4", "/dev/ttyUSB9");
    ports.present = {kAcm, kFtdi};
    for (const bool ok : {false, true}) {
        PortAssignments assignments;
        assignments.assign(2, kAcm.devicePath);
        assignments.save();
        PortsDialog dialog(ports, assignments);
        auto *com2 = dialog.findChild<QComboBox *>("com2");
        auto *com3 = dialog.findChild<QComboBox *>("com3");
        EXPECT_EQ(dialog.findChild<QLabel *>("com4Override")->text(),
                  "ORVEL_COM4 is set to /dev/ttyUSB9 and wins over this choice.");
        EXPECT_EQ(dialog.findChild<QLabel *>("com1Override"), nullptr);
        EXPECT_EQ(com2->currentText(), portLabel(kAcm));
        EXPECT_EQ(com3->currentText(), "Default (/dev/ttyS2)");
        com2->setCurrentIndex(0);
        com3->setCurrentIndex(com3->findData(kFtdi.byIdPath));
        dialog.show();  // Enter presses OK, Escape Cancel
        QTest::keyClick(&dialog, ok ? Qt::Key_Return : Qt::Key_Escape);
        const PortAssignments stored;
        EXPECT_EQ(stored.assigned(2), ok ? "" : kAcm.devicePath) << ok;
        EXPECT_EQ(stored.assigned(3), ok ? kFtdi.byIdPath : "") << ok;
    }
}

// No table keeps Tab: Tab and Shift+Tab leave it, the arrows move inside. Tab from the
// ports present reaches each COM choice in turn, each named by its label.
TEST_F(PortsTest, TabLeavesEveryTableAndReachesEachComChoice) {
    this->ports.present = {kAcm, kFtdi};
    PortAssignments assignments;
    PortsDialog ports(this->ports, assignments);
    OperationDialog differences("Compare with table", nullptr);
    differences.showResult("2 differ", {{"1", "2", "3"}, {"4", "5", "6"}});
    for (QDialog *dialog : {static_cast<QDialog *>(&differences), static_cast<QDialog *>(&ports)}) {
        SCOPED_TRACE(dialog->windowTitle().toStdString());
        showActive(dialog);
        auto *table = dialog->findChild<QTableWidget *>();
        for (const Qt::KeyboardModifier shift : {Qt::ShiftModifier, Qt::NoModifier}) {
            table->setFocus();
            table->setCurrentCell(0, 0);
            QTest::keyClick(table, Qt::Key_Down);
            EXPECT_EQ(table->currentRow(), 1);
            QTest::keyClick(table, Qt::Key_Tab, shift);
            EXPECT_NE(QApplication::focusWidget(), table) << "shift " << (shift != 0);
        }
    }
    for (int com = 1; com <= 4; QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab), ++com) {
        QWidget *choice = ports.findChild<QComboBox *>(QStringLiteral("com%1").arg(com));
        EXPECT_EQ(QApplication::focusWidget(), choice) << com;
        const QList<QLabel *> labels = ports.findChildren<QLabel *>();
        EXPECT_TRUE(std::ranges::any_of(labels, [&](QLabel *label) {
            return label->buddy() == choice && label->text() == QStringLiteral("COM &%1:").arg(com);
        })) << com;
    }
}

// Each row is stored, then read back as after a restart: the port opened, where it comes
// from, and what the COM option's tooltip says with only the FTDI adapter plugged in.
TEST_F(PortsTest, ComPortsResolveEnvironmentThenAssignmentThenDefault) {
    const QString ftdi = portLabel(kFtdi), byId = kFtdi.byIdPath;
    using Source = PortAssignments::Source;
    const std::tuple<QString, QString, QString, Source, QString> rows[] = {
        {"", byId, byId, Source::Assignment,
         "COM 2 is " + byId + " (chosen under Serial ports): " + ftdi},
        {"", "/dev/ttyACM3", "/dev/ttyACM3", Source::Assignment,
         "COM 2 is /dev/ttyACM3 (chosen under Serial ports): not present now"},
        {"/dev/ttyUSB0", "/dev/ttyACM3", "/dev/ttyUSB0", Source::Environment,
         "COM 2 is /dev/ttyUSB0 (set by ORVEL_COM2): " + ftdi},
        {"", "", "/dev/ttyS1", Source::Default,
         "COM 2 is /dev/ttyS1 (the default): not present now"},
    };
    for (const auto &[environment, assigned, opened, source, toolTip] : rows) {
        PortAssignments stored;
        stored.assign(2, assigned);
        stored.save();
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

// Present when its path opens as a serial device, whatever its name; listed against each COM.
// A stable name is a link that leads to a device, not one whose device is gone.
TEST_F(PortsTest, APortThatOpensIsPresentAndListedAgainstEachOfItsComs) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    const QString link = dir.filePath("com1"), plain = dir.filePath("plain");
    ASSERT_TRUE(QFile::link(pty.path(), link));
    ASSERT_TRUE(QFile::link(dir.filePath("gone"), dir.filePath("usb-gone-if00")));
    QFile(plain).open(QIODevice::WriteOnly);
    EXPECT_EQ(SystemPortEnumerator::stableNames(dir.path()),
              (QHash<QString, QString>{{QFileInfo(pty.path()).canonicalFilePath(), link}}));
    const QString paths[] = {link, pty.path(), plain};
    for (int n = 1; n <= 3; ++n)
        qputenv(qPrintable(PortAssignments::environmentVariable(n)), paths[n - 1].toLocal8Bit());
    const PortAssignments assignments;
    const QString listing = portsListing(withAssignedPorts({}, assignments), assignments);
    for (const QString &line :
         {"  " + pty.path() + " = COM 1, COM 2\n",
          "COM 1 is " + link + " (set by ORVEL_COM1): " + pty.path() + "\n",
          "COM 3 is " + plain + " (set by ORVEL_COM3): not present now\n"})
        EXPECT_TRUE(listing.contains(line)) << listing.toStdString() << line.toStdString();
}

}  // namespace
}  // namespace orvel::test

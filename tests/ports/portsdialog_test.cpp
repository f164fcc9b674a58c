#include "ports/fakeportenumerator.h"
#include "ports/portdescription.h"
#include "ports/portsdialog.h"

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
    FakePortEnumerator ports;
    PortAssignments assignments;
    assignments.assign(1, kFtdi.byIdPath);
    PortsDialog dialog(ports, assignments, nullptr, 10ms);
    const auto *table = dialog.findChild<QTableWidget *>("ports");
    const auto *com1 = dialog.findChild<QComboBox *>("com1");
    for (const auto &[present, com1Text] : steps) {
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
    FakePortEnumerator ports;
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
        ok ? dialog.accept() : dialog.reject();
        const PortAssignments stored;
        EXPECT_EQ(stored.assigned(2), ok ? "" : kAcm.devicePath) << ok;
        EXPECT_EQ(stored.assigned(3), ok ? kFtdi.byIdPath : "") << ok;
    }
}

}  // namespace
}  // namespace orvel::test

#include "serial/connection.h"

#include "app/lampimage.h"
#include "serial/mscomm.h"
#include "support/formfixture.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <QWindow>

namespace orvel::test {
namespace {

class ConnectionTest : public FormTest {
protected:
    int activityLampInFront() {
        return frontIndex({ui().Image1[0], ui().Image1[1], ui().Image1[2], ui().Image1[3]});
    }
    int selectedPortOption() {
        for (int i = 1; i <= 4; ++i)
            if (ui().Option1[i]->isChecked()) return i;
        return 0;
    }
    void expectConnected(bool connected) {
        EXPECT_EQ(form->MSComm1().PortOpen(), connected);
        EXPECT_EQ(frontIndex({ui().imgConnected, ui().imgNotConnected}), connected ? 0 : 1);
        EXPECT_EQ(ui().Frame2->isEnabled(), connected);
        EXPECT_EQ(ui().Frame3->isEnabled(), connected);
        for (int i = 1; i <= 4; ++i) EXPECT_EQ(ui().Option1[i]->isEnabled(), !connected) << i;
    }
    QString snapshot() { return test::snapshot(*form); }
    // Leaves a write of 5 to 9 running mid-object with "First Object" ticked, and
    // disconnects; a read stopped at its last step left its step behind.
    void interruptWrite() {
        connectPort();
        ui().Text3->setText(QStringLiteral("5"));
        ui().Text4->setText(QStringLiteral("9"));
        ui().ch_1_0->setChecked(true);
        ui().Option3[1]->setChecked(true);
        reply({172, 172});
        ASSERT_EQ(takeSent(), bytes({0xAA}));
        ASSERT_EQ(activityLampInFront(), 2);
        ui().Check3->setChecked(true);
        state().ReadStep = 4;
        emit ui().imgConnected->clicked();
        // Disconnecting touched neither the transfer nor the selections.
        ASSERT_EQ(state().TransferPhase, 2);
        ASSERT_EQ(state().WriteStep, 2);
        ASSERT_TRUE(ui().Option3[1]->isChecked());
        expectConnected(false);
        ASSERT_EQ(activityLampInFront(), 3);
    }
};

// A refused open shows the reason and changes nothing; the open that follows prepares a
// fresh transfer.
TEST_F(ConnectionTest, ConnectPreparesAFreshTransferUnlessRefused) {
    const QString reason =
        QStringLiteral("COM 1 cannot be opened: /dev/ttyS0 is in use by another program.");
    interruptWrite();
    const QString before = snapshot();
    port->setOpenError(reason);
    emit ui().imgNotConnected->clicked();
    EXPECT_EQ(dialogs.messages, QStringList{reason});
    EXPECT_EQ(dialogs.icons, QList<Dialogs::Icon>{Dialogs::Icon::Exclamation});
    expectConnected(false);
    EXPECT_EQ(port->openCount(), 1);
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(selectedPortOption(), 1);
    EXPECT_EQ(activityLampInFront(), 3);

    port->setOpenError({});
    emit ui().imgNotConnected->clicked();
    expectConnected(true);
    EXPECT_EQ(port->openCount(), 2);
    // Objects 1 to 1, idle, the link check pending, every field "1", repeat off.
    EXPECT_EQ(snapshot(), "1|1|0|0|0|0|0|1|1|1|1|1|0| 0 - Disable|0|0|1");
    EXPECT_TRUE(ui().Option2[2]->isChecked());
    EXPECT_TRUE(ui().Option3[2]->isChecked());
    EXPECT_FALSE(ui().Text4->isEnabled());  // "First Object" stays ticked
    EXPECT_EQ(activityLampInFront(), 3);
    EXPECT_TRUE(takeSent().isEmpty());  // connecting sends nothing: the device speaks first
    EXPECT_EQ(dialogs.messages.size(), 1);
}

TEST_F(ConnectionTest, RefusedCloseKeepsTheConnection) {
    connectPort();
    const QString before = snapshot();
    port->setCloseError(QStringLiteral("The port would not close."));
    showActive();
    QTest::mouseClick(ui().imgConnected, Qt::LeftButton);
    EXPECT_EQ(dialogs.messages, QStringList{"The port would not close."});
    EXPECT_EQ(dialogs.icons, QList<Dialogs::Icon>{Dialogs::Icon::Exclamation});
    expectConnected(true);
    EXPECT_EQ(port->closeCount(), 0);
    EXPECT_EQ(snapshot(), before);
    // Once it closes, the window follows.
    port->setCloseError({});
    QTest::mouseClick(ui().imgConnected, Qt::LeftButton);
    expectConnected(false);
    EXPECT_EQ(port->closeCount(), 1);
    EXPECT_EQ(dialogs.messages.size(), 1);
}

TEST_F(ConnectionTest, PortOptionWhileConnectedLeavesThePortAlone) {
    struct Row {
        const char *name;
        bool linkCheckPassed;
        std::function<void()> then;
        bool connectedAfter;
        int opens;
    };
    const Row rows[] = {
        {"disconnect", true, [this] { emit ui().imgConnected->clicked(); }, false, 1},
        {"refused disconnect", true,
         [this] {
             port->setCloseError(QStringLiteral("no"));
             emit ui().imgConnected->clicked();
             port->setCloseError({});
         },
         true, 1},
        // The device's first byte is not its ready byte: the link is opened again.
        {"reopened by the link check", false, [this] { reply({0}); }, true, 2},
    };
    int other = 2;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        if (port->isOpen()) emit ui().imgConnected->clicked();
        const int opensBefore = port->openCount();
        connectPort(row.linkCheckPassed);
        ASSERT_TRUE(port->isOpen());
        ui().Option1[other++]->setChecked(true);  // disabled for the operator; code still can
        EXPECT_EQ(form->MSComm1().CommPort(), 1);
        row.then();
        EXPECT_EQ(port->openCount() - opensBefore, row.opens);
        EXPECT_EQ(port->openedPort(), 1);
        EXPECT_EQ(form->MSComm1().CommPort(), 1);
        EXPECT_EQ(selectedPortOption(), 1);
        expectConnected(row.connectedAfter);
    }
    // The reopening left a fresh connection waiting for its ready byte.
    EXPECT_TRUE(state().LinkCheckPending);
    EXPECT_EQ(dialogs.messages.size(), 1);  // the refused disconnect's
}

TEST_F(ConnectionTest, ChosenPortIsTheOneOpened) {
    showActive();
    for (int chosen : {3, 1, 4, 2}) {
        SCOPED_TRACE(chosen);
        QTest::mouseClick(ui().Option1[chosen], Qt::LeftButton);
        EXPECT_EQ(form->MSComm1().CommPort(), chosen);
        QTest::mouseClick(ui().imgNotConnected, Qt::LeftButton);
        EXPECT_EQ(port->openedPort(), chosen);
        expectConnected(true);
        // A disabled option cannot be chosen while connected.
        QTest::mouseClick(ui().Option1[chosen == 1 ? 2 : 1], Qt::LeftButton);
        QTest::mouseClick(ui().imgConnected, Qt::LeftButton);
        expectConnected(false);
        EXPECT_EQ(selectedPortOption(), chosen);
    }
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

// The green lamp is a pixel larger than the red one in front of it. Clicked through the
// window, as the operator clicks, its uncovered edge must not toggle the port.
TEST_F(ConnectionTest, OnlyTheLampInFrontTakesTheClick) {
    showActive();
    QWindow *window = form->windowHandle();
    const QPoint lampOrigin = ui().imgConnected->mapTo(form.get(), QPoint(0, 0));
    QTest::mouseClick(window, Qt::LeftButton, {}, lampOrigin + QPoint(15, 15));  // green only
    EXPECT_FALSE(form->MSComm1().PortOpen());
    EXPECT_EQ(port->openCount(), 0);
    const QPoint centre = lampOrigin + QPoint(7, 7);  // both lamps
    QTest::mouseClick(window, Qt::LeftButton, {}, centre);
    EXPECT_TRUE(form->MSComm1().PortOpen());
    EXPECT_TRUE(state().LinkCheckPending);
    QTest::mouseClick(window, Qt::LeftButton, {}, centre);
    EXPECT_FALSE(form->MSComm1().PortOpen());
}

}  // namespace
}  // namespace orvel::test

#include "serial/connection.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <QWindow>
#include <functional>
#include <vector>

#include "app/lampimage.h"
#include "serial/mscomm.h"
#include "support/formfixture.h"

namespace orvel::test {
namespace {

class ConnectionTest : public FormTest {
protected:
    int connectionLampInFront() { return frontIndex({ui().imgConnected, ui().imgNotConnected}); }
    int activityLampInFront() {
        return frontIndex({ui().Image1[0], ui().Image1[1], ui().Image1[2], ui().Image1[3]});
    }
    int selectedPortOption() {
        for (int i = 1; i <= 4; ++i)
            if (ui().Option1[i]->isChecked()) return i;
        return 0;
    }
    bool portOptionsEnabled(bool enabled) {
        for (int i = 1; i <= 4; ++i)
            if (ui().Option1[i]->isEnabled() != enabled) return false;
        return true;
    }
    void expectConnected() {
        EXPECT_TRUE(form->MSComm1().PortOpen());
        EXPECT_EQ(connectionLampInFront(), 0);
        EXPECT_TRUE(ui().Frame2->isEnabled());
        EXPECT_TRUE(ui().Frame3->isEnabled());
        EXPECT_TRUE(portOptionsEnabled(false));
    }
    void expectDisconnected() {
        EXPECT_FALSE(form->MSComm1().PortOpen());
        EXPECT_EQ(connectionLampInFront(), 1);
        EXPECT_FALSE(ui().Frame2->isEnabled());
        EXPECT_FALSE(ui().Frame3->isEnabled());
        EXPECT_TRUE(portOptionsEnabled(true));
    }
    // Leaves a read of 5 to 9 (or a write of 5 to 9) running, the device in the middle of
    // the first object, and disconnects.
    void leaveTransferRunning(bool write) {
        if (port->isOpen()) emit ui().imgConnected->clicked();
        connectPort();
        QLineEdit *start = write ? ui().Text3 : ui().Text1;
        QLineEdit *end = write ? ui().Text4 : ui().Text2;
        start->setText(QStringLiteral("5"));
        end->setText(QStringLiteral("9"));
        ui().ch_1_0->setChecked(true);
        (write ? ui().Option3 : ui().Option2)[1]->setChecked(true);
        reply({172, 172});
        ASSERT_EQ(takeSent(), bytes({write ? 0xAA : 0x55}));
        ASSERT_EQ(state().TransferPhase, write ? 2 : 1);
        ASSERT_EQ(state().WriteInProgress, write);
        ASSERT_EQ(write ? state().WriteStep : state().ReadStep, 2);
        ASSERT_EQ(activityLampInFront(), write ? 2 : 1);
        emit ui().imgConnected->clicked();
        ASSERT_FALSE(port->isOpen());
    }
};

struct Snapshot {
    TransferState state;
    QStringList fields;
    bool repeat;
    QString repeatCaption;
    bool readChosen;
    QString label5;

    static Snapshot of(FrmTerminal &form) {
        FrmTerminalUi &ui = form.ui();
        return {form.state(),
                {ui.Text1->text(), ui.Text2->text(), ui.Text3->text(), ui.Text4->text()},
                ui.ch_1_0->isChecked(),
                ui.ch_1_0->text(),
                ui.Option2[1]->isChecked(),
                ui.Label5->text()};
    }
    void expectSame(const Snapshot &now) const {
        EXPECT_EQ(now.state.CurrentObject, state.CurrentObject);
        EXPECT_EQ(now.state.LastObject, state.LastObject);
        EXPECT_EQ(now.state.ListPosition, state.ListPosition);
        EXPECT_EQ(now.state.WriteInProgress, state.WriteInProgress);
        EXPECT_EQ(now.state.TransferPhase, state.TransferPhase);
        EXPECT_EQ(now.state.ReadStep, state.ReadStep);
        EXPECT_EQ(now.state.WriteStep, state.WriteStep);
        EXPECT_EQ(now.state.LinkCheckPending, state.LinkCheckPending);
        EXPECT_EQ(now.fields, fields);
        EXPECT_EQ(now.repeat, repeat);
        EXPECT_EQ(now.repeatCaption, repeatCaption);
        EXPECT_EQ(now.readChosen, readChosen);
        EXPECT_EQ(now.label5, label5);
    }
};

TEST_F(ConnectionTest, RefusedOpenShowsTheReasonAndChangesNothing) {
    const QString reason =
        QStringLiteral("COM 1 cannot be opened: /dev/ttyS0 is in use by another program.");
    struct Row {
        const char *name;
        std::function<void()> before;
    };
    const std::vector<Row> rows = {
        {"just started", [] {}},
        {"after a read was left running", [this] { leaveTransferRunning(false); }},
        {"after a write was left running", [this] { leaveTransferRunning(true); }},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        row.before();
        const Snapshot before = Snapshot::of(*form);
        dialogs.messages.clear();
        dialogs.icons.clear();
        port->setOpenError(reason);

        emit ui().imgNotConnected->clicked();

        EXPECT_EQ(dialogs.messages, QStringList{reason});
        EXPECT_EQ(dialogs.icons, QList<Dialogs::Icon>{Dialogs::Icon::Exclamation});
        expectDisconnected();
        EXPECT_FALSE(state().LinkCheckPending);
        Snapshot::of(*form).expectSame(before);
        EXPECT_EQ(selectedPortOption(), 1);
        EXPECT_EQ(activityLampInFront(), 3);
        port->setOpenError({});
    }
}

TEST_F(ConnectionTest, RefusedCloseKeepsTheConnection) {
    connectPort();
    takeSent();
    const Snapshot before = Snapshot::of(*form);
    port->setCloseError(QStringLiteral("The port would not close."));

    showActive();
    QTest::mouseClick(ui().imgConnected, Qt::LeftButton);

    EXPECT_EQ(dialogs.messages, QStringList{"The port would not close."});
    EXPECT_EQ(dialogs.icons, QList<Dialogs::Icon>{Dialogs::Icon::Exclamation});
    expectConnected();
    EXPECT_EQ(port->closeCount(), 0);
    Snapshot::of(*form).expectSame(before);

    // Once it closes, the window follows.
    port->setCloseError({});
    QTest::mouseClick(ui().imgConnected, Qt::LeftButton);
    expectDisconnected();
    EXPECT_EQ(port->closeCount(), 1);
    EXPECT_EQ(dialogs.messages.size(), 1);
}

TEST_F(ConnectionTest, ConnectPreparesAFreshTransfer) {
    for (bool write : {false, true}) {
        SCOPED_TRACE(write ? "write left running" : "read left running");
        leaveTransferRunning(write);
        QCheckBox *firstObject = write ? ui().Check3 : ui().Check2;
        QLineEdit *endField = write ? ui().Text4 : ui().Text2;
        firstObject->setChecked(true);  // the end field goes empty and off
        ASSERT_FALSE(endField->isEnabled());
        // Disconnecting touched neither the transfer nor the selections.
        ASSERT_EQ(state().TransferPhase, write ? 2 : 1);
        ASSERT_TRUE((write ? ui().Option3 : ui().Option2)[1]->isChecked());
        expectDisconnected();
        EXPECT_EQ(activityLampInFront(), 3);
        const int opensBefore = port->openCount();

        emit ui().imgNotConnected->clicked();

        EXPECT_TRUE(dialogs.messages.isEmpty());
        expectConnected();
        EXPECT_EQ(port->openCount(), opensBefore + 1);
        for (QLineEdit *field : {ui().Text1, ui().Text2, ui().Text3, ui().Text4})
            EXPECT_EQ(field->text(), "1") << field->objectName().toStdString();
        EXPECT_FALSE(endField->isEnabled());  // "First Object" stays ticked
        EXPECT_TRUE(firstObject->isChecked());
        EXPECT_EQ(state().CurrentObject, 1);
        EXPECT_EQ(state().LastObject, 1);
        EXPECT_FALSE(state().WriteInProgress);
        EXPECT_EQ(state().TransferPhase, 0);
        EXPECT_EQ(state().ReadStep, 0);
        EXPECT_EQ(state().WriteStep, 0);
        EXPECT_TRUE(state().LinkCheckPending);
        EXPECT_TRUE(ui().Option2[2]->isChecked());
        EXPECT_TRUE(ui().Option3[2]->isChecked());
        EXPECT_FALSE(ui().ch_1_0->isChecked());
        EXPECT_EQ(ui().ch_1_0->text(), " 0 - Disable");
        EXPECT_EQ(activityLampInFront(), 3);
        EXPECT_TRUE(takeSent().isEmpty());  // connecting sends nothing: the device speaks first
        firstObject->setChecked(false);
    }
}

TEST_F(ConnectionTest, PortOptionWhileConnectedLeavesThePortAlone) {
    struct Row {
        const char *name;
        bool linkCheckPassed;
        std::function<void()> then;
        bool connectedAfter;
        int opensAfter;
    };
    const std::vector<Row> rows = {
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
    for (size_t i = 0; i < rows.size(); ++i) {
        const Row &row = rows[i];
        SCOPED_TRACE(row.name);
        if (port->isOpen()) emit ui().imgConnected->clicked();
        dialogs.messages.clear();
        const int opensBefore = port->openCount();
        connectPort(row.linkCheckPassed);
        ASSERT_TRUE(port->isOpen());

        const int other = int(2 + i % 3);
        ui().Option1[other]->setChecked(true);  // disabled for the operator; code still can
        EXPECT_EQ(form->MSComm1().CommPort(), 1);

        row.then();
        EXPECT_EQ(port->isOpen(), row.connectedAfter);
        EXPECT_EQ(port->openCount() - opensBefore, row.opensAfter);
        EXPECT_EQ(port->openedPort(), 1);
        EXPECT_EQ(form->MSComm1().CommPort(), 1);
        EXPECT_EQ(selectedPortOption(), 1);
        if (row.connectedAfter)
            expectConnected();
        else
            expectDisconnected();
    }
    // The reopening left a fresh connection waiting for its ready byte.
    EXPECT_TRUE(state().LinkCheckPending);
    EXPECT_EQ(dialogs.messages.size(), 0);
}

TEST_F(ConnectionTest, ChosenPortIsTheOneOpened) {
    showActive();
    for (int chosen : {3, 1, 4, 2}) {
        SCOPED_TRACE(chosen);
        QTest::mouseClick(ui().Option1[chosen], Qt::LeftButton);
        EXPECT_EQ(form->MSComm1().CommPort(), chosen);
        EXPECT_FALSE(port->isOpen());
        ASSERT_TRUE(ui().imgNotConnected->isVisible());

        QTest::mouseClick(ui().imgNotConnected, Qt::LeftButton);
        EXPECT_EQ(port->openedPort(), chosen);
        EXPECT_EQ(selectedPortOption(), chosen);
        expectConnected();

        // A disabled option cannot be chosen while connected.
        QTest::mouseClick(ui().Option1[chosen == 1 ? 2 : 1], Qt::LeftButton);
        EXPECT_EQ(selectedPortOption(), chosen);
        QTest::mouseClick(ui().imgConnected, Qt::LeftButton);
        expectDisconnected();
        EXPECT_EQ(selectedPortOption(), chosen);
    }
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

}  // namespace
}  // namespace orvel::test

namespace orvel::test {
namespace {

// The green lamp is a pixel larger than the red one in front of it. Clicked through the
// window, as the operator clicks, its uncovered edge must not toggle the port.
TEST_F(ConnectionTest, OnlyTheLampInFrontTakesTheClick) {
    showActive();
    QWindow *window = form->windowHandle();
    const QPoint lampOrigin = ui().imgConnected->mapTo(form.get(), QPoint(0, 0));
    const QPoint edge = lampOrigin + QPoint(15, 15);   // green lamp only
    const QPoint centre = lampOrigin + QPoint(7, 7);   // both lamps

    QTest::mouseClick(window, Qt::LeftButton, {}, edge);
    EXPECT_FALSE(form->MSComm1().PortOpen());
    EXPECT_EQ(port->openCount(), 0);

    QTest::mouseClick(window, Qt::LeftButton, {}, centre);
    EXPECT_TRUE(form->MSComm1().PortOpen());
    EXPECT_TRUE(state().LinkCheckPending);

    QTest::mouseClick(window, Qt::LeftButton, {}, centre);
    EXPECT_FALSE(form->MSComm1().PortOpen());
}

}  // namespace
}  // namespace orvel::test

#include "serial/connection.h"

#include "app/lampimage.h"
#include "serial/mscomm.h"
#include "support/formfixture.h"

#include <QtTest>
#include <QtWidgets>

namespace orvel::test {
namespace {

class ConnectionTest : public FormTest {
protected:
    int activityLamp() {
        return frontIndex({ui().Image1[0], ui().Image1[1], ui().Image1[2], ui().Image1[3]});
    }
    // Which lamp is in front, the frames and the port options follow the port.
    void expectConnected(bool connected, int portOption = 1) {
        EXPECT_EQ(form->MSComm1().PortOpen(), connected);
        EXPECT_EQ(frontIndex({ui().imgConnected, ui().imgNotConnected}), connected ? 0 : 1);
        for (QWidget *frame : {ui().Frame2, ui().Frame3}) EXPECT_EQ(frame->isEnabled(), connected);
        for (int i = 1; i <= 4; ++i) {
            EXPECT_EQ(ui().Option1[i]->isEnabled(), !connected) << i;
            EXPECT_EQ(ui().Option1[i]->isChecked(), i == portOption) << i;
        }
    }
};

// A write of 5 to 9 left mid-object with "First Object" ticked: disconnecting touches
// neither the transfer nor the selections; a refused open changes nothing either and shows
// the reason; the open that follows prepares a fresh transfer; a refused close keeps it.
TEST_F(ConnectionTest, ConnectPreparesAFreshTransferUnlessRefused) {
    connectPort();
    ui().Text3->setText(QStringLiteral("5"));
    ui().Text4->setText(QStringLiteral("9"));
    ui().ch_1_0->setChecked(true);
    ui().Option3[1]->setChecked(true);
    reply({172, 172});
    ASSERT_EQ(takeSent(), bytes({0xAA}));
    ASSERT_EQ(activityLamp(), 2);
    ui().Check3->setChecked(true);
    state().ReadStep = 4;  // as a read stopped at its last step leaves it
    emit ui().imgConnected->clicked();
    expectConnected(false);
    EXPECT_EQ(activityLamp(), 3);
    EXPECT_TRUE(state().TransferPhase == 2 && state().WriteStep == 2);
    EXPECT_TRUE(ui().Option3[1]->isChecked());
    const QString before = snapshot(*form);

    port->setOpenError(QStringLiteral("COM 1 cannot be opened."));
    emit ui().imgNotConnected->clicked();
    EXPECT_EQ(dialogs.messages, QStringList{"COM 1 cannot be opened."});
    EXPECT_EQ(dialogs.icons, QList<Dialogs::Icon>{Dialogs::Icon::Exclamation});
    expectConnected(false);
    EXPECT_EQ(snapshot(*form), before);

    port->setOpenError({});
    emit ui().imgNotConnected->clicked();
    expectConnected(true);
    EXPECT_EQ(snapshot(*form), "1|1|0|0|0|0|0|1|1|1|1|1|0| 0 - Disable|0|0|1");
    EXPECT_TRUE(ui().Option2[2]->isChecked() && ui().Option3[2]->isChecked());
    EXPECT_FALSE(ui().Text4->isEnabled());  // "First Object" stays ticked
    EXPECT_TRUE(takeSent().isEmpty());  // connecting sends nothing: the device speaks first
    port->setCloseError(QStringLiteral("no"));
    emit ui().imgConnected->clicked();
    expectConnected(true);
    EXPECT_EQ(dialogs.messages.last(), "no");
}

// Clicked through the window, as the operator clicks. The green lamp is a pixel larger
// than the red one in front of it: its uncovered edge must not toggle the port. A double
// click's second press comes as a double-click event: on a lamp that is no second click; a
// button or a check box takes it as one.
TEST_F(ConnectionTest, ChosenPortIsTheOneOpened) {
    showActive();
    QWindow *window = form->windowHandle();
    auto clickAt = [&](QPoint at) { QTest::mouseClick(window, Qt::LeftButton, {}, at); };
    auto twiceAt = [&](QPoint at) { QTest::mouseDClick(window, Qt::LeftButton, {}, at); };
    const QPoint lamp = ui().imgConnected->mapTo(form.get(), QPoint(0, 0));
    clickAt(lamp + QPoint(15, 15));
    EXPECT_EQ(port->openCount(), 0);
    for (int chosen : {3, 1, 4, 2}) {
        QTest::mouseClick(ui().Option1[chosen], Qt::LeftButton);
        clickAt(lamp + QPoint(7, 7));
        EXPECT_EQ(port->openedPort(), chosen);
        expectConnected(true, chosen);
        QTest::mouseClick(ui().Option1[chosen == 1 ? 2 : 1], Qt::LeftButton);  // disabled
        clickAt(lamp + QPoint(7, 7));
        expectConnected(false, chosen);
    }
    for (const auto &[control, signal, count] :
         {std::tuple<QWidget *, const char *, int>{ui().Command1, SIGNAL(clicked()), 2},
          {ui().Check4, SIGNAL(toggled(bool)), 2}, {ui().Option1[3], SIGNAL(toggled(bool)), 1}}) {
        QSignalSpy spy(control, signal);
        twiceAt(control->mapTo(form.get(), control->rect().center()));
        EXPECT_EQ(spy.count(), count) << control->objectName().toStdString();
    }
    twiceAt(lamp + QPoint(7, 7));  // the green lamp, now in front, takes the second press
    EXPECT_TRUE(form->MSComm1().PortOpen());
    twiceAt(lamp + QPoint(7, 7));
    EXPECT_FALSE(form->MSComm1().PortOpen());
    EXPECT_EQ(port->openCount(), 5);
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

}  // namespace
}  // namespace orvel::test

#include "app/connection.h"

#include "app/lampimage.h"
#include "ports/portdescription.h"
#include "serial/mscomm.h"
#include "support/formfixture.h"

#include <QtTest>
#include <QtWidgets>

#include <chrono>
#include <utility>

namespace orvel::test {
namespace {

class ConnectionTest : public FormTest {
protected:
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
// the reason with the ports present then; the open that follows prepares a fresh transfer; a
// refused close keeps it.
TEST_F(ConnectionTest, ConnectPreparesAFreshTransferUnlessRefused) {
    connectPort();
    ui().Text3->setText(QStringLiteral("5"));
    ui().Text4->setText(QStringLiteral("9"));
    ui().ch_1_0->setChecked(true);
    ui().Option3[1]->setChecked(true);
    reply({172, 172});
    ASSERT_EQ(takeSent(), QByteArray("\xAA"));
    ASSERT_EQ(frontIndex({ui().Image1[0], ui().Image1[1], ui().Image1[2], ui().Image1[3]}), 2);
    ui().Check3->setChecked(true);
    state().ReadStep = 4;  // as a read stopped at its last step leaves it
    emit ui().imgConnected->clicked();
    expectConnected(false);
    EXPECT_EQ(frontIndex({ui().Image1[0], ui().Image1[1], ui().Image1[2], ui().Image1[3]}), 3);
    EXPECT_TRUE(state().TransferPhase == 2 && state().WriteStep == 2);
    EXPECT_TRUE(ui().Option3[1]->isChecked());
    const Snapshot before = snapshot(*form);

    qputenv("ORVEL_COM1", "/dev/ttyUSB7");  // the device COM 1 stands for, named in the box
    port->setOpenError(QStringLiteral("busy"));
    portsPresent.present = {kAcm};
    emit ui().imgNotConnected->clicked();
    EXPECT_EQ(dialogs.messages,
              QStringList{"COM 1 (/dev/ttyUSB7): busy\n\nSerial ports present: " +
                          portLabel(kAcm) + "."});
    qunsetenv("ORVEL_COM1");
    EXPECT_EQ(dialogs.icons, QList<Dialogs::Icon>{Dialogs::Icon::Exclamation});
    expectConnected(false);
    EXPECT_EQ(snapshot(*form), before);

    port->setOpenError({});
    emit ui().imgNotConnected->clicked();
    expectConnected(true);
    EXPECT_EQ(snapshot(*form), (Snapshot{.LinkCheckPending = true, .Label5 = "1"}));
    EXPECT_TRUE(ui().Option2[2]->isChecked() && ui().Option3[2]->isChecked());
    EXPECT_FALSE(ui().Text4->isEnabled());  // "First Object" stays ticked
    EXPECT_TRUE(takeSent().isEmpty());  // connecting sends nothing: the device speaks first
    port->setCloseError(QStringLiteral("no"));
    emit ui().imgConnected->clicked();
    expectConnected(true);
    EXPECT_EQ(dialogs.messages.last(), "no");
}

// Clicked through the window: the green lamp's uncovered edge around the red one must not
// toggle the port; a double click's second press, a double-click event, is no second click
// on a lamp, but one on a check box (the lamps' way is theirs alone).
TEST_F(ConnectionTest, ChosenPortIsTheOneOpened) {
    showActive(form.get());
    QWindow *window = form->windowHandle();
    auto clickAt = [&](QPoint at) { QTest::mouseClick(window, Qt::LeftButton, {}, at); };
    auto twiceAt = [&](QPoint at) { QTest::mouseDClick(window, Qt::LeftButton, {}, at); };
    const QPoint lamp = ui().imgConnected->mapTo(form.get(), QPoint(0, 0));
    clickAt(lamp + QPoint(15, 15));
    for (int chosen : {3, 1, 4, 2}) {
        QTest::mouseClick(ui().Option1[chosen], Qt::LeftButton);
        clickAt(lamp + QPoint(7, 7));
        EXPECT_EQ(port->openedTarget().name, QStringLiteral("COM %1").arg(chosen));
        expectConnected(true, chosen);
        QTest::mouseClick(ui().Option1[chosen == 1 ? 2 : 1], Qt::LeftButton);  // disabled
        clickAt(lamp + QPoint(7, 7));
        expectConnected(false, chosen);
    }
    QSignalSpy toggled(ui().Check4, &QCheckBox::toggled);
    twiceAt(ui().Check4->mapTo(form.get(), ui().Check4->rect().center()));
    EXPECT_EQ(toggled.count(), 2);
    twiceAt(lamp + QPoint(7, 7));  // the green lamp, now in front, takes the second press
    EXPECT_TRUE(form->MSComm1().PortOpen());
    reply({0});  // not the ready byte: the link is opened again and checked anew
    EXPECT_TRUE(state().LinkCheckPending);
    twiceAt(lamp + QPoint(7, 7));
    EXPECT_FALSE(form->MSComm1().PortOpen());
    EXPECT_EQ(port->openCount(), 6);
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

// A serial control on its own, with a listener that takes one byte per notification.
class MSCommTest : public ::testing::Test {
protected:
    MSCommTest() {
        auto backend = std::make_unique<MemorySerial>();
        serial = backend.get();
        comm = std::make_unique<MSComm>(std::move(backend));
        QObject::connect(comm.get(), &MSComm::OnComm, [this] {
            maxDepth = std::max(maxDepth, ++depth);
            if (++notifications % 2 == 0 || !leaveOddUnanswered) {
                const QByteArray input = comm->Input();
                received += input;
                if (onByte && !input.isEmpty()) onByte(input.at(0));
            }
            --depth;
        });
        EXPECT_TRUE(comm->setPortOpen(true));
    }
    bool waitForReceived(qsizetype count) {
        const bool arrived = QTest::qWaitFor([&] { return received.size() >= count; }, 10000);
        QCoreApplication::processEvents();
        return arrived;
    }

    MemorySerial *serial = nullptr;
    std::unique_ptr<MSComm> comm;
    QByteArray received;
    std::function<void(char)> onByte;
    int depth = 0, maxDepth = 0, notifications = 0;
    bool leaveOddUnanswered = false;
};

// Bytes delivered while a notification runs wait until it is done. Bursts of 1, 5, 2 and
// 64 bytes, then one longer than a slice: the rest of it follows on later passes. A hold
// outside a notification defers the bytes; closing the port throws away what was still
// waiting; a notification nobody answers still uses up its byte.
TEST_F(MSCommTest, BurstsArriveOneByteAtATimeInOrder) {
    onByte = [this](char byte) { if (byte == 'b') serial->deliver("cd"); };
    serial->deliver("ab");
    serial->deliver("e");
    ASSERT_TRUE(waitForReceived(5));
    EXPECT_EQ(received, "abcde");
    onByte = nullptr;
    QByteArray sent = received;
    for (int size : {1, 5, 2, 64, 400000}) {
        QByteArray burst(size, Qt::Uninitialized);
        for (int i = 0; i < size; ++i) burst[i] = char((sent.size() + i) * 7 + i / 256);
        sent += burst;
        serial->deliver(burst);
    }
    ASSERT_TRUE(waitForReceived(sent.size())) << received.size() << " of " << sent.size();
    EXPECT_TRUE(received == sent);
    EXPECT_EQ(notifications, sent.size());
    EXPECT_EQ(maxDepth, 1);
    received.clear();
    {
        MSComm::Hold hold(comm.get());
        serial->deliver("xyz");
        QCoreApplication::processEvents();
        EXPECT_EQ(comm->pendingBytes(), 3);
    }
    ASSERT_TRUE(waitForReceived(3));
    {
        MSComm::Hold hold(comm.get());
        serial->deliver("lost");
        EXPECT_TRUE(comm->setPortOpen(false));
    }
    EXPECT_TRUE(comm->setPortOpen(true));
    leaveOddUnanswered = true;
    notifications = 0;
    serial->deliver("abcdef");
    ASSERT_TRUE(QTest::qWaitFor([&] { return notifications >= 6; }, 5000));
    QCoreApplication::processEvents();
    EXPECT_EQ(received, "xyzbdf");
    EXPECT_EQ(notifications, 6);
    // The port number changes only while closed, and only to a port there is.
    EXPECT_EQ(comm->setCommPort(2).why(), PortFailure::AlreadyOpen);
    EXPECT_TRUE(comm->setPortOpen(false));
    EXPECT_EQ(comm->setCommPort(0).why(), PortFailure::NoSuchPort);
    EXPECT_TRUE(comm->setCommPort(4));
}

// Once we have answered the device, its reply is waited for inside the notification, and
// what the window put off (handedOver) is done before the wait. A wait that runs out marks
// the device slow: what follows comes through the event loop until a reply is there soon
// after our answer; a reply found late proves nothing. Bytes nobody answered are never
// waited after.
TEST_F(MSCommTest, TheDeviceIsAwaitedAfterAnAnswerUntilAWaitRunsOut) {
    QStringList trace;
    QByteArray device;  // what the device sends while we wait
    QObject::connect(comm.get(), &MSComm::handedOver, [&] { trace << "handed over"; });
    serial->setOnAwait([&](std::chrono::microseconds wait) {
        trace << (wait >= std::chrono::milliseconds(4) ? "wait" : "wait shorter than a tick");
        return std::exchange(device, device.isEmpty() ? QByteArray() : device.sliced(1)).left(1);
    });
    onByte = [&](char byte) {
        trace << QStringLiteral("got %1").arg(byte);
        EXPECT_TRUE(byte == 'f' || comm->Output(byte).ok());
    };
    const auto deliver = [&](const char *bytes) {
        trace.clear();
        serial->deliver(bytes);
        return trace;
    };
    device = "bc";
    EXPECT_EQ(deliver("a"), QStringList({"got a", "handed over", "wait", "got b", "handed over",
                                         "wait", "got c", "handed over", "wait", "handed over"}));
    QTest::qSleep(10);  // d comes late: the wait that ran out still holds
    EXPECT_EQ(deliver("d"), QStringList({"got d", "handed over"}));
    // A reply there soon after our answer marks it quick again (tried thrice: a test
    // thread kept off the processor for 8 ms is late too).
    const QStringList quickAgain{"got e", "handed over", "wait", "handed over"};
    QStringList afterE;
    for (int i = 0; i < 3 && afterE != quickAgain; ++i) afterE = deliver("e");
    EXPECT_EQ(afterE, quickAgain);
    EXPECT_EQ(deliver("f"), QStringList({"got f", "handed over"}));
    EXPECT_TRUE(serial->written().startsWith("abcde") && !serial->written().contains('f'));
}

}  // namespace
}  // namespace orvel::test

#include "serial/mscomm.h"

#include "serial/memoryserial.h"
#include "serial/receivepath.h"
#include "support/formfixture.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QTest>

#include <algorithm>
#include <vector>

namespace orvel::test {
namespace {

// A serial control on its own, with a listener that takes one byte per notification.
class MSCommTest : public ::testing::Test {
protected:
    MSCommTest() {
        auto backend = std::make_unique<MemorySerial>();
        serial = backend.get();
        comm = std::make_unique<MSComm>(std::move(backend));
        QObject::connect(comm.get(), &MSComm::OnComm, [this] {
            maxDepth = std::max(maxDepth, ++depth);
            ++notifications;
            const QByteArray input = comm->Input();
            received += input;
            if (whileHandling) whileHandling(input);
            --depth;
        });
        comm->setPortOpen(true);
    }
    bool waitForReceived(qsizetype count) {
        return QTest::qWaitFor([&] { return received.size() >= count; }, 10000);
    }

    MemorySerial *serial = nullptr;
    std::unique_ptr<MSComm> comm;
    QByteArray received;
    std::function<void(const QByteArray &)> whileHandling;
    int depth = 0, maxDepth = 0, notifications = 0;
};

TEST_F(MSCommTest, BurstsArriveOneByteAtATimeInOrder) {
    // The 400000-byte burst is longer than one slice: the rest follows on later passes.
    const std::vector<std::vector<int>> rows = {
        {1}, {1, 5, 2, 64, 3}, {300}, {400000}, std::vector<int>(200, 3)};
    for (const std::vector<int> &bursts : rows) {
        SCOPED_TRACE(bursts.size());
        received.clear();
        notifications = 0;
        QByteArray sent;
        for (int size : bursts) {
            QByteArray burst(size, Qt::Uninitialized);
            for (int i = 0; i < size; ++i) burst[i] = char((sent.size() + i) * 7 + i / 256);
            sent += burst;
            serial->deliver(burst);
        }
        ASSERT_TRUE(waitForReceived(sent.size())) << received.size() << " of " << sent.size();
        QCoreApplication::processEvents();
        EXPECT_TRUE(received == sent);
        EXPECT_EQ(notifications, sent.size());
        EXPECT_EQ(comm->pendingBytes(), 0);
    }
    EXPECT_EQ(maxDepth, 1);
}

TEST_F(MSCommTest, BytesArrivingDuringANotificationWaitTheirTurn) {
    const std::vector<std::function<void()>> whileHandlingB = {
        // delivered from inside the handler
        [this] { serial->deliver("cd"); },
        // held twice (a modal box holds them: see the dialogue tests), released in turn
        [this] {
            auto outer = std::make_unique<MSComm::Hold>(comm.get());
            {
                MSComm::Hold inner(comm.get());
                serial->deliver("c");
            }
            QCoreApplication::processEvents();
            EXPECT_EQ(received, "ab");
            serial->deliver("d");
        },
    };
    for (size_t row = 0; row < whileHandlingB.size(); ++row) {
        SCOPED_TRACE(row);
        received.clear();
        maxDepth = 0;
        whileHandling = [&](const QByteArray &input) {
            if (input == "b") whileHandlingB[row]();
        };
        serial->deliver("ab");
        serial->deliver("e");
        ASSERT_TRUE(waitForReceived(5));
        QCoreApplication::processEvents();
        EXPECT_EQ(received, "abcde");
        EXPECT_EQ(maxDepth, 1);
    }
}

TEST_F(MSCommTest, AHoldOutsideANotificationDefersTheBytes) {
    {
        MSComm::Hold hold(comm.get());
        serial->deliver("xyz");
        QCoreApplication::processEvents();
        EXPECT_TRUE(received.isEmpty());
        EXPECT_EQ(comm->pendingBytes(), 3);
    }
    ASSERT_TRUE(waitForReceived(3));
    EXPECT_EQ(received, "xyz");
    // Closing the port throws away what was still waiting.
    {
        MSComm::Hold hold(comm.get());
        serial->deliver("lost");
        comm->setPortOpen(false);
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(comm->pendingBytes(), 0);
    comm->setPortOpen(true);
    serial->deliver("k");
    ASSERT_TRUE(waitForReceived(4));
    EXPECT_EQ(received, "xyzk");
}

TEST_F(MSCommTest, AnUnansweredNotificationStillUsesUpItsByte) {
    QObject::disconnect(comm.get(), &MSComm::OnComm, nullptr, nullptr);
    int notifications = 0;
    QObject::connect(comm.get(), &MSComm::OnComm, [&] {
        if (++notifications % 2 == 0) received += comm->Input();  // every other one unanswered
    });
    serial->deliver("abcdef");
    ASSERT_TRUE(QTest::qWaitFor([&] { return notifications >= 6; }, 5000));
    QCoreApplication::processEvents();
    EXPECT_EQ(notifications, 6);
    EXPECT_EQ(received, "bdf");
    EXPECT_EQ(comm->pendingBytes(), 0);
}

TEST_F(MSCommTest, ThePortNumberChangesOnlyWhileClosed) {
    EXPECT_THROW(comm->setCommPort(2), SerialError);
    comm->setPortOpen(false);
    EXPECT_THROW(comm->setCommPort(0), SerialError);
    comm->setCommPort(4);
    comm->setPortOpen(true);
    EXPECT_EQ(serial->openedPort(), 4);
}

// Through the window: a line event only leaves its text in its slot.
using MSCommReceivePathTest = FormTest;

TEST_F(MSCommReceivePathTest, LineEventsOnlyLeaveTheirText) {
    connectPort();
    ui().Check1->setChecked(false);  // the terminal would show anything that reached it
    struct Row {
        int code;
        QString eventText, errorText;
    };
    const Row rows[] = {{1004, "", "Framing Error"},
                        {3, "Change in CTS Detected", "Framing Error"},
                        {1234, "Change in CTS Detected", "Unknown error or event"}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.code);
        port->signalLineEvent(row.code);
        QCoreApplication::processEvents();
        EXPECT_EQ(form->receivePath().eventText(), row.eventText);
        EXPECT_EQ(form->receivePath().errorText(), row.errorText);
        EXPECT_EQ(terminal(), "");
        EXPECT_TRUE(takeSent().isEmpty());
        EXPECT_EQ(state().TransferPhase, 0);
        EXPECT_TRUE(dialogs.messages.isEmpty());
    }
}

}  // namespace
}  // namespace orvel::test

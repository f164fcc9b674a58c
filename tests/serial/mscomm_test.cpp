#include "serial/mscomm.h"

#include "serial/memoryserial.h"
#include "support/formfixture.h"

#include <QtTest>

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
            if (++notifications % 2 == 0 || !leaveOddUnanswered) {
                const QByteArray input = comm->Input();
                received += input;
                if (input == "b" && whileHandlingB) whileHandlingB();
            }
            --depth;
        });
        comm->setPortOpen(true);
    }
    bool waitForReceived(qsizetype count) {
        const bool arrived = QTest::qWaitFor([&] { return received.size() >= count; }, 10000);
        QCoreApplication::processEvents();
        return arrived;
    }

    MemorySerial *serial = nullptr;
    std::unique_ptr<MSComm> comm;
    QByteArray received;
    std::function<void()> whileHandlingB;
    int depth = 0, maxDepth = 0, notifications = 0;
    bool leaveOddUnanswered = false;
};

// Bursts of 1, 5, 2 and 64 bytes, then one longer than a slice: the rest of it follows
// on later passes.
TEST_F(MSCommTest, BurstsArriveOneByteAtATimeInOrder) {
    QByteArray sent;
    for (int size : {1, 5, 2, 64, 400000}) {
        QByteArray burst(size, Qt::Uninitialized);
        for (int i = 0; i < size; ++i) burst[i] = char((sent.size() + i) * 7 + i / 256);
        sent += burst;
        serial->deliver(burst);
    }
    ASSERT_TRUE(waitForReceived(sent.size())) << received.size() << " of " << sent.size();
    EXPECT_TRUE(received == sent);
    EXPECT_EQ(notifications, sent.size());
    EXPECT_EQ(comm->pendingBytes(), 0);
    EXPECT_EQ(maxDepth, 1);
}

// Bytes delivered while a notification runs wait until it is done.
TEST_F(MSCommTest, BytesArrivingDuringANotificationWaitTheirTurn) {
    whileHandlingB = [this] { serial->deliver("cd"); };
    serial->deliver("ab");
    serial->deliver("e");
    ASSERT_TRUE(waitForReceived(5));
    EXPECT_EQ(received, "abcde");
    EXPECT_EQ(maxDepth, 1);
}

// A hold outside a notification defers the bytes; closing the port throws away what
// was still waiting; a notification nobody answers still uses up its byte.
TEST_F(MSCommTest, AHoldOutsideANotificationDefersTheBytes) {
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
        comm->setPortOpen(false);
    }
    comm->setPortOpen(true);
    leaveOddUnanswered = true;
    notifications = 0;
    serial->deliver("abcdef");
    ASSERT_TRUE(QTest::qWaitFor([&] { return notifications >= 6; }, 5000));
    QCoreApplication::processEvents();
    EXPECT_EQ(received, "xyzbdf");
    EXPECT_EQ(notifications, 6);
    EXPECT_EQ(comm->pendingBytes(), 0);
    // The port number changes only while closed, and only to a port there is.
    EXPECT_THROW(comm->setCommPort(2), SerialError);
    comm->setPortOpen(false);
    EXPECT_THROW(comm->setCommPort(0), SerialError);
    comm->setCommPort(4);
    comm->setPortOpen(true);
    EXPECT_EQ(serial->openedPort(), 4);
}

}  // namespace
}  // namespace orvel::test

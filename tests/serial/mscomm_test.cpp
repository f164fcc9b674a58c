#include "serial/mscomm.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QTest>
#include <algorithm>
#include <functional>
#include <vector>

#include "dialogue/terminalbox.h"
#include "serial/memoryserial.h"
#include "serial/receivepath.h"
#include "support/formfixture.h"

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
            ++depth;
            maxDepth = std::max(maxDepth, depth);
            events.append(comm->CommEvent());
            if (comm->CommEvent() == MSComm::kReceive) {
                const QByteArray input = comm->Input();
                inputSizes.append(int(input.size()));
                received += input;
                if (whileHandling) whileHandling(input);
            }
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
    QList<int> inputSizes;
    QList<qint16> events;
    std::function<void(const QByteArray &)> whileHandling;
    int depth = 0;
    int maxDepth = 0;
};

QByteArray pattern(int size) {
    QByteArray data(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i) data[i] = char((i * 7 + i / 256) & 0xFF);
    return data;
}

TEST_F(MSCommTest, BurstsArriveOneByteAtATimeInOrder) {
    struct Row {
        const char *name;
        std::vector<int> bursts;
    };
    const std::vector<Row> rows = {
        {"one byte", {1}},
        {"uneven bursts", {1, 5, 2, 64, 3}},
        {"a long burst", {300}},
        // Longer than one slice: the rest follows on later passes of the event loop.
        {"a burst much longer than a slice", {400000}},
        {"many small bursts", std::vector<int>(200, 3)},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        received.clear();
        inputSizes.clear();
        events.clear();
        QByteArray sent;
        int offset = 0;
        for (int size : row.bursts) {
            const QByteArray burst = pattern(offset + size).mid(offset);
            offset += size;
            sent += burst;
            serial->deliver(burst);
        }
        ASSERT_TRUE(waitForReceived(sent.size())) << received.size() << " of " << sent.size();
        QCoreApplication::processEvents();
        EXPECT_EQ(received.size(), sent.size());
        EXPECT_TRUE(received == sent);
        EXPECT_EQ(events.size(), sent.size());
        EXPECT_TRUE(std::all_of(events.begin(), events.end(),
                                [](qint16 e) { return e == MSComm::kReceive; }));
        EXPECT_TRUE(
            std::all_of(inputSizes.begin(), inputSizes.end(), [](int n) { return n == 1; }));
        EXPECT_EQ(comm->pendingBytes(), 0);
    }
    EXPECT_EQ(maxDepth, 1);
}

TEST_F(MSCommTest, BytesArrivingDuringANotificationWaitTheirTurn) {
    struct Row {
        const char *name;
        std::function<void()> whileHandlingB;
    };
    const std::vector<Row> rows = {
        {"delivered from inside the handler", [this] { serial->deliver("cd"); }},
        {"delivered while a modal box holds the notifications",
         [this] {
             MSComm::Hold hold(comm.get());
             serial->deliver("cd");
             QCoreApplication::processEvents();  // the box's own event loop
             EXPECT_EQ(received, "ab");
         }},
        {"held twice, released in turn",
         [this] {
             auto outer = std::make_unique<MSComm::Hold>(comm.get());
             {
                 MSComm::Hold inner(comm.get());
                 serial->deliver("c");
             }
             QCoreApplication::processEvents();
             EXPECT_EQ(received, "ab");
             serial->deliver("d");
             outer.reset();
         }},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        received.clear();
        maxDepth = 0;
        whileHandling = [&](const QByteArray &input) {
            if (input == "b") row.whileHandlingB();
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
    EXPECT_EQ(received, "xyz");
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
        // Every other notification is not answered at all.
        if (++notifications % 2 == 0) received += comm->Input();
    });
    serial->deliver("abcdef");
    ASSERT_TRUE(QTest::qWaitFor([&] { return notifications >= 6; }, 5000));
    QCoreApplication::processEvents();
    EXPECT_EQ(notifications, 6);
    EXPECT_EQ(received, "bdf");
    EXPECT_EQ(comm->pendingBytes(), 0);
}

TEST_F(MSCommTest, PortSettings) {
    EXPECT_EQ(comm->CommPort(), 1);
    EXPECT_THROW(comm->setCommPort(2), SerialError);  // open
    comm->setPortOpen(false);
    comm->setCommPort(4);
    EXPECT_EQ(comm->CommPort(), 4);
    EXPECT_THROW(comm->setCommPort(0), SerialError);
    EXPECT_EQ(comm->CommPort(), 4);
    comm->setPortOpen(true);
    EXPECT_EQ(serial->openedPort(), 4);

    comm->Output(char(0xAA));
    EXPECT_EQ(serial->written(), bytes({0xAA}));
    serial->setWriteError(QStringLiteral("Transmit failed."));
    try {
        comm->Output(0x55);
        ADD_FAILURE() << "no error";
    } catch (const SerialError &error) {
        EXPECT_EQ(error.description(), "Transmit failed.");
    }
    serial->setOpenError(QStringLiteral("busy"));
    comm->setPortOpen(false);
    try {
        comm->setPortOpen(true);
        ADD_FAILURE() << "no error";
    } catch (const SerialError &error) {
        EXPECT_EQ(error.description(), "busy");
    }
    EXPECT_FALSE(comm->PortOpen());
}

// Through the window: the receive path.
using MSCommReceivePathTest = FormTest;

TEST_F(MSCommReceivePathTest, LineEventsOnlyLeaveTheirText) {
    connectPort();
    ui().Check1->setChecked(false);  // the terminal would show anything that reached it
    QList<qint16> seen;
    QObject::connect(&form->MSComm1(), &MSComm::OnComm,
                     [&] { seen.append(form->MSComm1().CommEvent()); });
    struct Row {
        int code;
        QString eventText;
        QString errorText;
    };
    const std::vector<Row> rows = {
        {1004, "", "Framing Error"},
        {3, "Change in CTS Detected", "Framing Error"},
        {1234, "Change in CTS Detected", "Unknown error or event"},
        {1100, "Change in CTS Detected", "Unknown error or event"},
        {7, "End of File Detected", "Unknown error or event"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.code);
        seen.clear();
        port->signalLineEvent(row.code);
        QCoreApplication::processEvents();
        EXPECT_EQ(seen, QList<qint16>{qint16(row.code)});
        EXPECT_EQ(form->receivePath().eventText(), row.eventText);
        EXPECT_EQ(form->receivePath().errorText(), row.errorText);
        EXPECT_EQ(terminal(), "");
        EXPECT_TRUE(takeSent().isEmpty());
        EXPECT_EQ(state().TransferPhase, 0);
        EXPECT_TRUE(dialogs.messages.isEmpty());
    }
}

TEST_F(MSCommReceivePathTest, EachByteReachesTheDialogueAsItsDecimalText) {
    connectPort();
    ui().Check1->setChecked(false);  // protocol bytes shown, each with a line break
    struct Row {
        int byte;
        QString shown;
    };
    const std::vector<Row> rows = {
        {0xAC, "172\r\n"}, {0x00, "0"}, {0xCA, "202\r\n"}, {0x80, "128"},
        {0xFF, "255"},     {0x09, "9"}, {0x64, "100"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.byte);
        ui().txtTerm->clearText();
        reply({row.byte});
        EXPECT_EQ(terminal(), row.shown);
    }
    // A burst is taken apart byte by byte.
    ui().txtTerm->clearText();
    reply({1, 0xAC, 2, 0x00, 3});
    EXPECT_EQ(terminal(), "1172\r\n203");
}

}  // namespace
}  // namespace orvel::test

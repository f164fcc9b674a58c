// The programmer against the device simulator, through real pseudo-terminals and the
// QSerialPort backend, as an operator drives it.
#include "app/lampimage.h"
#include "dialogue/dialogue.h"
#include "dialogue/terminalbox.h"
#include "serial/mscomm.h"
#include "serial/qserialbackend.h"
#include "serial/receivepath.h"
#include "support/formfixture.h"
#include "support/simprocess.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QTest>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

namespace orvel::test {
namespace {

constexpr int kWait = 20000;

class DeviceEndToEnd : public ::testing::Test {
protected:
    void startSim(const QStringList &arguments = {QStringLiteral("--fast")}) {
        memory = SimProcess::patternMemory(3);
        sim = std::make_unique<SimProcess>();
        ASSERT_TRUE(sim->start(memory, arguments));
        qputenv("ORVEL_COM1", sim->path().toLocal8Bit());
    }
    void makeWindow() {
        form = std::make_unique<FrmTerminal>(std::make_unique<QSerialBackend>(), 1, &dialogs);
        form->show();
    }
    void connectPort() {
        emit ui().imgNotConnected->clicked();
        ASSERT_TRUE(form->MSComm1().PortOpen()) << dialogs.messages.join('\n').toStdString();
        ASSERT_TRUE(runUntil([&] { return !state().LinkCheckPending; }, kWait));
    }
    void read(int first, int last) {
        ui().Text1->setText(QString::number(first));
        ui().Text2->setText(QString::number(last));
        ui().Option2[1]->setChecked(true);
    }
    bool waitForIdle() {
        return runUntil([&] { return state().TransferPhase == 0; }, kWait);
    }
    QString expectedLines(int first, int last, const QByteArray &cells) {
        QString lines;
        for (int i = first; i <= last; ++i)
            lines += QStringLiteral("%1 - %2\r\n").arg(quint8(cells[i])).arg(i);
        return lines;
    }
    FrmTerminalUi &ui() { return form->ui(); }
    TransferState &state() { return form->state(); }

    QByteArray memory;
    std::unique_ptr<SimProcess> sim;
    FakeDialogs dialogs;
    std::unique_ptr<FrmTerminal> form;
};

TEST_F(DeviceEndToEnd, ReadsObjectsOneToFifty) {
    startSim();
    makeWindow();
    connectPort();
    read(1, 50);
    ASSERT_TRUE(waitForIdle());
    for (int i = 1; i <= 50; ++i) EXPECT_EQ(state().DeviceMemory[size_t(i)], quint8(memory[i]));
    EXPECT_EQ(ui().txtTerm->Text(), expectedLines(1, 50, memory));
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(DeviceEndToEnd, WritesTenToTwentyAndNothingElse) {
    startSim();
    makeWindow();
    connectPort();
    ui().ch_1_0->setChecked(true);
    ui().Text3->setText("10");
    ui().Text4->setText("20");
    ui().Option3[1]->setChecked(true);
    ASSERT_TRUE(waitForIdle());
    ASSERT_TRUE(sim->stop());
    QByteArray expected = memory;
    for (int i = 10; i <= 20; ++i) expected[i] = 1;
    EXPECT_EQ(sim->savedMemory(), expected);
    EXPECT_TRUE(ui().txtTerm->Text().endsWith("1 - 20\r\n"));
}

TEST_F(DeviceEndToEnd, AWrongFirstByteReconnectsAndTheNextReadWorks) {
    startSim({QStringLiteral("--fast"), QStringLiteral("--wrong-first-byte"),
              QStringLiteral("7")});
    makeWindow();
    emit ui().imgNotConnected->clicked();
    ASSERT_TRUE(runUntil([&] { return !state().LinkCheckPending; }, kWait));
    EXPECT_TRUE(form->MSComm1().PortOpen());
    EXPECT_EQ(ui().txtTerm->Text(), "");
    read(5, 9);
    ASSERT_TRUE(waitForIdle());
    EXPECT_EQ(ui().txtTerm->Text(), expectedLines(5, 9, memory));
}

TEST_F(DeviceEndToEnd, AListDrivenReadAndWriteTouchExactlyTheListedObjects) {
    startSim();
    makeWindow();
    connectPort();
    ui().List1->addItems({"3", "8", "12"});
    ui().Check4->setChecked(true);
    ui().Option2[1]->setChecked(true);
    ASSERT_TRUE(waitForIdle());
    EXPECT_EQ(ui().txtTerm->Text(), QStringLiteral("%1 - 3\r\n%2 - 8\r\n%3 - 12\r\n")
                                        .arg(quint8(memory[3]))
                                        .arg(quint8(memory[8]))
                                        .arg(quint8(memory[12])));

    ui().ch_1_0->setChecked(true);
    ui().Option3[1]->setChecked(true);
    ASSERT_TRUE(waitForIdle());
    ASSERT_TRUE(sim->stop());
    QByteArray expected = memory;
    for (int i : {3, 8, 12}) expected[i] = 1;
    EXPECT_EQ(sim->savedMemory(), expected);
}

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

TEST_F(DeviceEndToEnd, AHangUpMidTransferLeavesTheWindowUsable) {
    startSim({QStringLiteral("--fast"), QStringLiteral("--hangup-after"), QStringLiteral("120")});
    makeWindow();
    connectPort();
    read(1, 500);
    ASSERT_TRUE(runUntil([&] { return !form->receivePath().errorText().isEmpty(); },
                                kWait));
    EXPECT_EQ(state().TransferPhase, 1);  // waits like a silent device
    EXPECT_TRUE(form->MSComm1().PortOpen());

    // The dead port must not spin the processor.
    const double before = cpuSeconds();
    QTest::qWait(1000);
    EXPECT_LT(cpuSeconds() - before, 0.2);

    emit ui().imgConnected->clicked();
    EXPECT_FALSE(form->MSComm1().PortOpen());
    EXPECT_TRUE(dialogs.messages.isEmpty());

    startSim();
    connectPort();
    read(1, 3);
    ASSERT_TRUE(waitForIdle());
    EXPECT_TRUE(ui().txtTerm->Text().endsWith(expectedLines(1, 3, memory)));
}

TEST_F(DeviceEndToEnd, ADeviceFallingSilentMidObjectLeavesTheWindowResponsive) {
    // The link check's ready pair, the read's ready pair, the acknowledge of the read
    // command, and then silence: the address is never completed.
    startSim({QStringLiteral("--fast"), QStringLiteral("--silent-after"), QStringLiteral("5")});
    makeWindow();
    connectPort();
    read(1, 10);
    QTest::qWait(500);
    EXPECT_EQ(state().TransferPhase, 1);
    EXPECT_EQ(state().ReadStep, 3);  // waiting for the second acknowledge
    // The operator can still work the window: stop, and disconnect.
    ui().Option2[2]->setChecked(true);
    EXPECT_EQ(state().CurrentObject, 10);
    emit ui().imgConnected->clicked();
    EXPECT_FALSE(form->MSComm1().PortOpen());

    // The next connection starts the dialogue afresh.
    startSim();
    connectPort();
    EXPECT_EQ(state().ReadStep, 0);
    read(4, 6);
    ASSERT_TRUE(waitForIdle());
    EXPECT_TRUE(ui().txtTerm->Text().endsWith(expectedLines(4, 6, memory)));
}

TEST_F(DeviceEndToEnd, NoiseDuringAReadAndAWriteChangesOnlyTheIntendedCells) {
    startSim({QStringLiteral("--fast"), QStringLiteral("--noise"), QStringLiteral("0.03"),
              QStringLiteral("--noise-seed"), QStringLiteral("5"), QStringLiteral("--timeout-ms"),
              QStringLiteral("100")});
    makeWindow();
    connectPort();
    read(1, 60);
    ASSERT_TRUE(waitForIdle());
    // Every object got a line; a value that noise replaced is shown as it arrived.
    EXPECT_EQ(ui().txtTerm->Text().count(QStringLiteral("\r\n")), 60);
    EXPECT_TRUE(ui().txtTerm->Text().endsWith(QStringLiteral(" - 60\r\n")));

    ui().ch_1_0->setChecked(true);
    ui().Text3->setText("100");
    ui().Text4->setText("130");
    ui().Option3[1]->setChecked(true);
    ASSERT_TRUE(waitForIdle());
    ASSERT_TRUE(sim->stop());
    EXPECT_TRUE(sim->summary().contains(QStringLiteral("noise bytes injected")));
    QByteArray expected = memory;
    for (int i = 100; i <= 130; ++i) expected[i] = 1;
    EXPECT_EQ(sim->savedMemory(), expected);
}

// A raw pseudo-terminal that plays the device by hand.
class RawPty {
public:
    RawPty() {
        m_master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        grantpt(m_master);
        unlockpt(m_master);
        termios raw{};
        tcgetattr(m_master, &raw);
        cfmakeraw(&raw);
        tcsetattr(m_master, TCSANOW, &raw);
        m_path = QString::fromLocal8Bit(ptsname(m_master));
    }
    ~RawPty() { ::close(m_master); }
    const QString &path() const { return m_path; }
    void send(const QByteArray &data) {
        qsizetype done = 0;
        while (done < data.size()) {
            const ssize_t n = ::write(m_master, data.constData() + done, size_t(data.size() - done));
            if (n > 0) done += n;
            else QTest::qWait(1);  // the line is full: let the program read
        }
    }

private:
    int m_master = -1;
    QString m_path;
};

TEST_F(DeviceEndToEnd, ABurstOfAMillionBytesArrivesWholeAndInOrder) {
    RawPty pty;
    qputenv("ORVEL_COM1", pty.path().toLocal8Bit());
    makeWindow();
    QByteArray seen;
    form->dialogue().setReplyTap([&](const QString &reply) { seen.append(char(reply.toInt())); });
    emit ui().imgNotConnected->clicked();
    ASSERT_TRUE(form->MSComm1().PortOpen());

    QByteArray burst(1000000, '\0');
    burst[0] = char(172);  // passes the link check
    for (qsizetype i = 1; i < burst.size(); ++i) burst[i] = char((i * 7919) % 256);
    pty.send(burst);
    ASSERT_TRUE(runUntil([&] { return seen.size() >= burst.size(); }, kWait));
    EXPECT_EQ(seen, burst);
}

}  // namespace
}  // namespace orvel::test

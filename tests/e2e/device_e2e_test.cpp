// The programmer against the device simulator, through real pseudo-terminals and the
// QSerialPort backend, as an operator drives it.
#include "app/lampimage.h"
#include "dialogue/dialogue.h"
#include "dialogue/terminalbox.h"
#include "serial/mscomm.h"
#include "serial/qserialbackend.h"
#include "serial/receivepath.h"
#include "support/formfixture.h"

#include <QCheckBox>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>

namespace orvel::test {
namespace {

constexpr int kWait = 20000;

class DeviceEndToEnd : public FormTest {
protected:
    DeviceEndToEnd() : FormTest(1, std::make_unique<QSerialBackend>()) { form->show(); }

    // Starts the simulator on its own pseudo-terminal, its memory holding every value 0 to
    // 255 (172 and 202 too) among the objects, and makes it COM 1.
    void startSim(const QStringList &arguments = {"--fast"}) {
        memory.resize(8192);
        for (int i = 0; i < memory.size(); ++i) memory[i] = char((i * 37 + 33) % 256);
        QFile file(dir.filePath("memory.bin"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(memory) == memory.size());
        file.close();
        sim = std::make_unique<QProcess>();  // the one before, if any, is killed
        sim->start(ORVEL_DEVICE_SIM, QStringList{"--memory", file.fileName()} + arguments);
        ASSERT_TRUE(sim->waitForStarted(5000));
        while (!sim->canReadLine()) ASSERT_TRUE(sim->waitForReadyRead(5000));
        qputenv("ORVEL_COM1", sim->readLine().trimmed());
    }
    void connectToSim() {
        emit ui().imgNotConnected->clicked();
        ASSERT_TRUE(form->MSComm1().PortOpen()) << dialogs.messages.join('\n').toStdString();
        ASSERT_TRUE(runUntil([&] { return !state().LinkCheckPending; }, kWait));
    }
    // Reads (or writes 1 into) objects `first` to `last`.
    void transfer(bool write, int first, int last) {
        ui().ch_1_0->setChecked(true);
        (write ? ui().Text3 : ui().Text1)->setText(QString::number(first));
        (write ? ui().Text4 : ui().Text2)->setText(QString::number(last));
        (write ? ui().Option3 : ui().Option2)[1]->setChecked(true);
    }
    void read(int first, int last) { transfer(false, first, last); }
    bool waitForIdle() { return runUntil([&] { return state().TransferPhase == 0; }, kWait); }
    // The terminal lines of a read of objects `first` to `last`.
    QString lines(int first, int last) {
        QString text;
        for (int i = first; i <= last; ++i)
            text += QStringLiteral("%1 - %2\r\n").arg(quint8(memory[i])).arg(i);
        return text;
    }
    QString shown() { return ui().txtTerm->Text(); }
    // Stops the simulator as a signal would: the memory it saved must be the start pattern
    // with the `ranges` set to 1.
    void expectOnlyWritten(std::initializer_list<std::pair<int, int>> ranges) {
        ASSERT_EQ(sim->state(), QProcess::Running);
        ::kill(pid_t(sim->processId()), SIGTERM);
        ASSERT_TRUE(sim->waitForFinished(5000));
        QFile file(dir.filePath("memory.bin"));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        QByteArray expected = memory;
        for (auto [first, last] : ranges)
            for (int i = first; i <= last; ++i) expected[i] = 1;
        EXPECT_EQ(file.readAll(), expected);
    }

    QTemporaryDir dir;
    QByteArray memory;
    std::unique_ptr<QProcess> sim;
};

TEST_F(DeviceEndToEnd, ReadsObjectsOneToFifty) {
    startSim();
    connectToSim();
    read(1, 50);
    ASSERT_TRUE(waitForIdle());
    for (int i = 1; i <= 50; ++i) EXPECT_EQ(state().DeviceMemory[size_t(i)], quint8(memory[i]));
    EXPECT_EQ(shown(), lines(1, 50));
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(DeviceEndToEnd, WritesTenToTwentyAndNothingElse) {
    startSim();
    connectToSim();
    transfer(true, 10, 20);
    ASSERT_TRUE(waitForIdle());
    expectOnlyWritten({{10, 20}});
    EXPECT_TRUE(shown().endsWith("1 - 20\r\n"));
}

TEST_F(DeviceEndToEnd, AWrongFirstByteReconnectsAndTheNextReadWorks) {
    startSim({"--fast", "--wrong-first-byte", "7"});
    emit ui().imgNotConnected->clicked();
    ASSERT_TRUE(runUntil([&] { return !state().LinkCheckPending; }, kWait));
    EXPECT_TRUE(form->MSComm1().PortOpen());
    EXPECT_EQ(shown(), "");
    read(5, 9);
    ASSERT_TRUE(waitForIdle());
    EXPECT_EQ(shown(), lines(5, 9));
}

TEST_F(DeviceEndToEnd, AListDrivenReadAndWriteTouchExactlyTheListedObjects) {
    startSim();
    connectToSim();
    ui().List1->addItems({"3", "8", "12"});
    ui().Check4->setChecked(true);
    ui().Option2[1]->setChecked(true);
    ASSERT_TRUE(waitForIdle());
    EXPECT_EQ(shown(), lines(3, 3) + lines(8, 8) + lines(12, 12));
    transfer(true, 1, 1);  // the list's entries replace the range
    ASSERT_TRUE(waitForIdle());
    expectOnlyWritten({{3, 3}, {8, 8}, {12, 12}});
}

TEST_F(DeviceEndToEnd, AHangUpMidTransferLeavesTheWindowUsable) {
    startSim({"--fast", "--hangup-after", "120"});
    connectToSim();
    read(1, 500);
    ASSERT_TRUE(runUntil([&] { return !form->receivePath().errorText().isEmpty(); }, kWait));
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
    connectToSim();
    read(1, 3);
    ASSERT_TRUE(waitForIdle());
    EXPECT_TRUE(shown().endsWith(lines(1, 3)));
}

TEST_F(DeviceEndToEnd, ADeviceFallingSilentMidObjectLeavesTheWindowResponsive) {
    // The link check's ready pair, the read's ready pair, the acknowledge of the read
    // command, and then silence: the address is never completed.
    startSim({"--fast", "--silent-after", "5"});
    connectToSim();
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
    connectToSim();
    EXPECT_EQ(state().ReadStep, 0);
    read(4, 6);
    ASSERT_TRUE(waitForIdle());
    EXPECT_TRUE(shown().endsWith(lines(4, 6)));
}

TEST_F(DeviceEndToEnd, AFileDialogHeldOpenMidCommandLeavesAReadToCompleteByItself) {
    startSim({});  // 1200 bit/s; a command left unanswered for 500 ms is given up
    connectToSim();
    read(1, 30);
    // The high address byte of object 10 is out; the dialog holds the acknowledge back.
    ASSERT_TRUE(runUntil([&] { return state().CurrentObject == 10 && state().ReadStep == 3; },
                         kWait));
    dialogs.whileFileOpen = [] {
        QEventLoop loop;
        QTimer::singleShot(2000, &loop, &QEventLoop::quit);
        loop.exec();
    };
    ui().Command1->click();
    ASSERT_EQ(dialogs.fileDialogs, 1);
    ASSERT_TRUE(waitForIdle());
    EXPECT_EQ(shown(), lines(1, 30));
    for (int i = 1; i <= 30; ++i) EXPECT_EQ(state().DeviceMemory[size_t(i)], quint8(memory[i]));
    expectOnlyWritten({});
    EXPECT_TRUE(sim->readAllStandardError().contains("commands given up 1\n"));
}

TEST_F(DeviceEndToEnd, StopAndANewReadAfterTheDevicePausedMidCommandReadTheNewObjects) {
    // Mute and deaf after the acknowledge of the first read command, then afresh from idle.
    startSim({"--fast", "--pause-after", "5", "--pause-ms", "800"});
    connectToSim();
    read(1, 10);
    ASSERT_TRUE(runUntil([&] { return state().ReadStep == 3; }, kWait));
    ui().Option2[2]->setChecked(true);
    read(20, 22);
    ASSERT_TRUE(waitForIdle());
    EXPECT_EQ(shown(), lines(20, 22));
}

TEST_F(DeviceEndToEnd, NoiseDuringAReadAndAWriteChangesOnlyTheIntendedCells) {
    startSim({"--fast", "--noise", "0.03", "--noise-seed", "5", "--timeout-ms", "100"});
    connectToSim();
    read(1, 60);
    ASSERT_TRUE(waitForIdle());
    // Every object got a line; a value that noise replaced is shown as it arrived.
    EXPECT_EQ(shown().count(QStringLiteral("\r\n")), 60);
    EXPECT_TRUE(shown().endsWith(QStringLiteral(" - 60\r\n")));
    transfer(true, 100, 130);
    ASSERT_TRUE(waitForIdle());
    expectOnlyWritten({{100, 130}});
    EXPECT_TRUE(sim->readAllStandardError().contains("noise bytes injected"));
}

TEST_F(DeviceEndToEnd, ABurstOfAMillionBytesArrivesWholeAndInOrder) {
    Pty pty(true);
    qputenv("ORVEL_COM1", pty.path().toLocal8Bit());
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

// The dialogue byte for byte: replies in, bytes out, through the in-memory port.
#include "app/lampimage.h"
#include "numbers/textrules.h"
#include "dialogue/terminalbox.h"
#include "serial/mscomm.h"
#include "support/formfixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>

#include <random>

namespace orvel::test {
namespace {

constexpr int R = 172;  // ready
constexpr int A = 202;  // acknowledge

class DialogueTest : public FormTest {
protected:
    DialogueTest() { connectPort(); }

    void startRead(const QString &first, const QString &last) {
        ui().Text1->setText(first);
        ui().Text2->setText(last);
        ui().Option2[1]->setChecked(true);
    }
    void startWrite(const QString &first, const QString &last) {
        ui().Text3->setText(first);
        ui().Text4->setText(last);
        ui().Option3[1]->setChecked(true);
    }
    void setList(const QStringList &entries) {
        ui().List1->clear();
        ui().List1->addItems(entries);
        ui().Check4->setChecked(true);
    }
    // One object read: ready twice, two acknowledges, the value.
    void readObject(int value) { reply({R, R, A, A, value}); }
    // One object written and read back: 6 replies, then 5.
    void writeObject(int readBack) { reply({R, R, A, A, A, A, R, R, A, A, readBack}); }
};

// read command, address high, address low
QByteArray readOf(int address) { return bytes({0x55, address / 256, address % 256}); }
// write command, address high, address low, value
QByteArray writeOf(int address, int value) {
    return bytes({0xAA, address / 256, address % 256, value}) + readOf(address);
}

TEST_F(DialogueTest, ReadsARangeObjectByObject) {
    startRead("10", "12");
    EXPECT_EQ(state().CurrentObject, 10);
    EXPECT_EQ(ui().Label5->text(), "10");

    reply({R});  // noted, nothing sent yet
    EXPECT_EQ(takeSent(), QByteArray());
    reply({R, A, A});
    EXPECT_EQ(takeSent(), readOf(10));  // 0x55, 0x00, 0x0A
    reply({7});
    EXPECT_EQ(state().DeviceMemory[10], 7);
    EXPECT_EQ(ui().Label5->text(), "11");

    readObject(0);
    readObject(255);
    EXPECT_EQ(takeSent(), readOf(11) + readOf(12));
    EXPECT_EQ(state().DeviceMemory[11], 0);
    EXPECT_EQ(state().DeviceMemory[12], 255);
    EXPECT_EQ(terminal(), "7 - 10\r\n0 - 11\r\n255 - 12\r\n");

    // The end: idle, both Stop options selected, the last object stays shown.
    EXPECT_EQ(state().TransferPhase, 0);
    EXPECT_TRUE(ui().Option2[2]->isChecked());
    EXPECT_TRUE(ui().Option3[2]->isChecked());
    EXPECT_EQ(ui().Label5->text(), "12");
    readObject(9);  // an idle device's bytes start nothing
    EXPECT_EQ(takeSent(), QByteArray());
}

TEST_F(DialogueTest, WritesTheRepeatValueAndReadsItBack) {
    for (const int value : {1, 0}) {
        SCOPED_TRACE(value);
        ui().ch_1_0->setChecked(value == 1);
        startWrite("300", "301");
        reply({R});
        EXPECT_EQ(takeSent(), QByteArray());
        reply({R, A, A, A});
        EXPECT_EQ(takeSent(), bytes({0xAA, 0x01, 0x2C, value}));
        reply({A});  // the device took the value: the read-back follows
        EXPECT_EQ(state().TransferPhase, 1);
        EXPECT_EQ(takeSent(), QByteArray());
        reply({R, R, A, A, value});
        EXPECT_EQ(takeSent(), readOf(300));
        EXPECT_EQ(state().DeviceMemory[300], value);
        EXPECT_EQ(state().TransferPhase, 2);  // on to the next object
        writeObject(value);
        EXPECT_EQ(takeSent(), writeOf(301, value));
        EXPECT_EQ(terminal(), QStringLiteral("%1 - 300\r\n%1 - 301\r\n").arg(value));
        EXPECT_EQ(state().TransferPhase, 0);
        EXPECT_FALSE(state().WriteInProgress);
        ui().txtTerm->clearText();
    }
}

// At the last read step 172 and 202 are values like any other; a data byte before it is
// taken as the value too, and the read moves on.
TEST_F(DialogueTest, WhatCountsAsTheValue) {
    startRead("20", "23");
    readObject(R);
    readObject(A);
    reply({R, R, 5});  // in the middle of a command a data byte is noise
    EXPECT_EQ(takeSent(), readOf(20) + readOf(21) + bytes({0x55}));
    EXPECT_EQ(state().DeviceMemory[20], R);
    EXPECT_EQ(state().DeviceMemory[21], A);
    EXPECT_EQ(state().DeviceMemory[22], 0);
    EXPECT_EQ(terminal(), "172 - 20\r\n202 - 21\r\n5");
    EXPECT_EQ(state().CurrentObject, 22);
    EXPECT_EQ(state().ReadStep, 2);
}

TEST_F(DialogueTest, AWriteStartedAtTheLastReadStepBeginsOnceTheValueIsIn) {
    startRead("40", "40");
    reply({R, R, A, A});  // ReadStep 4: the value of 40 is on its way
    takeSent();
    ui().Option2[2]->setChecked(true);
    startWrite("41", "41");
    reply({R});  // the value of 40
    EXPECT_EQ(state().DeviceMemory[40], R);
    EXPECT_EQ(state().ReadStep, 0);
    writeObject(1);
    EXPECT_EQ(takeSent(), writeOf(41, 0));
    EXPECT_EQ(state().TransferPhase, 0);
}

TEST_F(DialogueTest, WrongFirstByteEmptiesTheTerminalAndReconnects) {
    emit ui().imgConnected->clicked();
    ui().txtTerm->appendReply(u"old\r");
    emit ui().imgNotConnected->clicked();
    const int opened = port->openCount(), closed = port->closeCount();
    reply({0x42});
    EXPECT_EQ(terminal(), "");
    EXPECT_EQ(port->closeCount(), closed + 1);
    EXPECT_EQ(port->openCount(), opened + 1);
    EXPECT_TRUE(state().LinkCheckPending);
    reply({R});  // now the link is good
    EXPECT_FALSE(state().LinkCheckPending);
    EXPECT_EQ(port->openCount(), opened + 1);
}

TEST_F(DialogueTest, StopInTheMiddleFinishesTheObjectAsTheLastOne) {
    startRead("5", "50");
    for (int object = 5; object < 17; ++object) readObject(1);
    reply({R, R});  // object 17: the read command is out
    takeSent();
    ui().Option2[2]->setChecked(true);
    EXPECT_EQ(state().CurrentObject, 50);
    EXPECT_EQ(ui().Label5->text(), "50");
    EXPECT_EQ(state().TransferPhase, 1);
    reply({A, A, 99});
    EXPECT_EQ(takeSent(), bytes({0x00, 17}));  // the command is finished for its object
    EXPECT_EQ(state().DeviceMemory[17], 99);
    EXPECT_EQ(state().DeviceMemory[50], 0);
    EXPECT_EQ(state().TransferPhase, 0);
    EXPECT_TRUE(terminal().endsWith("99 - 17\r\n"));
}

TEST_F(DialogueTest, AnObjectChangedBetweenTheAddressBytesIsCompletedForItsOwnCell) {
    // Stop between the two address bytes moves 254 (0x00FE) to 257 (0x0101): a low byte
    // taken from 257 would make the device use cell 0x00 01, which nobody chose.
    ui().ch_1_0->setChecked(true);
    startWrite("254", "257");
    reply({R, R, A});
    EXPECT_EQ(takeSent(), bytes({0xAA, 0x00}));
    ui().Option3[2]->setChecked(true);
    reply({A, A, A});
    EXPECT_EQ(takeSent(), bytes({0xFE, 0x01}));  // 254 is finished, then read back
    reply({R, R, A, A, 1});
    EXPECT_EQ(takeSent(), readOf(254));
    EXPECT_EQ(state().DeviceMemory[254], 1);
    EXPECT_EQ(state().TransferPhase, 0);

    // A new range under a read in flight: the command ends for 254, then 300 is read.
    startRead("254", "257");
    reply({R, R, A});
    takeSent();
    ui().Option2[2]->setChecked(true);
    startRead("300", "300");
    reply({A, 4});
    EXPECT_EQ(takeSent(), bytes({0xFE}));
    EXPECT_EQ(state().DeviceMemory[254], 4);
    readObject(5);
    EXPECT_EQ(takeSent(), readOf(300));
    EXPECT_EQ(state().DeviceMemory[300], 5);
    EXPECT_EQ(state().TransferPhase, 0);
}

TEST_F(DialogueTest, TheEndOfATransferShowsTheSettingsCells) {
    // Delay 9 is past the list: a box says so and the shown delay stays.
    for (const auto [delay, shown] : {std::pair{7, "NO"}, {0, "0.5 sec"}, {9, "0.5 sec"}}) {
        SCOPED_TRACE(delay);
        dialogs.messages.clear();
        state().DeviceMemory[8176] = quint8(delay);
        for (int n = 1; n <= 15; ++n) state().DeviceMemory[size_t(8176 + n)] = quint8(n % 8);
        startRead("1", "1");
        readObject(3);
        EXPECT_EQ(ui().Combo2->currentText(), shown);
        EXPECT_EQ(dialogs.messages.size(), delay == 9 ? 1 : 0);
        EXPECT_EQ(ui().Text_R[1]->text(), "1");
        EXPECT_EQ(ui().Text_R[15]->text(), "7");
        ui().Option2[2]->setChecked(true);
    }
}

TEST_F(DialogueTest, AFractionalRangeEndsAtItsLastObject) {
    // Without the end test on "next number past the end" this ran on through the
    // settings cells and past 8191.
    startRead("2.5", "4");
    EXPECT_EQ(state().CurrentObject, 2.5);
    for (int i = 0; i < 2; ++i) readObject(6);
    // 2.5 and 3.5 have the addresses 2 and 4 (half to even); 4.5 would pass the end.
    EXPECT_EQ(takeSent(), readOf(2) + readOf(4));
    EXPECT_EQ(state().TransferPhase, 0);
    EXPECT_EQ(terminal(), "6 - 2.5\r\n6 - 3.5\r\n");

    startWrite("2.5", "4");
    for (int i = 0; i < 2; ++i) writeObject(0);
    EXPECT_EQ(takeSent(), writeOf(2, 0) + writeOf(4, 0));
    EXPECT_EQ(state().TransferPhase, 0);
    reply({R, R, A, A, A, A});
    EXPECT_EQ(takeSent(), QByteArray());
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(DialogueTest, AListDrivenTransferEndsAtTheEndOfTheList) {
    // A counted read whose list is switched on under it: 8, 12, then no entry.
    startRead("3", "100");
    setList({"3", "8", "12"});
    for (int i = 0; i < 3; ++i) readObject(i + 1);
    EXPECT_EQ(takeSent(), readOf(3) + readOf(8) + readOf(12));
    EXPECT_EQ(state().TransferPhase, 0);
    EXPECT_TRUE(terminal().endsWith("3 - 12\r\n"));  // the last entry's line is shown
    readObject(9);
    EXPECT_EQ(takeSent(), QByteArray());

    // The same for a write: cell 0 is never written.
    ui().Check4->setChecked(false);
    startWrite("3", "100");
    setList({"3", "8"});
    for (int i = 0; i < 2; ++i) writeObject(0);
    reply({R, R, A, A, A, A});
    EXPECT_EQ(takeSent(), writeOf(3, 0) + writeOf(8, 0));
}

TEST_F(DialogueTest, AWriteFromAnEmptyListStartsNothing) {
    setList({});
    const TransferState before = state();
    ui().Option3[1]->setChecked(true);
    EXPECT_EQ(state().TransferPhase, before.TransferPhase);
    EXPECT_EQ(state().CurrentObject, before.CurrentObject);
    EXPECT_FALSE(state().WriteInProgress);
    EXPECT_TRUE(ui().Option3[2]->isChecked());
    EXPECT_EQ(dialogs.messages.size(), 1);
    writeObject(0);
    EXPECT_EQ(takeSent(), QByteArray());

    // Read keeps its own corrections: an empty list reads object 1 alone.
    ui().Option2[1]->setChecked(true);
    EXPECT_EQ(ui().Text1->text(), "1");
    EXPECT_EQ(ui().Text2->text(), "1");
    readObject(4);
    EXPECT_EQ(takeSent(), readOf(1));
}

TEST_F(DialogueTest, ListDrivenReadsFollowTheListOrder) {
    // Never sorted; a list running backwards is read at its first entry alone.
    const std::pair<QStringList, QByteArray> rows[] = {
        {{"9", "3", "12"}, readOf(9) + readOf(3) + readOf(12)}, {{"12", "3"}, readOf(12)}};
    for (const auto &[list, sent] : rows) {
        SCOPED_TRACE(list.join(',').toStdString());
        setList(list);
        ui().Option2[1]->setChecked(true);
        for (int i = 0; i < list.size(); ++i) readObject(1);
        EXPECT_EQ(takeSent(), sent);
        EXPECT_EQ(state().TransferPhase, 0);
    }
}

TEST_F(DialogueTest, RepliesArrivingWhileAMessageIsOpenWaitAndFollowInOrder) {
    startRead("10", "11");
    port->setWriteError("write refused");
    int readStepInside = -1;
    qsizetype waitingInside = -1;
    dialogs.whileMessageOpen = [&] {
        if (readStepInside >= 0) return;
        port->setWriteError({});
        reply({A, A, 33});  // the device goes on while the box is open
        readStepInside = state().ReadStep;
        waitingInside = form->MSComm1().pendingBytes();
    };
    reply({R, R});  // the read command fails: the box opens
    EXPECT_EQ(dialogs.messages, QStringList{"write refused"});
    EXPECT_EQ(readStepInside, 1);  // nothing ran inside the box
    EXPECT_EQ(waitingInside, 3);
    // Afterwards the held replies ran, in order; those the device had already followed
    // with more bytes were not answered: it has moved on.
    EXPECT_EQ(takeSent(), QByteArray());
    EXPECT_EQ(state().ReadStep, 2);
}

}  // namespace
}  // namespace orvel::test

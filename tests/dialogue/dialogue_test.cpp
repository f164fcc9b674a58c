// The dialogue through the real window: what its controls give the dialogue and what the
// dialogue does to them. The exchanges themselves are in engine_test.cpp.
#include "app/lampimage.h"
#include "dialogue/terminalbox.h"
#include "serial/mscomm.h"
#include "support/formfixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>

namespace orvel::test {
namespace {

constexpr int R = 172;  // ready
constexpr int A = 202;  // acknowledge

class DialogueTest : public FormTest {
protected:
    DialogueTest() { connectPort(); }
};

// read command, address high, address low
QByteArray readOf(int address) {
    return bytes({0x55, address / 256, address % 256});
}

// At the end Stop is selected in both pairs and their reactions run nested: the object
// becomes the last one, 4, though the fractional range ended at 3.5.
TEST_F(DialogueTest, AWriteThroughTheWindowEndsWithStopAndTheSettings) {
    ui().ch_1_0->setChecked(true);
    state().DeviceMemory[8176] = 7;
    for (int n = 1; n <= 15; ++n) state().DeviceMemory[size_t(8176 + n)] = quint8(n % 8);
    ui().Text3->setText("2.5");
    ui().Text4->setText("4");
    ui().Option3[1]->setChecked(true);
    for (int i = 0; i < 2; ++i) reply({R, R, A, A, A, A, R, R, A, A, 1});
    // write command, address high, low, value; then the read-back
    EXPECT_EQ(takeSent(), bytes({0xAA, 0, 2, 1}) + readOf(2) + bytes({0xAA, 0, 4, 1}) + readOf(4));
    EXPECT_EQ(terminal(), "1 - 2.5\r\n1 - 3.5\r\n");
    EXPECT_TRUE(ui().Option2[2]->isChecked());
    EXPECT_TRUE(ui().Option3[2]->isChecked());
    EXPECT_EQ(ui().Label5->text(), "4");
    EXPECT_EQ(ui().Combo2->currentText(), "NO");
    EXPECT_EQ(ui().Text_R[1]->text(), "1");
    EXPECT_EQ(ui().Text_R[15]->text(), "7");

    // A list-driven read; a delay the combo box lacks is reported and leaves it alone.
    state().DeviceMemory[8176] = 9;
    ui().List1->addItems({"5"});
    ui().Check4->setChecked(true);
    ui().Option2[1]->setChecked(true);
    reply({R, R, A, A, 3});
    EXPECT_EQ(takeSent(), readOf(5));
    EXPECT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(ui().Combo2->currentText(), "NO");

    // A first byte other than ready empties the terminal and opens the port again.
    emit ui().imgConnected->clicked();
    emit ui().imgNotConnected->clicked();
    reply({0x42});
    EXPECT_EQ(terminal(), "");
    EXPECT_EQ(port->openCount(), 3);
}

TEST_F(DialogueTest, RepliesArrivingWhileAMessageIsOpenWaitAndFollowInOrder) {
    ui().Text1->setText("10");
    ui().Text2->setText("11");
    ui().Option2[1]->setChecked(true);
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

// The range fields correct what they are given, in place and silently; the number rules
// themselves are in textrules_test.cpp.
#include "dialogue/terminalbox.h"
#include "support/formfixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

namespace orvel::test {
namespace {

// The fields are usable only while connected.
class EntryFieldsTest : public FormTest {
protected:
    void SetUp() override {
        showActive();
        connectPort();
    }
    // The operator selects everything in the field and deletes it.
    void emptyByTyping(QLineEdit *field) {
        QTest::mouseClick(field, Qt::LeftButton);
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(field, Qt::Key_Backspace);
        ASSERT_EQ(field->text(), "");
    }
};

std::string name(const QWidget *widget) { return widget->objectName().toStdString(); }

TEST_F(EntryFieldsTest, InputIsCorrectedInPlace) {
    struct Row {
        QString before;
        int caret;     // where the operator put the caret; -1: at the end
        QString keys;  // "\b" is Backspace
        QString after;
        int caretAfter;
    };
    const Row rows[] = {
        {"", -1, "0", "1", 1},       {"", -1, "8175", "8175", 4}, {"", -1, "8176", "1", 1},
        {"817", 0, "9", "1", 1},     {"12", -1, "a", "", 0},      {"", -1, "1E3", "3", 1},
        {"12", 1, "3", "132", 3},    {"", -1, "1.5", "1.5", 3},   {"7", -1, "\b", "", 0},
        {"", -1, "12345", "1234", 4}, {"1234", 2, "5", "1234", 2},  // a fifth character is refused
        {"1234.5", -1, "6", "1234.5", 6},  // nothing is added to a longer text set in code
    };
    for (QLineEdit *field : {ui().Text1, ui().Text2, ui().Text3, ui().Text4}) {
        for (const Row &row : rows) {
            SCOPED_TRACE(name(field) + ": " + row.keys.toStdString() + " into " +
                         row.before.toStdString());
            field->setText(row.before);
            field->setFocus();
            field->setCursorPosition(row.caret < 0 ? int(row.before.size()) : row.caret);
            if (row.keys == "\b") QTest::keyClick(field, Qt::Key_Backspace);
            else QTest::keyClicks(field, row.keys);
            EXPECT_EQ(field->text(), row.after);
            EXPECT_EQ(field->cursorPosition(), row.caretAfter);
        }
    }
    // A text set by the program goes through the same corrections, whatever its length.
    const std::pair<QString, QString> set[] = {
        {" 12 ", " 12 "}, {"1E3", "1E3"}, {"0.5", "1"}, {"8175.5", "1"}, {"12a", ""}};
    for (const auto &[text, after] : set) {
        ui().Text1->setText(text);
        EXPECT_EQ(ui().Text1->text(), after) << text.toStdString();
    }
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

// A paste is cut to the room left, as in a field of four characters at most; the selected
// text counts as room. A longer text the program put there is not cut, nor added to.
TEST_F(EntryFieldsTest, PastesAndTypingOverASelectionAreCutToTheRoomLeft) {
    struct Row {
        QString before;
        int start, selected;  // the caret, or the selection from `start`
        QString pasted;       // empty: `typed` is typed instead
        QString typed;
        QString after;
    };
    const Row rows[] = {
        {"", 0, 0, "12345", "", "1234"},
        {"", 0, 0, QString(10000, u'7'), "", "7777"},
        {"12", 2, 0, "3456", "", "1234"},
        {"12", 1, 0, "999", "", "1992"},
        {"1234", 0, 4, "56789", "", "5678"},
        {"1234.5", 6, 0, "7", "", "1234.5"},
        {"1234.5", 5, 1, "67", "", "1234.6"},
        {"1234.5", 5, 1, "", "7", "1234.7"},
        {"1234.5", 0, 6, "", "89", "89"},
    };
    QLineEdit *field = ui().Text1;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.before.toStdString() + " + " + row.pasted.left(8).toStdString() +
                     row.typed.toStdString());
        field->setText(row.before);
        ASSERT_EQ(field->text(), row.before);
        field->setFocus();
        if (row.selected > 0) field->setSelection(row.start, row.selected);
        else field->setCursorPosition(row.start);
        if (row.pasted.isEmpty()) {
            QTest::keyClicks(field, row.typed);
        } else {
            QGuiApplication::clipboard()->setText(row.pasted);
            QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
        }
        EXPECT_EQ(field->text(), row.after);
    }
}

TEST_F(EntryFieldsTest, FirstObjectSwitchesTheEndFieldOffAndOn) {
    for (auto [check, endField] : {std::pair{ui().Check2, ui().Text2}, {ui().Check3, ui().Text4}}) {
        SCOPED_TRACE(name(check));
        endField->setText(QStringLiteral("77"));
        QTest::mouseClick(check, Qt::LeftButton);
        EXPECT_EQ(endField->text(), "");
        EXPECT_FALSE(endField->isEnabled());
        // A disabled end field takes no focus, so it is not filled behind the operator's back.
        QTest::mouseClick(endField, Qt::LeftButton);
        EXPECT_EQ(endField->text(), "");
        QTest::mouseClick(check, Qt::LeftButton);
        EXPECT_EQ(endField->text(), "1");  // not the 77 from before
        EXPECT_TRUE(endField->isEnabled());
    }
    // The repeat box tells its value.
    QTest::mouseClick(ui().ch_1_0, Qt::LeftButton);
    EXPECT_EQ(ui().ch_1_0->text(), " 1 - Repeat");
    QTest::mouseClick(ui().ch_1_0, Qt::LeftButton);
    EXPECT_EQ(ui().ch_1_0->text(), " 0 - Disable");
}

TEST_F(EntryFieldsTest, LeavingAnEmptyFieldPutsOneIntoIt) {
    // The Write option: validated before the write starts, or an empty start refuses it.
    const std::pair<QWidget *, QWidget *> targetAndClicked[] = {
        {ui().Check3, ui().Check3}, {ui().Text4, ui().Text4}, {ui().Option3[1], ui().Option3[1]},
        {ui().txtTerm, ui().txtTerm->viewport()}};
    for (const auto &[target, clicked] : targetAndClicked) {
        SCOPED_TRACE(name(target));
        emptyByTyping(ui().Text3);
        QTest::mouseClick(clicked, Qt::LeftButton);
        EXPECT_EQ(ui().Text3->text(), "1");
        EXPECT_EQ(QApplication::focusWidget(), target);
        if (ui().Option3[1]->isChecked()) {
            EXPECT_EQ(state().TransferPhase, 2);
            EXPECT_EQ(state().CurrentObject, 1);
            ui().Option3[2]->setChecked(true);
        }
        if (ui().Check3->isChecked()) QTest::mouseClick(ui().Check3, Qt::LeftButton);
    }
    // So is Read's start, before Read takes it: with First Object ticked, Read would take
    // an empty start as object 0.
    QTest::mouseClick(ui().Check2, Qt::LeftButton);
    emptyByTyping(ui().Text1);
    QTest::mouseClick(ui().Option2[1], Qt::LeftButton);
    EXPECT_EQ(ui().Text1->text(), "1");
    EXPECT_EQ(state().CurrentObject, 1);
    EXPECT_EQ(ui().Label5->text(), "1");
    // Going to another window is not leaving for another control of this one.
    emptyByTyping(ui().Text3);
    QWidget other;
    other.show();
    QApplication::setActiveWindow(&other);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    EXPECT_EQ(ui().Text3->text(), "");
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

}  // namespace
}  // namespace orvel::test

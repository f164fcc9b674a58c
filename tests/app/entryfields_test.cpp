// The range fields correct what they are given, in place and silently; the number rules
// themselves are in textrules_test.cpp.
#include "dialogue/terminalbox.h"
#include "support/formfixture.h"

#include <QApplication>
#include <QCheckBox>
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

#include "support/formfixture.h"

#include <QtTest>
#include <QtWidgets>

namespace orvel::test {
namespace {

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
    }
};

// Typed or pasted ("^V" and the clipboard's text) at a caret (-1: the end), or over a
// selection: the text and the caret after (-1: not looked at), silently. A paste is cut to
// the room left, the selection counting as room; a longer text set by the program is kept.
TEST_F(EntryFieldsTest, InputIsCorrectedInPlace) {
    const std::tuple<QString, int, int, QString, QString, int> rows[] = {
        {"", -1, 0, "0", "1", 1},           {"", -1, 0, "8175", "8175", 4},
        {"", -1, 0, "8176", "1", 1},        {"817", 0, 0, "9", "1", 1},
        {"12", -1, 0, "a", "", 0},          {"", -1, 0, "1E3", "3", 1},
        {"12", 1, 0, "3", "132", 3},        {"", -1, 0, "1.5", "1.5", 3},
        {"7", -1, 0, "\b", "", 0},          {"", -1, 0, "12345", "1234", 4},
        {"1234", 2, 0, "5", "1234", 2},     {"1234.5", -1, 0, "6", "1234.5", 6},
        {"1234.5", 5, 1, "7", "1234.7", -1}, {"1234.5", 0, 6, "89", "89", -1},
        {"12", 1, 0, "^V999", "1992", -1},  {"", -1, 0, "^V" + QString(10000, u'7'), "7777", -1},
        {"1234", 0, 4, "^V56789", "5678", -1}, {"1234.5", -1, 0, "^V7", "1234.5", -1},
        {"1234.5", 5, 1, "^V67", "1234.6", -1},
    };
    for (QLineEdit *field : {ui().Text1, ui().Text2, ui().Text3, ui().Text4}) {
        for (const auto &[before, caret, selected, keys, after, caretAfter] : rows) {
            SCOPED_TRACE(
                (field->objectName() + ": " + keys.left(8) + " into " + before).toStdString());
            field->setText(before);
            field->setFocus();
            field->setSelection(caret < 0 ? int(before.size()) : caret, selected);
            if (keys.startsWith("^V")) {
                QGuiApplication::clipboard()->setText(keys.mid(2));
                QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
            } else {
                QTest::keyClicks(field, keys);
            }
            EXPECT_EQ(field->text(), after);
            if (caretAfter >= 0) EXPECT_EQ(field->cursorPosition(), caretAfter);
        }
    }
    // A text set by the program is corrected too, whatever its length.
    const std::pair<QString, QString> set[] = {
        {" 12 ", " 12 "}, {"1E3", "1E3"}, {"0.5", "1"}, {"8175.5", "1"}, {"12a", ""}};
    for (const auto &[text, after] : set) {
        ui().Text1->setText(text);
        EXPECT_EQ(ui().Text1->text(), after) << text.toStdString();
    }
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

// The end field is off while First Object is ticked, and "1" (not what it held) after.
TEST_F(EntryFieldsTest, FirstObjectSwitchesTheEndFieldOffAndOn) {
    for (auto [check, endField] : {std::pair{ui().Check2, ui().Text2}, {ui().Check3, ui().Text4}}) {
        endField->setText(QStringLiteral("77"));
        for (const QString after : {"", "1"}) {
            QTest::mouseClick(check, Qt::LeftButton);
            EXPECT_EQ(endField->text(), after) << check->objectName().toStdString();
            EXPECT_EQ(endField->isEnabled(), !after.isEmpty());
        }
    }
    for (const QString caption : {" 1 - Repeat", " 0 - Disable"}) {
        QTest::mouseClick(ui().ch_1_0, Qt::LeftButton);
        EXPECT_EQ(ui().ch_1_0->text(), caption);
    }
}

TEST_F(EntryFieldsTest, LeavingAnEmptyFieldPutsOneIntoIt) {
    const std::pair<QWidget *, QWidget *> nextAndClicked[] = {{ui().Text4, ui().Text4},
        {ui().txtTerm, ui().txtTerm->viewport()}, {ui().Option3[1], ui().Option3[1]}};
    for (const auto &[next, clicked] : nextAndClicked) {
        emptyByTyping(ui().Text3);
        QTest::mouseClick(clicked, Qt::LeftButton);
        EXPECT_EQ(ui().Text3->text(), "1");
        EXPECT_EQ(QApplication::focusWidget(), next);
    }
    EXPECT_EQ(state().TransferPhase, 2);
    EXPECT_EQ(state().CurrentObject, 1);
    ui().Option3[2]->setChecked(true);
    // Read's start too, before Read would take it as object 0 (First Object ticked).
    QTest::mouseClick(ui().Check2, Qt::LeftButton);
    emptyByTyping(ui().Text1);
    QTest::mouseClick(ui().Option2[1], Qt::LeftButton);
    EXPECT_EQ(ui().Text1->text(), "1");
    EXPECT_EQ(ui().Label5->text(), "1");
    // Going to another window is not leaving for another control of this one.
    emptyByTyping(ui().Text3);
    QWidget other;
    other.show();
    QApplication::setActiveWindow(&other);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    EXPECT_EQ(ui().Text3->text(), "");
}

}  // namespace
}  // namespace orvel::test

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>
#include <QTestEventList>
#include <locale>
#include <sstream>
#include <vector>

#include "dialogue/terminalbox.h"
#include "support/formfixture.h"

namespace orvel::test {
namespace {

// The fields are usable only while connected: the frames are disabled before.
class EntryFieldsTest : public FormTest {
protected:
    void SetUp() override {
        showActive();
        connectPort();
        ASSERT_TRUE(ui().Frame2->isEnabled());
        ASSERT_TRUE(ui().Frame3->isEnabled());
    }

    std::vector<QLineEdit *> fields() { return {ui().Text1, ui().Text2, ui().Text3, ui().Text4}; }

    // The operator selects everything in the field and deletes it.
    void emptyByTyping(QLineEdit *field) {
        QTest::mouseClick(field, Qt::LeftButton);
        ASSERT_TRUE(field->hasFocus());
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(field, Qt::Key_Backspace);
        ASSERT_EQ(field->text(), "");
    }
};

std::string name(const QWidget *widget) {
    return widget->objectName().toStdString();
}

// Written apart from the program's own rules: empty, or one decimal number from 1 to 8175
// with blanks at either end.
bool holdsNothingOrAnObject(const QString &text) {
    if (text.isEmpty()) return true;
    static const QRegularExpression number(
        QStringLiteral(R"(^[ \t]*([+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?)[ \t]*$)"));
    const QRegularExpressionMatch match = number.match(text);
    if (!match.hasMatch()) return false;
    std::istringstream in(match.captured(1).toStdString());
    in.imbue(std::locale::classic());
    double value = 0;
    in >> value;
    return !in.fail() && value >= 1 && value <= 8175;
}

TEST_F(EntryFieldsTest, TypedInputIsCorrectedInPlace) {
    struct Row {
        const char *name;
        QString before;
        int caret;  // where the operator put the caret; -1: at the end
        QTestEventList keys;
        QString after;
        int caretAfter;  // -1: not checked
    };
    auto keys = [](const QString &typed) {
        QTestEventList events;
        events.addKeyClicks(typed);
        return events;
    };
    QTestEventList backspace;
    backspace.addKeyClick(Qt::Key_Backspace);
    const std::vector<Row> rows = {
        {"0 into an empty field", "", -1, keys("0"), "1", 1},
        {"8175 is the last object", "", -1, keys("8175"), "8175", 4},
        {"8176 is past it", "", -1, keys("8176"), "1", 1},
        {"9000", "", -1, keys("9000"), "1", 1},
        {"a letter after 12 drops the digits too", "12", -1, keys("a"), "", 0},
        {"a lone minus is no number", "", -1, keys("-"), "", 0},
        {"1E3 typed is lost at 1E", "", -1, keys("1E3"), "3", 1},
        {"a decimal point is kept", "", -1, keys("1.5"), "1.5", 3},
        {"a lone point is no number", "", -1, keys(".5"), "5", 1},
        {"3 between the digits of 12", "12", 1, keys("3"), "132", 3},
        {"a digit in front that goes past 8175", "817", 0, keys("9"), "1", 1},
        {"a fifth character is refused", "", -1, keys("12345"), "1234", 4},
        {"a fifth character in the middle is refused", "1234", 2, keys("5"), "1234", 2},
        {"deleting the last digit leaves the field empty", "7", -1, backspace, "", 0},
        {"deleting a digit", "123", -1, backspace, "12", 2},
    };
    for (QLineEdit *field : fields()) {
        for (const Row &row : rows) {
            SCOPED_TRACE(name(field) + ": " + row.name);
            field->setText(row.before);
            ASSERT_EQ(field->text(), row.before);
            field->setFocus();
            ASSERT_TRUE(field->hasFocus());
            field->setCursorPosition(row.caret < 0 ? int(row.before.size()) : row.caret);
            QTestEventList events = row.keys;
            events.simulate(field);
            EXPECT_EQ(field->text(), row.after);
            if (row.caretAfter >= 0) EXPECT_EQ(field->cursorPosition(), row.caretAfter);
            EXPECT_FALSE(field->hasSelectedText());
        }
    }
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(EntryFieldsTest, WholeTextsSetOrPastedAreCorrected) {
    struct Row {
        QString text;
        QString after;
    };
    const std::vector<Row> rows = {
        {"1.5", "1.5"}, {"1E3", "1E3"},  {" 12 ", " 12 "}, {"+7", "+7"},  {"8175", "8175"},
        {"-5", "1"},    {"0", "1"},      {"0.5", "1"},     {"8176", "1"}, {"8175.5", "1"},
        {"1e4", "1"},   {"1E-400", "1"}, {"12a", ""},      {"1E", ""},    {"-", ""},
        {"1 2", ""},    {"", ""},
    };
    QTest::mouseClick(ui().Text1, Qt::LeftButton);
    for (const Row &row : rows) {
        SCOPED_TRACE(row.text.toStdString());
        // Set by the program.
        ui().Text1->setText(row.text);
        EXPECT_EQ(ui().Text1->text(), row.after);
        EXPECT_EQ(ui().Text1->cursorPosition(), row.after.size());

        // Pasted by the operator over the whole field, if the paste fits in four characters.
        if (row.text.size() > 4) continue;
        ui().Text1->setText(QStringLiteral("77"));
        QApplication::clipboard()->setText(row.text);
        ASSERT_EQ(QApplication::clipboard()->text(), row.text);
        QTest::keyClick(ui().Text1, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(ui().Text1, Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(ui().Text1->text(), row.after);
    }

    // insert() goes the operator's way, through the four-character limit.
    ui().Text2->selectAll();
    ui().Text2->insert(QStringLiteral("-5"));
    EXPECT_EQ(ui().Text2->text(), "1");
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(EntryFieldsTest, FirstObjectSwitchesTheEndFieldOffAndOn) {
    struct Row {
        QCheckBox *check;
        QLineEdit *endField;
    };
    for (const Row &row : {Row{ui().Check2, ui().Text2}, Row{ui().Check3, ui().Text4}}) {
        SCOPED_TRACE(name(row.check));
        row.endField->setText(QStringLiteral("77"));
        QTest::mouseClick(row.check, Qt::LeftButton);
        ASSERT_TRUE(row.check->isChecked());
        EXPECT_EQ(row.endField->text(), "");
        EXPECT_FALSE(row.endField->isEnabled());

        // A disabled end field takes no focus, so it is not filled behind the operator's back.
        QTest::mouseClick(row.endField, Qt::LeftButton);
        EXPECT_FALSE(row.endField->hasFocus());
        EXPECT_EQ(row.endField->text(), "");

        QTest::mouseClick(row.check, Qt::LeftButton);
        ASSERT_FALSE(row.check->isChecked());
        EXPECT_EQ(row.endField->text(), "1");  // not the 77 from before
        EXPECT_TRUE(row.endField->isEnabled());
    }
}

TEST_F(EntryFieldsTest, RepeatCaptionFollowsTheTick) {
    QTest::mouseClick(ui().ch_1_0, Qt::LeftButton);
    EXPECT_TRUE(ui().ch_1_0->isChecked());
    EXPECT_EQ(ui().ch_1_0->text(), " 1 - Repeat");
    QTest::mouseClick(ui().ch_1_0, Qt::LeftButton);
    EXPECT_FALSE(ui().ch_1_0->isChecked());
    EXPECT_EQ(ui().ch_1_0->text(), " 0 - Disable");
    ui().ch_1_0->setChecked(true);  // by the program: the same reaction
    EXPECT_EQ(ui().ch_1_0->text(), " 1 - Repeat");
}

TEST_F(EntryFieldsTest, LeavingAnEmptyFieldPutsOneIntoIt) {
    struct Row {
        const char *name;
        QWidget *target;   // the control that should get the focus
        QWidget *clicked;  // where the mouse lands on it
    };
    const std::vector<Row> rows = {
        {"a check box", ui().Check3, ui().Check3},
        {"another field", ui().Text4, ui().Text4},
        // Validated before the write starts: an empty start would refuse the write.
        {"the Write option", ui().Option3[1], ui().Option3[1]},
        {"the terminal", ui().txtTerm, ui().txtTerm->viewport()},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        emptyByTyping(ui().Text3);
        QTest::mouseClick(row.clicked, Qt::LeftButton);
        EXPECT_EQ(ui().Text3->text(), "1");
        EXPECT_EQ(ui().Text3->cursorPosition(), 1);
        EXPECT_EQ(QApplication::focusWidget(), row.target);
        if (ui().Option3[1]->isChecked()) {
            EXPECT_EQ(state().TransferPhase, 2);
            EXPECT_EQ(state().CurrentObject, 1);
            ui().Option3[2]->setChecked(true);
        }
        if (ui().Check3->isChecked()) QTest::mouseClick(ui().Check3, Qt::LeftButton);
    }

    // Going to another window is not leaving for another control of this one.
    emptyByTyping(ui().Text3);
    QWidget other;
    other.show();
    QApplication::setActiveWindow(&other);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    EXPECT_EQ(ui().Text3->text(), "");
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(EntryFieldsTest, ReadStartsAfterTheEmptyStartFieldIsFilled) {
    for (bool firstObject : {false, true}) {
        SCOPED_TRACE(firstObject ? "first object only" : "a range");
        if (ui().Option2[2]->isChecked() == false) ui().Option2[2]->setChecked(true);
        if (ui().Check2->isChecked() != firstObject) QTest::mouseClick(ui().Check2, Qt::LeftButton);
        ASSERT_EQ(ui().Check2->isChecked(), firstObject);
        state().CurrentObject = 42;
        ui().Label5->setText(QStringLiteral("Object"));

        emptyByTyping(ui().Text1);
        bool readAlreadyChosen = true;
        const auto watch = QObject::connect(ui().Text1, &QLineEdit::textChanged, [&] {
            readAlreadyChosen = ui().Option2[1]->isChecked();
        });
        QTest::mouseClick(ui().Option2[1], Qt::LeftButton);
        QObject::disconnect(watch);

        ASSERT_TRUE(ui().Option2[1]->isChecked());
        EXPECT_FALSE(readAlreadyChosen);
        EXPECT_EQ(ui().Text1->text(), "1");
        EXPECT_EQ(state().CurrentObject, 1);
        EXPECT_EQ(state().TransferPhase, 1);
        EXPECT_EQ(ui().Label5->text(), "1");
        EXPECT_EQ(QApplication::focusWidget(), ui().Option2[1]);
    }
}

TEST_F(EntryFieldsTest, NoInputLeavesAFieldOutOfRange) {
    const QString typable = QStringLiteral("0123456789+-.eE aX,");
    const QString anyChar = typable + QStringLiteral("\t\n");
    QRandomGenerator random(20240611);  // fixed, so a failure can be replayed
    auto randomText = [&](const QString &alphabet, int longest) {
        QString text;
        const int length = random.bounded(longest + 1);
        for (int i = 0; i < length; ++i) text += alphabet.at(random.bounded(int(alphabet.size())));
        return text;
    };
    // Besides characters the operator moves the caret, deletes, undoes, redoes and pastes.
    struct Key {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        const char *name;
    };
    const Key keys[] = {
        {Qt::Key_Backspace, Qt::NoModifier, "<bs>"},
        {Qt::Key_Delete, Qt::NoModifier, "<del>"},
        {Qt::Key_Left, Qt::NoModifier, "<left>"},
        {Qt::Key_Home, Qt::NoModifier, "<home>"},
        {Qt::Key_End, Qt::NoModifier, "<end>"},
        {Qt::Key_Left, Qt::ShiftModifier, "<shift-left>"},
        {Qt::Key_Z, Qt::ControlModifier, "<undo>"},
        {Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier, "<redo>"},
        {Qt::Key_V, Qt::ControlModifier, "<paste>"},
    };
    for (int round = 0; round < 300; ++round) {
        QLineEdit *field = fields()[size_t(round % 4)];
        const QString set = randomText(anyChar, 8);
        field->setText(set);
        ASSERT_TRUE(holdsNothingOrAnObject(field->text()))
            << name(field) << " set to '" << set.toStdString() << "' holds '"
            << field->text().toStdString() << "'";

        field->setFocus();
        std::string typed;
        const int strokes = random.bounded(1, 9);
        for (int i = 0; i < strokes; ++i) {
            const qsizetype lengthBefore = field->text().size();
            if (random.bounded(3) == 0) {
                const Key &key = keys[random.bounded(int(std::size(keys)))];
                if (key.key == Qt::Key_V)
                    QApplication::clipboard()->setText(randomText(anyChar, 5));
                QTest::keyClick(field, key.key, key.modifiers);
                typed += key.name;
            } else {
                const char c = typable.at(random.bounded(int(typable.size()))).toLatin1();
                QTest::keyClick(field, c);
                typed += c;
            }
            ASSERT_TRUE(holdsNothingOrAnObject(field->text()))
                << name(field) << " after '" << set.toStdString() << "' and " << typed << " holds '"
                << field->text().toStdString() << "'";
            if (lengthBefore <= 4) ASSERT_LE(field->text().size(), 4) << typed;
        }
    }
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_TRUE(dialogs.icons.isEmpty());
}

}  // namespace
}  // namespace orvel::test

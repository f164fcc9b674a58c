// Read and Write: how a click turns the fields (or the list) into a range.
#include "numbers/textrules.h"
#include "dialogue/terminalbox.h"
#include "support/formfixture.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>

namespace orvel::test {
namespace {

class TransferControlsTest : public FormTest {
protected:
    TransferControlsTest() { connectPort(); }
};

// Read corrects the range (an empty or out-of-range start becomes 1); Write takes it as
// it is, so the rows for Read alone are those Write refuses.
TEST_F(TransferControlsTest, AClickTurnsTheFieldsIntoARange) {
    struct Row {
        const char *what;
        bool readOnly;
        QString start, end;
        bool firstObject;
        std::optional<QStringList> list;  // Check4 ticked with these entries
        double current, last;
        QString startAfter, endAfter;
    };
    const Row rows[] = {
        {"end below start", false, "20", "10", false, {}, 20, 20, "20", "20"},
        {"plain range", false, "30", "40", false, {}, 30, 40, "30", "40"},
        {"first object only", false, "7", "9", true, {}, 7, 7, "7", ""},
        {"fraction kept", false, "2.5", "4", false, {}, 2.5, 4, "2.5", "4"},
        {"list 12 3", false, "1", "1", false, QStringList{"12", "3"}, 12, 12, "12", "12"},
        {"list 3 8 12", true, "1", "1", false, QStringList{"3", "8", "12"}, 3, 12, "3", "12"},
        {"empty start", true, "", "5", false, {}, 1, 5, "1", "5"},
        {"empty list", true, "9", "9", false, QStringList{}, 1, 1, "1", "1"},
        {"empty list, first object", true, "9", "9", true, QStringList{}, 0, 0, "", ""},
    };
    // Writes first: a Read started after a Write must not go on writing (the objects of a
    // read range are for reading only).
    for (const bool write : {true, false}) {
        QLineEdit *start = write ? ui().Text3 : ui().Text1;
        QLineEdit *end = write ? ui().Text4 : ui().Text2;
        QCheckBox *firstObject = write ? ui().Check3 : ui().Check2;
        auto &options = write ? ui().Option3 : ui().Option2;
        for (const Row &row : rows) {
            if (write && row.readOnly) continue;
            SCOPED_TRACE(std::string(write ? "write: " : "read: ") + row.what);
            options[2]->setChecked(true);
            ui().Check4->setChecked(false);
            firstObject->setChecked(false);
            start->setText(row.start);
            end->setText(row.end);
            firstObject->setChecked(row.firstObject);
            if (row.list) {
                ui().List1->clear();
                ui().List1->addItems(*row.list);
                ui().Check4->setChecked(true);
            }
            options[1]->setChecked(true);
            EXPECT_EQ(state().CurrentObject, row.current);
            EXPECT_EQ(state().LastObject, row.last);
            EXPECT_EQ(start->text(), row.startAfter);
            EXPECT_EQ(end->text(), row.endAfter);
            EXPECT_EQ(state().ListPosition, 0);
            EXPECT_EQ(ui().Label5->text(), numberText(row.current));
            EXPECT_EQ(state().TransferPhase, write ? 2 : 1);
            EXPECT_EQ(state().WriteInProgress, write);
        }
    }
}

TEST_F(TransferControlsTest, StopMakesTheLastObjectCurrentAndLeavesThePhase) {
    ui().Text3->setText("5");
    ui().Text4->setText("50");
    ui().Option3[1]->setChecked(true);
    ui().Option3[2]->setChecked(true);
    EXPECT_EQ(state().CurrentObject, 50);
    EXPECT_EQ(ui().Label5->text(), "50");
    EXPECT_EQ(state().TransferPhase, 2);
    EXPECT_TRUE(state().WriteInProgress);
}

TEST_F(TransferControlsTest, ClearEmptiesTheTerminalOnStartNotOnStop) {
    ui().txtTerm->appendReply(u"old");
    ui().chClear->setChecked(true);
    ui().Option2[1]->setChecked(true);
    EXPECT_EQ(terminal(), "");
    ui().txtTerm->appendReply(u"new");
    ui().Option2[2]->setChecked(true);
    EXPECT_EQ(terminal(), "new");
}

}  // namespace
}  // namespace orvel::test

// Read and Write: how a click turns the fields (or the list) into a range.
#include "app/textrules.h"
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

struct RangeRow {
    const char *what;
    QString start, end;
    bool firstObject;
    std::optional<QStringList> list;  // Check4 ticked with these entries
    double current, last;
    QString startAfter, endAfter;
};

// The controls of one frame: " Read " or " Write ".
struct Frame {
    QLineEdit *start, *end;
    QCheckBox *firstObject;
    QRadioButton *go, *stop;
};

class RangeTest : public TransferControlsTest {
protected:
    // Sets the frame up as the row says, clicks its start option, checks the range.
    void check(const Frame &frame, const RangeRow &row) {
        SCOPED_TRACE(row.what);
        frame.stop->setChecked(true);
        ui().Check4->setChecked(false);
        frame.firstObject->setChecked(false);
        frame.start->setText(row.start);
        frame.end->setText(row.end);
        frame.firstObject->setChecked(row.firstObject);
        if (row.list) {
            ui().List1->clear();
            ui().List1->addItems(*row.list);
            ui().Check4->setChecked(true);
        }
        frame.go->setChecked(true);
        EXPECT_EQ(state().CurrentObject, row.current);
        EXPECT_EQ(state().LastObject, row.last);
        EXPECT_EQ(frame.start->text(), row.startAfter);
        EXPECT_EQ(frame.end->text(), row.endAfter);
        EXPECT_EQ(state().ListPosition, 0);
        EXPECT_EQ(ui().Label5->text(), numberText(row.current));
    }
};

TEST_F(RangeTest, ReadCorrectsTheRange) {
    const RangeRow rows[] = {
        {"end below start", "20", "10", false, {}, 20, 20, "20", "20"},
        {"plain range", "30", "40", false, {}, 30, 40, "30", "40"},
        {"first object only", "7", "9", true, {}, 7, 7, "7", ""},
        {"fraction kept", "2.5", "4", false, {}, 2.5, 4, "2.5", "4"},
        {"empty start", "", "5", false, {}, 1, 5, "1", "5"},
        {"empty list", "9", "9", false, QStringList{}, 1, 1, "1", "1"},
        {"empty list, first object", "9", "9", true, QStringList{}, 0, 0, "", ""},
        {"list 3 8 12", "1", "1", false, QStringList{"3", "8", "12"}, 3, 12, "3", "12"},
        {"list 12 3", "1", "1", false, QStringList{"12", "3"}, 12, 12, "12", "12"},
    };
    const Frame read{ui().Text1, ui().Text2, ui().Check2, ui().Option2[1], ui().Option2[2]};
    for (const RangeRow &row : rows) {
        check(read, row);
        EXPECT_EQ(state().TransferPhase, 1);
    }
}

TEST_F(RangeTest, WriteTakesTheRangeWithoutRangeTests) {
    const RangeRow rows[] = {
        {"end below start", "20", "10", false, {}, 20, 20, "20", "20"},
        {"plain range", "30", "40", false, {}, 30, 40, "30", "40"},
        {"first object only", "7", "9", true, {}, 7, 7, "7", ""},
        {"fraction kept", "2.5", "4", false, {}, 2.5, 4, "2.5", "4"},
        {"list 12 3", "1", "1", false, QStringList{"12", "3"}, 12, 12, "12", "12"},
    };
    const Frame write{ui().Text3, ui().Text4, ui().Check3, ui().Option3[1], ui().Option3[2]};
    for (const RangeRow &row : rows) {
        check(write, row);
        EXPECT_TRUE(state().WriteInProgress);
        EXPECT_EQ(state().TransferPhase, 2);
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

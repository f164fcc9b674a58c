#include "app/lampimage.h"
#include "app/statusline.h"
#include "journal/journaldirectory.h"
#include "ports/portassignments.h"
#include "support/formfixture.h"

#include <QtTest>
#include <QtWidgets>

namespace orvel::test {
namespace {

using WindowTest = FormTest;

// Whatever port the serial control was stored with; a port without an option (7) selects
// the first. "Only Data" is ticked and, with the repeater section, unseen.
TEST_F(WindowTest, StartsDisconnectedAndIdleWithTheSectionHidden) {
    for (const qint16 commPort : {2, 7}) {
        FrmTerminal other(std::make_unique<MemorySerial>(), commPort, &dialogs);
        for (int i = 1; i <= 4; ++i)
            EXPECT_EQ(other.ui().Option1[i]->isChecked(), i == (commPort == 7 ? 1 : commPort));
    }
    FrmTerminalUi &u = ui();
    EXPECT_EQ(snapshot(*form), "1|1|0|0|0|0|0|0|1|1|1|1|0| 0 - Disable|0|0|Object");
    EXPECT_FALSE(u.Frame2->isEnabled() || u.Frame3->isEnabled());
    EXPECT_TRUE(u.Option1[1]->isEnabled() && u.Option1[4]->isEnabled());
    EXPECT_EQ(frontIndex({u.imgConnected, u.imgNotConnected}), 1);
    EXPECT_EQ(frontIndex({u.Image1[0], u.Image1[1], u.Image1[2], u.Image1[3]}), 3);
    EXPECT_TRUE(u.Check1->isChecked());
    for (QWidget *widget : QList<QWidget *>{u.Check1, u.Frame4, u.Label6, u.Combo1, u.Label7,
                                            u.Text5, u.Label8, u.Combo2, u.Command2, u.Command3})
        EXPECT_FALSE(widget->isVisibleTo(form.get())) << widget->objectName().toStdString();
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

// A lost port keeps to the window's width (the whole text in the tooltip), is no longer
// called connected, and its words go once the operator disconnects and connects again.
TEST_F(WindowTest, ALostPortShowsAsLostWithoutWideningTheWindow) {
    form->show();
    const int width = form->width();
    connectPort();
    const QString lost = "COM 1 is lost: the adapter was unplugged. " + QString(200, u'x');
    emit form->MSComm1().backend()->portLost(lost);
    QApplication::processEvents();
    const StatusLine &status = form->statusLine();
    EXPECT_EQ(form->width(), width);
    EXPECT_EQ(status.portText() + status.transferText(), form->portLabel() + ", lost" + lost);
    EXPECT_EQ(status.findChildren<QLabel *>().constLast()->toolTip(), lost);
    emit ui().imgConnected->clicked();
    connectPort();
    EXPECT_EQ(status.portText() + status.transferText(), form->portLabel() + ", connected");
}

// A note (a table saved) gives way to the progress after its time; the end replaces it at once.
TEST(StatusLineAlone, ANoteGivesWayToTheProgressAndTheEnd) {
    StatusLine status(nullptr, std::chrono::milliseconds(30));
    status.startTransfer("Read", 3);
    status.showNote("saved");
    status.objectDone(2);
    EXPECT_EQ(status.transferText(), "saved");
    EXPECT_TRUE(runUntil([&] { return status.transferText().contains("object 2, 1 of 3"); }, 2000));
    status.showNote("saved");
    status.endTransfer();
    EXPECT_TRUE(status.transferText().startsWith("Read: 1 objects in "));
}

// Where nothing opens folders a box names the journal's; About names the version and where
// the journal and the settings are; both carry the program's name.
TEST_F(WindowTest, JournalFolderAndAboutNameTheirPlaces) {
    const QString journal = defaultJournalDirectory();
    const std::pair<QString, QStringList> rows[] = {
        {"Open &journal folder", {"xdg-open", "\n\n" + journal}},
        {"&About", {"programator " ORVEL_VERSION "\n", journal, PortAssignments::settingsFile()}}};
    for (int row = 0; row < 2; ++row) {
        SCOPED_TRACE(rows[row].first.toStdString());
        for (QAction *item : form->findChildren<QAction *>())
            if (item->text() == rows[row].first) item->trigger();
        EXPECT_TRUE(dialogs.titles.value(row).endsWith("Orvel programator"));
        for (const QString &word : rows[row].second)
            EXPECT_TRUE(dialogs.messages.value(row).contains(word)) << word.toStdString();
    }
}

// Qt's own file dialog as "Objects num." opens it: both types offered, "All Files (*.*)"
// lists files without a dot too, a missing name typed is taken (its opening fails later).
TEST(FileDialog, AllFilesListsEveryFileAndATypedNameIsTaken) {
    QTemporaryDir dir;
    QStringList types, objekts, all, boxes;
    bool typed = false;
    QTimer hand;
    QObject::connect(&hand, &QTimer::timeout, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            boxes.append(box->text());
            box->reject();
        } else if (dialog && std::exchange(typed, true)) {
            dialog->reject();  // still open: the name was refused
        } else if (dialog) {  // after this slot: a box the dialog opens is closed here
            QTimer::singleShot(0, dialog, [&, dialog] {
                auto *combo = dialog->findChild<QComboBox *>("fileTypeCombo");
                for (int i = 0; i < combo->count(); ++i) types.append(combo->itemText(i));
                objekts = dialog->findChild<QFileSystemModel *>()->nameFilters();
                QTest::keyClick(combo, Qt::Key_Up);  // the operator picks "All Files"
                all = dialog->findChild<QFileSystemModel *>()->nameFilters();
                dialog->setDirectory(dir.path());
                QTest::keyClicks(dialog->findChild<QLineEdit *>("fileNameEdit"), "missing.onf\r");
            });
        }
    });
    hand.start(20);
    const QString filter = "All Files (*.*)|*.*|Objekts Number Files (*.onf)|*.onf";
    EXPECT_EQ(QtDialogs().openFile(nullptr, {"Objekts Number File", filter, 2}),
              QDir(dir.path()).absoluteFilePath("missing.onf"));
    EXPECT_EQ(boxes, QStringList{});
    EXPECT_EQ(types, (QStringList{"All Files (*.*)", "Objekts Number Files (*.onf)"}));
    EXPECT_TRUE(QDir::match(all, "nodot") && QDir::match(all, "list.onf"));
    EXPECT_TRUE(!QDir::match(objekts, "nodot") && QDir::match(objekts, "list.onf"));
}

class EntryFieldsTest : public FormTest {
protected:
    void SetUp() override {
        showActive();
        connectPort();
    }
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
            if (caretAfter >= 0) {
                EXPECT_EQ(field->cursorPosition(), caretAfter);
            }
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
    EXPECT_TRUE(state().TransferPhase == 2 && state().CurrentObject == 1);
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

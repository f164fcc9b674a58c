#include "app/accessibility.h"
#include "app/lampimage.h"
#include "app/statusline.h"
#include "journal/journaldirectory.h"
#include "ports/portassignments.h"
#include "app/portsdialog.h"
#include "support/formfixture.h"
#include "tableops/operationdialog.h"

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
    EXPECT_EQ(snapshot(*form), Snapshot{});  // as start-up leaves it
    EXPECT_TRUE(u.Check1->isChecked());
    for (QWidget *widget : QList<QWidget *>{u.Check1, u.Frame4, u.Label6, u.Combo1, u.Label7,
                                            u.Text5, u.Label8, u.Combo2, u.Command2, u.Command3})
        EXPECT_FALSE(widget->isVisibleTo(form.get())) << widget->objectName().toStdString();
}

// A Read cut short: the status line says when the device falls silent (and takes it back at
// its next byte), when the operator disconnects, and when the port is lost, which is then
// disconnected as the operator would, keeping to the window's width. After Connect no old
// progress comes back.
TEST_F(WindowTest, ASilentDeviceAndALostPortAreShownAsTheyAre) {
    form->show();
    const int width = form->width();
    qputenv("ORVEL_COM1", "/dev/" + QByteArray(200, 'x'));  // a long name in the message
    const StatusLine &status = form->statusLine();
    const auto says = [&](const QString &part) { return status.transferText().contains(part); };
    const std::tuple<const char *, std::function<void()>, QString> rows[] = {
        {"silent", [&] { runUntil([&] { return says("Read: nothing from the device for "); },
                                  30000); }, " s after object 1, 1 of 5. Check the cable, "},
        {"disconnected", [&] { emit ui().imgConnected->clicked(); },
         "Read: disconnected after 1 of 5 objects."},
        {"lost", [&] { emit form->MSComm1().backend()->portLost("hung up"); }, " is lost: "}};
    for (const auto &[name, cut, said] : rows) {
        SCOPED_TRACE(name);
        connectPort();
        ui().Text2->setText("5");
        ui().Option2[1]->setChecked(true);
        reply({172, 172, 202, 202, 7});  // object 1
        cut();
        EXPECT_TRUE(says(said)) << status.transferText().toStdString();
        if (std::string(name) == "silent") {
            reply({172});
            EXPECT_TRUE(says("Read: object 1, 1 of 5")) << status.transferText().toStdString();
            emit ui().imgConnected->clicked();
        }
        // Disconnected: red lamp in front, frames locked, port options free, the width kept.
        EXPECT_TRUE(!form->MSComm1().PortOpen() && !ui().Frame2->isEnabled() &&
                    !ui().Frame3->isEnabled() && ui().Option1[2]->isEnabled() &&
                    frontIndex({ui().imgConnected, ui().imgNotConnected}) == 1);
        EXPECT_EQ(form->width(), width);
        if (std::string(name) == "lost") {
            EXPECT_EQ(status.portText(), form->portLabel() + ", lost");
        }
        connectPort();
        EXPECT_EQ(status.portText() + status.transferText(), form->portLabel() + ", connected");
        emit ui().imgConnected->clicked();
    }
}

// A note (a table saved) gives way to the progress after its time; the end replaces it at once.
// A doubt the device's next byte brings after the end joins it.
TEST(StatusLineAlone, ANoteGivesWayToTheProgressAndTheEnd) {
    StatusLine status(nullptr, std::chrono::milliseconds(30));
    status.startTransfer("Read", 3);
    status.showNote("saved");
    status.objectDone(2);
    EXPECT_EQ(status.transferText(), "saved");
    EXPECT_TRUE(runUntil([&] { return status.transferText().contains("object 2, 1 of 3"); }, 2000));
    status.showNote("saved");
    status.valueInDoubt(2);
    status.endTransfer();
    EXPECT_TRUE(status.transferText().startsWith("Read: 1 object in "));
    status.valueInDoubt(3);
    EXPECT_TRUE(status.transferText().endsWith("; 2 values in doubt (a byte too many), not kept: "
                                               "read objects 2, 3 again"))
        << status.transferText().toStdString();
    status.startTransfer("Read", 1);  // a new transfer has no doubts of the last
    status.endTransfer();
    EXPECT_FALSE(status.transferText().contains("doubt")) << status.transferText().toStdString();
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

// The names a screen reader finds shown under `node`, a list's entries aside; a name empty or
// not its own is a fault, but for Qt's parts of a scroll area and a table's corner (no object).
QStringList namesShown(QAccessibleInterface *node, QStringList *faults) {
    QStringList names;
    for (int i = 0; i < node->childCount(); ++i) {
        QAccessibleInterface *child = node->child(i);
        const QAccessible::Role role = child->role();
        if (child->state().invisible || role == QAccessible::ListItem || role == QAccessible::Cell)
            continue;
        const QString name = child->text(QAccessible::Name).trimmed();
        const QObject *object = child->object();
        const bool qts = object ? object->objectName().startsWith("qt_scrollarea_")
                                : role == QAccessible::Pane;
        if (!qts && (name.isEmpty() || names.contains(name)))
            faults->append(QString(object ? object->metaObject()->className() : "item") + name);
        names += namesShown(child, faults) << name;
    }
    return names;
}

// Connected and disconnected by the menu's shortcuts (the focus in a field), the lamps tell and
// announce their state (offscreen Qt hands nothing on: recorded); every control shown is named.
// Compare with table is offered only while connected and idle (a read stopped).
TEST_F(WindowTest, ScreenReaderFindsEveryControlNamedAndTheLampsState) {
    static QList<std::pair<QObject *, QAccessible::Event>> events;
    WindowAccessibility::send = [](QAccessibleEvent *e) { events += {e->object(), e->type()}; };
    showActive(form.get());
    PortAssignments assignments;  // nothing stored
    PortsDialog portsDialog(portsPresent, assignments);
    OperationDialog operation("Compare", nullptr);
    WindowAccessibility &access = form->accessibility();
    const auto key = [&](QAction *action) { QTest::keySequence(form.get(), action->shortcut()); };
    QAction *compare = nullptr;
    for (QAction *item : form->findChildren<QAction *>())
        if (item->text() == "&Compare with table…") compare = item;
    const std::tuple<const char *, std::function<void()>, QWidget *, QString, QString> rows[] = {
        {"at start", [] {}, form.get(), "not connected", "idle"},
        {"connected", [&] { key(access.connectAction()); reply({172}); }, form.get(), "connected",
         "link, device ready"},
        {"reading", [&] { ui().Option2[2]->setFocus(); QTest::keyClick(ui().Option2[2], Qt::Key_Up);
             reply({172}); }, form.get(), "connected", "reading"},
        {"stopped", [&] { ui().Option2[2]->setChecked(true); reply({172}); }, form.get(),
         "connected", "link, device ready"},  // no object begins: the ready byte ends it
        {"disconnected", [&] { ui().Text1->setFocus(); key(access.disconnectAction()); },
         form.get(), "not connected", "idle"},
        {"Serial ports", [&] { portsDialog.show(); }, &portsDialog, "", ""},
        {"operation", [&] { operation.show(); }, &operation, "", ""}};
    for (const auto &[row, act, window, link, activity] : rows) {
        SCOPED_TRACE(row);
        events.clear();
        act();
        QStringList faults;
        const auto names = namesShown(QAccessible::queryAccessibleInterface(window), &faults);
        EXPECT_EQ(faults, QStringList{});
        if (link.isEmpty()) continue;
        const std::string step = row;
        for (QMenu *menu : form->findChildren<QMenu *>()) emit menu->aboutToShow();
        EXPECT_EQ(compare->isEnabled(), step == "connected" || step == "stopped");
        EXPECT_EQ(access.connectAction()->isEnabled(), link != "connected");
        EXPECT_EQ(access.disconnectAction()->isEnabled(), link == "connected");
        for (const QString &name :
             QStringList{"Connection: " + link, "Activity: " + activity, "Device"})
            EXPECT_TRUE(names.contains(name)) << name.toStdString();
        const std::pair<QWidget *, QString> named[] = {  // each its own, not another's
            {ui().Text1, "Read: Start Object"}, {ui().Text2, "Read: End Object"},
            {ui().Text3, "Write: Start Object"}, {ui().Text4, "Write: End Object"},
            {ui().txtTerm, "Terminal"}, {ui().List1, "Object list"},
            {ui().Command1, "Objects num."}, {ui().Check4, "Take the objects from the list"},
            {&form->statusLine(), "Status line"},
            {ui().imgConnected, "Connection: " + link}, {ui().Image1[3], "Activity: " + activity}};
        for (const auto &[widget, name] : named)
            EXPECT_EQ(QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name), name);
        const bool linkChanged = step == "connected" || step == "disconnected";
        for (const QAccessible::Event type : {QAccessible::NameChanged, QAccessible::StateChanged})
            EXPECT_EQ(events.contains({ui().imgConnected, type}), linkChanged) << type;
    }
    QStringList said{ui().List1->accessibleDescription()};  // the list empty, one, emptied
    ui().List1->addItem("5");
    said << ui().List1->accessibleDescription();
    ui().List1->clear();
    EXPECT_EQ(said << ui().List1->accessibleDescription(),
              QStringList({"0 objects", "1 object", "0 objects"}));
    QTest::keyClick(ui().Command1, Qt::Key_Return);
    EXPECT_EQ(dialogs.fileDialogs, 1);
    WindowAccessibility::send = QAccessible::updateAccessibility;
}

class EntryFieldsTest : public FormTest {
protected:
    void SetUp() override {
        showActive(form.get());
        connectPort();
    }
    void emptyByTyping(QLineEdit *field) {
        QTest::mouseClick(field, Qt::LeftButton);
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(field, Qt::Key_Backspace);
    }
};

// Typed, pasted ("^V" and the clipboard's text) or set ("=") at a caret (-1: the end), or over a
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
        {"1234", 0, 4, "^V56789", "5678", -1}, {"1234.5", 5, 1, "^V67", "1234.6", -1},
        // "=": set by the program, corrected too, whatever its length
        {"", -1, 0, "= 12 ", " 12 ", -1},   {"", -1, 0, "=1E3", "1E3", -1},
        {"", -1, 0, "=0.5", "1", -1},       {"", -1, 0, "=8175.5", "1", -1},
    };
    for (QLineEdit *field : {ui().Text1, ui().Text2, ui().Text3, ui().Text4}) {
        for (const auto &[before, caret, selected, keys, after, caretAfter] : rows) {
            SCOPED_TRACE(
                (field->objectName() + ": " + keys.left(8) + " into " + before).toStdString());
            field->setText(before);
            field->setFocus();
            field->setSelection(caret < 0 ? int(before.size()) : caret, selected);
            if (keys.startsWith("=")) {
                field->setText(keys.mid(1));
            } else if (keys.startsWith("^V")) {
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
    showActive(&other);
    EXPECT_EQ(ui().Text3->text(), "");
}

}  // namespace
}  // namespace orvel::test

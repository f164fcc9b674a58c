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
    for (QWidget *widget : {u.Check1, u.Frame4, u.Label6, u.Combo1, u.Label7, u.Text5, u.Label8,
                            u.Combo2, u.Command2, u.Command3})
        EXPECT_FALSE(widget->isVisibleTo(form.get())) << widget->objectName().toStdString();
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

// Qt's own file dialog as "Objects num." opens it, played every 20 ms while it is up: it
// offers both types, "All Files (*.*)" lists files without a dot too, and a name typed
// that does not exist is taken (opening it fails later, without a word).
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
        } else if (dialog) {
            auto *combo = dialog->findChild<QComboBox *>("fileTypeCombo");
            for (int i = 0; i < combo->count(); ++i) types.append(combo->itemText(i));
            objekts = dialog->findChild<QFileSystemModel *>()->nameFilters();
            QTest::keyClick(combo, Qt::Key_Up);  // the operator picks "All Files"
            all = dialog->findChild<QFileSystemModel *>()->nameFilters();
            dialog->setDirectory(dir.path());
            QTest::keyClicks(dialog->findChild<QLineEdit *>("fileNameEdit"), "missing.onf\r");
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

}  // namespace
}  // namespace orvel::test

#include "app/lampimage.h"
#include "dialogue/terminalbox.h"
#include "serial/mscomm.h"
#include "support/formfixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>

namespace orvel::test {
namespace {

using WindowTest = FormTest;

// Start-up leaves the same window whatever port the serial control was stored with; a
// port without an option (7) selects none of its own and stops nothing.
TEST(Window, StartsDisconnectedAndIdle) {
    for (const qint16 commPort : {1, 2, 4, 7}) {
        SCOPED_TRACE(commPort);
        FakeDialogs dialogs;
        auto backend = std::make_unique<MemorySerial>();
        const MemorySerial &port = *backend;
        FrmTerminal form(std::move(backend), commPort, &dialogs);
        FrmTerminalUi &ui = form.ui();
        EXPECT_EQ(form.MSComm1().CommPort(), commPort);
        for (int i = 1; i <= 4; ++i) {
            EXPECT_EQ(ui.Option1[i]->isChecked(), i == (commPort == 7 ? 1 : commPort)) << i;
            EXPECT_TRUE(ui.Option1[i]->isEnabled());
        }
        EXPECT_FALSE(form.MSComm1().PortOpen());
        EXPECT_EQ(port.openCount(), 0);
        EXPECT_TRUE(ui.txtTerm->Text().isEmpty());
        EXPECT_TRUE(ui.txtTerm->toPlainText().isEmpty());
        EXPECT_FALSE(ui.Frame2->isEnabled());
        EXPECT_FALSE(ui.Frame3->isEnabled());
        // Objects 1 to 1, idle, every field "1", repeat off, the label says "Object".
        EXPECT_EQ(snapshot(form), "1|1|0|0|0|0|0|0|1|1|1|1|0| 0 - Disable|0|0|Object");
        EXPECT_EQ(frontIndex({ui.imgConnected, ui.imgNotConnected}), 1);
        EXPECT_EQ(frontIndex({ui.Image1[0], ui.Image1[1], ui.Image1[2], ui.Image1[3]}), 3);
        ASSERT_NE(form.screen(), nullptr);
        const QRect screen = form.screen()->geometry();
        EXPECT_NEAR(form.x(), (screen.width() - form.width()) / 2.0, 1.0);
        EXPECT_NEAR(form.y(), (screen.height() - form.height()) / 2.0, 1.0);
        EXPECT_TRUE(dialogs.messages.isEmpty());
    }
}

TEST_F(WindowTest, HiddenSectionStaysHiddenHoweverLargeTheWindow) {
    FrmTerminalUi &u = ui();
    const QList<QWidget *> section = {u.Label6, u.Combo1,   u.Label7,   u.Text5, u.Label8,
                                      u.Combo2, u.Command2, u.Command3, u.Frame4};
    const QList<QWidget *> inFrame4 = u.Frame4->findChildren<QWidget *>();
    EXPECT_EQ(inFrame4.size(), 30);  // fifteen fields, fifteen labels
    for (QWidget *widget : section)
        EXPECT_FALSE(widget->isEnabled()) << widget->objectName().toStdString();

    showActive();
    form->resize(3000, 3000);
    QCoreApplication::processEvents();
    ASSERT_TRUE(u.Frame2->isVisible());  // the visible part is really shown
    // "Only Data" is ticked and the operator never sees it, nor the section, even once
    // connecting has enabled the frames around them.
    EXPECT_TRUE(u.Check1->isChecked());
    for (const bool connected : {false, true}) {
        if (connected) connectPort();
        for (QWidget *widget : section + inFrame4 + QList<QWidget *>{u.Check1}) {
            EXPECT_FALSE(widget->isVisible()) << widget->objectName().toStdString();
            EXPECT_FALSE(widget->isVisibleTo(form.get())) << widget->objectName().toStdString();
        }
    }
}

TEST_F(WindowTest, ShutdownClosesThePortIfOpen) {
    struct Row {
        bool connected;
        QString closeError;
        int closes;
    };
    // A port that would refuse to close shows no box when it is not open: it is not asked.
    const Row rows[] = {{false, "The port would not close.", 0}, {true, {}, 1},
                        {true, "The port would not close.", 0}};
    for (const Row &row : rows) {
        SCOPED_TRACE(std::to_string(row.connected) + row.closeError.toStdString());
        auto backend = std::make_unique<MemorySerial>();
        MemorySerial *serial = backend.get();
        FrmTerminal window(std::move(backend), 1, &dialogs);
        window.show();
        if (row.connected) emit window.ui().imgNotConnected->clicked();
        ASSERT_EQ(serial->isOpen(), row.connected);
        dialogs.messages.clear(), dialogs.icons.clear();
        serial->setCloseError(row.closeError);

        EXPECT_TRUE(window.close());
        EXPECT_FALSE(window.isVisible());
        EXPECT_EQ(serial->closeCount(), row.closes);
        EXPECT_EQ(serial->openCount(), row.connected ? 1 : 0);
        const bool refused = row.connected && !row.closeError.isEmpty();
        EXPECT_EQ(dialogs.messages, refused ? QStringList{row.closeError} : QStringList{});
        EXPECT_EQ(dialogs.icons.size(), refused ? 1 : 0);
        if (refused) EXPECT_EQ(dialogs.icons[0], Dialogs::Icon::Exclamation);
    }
}

// Double-clicks through the window, as the operator makes them: the second press comes as
// a double-click event. On a lamp that is no second click, as in the classic toolkit; a
// push button and a check box take it as a click, as there, so a check box ends unchanged.
TEST_F(WindowTest, ADoubleClickIsOneClickOnALampAndTwoOnAButton) {
    showActive();
    auto doubleClick = [&](QWidget *widget) {
        const QPoint centre = widget->mapTo(form.get(), widget->rect().center());
        QTest::mouseDClick(form->windowHandle(), Qt::LeftButton, {}, centre);
    };
    struct Row {
        QWidget *control;
        const char *signal;
        int count;
    };
    const Row rows[] = {{ui().Command1, SIGNAL(clicked()), 2},
                        {ui().Check4, SIGNAL(toggled(bool)), 2},
                        {ui().chClear, SIGNAL(toggled(bool)), 2},
                        {ui().Option1[2], SIGNAL(toggled(bool)), 1}};
    for (const Row &row : rows) {
        QSignalSpy spy(row.control, row.signal);
        doubleClick(row.control);
        EXPECT_EQ(spy.count(), row.count) << row.control->objectName().toStdString();
    }
    // The red lamp connects and the green one, now in front, takes the second press.
    doubleClick(ui().imgNotConnected);
    EXPECT_TRUE(form->MSComm1().PortOpen());
    EXPECT_EQ(port->closeCount(), 0);
    doubleClick(ui().imgConnected);
    EXPECT_FALSE(form->MSComm1().PortOpen());
    EXPECT_EQ(port->openCount(), 1);
}

// Qt's own file dialog as "Objects num." opens it, played by `operate` once it is up
// (and every 20 ms until it closes). Boxes the dialog opens of its own are closed and kept.
struct FileDialogRun {
    std::optional<QString> chosen;
    QStringList boxes;
};
FileDialogRun runFileDialog(const std::function<void(QFileDialog &)> &operate) {
    FileDialogRun run;
    QTimer hand;
    int ticks = 0;
    QObject::connect(&hand, &QTimer::timeout, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            run.boxes.append(box->text());
            box->reject();
        } else if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
            if (++ticks > 250) return dialog->reject();
            // A timer of its own, so this one still closes a box the operation opens.
            QTimer::singleShot(0, dialog, [&operate, dialog] { operate(*dialog); });
        }
    });
    hand.start(20);
    const QString filter = QStringLiteral("All Files (*.*)|*.*|Objekts Number Files (*.onf)|*.onf");
    run.chosen = QtDialogs().openFile(nullptr, {QStringLiteral("Objekts Number File"), filter, 2});
    return run;
}

// A name that does not exist is taken: opening it fails later, without a word.
TEST(FileDialog, TakesATypedNameThatDoesNotExist) {
    QTemporaryDir dir;
    bool typed = false;
    const FileDialogRun run = runFileDialog([&](QFileDialog &dialog) {
        if (std::exchange(typed, true)) return dialog.reject();  // still open: refused
        dialog.setDirectory(dir.path());
        auto *name = dialog.findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        QTest::keyClicks(name, QStringLiteral("missing.onf"));
        QTest::keyClick(name, Qt::Key_Return);
    });
    EXPECT_EQ(run.chosen, QDir(dir.path()).absoluteFilePath(QStringLiteral("missing.onf")));
    EXPECT_EQ(run.boxes, QStringList{});
}

// "All Files (*.*)" lists files without a dot too, and still reads so.
TEST(FileDialog, AllFilesListsEveryFile) {
    QStringList types, objektsPatterns, allPatterns;
    runFileDialog([&](QFileDialog &dialog) {
        auto *combo = dialog.findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
        auto *model = dialog.findChild<QFileSystemModel *>();
        for (int i = 0; i < combo->count(); ++i) types.append(combo->itemText(i));
        objektsPatterns = model->nameFilters();
        QTest::keyClick(combo, Qt::Key_Up);  // the operator picks "All Files"
        allPatterns = model->nameFilters();
        dialog.reject();
    });
    EXPECT_EQ(types, (QStringList{"All Files (*.*)", "Objekts Number Files (*.onf)"}));
    const std::tuple<QString, bool, bool> rows[] = {
        {"nodot", true, false}, {"list.onf", true, true}, {"a.b.txt", true, false}};
    for (const auto &[file, underAll, underObjekts] : rows) {
        EXPECT_EQ(QDir::match(allPatterns, file), underAll) << file.toStdString();
        EXPECT_EQ(QDir::match(objektsPatterns, file), underObjekts) << file.toStdString();
    }
}

}  // namespace
}  // namespace orvel::test

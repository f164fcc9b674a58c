#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>
#include <vector>

#include "app/lampimage.h"
#include "dialogue/terminalbox.h"
#include "serial/mscomm.h"
#include "support/formfixture.h"

namespace orvel::test {
namespace {

using WindowTest = FormTest;

// A serial control whose stored port has no option on the window.
class WindowOnPortSevenTest : public FormTest {
protected:
    WindowOnPortSevenTest() : FormTest(7) {}
};

// What start-up leaves behind, whatever port the serial control was stored with.
void expectStartedUp(FrmTerminalUi &ui, const TransferState &state) {
    EXPECT_TRUE(ui.txtTerm->Text().isEmpty());
    EXPECT_TRUE(ui.txtTerm->toPlainText().isEmpty());
    EXPECT_FALSE(ui.Frame2->isEnabled());
    EXPECT_FALSE(ui.Frame3->isEnabled());
    for (QLineEdit *field : {ui.Text1, ui.Text2, ui.Text3, ui.Text4})
        EXPECT_EQ(field->text(), "1") << field->objectName().toStdString();
    EXPECT_EQ(ui.Label5->text(), "Object");
    EXPECT_FALSE(ui.ch_1_0->isChecked());
    EXPECT_EQ(ui.ch_1_0->text(), " 0 - Disable");
    EXPECT_EQ(state.CurrentObject, 1);
    EXPECT_EQ(state.LastObject, 1);
    EXPECT_FALSE(state.WriteInProgress);
    EXPECT_EQ(state.TransferPhase, 0);
    EXPECT_EQ(state.ReadStep, 0);
    EXPECT_EQ(state.WriteStep, 0);
    EXPECT_FALSE(state.LinkCheckPending);
    EXPECT_EQ(frontIndex({ui.imgConnected, ui.imgNotConnected}), 1);
    EXPECT_EQ(frontIndex({ui.Image1[0], ui.Image1[1], ui.Image1[2], ui.Image1[3]}), 3);
}

TEST_F(WindowTest, StartsDisconnectedAndIdle) {
    expectStartedUp(ui(), state());
    ASSERT_NE(form->screen(), nullptr);
    const QRect screen = form->screen()->geometry();
    EXPECT_NEAR(form->x(), (screen.width() - form->width()) / 2.0, 1.0);
    EXPECT_NEAR(form->y(), (screen.height() - form->height()) / 2.0, 1.0);
    EXPECT_TRUE(ui().Option1[1]->isChecked());
    EXPECT_FALSE(form->MSComm1().PortOpen());
    EXPECT_EQ(port->openCount(), 0);
    for (int i = 1; i <= 4; ++i) EXPECT_TRUE(ui().Option1[i]->isEnabled());
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(WindowOnPortSevenTest, StartUpGoesOnPastAPortWithoutOption) {
    EXPECT_EQ(form->MSComm1().CommPort(), 7);
    expectStartedUp(ui(), state());
    EXPECT_TRUE(ui().Option1[1]->isChecked());
    for (int i = 2; i <= 4; ++i) EXPECT_FALSE(ui().Option1[i]->isChecked());
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(WindowTest, StartUpSelectsTheOptionOfTheStoredPort) {
    for (qint16 commPort : {qint16(2), qint16(4)}) {
        FakeDialogs quiet;
        FrmTerminal other(std::make_unique<MemorySerial>(), commPort, &quiet);
        for (int i = 1; i <= 4; ++i)
            EXPECT_EQ(other.ui().Option1[i]->isChecked(), i == commPort) << commPort << " " << i;
        EXPECT_EQ(other.MSComm1().CommPort(), commPort);
    }
}

TEST_F(WindowTest, EveryControlIsFoundByItsName) {
    FrmTerminalUi &u = ui();
    std::vector<std::pair<QString, QWidget *>> named = {
        {"Frame1", u.Frame1},
        {"imgConnected", u.imgConnected},
        {"imgNotConnected", u.imgNotConnected},
        {"Check4", u.Check4},
        {"Command1", u.Command1},
        {"List1", u.List1},
        {"Label5", u.Label5},
        {"chClear", u.chClear},
        {"txtTerm", u.txtTerm},
        {"Frame2", u.Frame2},
        {"Check2", u.Check2},
        {"Check1", u.Check1},
        {"Label1", u.Label1},
        {"Text1", u.Text1},
        {"Label2", u.Label2},
        {"Text2", u.Text2},
        {"Frame3", u.Frame3},
        {"Check3", u.Check3},
        {"ch_1_0", u.ch_1_0},
        {"Label4", u.Label4},
        {"Text3", u.Text3},
        {"Label3", u.Label3},
        {"Text4", u.Text4},
        {"Label6", u.Label6},
        {"Combo1", u.Combo1},
        {"Label7", u.Label7},
        {"Text5", u.Text5},
        {"Label8", u.Label8},
        {"Combo2", u.Combo2},
        {"Command2", u.Command2},
        {"Command3", u.Command3},
        {"Frame4", u.Frame4},
        {"Option2(1)", u.Option2[1]},
        {"Option2(2)", u.Option2[2]},
        {"Option3(1)", u.Option3[1]},
        {"Option3(2)", u.Option3[2]},
    };
    for (int i = 1; i <= 4; ++i)
        named.emplace_back(QStringLiteral("Option1(%1)").arg(i), u.Option1[i]);
    for (int i = 0; i <= 3; ++i)
        named.emplace_back(QStringLiteral("Image1(%1)").arg(i), u.Image1[i]);
    for (int n = 1; n <= 15; ++n)
        named.emplace_back(QStringLiteral("Text_R%1").arg(n), u.Text_R[n]);
    // The repeater labels are numbered across the columns, not in field order.
    const int labelOf[16] = {0, 9, 10, 11, 12, 13, 18, 17, 16, 15, 14, 23, 22, 21, 20, 19};
    for (int n = 1; n <= 15; ++n)
        named.emplace_back(QStringLiteral("Label%1").arg(labelOf[n]), u.repeaterLabel[n]);

    EXPECT_EQ(form->objectName(), "frmTerminal");
    EXPECT_EQ(form->findChild<MSComm *>("MSComm1"), &form->MSComm1());
    for (const auto &[name, widget] : named) {
        ASSERT_NE(widget, nullptr) << name.toStdString();
        const QList<QWidget *> found = form->findChildren<QWidget *>(name);
        ASSERT_EQ(found.size(), 1) << name.toStdString();
        EXPECT_EQ(found.first(), widget) << name.toStdString();
    }
}

TEST_F(WindowTest, HiddenSectionStaysHiddenHoweverLargeTheWindow) {
    FrmTerminalUi &u = ui();
    std::vector<QWidget *> hidden = {u.Label6, u.Combo1,   u.Label7,   u.Text5, u.Label8,
                                     u.Combo2, u.Command2, u.Command3, u.Frame4};
    const QList<QWidget *> inFrame4 = u.Frame4->findChildren<QWidget *>();
    EXPECT_EQ(inFrame4.size(), 30);  // fifteen fields, fifteen labels
    hidden.insert(hidden.end(), inFrame4.begin(), inFrame4.end());

    showActive();
    form->resize(3000, 3000);
    QCoreApplication::processEvents();
    ASSERT_TRUE(form->isVisible());
    ASSERT_TRUE(u.Frame2->isVisible());  // the visible part is really shown
    for (QWidget *widget : hidden) {
        EXPECT_FALSE(widget->isVisible()) << widget->objectName().toStdString();
        EXPECT_FALSE(widget->isVisibleTo(form.get())) << widget->objectName().toStdString();
    }
    for (QWidget *widget :
         std::initializer_list<QWidget *>{u.Label6, u.Combo1, u.Label7, u.Text5, u.Label8, u.Combo2,
                                          u.Command2, u.Command3, u.Frame4})
        EXPECT_FALSE(widget->isEnabled()) << widget->objectName().toStdString();

    // "Only Data" is ticked and the operator never sees it.
    EXPECT_TRUE(u.Check1->isChecked());
    EXPECT_FALSE(u.Check1->isVisible());
    EXPECT_FALSE(u.Check1->isVisibleTo(form.get()));

    // Connecting enables the frames around it; it stays out of sight.
    connectPort();
    EXPECT_FALSE(u.Check1->isVisible());
    for (QWidget *widget : hidden) EXPECT_FALSE(widget->isVisible());
}

TEST_F(WindowTest, ListsKeepTheirOrder) {
    EXPECT_EQ(ui().Combo2->itemText(7), "NO");
    EXPECT_EQ(ui().Combo2->itemText(0), "0.5 sec");
    EXPECT_EQ(ui().Combo2->currentIndex(), -1);
    EXPECT_EQ(ui().Combo1->currentIndex(), -1);

    // The object list is stepped through in the order of the file, never sorted.
    ui().List1->addItem("10");
    ui().List1->addItem("9");
    ui().List1->addItem("100");
    ASSERT_EQ(ui().List1->count(), 3);
    EXPECT_EQ(ui().List1->item(0)->text(), "10");
    EXPECT_EQ(ui().List1->item(1)->text(), "9");
    EXPECT_EQ(ui().List1->item(2)->text(), "100");
}

TEST_F(WindowTest, ShutdownClosesThePortIfOpen) {
    struct Row {
        const char *name;
        bool connected;
        QString closeError;
        int closesExpected;
        QStringList messagesExpected;
    };
    const std::vector<Row> rows = {
        // A port that would refuse to close shows no box: it is not even asked.
        {"disconnected", false, "The port would not close.", 0, {}},
        {"connected", true, {}, 1, {}},
        {"close refused", true, "The port would not close.", 0, {"The port would not close."}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        dialogs.messages.clear();
        dialogs.icons.clear();
        auto backend = std::make_unique<MemorySerial>();
        MemorySerial *serial = backend.get();
        FrmTerminal window(std::move(backend), 1, &dialogs);
        window.show();
        if (row.connected) {
            emit window.ui().imgNotConnected->clicked();
            ASSERT_TRUE(serial->isOpen());
        }
        dialogs.messages.clear();
        serial->setCloseError(row.closeError);
        const int opensBefore = serial->openCount();

        EXPECT_TRUE(window.close());
        EXPECT_FALSE(window.isVisible());
        EXPECT_EQ(serial->closeCount(), row.closesExpected);
        EXPECT_EQ(serial->openCount(), opensBefore);
        EXPECT_EQ(dialogs.messages, row.messagesExpected);
        if (!row.messagesExpected.isEmpty())
            EXPECT_EQ(dialogs.icons.last(), Dialogs::Icon::Exclamation);
    }
}

}  // namespace
}  // namespace orvel::test

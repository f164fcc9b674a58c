// The terminal: what the gate lets through, the line-end filter, and the trim.
#include "dialogue/terminalbox.h"
#include "dialogue/terminaltext.h"
#include "support/formfixture.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>

namespace orvel::test {
namespace {

TEST(TerminalText, TrimsOnlyWhenMoreThanTheLimitBeforeAnAddition) {
    struct Row {
        qsizetype before;
        qsizetype dropped;
    };
    for (const Row row : {Row{16000, 0}, Row{16001, 4096}, Row{15999, 0}, Row{20000, 4096}}) {
        SCOPED_TRACE(row.before);
        TerminalText terminal;
        QString start;
        for (qsizetype i = 0; i < row.before; ++i) start.append(QChar(char16_t(u'a' + i % 26)));
        terminal.append(start);
        EXPECT_EQ(terminal.append(u"xy"), row.dropped);
        EXPECT_EQ(terminal.length(), row.before - row.dropped + 2);
        EXPECT_TRUE(terminal.text().startsWith(start.mid(row.dropped, 8)));
        EXPECT_TRUE(terminal.text().endsWith(u"xy"));
    }
}

TEST(TerminalText, LineEndsBecomeCarriageReturnLineFeed) {
    struct Row {
        const char16_t *in;
        const char16_t *out;
    };
    const Row rows[] = {
        {u"7 - 25\n\r", u"7 - 25\r\n"},  // a value line as the dialogue composes it
        {u"172\n\r", u"172\r\n"},
        {u"a\nb", u"ab"},
        {u"\r\r", u"\r\n\r\n"},
        {u"\r\n", u"\r\n"},
        {u"99", u"99"},
    };
    for (const Row &row : rows) EXPECT_EQ(filterLineEnds(row.in), QString::fromUtf16(row.out));
}

TEST(TerminalText, TheGateShowsByObjectAndOnlyData) {
    struct Row {
        double object;
        bool onlyData;
        const char16_t *reply;
        bool shown;
        const char16_t *text;
    };
    const Row rows[] = {
        {5, true, u"7", true, u"7"},
        {5, true, u"172", false, u""},
        {5, true, u"202", false, u""},
        {5, false, u"172", true, u"172\n\r"},
        {5, false, u"202", true, u"202\n\r"},
        {5, true, u"172*", true, u"172*"},  // an escaped byte nobody took as a value
        {0, false, u"7", false, u""},
        {8176, false, u"7", false, u""},
        {8191, false, u"7", false, u""},
        {8175, false, u"7", true, u"7"},
        {0.5, false, u"7", true, u"7"},
        {8192, true, u"172", true, u"172"},  // outside the memory both tests are skipped
        {-1, true, u"202", true, u"202"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.object);
        QString text = QString::fromUtf16(row.reply);
        EXPECT_EQ(gateReply(row.object, row.onlyData, text), row.shown);
        if (row.shown) EXPECT_EQ(text, QString::fromUtf16(row.text));
    }
}

class TerminalInTheWindow : public FormTest {
protected:
    TerminalInTheWindow() { connectPort(); }
};

TEST_F(TerminalInTheWindow, ShowsProtocolBytesOnlyWhenOnlyDataIsUnticked) {
    reply({172, 9, 202});
    EXPECT_EQ(terminal(), "9");
    ui().Check1->setChecked(false);
    reply({172, 9, 202});
    EXPECT_EQ(terminal(), "9172\r\n9202\r\n");
}

TEST_F(TerminalInTheWindow, TheWidgetShowsWhatTheTextHolds) {
    ui().Check1->setChecked(false);
    for (int i = 0; i < 3000; ++i) reply({i % 3 ? 172 : 200});
    form->ui().txtTerm->syncDisplay();
    QString expected = terminal();
    expected.replace("\r\n", "\n");
    EXPECT_EQ(ui().txtTerm->toPlainText(), expected);
    EXPECT_LE(terminal().size(), 16000 + 6);
    EXPECT_EQ(ui().txtTerm->textCursor().position(), ui().txtTerm->toPlainText().size());
}

TEST_F(TerminalInTheWindow, TheLastEntryOfAListDrivenReadIsShown) {
    ui().List1->addItems({"4", "6"});
    ui().Check4->setChecked(true);
    ui().Option2[1]->setChecked(true);
    reply({172, 172, 202, 202, 1, 172, 172, 202, 202, 2});
    EXPECT_EQ(terminal(), "1 - 4\r\n2 - 6\r\n");
}

TEST_F(TerminalInTheWindow, NothingIsShownWhileTheObjectIsZero) {
    state().CurrentObject = 0;
    ui().Check1->setChecked(false);
    reply({172, 202, 5});
    EXPECT_EQ(terminal(), "");
}

}  // namespace
}  // namespace orvel::test

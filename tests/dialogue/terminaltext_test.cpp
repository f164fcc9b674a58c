// The terminal: what the gate lets through, the line-end filter, and the trim.
#include "dialogue/terminaltext.h"

#include <gtest/gtest.h>

#include <optional>

static void PrintTo(const QString &text, std::ostream *os) {
    *os << '"' << text.toStdString() << '"';
}

namespace orvel::test {
namespace {

TEST(TerminalText, TrimsOnlyWhenMoreThanTheLimitBeforeAnAddition) {
    const std::pair<qsizetype, qsizetype> beforeAndDropped[] = {
        {16000, 0}, {16001, 4096}, {15999, 0}, {20000, 4096}};
    for (const auto &[before, dropped] : beforeAndDropped) {
        SCOPED_TRACE(before);
        TerminalText terminal;
        QString start;
        for (qsizetype i = 0; i < before; ++i) start.append(QChar(char16_t(u'a' + i % 26)));
        terminal.append(start);
        EXPECT_EQ(terminal.append(u"xy"), dropped);
        EXPECT_EQ(terminal.text(), start.mid(dropped) + "xy");
    }
}

TEST(TerminalText, LineEndsBecomeCarriageReturnLineFeed) {
    // The first is a value line as the dialogue composes it.
    const std::pair<QString, QString> rows[] = {
        {"7 - 25\n\r", "7 - 25\r\n"}, {"172\n\r", "172\r\n"}, {"a\nb", "ab"},
        {"\r\r", "\r\n\r\n"},         {"\r\n", "\r\n"},       {"99", "99"}};
    for (const auto &[in, out] : rows) EXPECT_EQ(filterLineEnds(in), out);
}

TEST(TerminalText, TheGateShowsByObjectAndOnlyData) {
    struct Row {
        double object;
        bool onlyData;
        QString reply;
        std::optional<QString> shown;
    };
    const Row rows[] = {
        {5, true, "7", "7"}, {5, true, "172", {}}, {5, true, "202", {}},
        {5, false, "172", "172\n\r"}, {5, false, "202", "202\n\r"},
        {5, true, "172*", "172*"},  // an escaped byte nobody took as a value
        {0, false, "7", {}}, {8176, false, "7", {}}, {8191, false, "7", {}},
        {8175, false, "7", "7"}, {0.5, false, "7", "7"},
        {8192, true, "172", "172"}, {-1, true, "202", "202"},  // outside the memory: no tests
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.object);
        QString text = row.reply;
        EXPECT_EQ(gateReply(row.object, row.onlyData, text), row.shown.has_value());
        if (row.shown) {
            EXPECT_EQ(text, *row.shown);
        }
    }
}

}  // namespace
}  // namespace orvel::test

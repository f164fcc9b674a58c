#include "objfile/onfparser.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

// Internal linkage, so other test files may print QString their own way.
static void PrintTo(const QString &text, std::ostream *os) { *os << '"' << text.toStdString() << '"'; }

namespace {

using orvel::OnfParser;
using orvel::parseObjectNumbers;

QByteArrayView view(const std::string &bytes) {
    return QByteArrayView(bytes.data(), qsizetype(bytes.size()));
}

// The whole literal, NUL bytes included.
template <size_t N>
std::string bytes(const char (&text)[N]) {
    return std::string(text, N - 1);
}

struct Case {
    const char *name;
    std::string file;
    QStringList entries;
};

std::vector<Case> smallFiles() {
    return {
        {"usual lines", "5\r\nabc\r\n0\r\n8175\r\n8176\r\n12\r\n", {"5", "8175", "12"}},
        {"commas and lines", "1,2\r\n3\r\n,4,,\r\n5", {"1", "2", "3", "4", "5"}},
        {"empty file", "", {}},
        {"only line ends", "\r\n\r\n\n\r,,", {}},
        {"negative and blank lines", "-3\r\n\r\n \t \r\n7\r\n-0.5\r\n", {"7"}},
        {"value text", "007\r\n2.50\r\n+3\r\n1E3\r\n.5\r\n1.\r\n", {"7", "2.5", "3", "1000", "0.5", "1"}},
        {"range edges", "0\r\n-0\r\n0.0001\r\n1\r\n8175.75\r\n8176\r\n8176.0\r\n8.176e3\r\n1E-400\r\n1E999\r\n",
         {"0.0001", "1", "8175.75"}},
        {"mixed line ends", "1\r\n2\n3\r4\n\r5", {"1", "2", "3", "4", "5"}},
        {"blanks around items", " \t5 \t,\t6  \r\n  7\r\n8\t", {"5", "6", "7", "8"}},
        {"not numbers", "1e\r\n.\r\n-\r\n+\r\n1.2.3\r\n12abc\r\n0x10\r\n1 2\r\n1e 3\r\nabc\r\n", {}},
        {"decimal comma splits", "2,5\r\n", {"2", "5"}},
        {"other blanks are text", "\v5\r\n5\f\r\n\xA0" "5\r\n", {}},
        {"8-bit text", "\xFF\xFE" "5\r\n\xE9\r\n5\xB2\r\n", {}},
        {"quoted keeps its text", "\" 8\"\r\n\"007\"\r\n\"2.50 \"\r\n", {" 8", "007", "2.50 "}},
        {"quoted out of range", "\"8176\"\r\n\"0\"\r\n\"abc\"\r\n\"\"\r\n", {}},
        {"quoted with blanks outside", "  \"9\"  \r\n", {"9"}},
        {"text after the quote ignored", "\"5\" junk,6\r\n\"7\"8\r\n", {"5", "6", "7"}},
        {"comma inside quotes", "\"3,4\",5\r\n", {"5"}},
        {"line end inside quotes", "\"1\r\n\",2\r\n\"3\n4\"\r\n", {"2"}},
        {"quote left open", "1\r\n\"42", {"1", "42"}},
        {"quote left open over lines", "\"4\r\n2", {}},
        {"quote inside an item", "4\"2\"\r\n5", {"5"}},
        {"NUL in an item", bytes("5\0\r\n\0" "6\r\n\0\r\n7\r\n4\0" "4\r\n"), {"7"}},
        {"NUL inside quotes", bytes("\"5\0\"\r\n\"6\"\0\r\n"), {"6"}},
    };
}

QStringList parseInChunks(const std::string &file, size_t chunk,
                          qsizetype maxItemBytes = OnfParser::defaultMaxItemBytes) {
    OnfParser parser(maxItemBytes);
    QStringList out;
    for (size_t at = 0; at < file.size(); at += chunk)
        parser.feed(view(file.substr(at, chunk)), out);
    parser.finish(out);
    return out;
}

// Fed in three chunks split at every pair of points, or byte by byte, a file gives the
// entries of the whole file.
void expectSameInAnyChunks(const Case &c, qsizetype maxItemBytes = OnfParser::defaultMaxItemBytes) {
    const std::string &file = c.file;
    for (size_t split = 0; split <= file.size(); ++split) {
        for (size_t second = split; second <= file.size(); ++second) {
            OnfParser parser(maxItemBytes);
            QStringList out;
            parser.feed(view(file.substr(0, split)), out);
            parser.feed(view(file.substr(split, second - split)), out);
            parser.feed(view(file.substr(second)), out);
            parser.finish(out);
            EXPECT_EQ(out, c.entries) << c.name << " split at " << split << " and " << second;
        }
    }
    EXPECT_EQ(parseInChunks(file, 1, maxItemBytes), c.entries) << c.name << " byte by byte";
}

// After finish() the same parser reads the next file as if it were new, even when the
// last one ended inside an item or an open quote.
TEST(OnfParser, Entries) {
    OnfParser reused;
    for (const Case &c : smallFiles()) {
        EXPECT_EQ(parseObjectNumbers(view(c.file)), c.entries) << c.name;
        expectSameInAnyChunks(c);
        QStringList out;
        reused.feed(view(c.file), out);
        reused.finish(out);
        EXPECT_EQ(out, c.entries) << c.name << " after the others";
    }
}

// The size limit at a scale where every split point can be tried; the real limit is
// checked in LongItems.
TEST(OnfParser, ItemSizeLimit) {
    constexpr qsizetype limit = 4;
    const std::vector<Case> rows = {
        {"at the limit and over it", "0005\r\n00005\r\n7", {"5", "7"}},
        {"over it at the end of the file", "3\r\n00005", {"3"}},
        {"nothing of a dropped item is left", "00009,5\r\n000009\r\n6", {"5", "6"}},
        {"quoted at the limit", "\"0005\"\r\n\" 8 \t\"", {"0005", " 8 \t"}},
        {"quoted over it", "\"00005\",3\r\n\"  8  \"\r\n4", {"3", "4"}},
        {"text after a dropped quote", "\"00009\"7,5", {"5"}},
        {"open quote over it", "3\r\n\"00005\r\n4", {"3"}},
        {"blanks around an item do not count", "   \t\t0005 \t   \r\n\t  6\t \t  ", {"5", "6"}},
        {"blanks inside an item count", "1 2 3\r\n6", {"6"}},
    };
    for (const Case &c : rows) expectSameInAnyChunks(c, limit);
}

// Linear work takes well under a second even unoptimised; anything quadratic takes hours.
TEST(OnfParser, LongItems) {
    const std::string zeros(size_t(OnfParser::defaultMaxItemBytes) - 1, '0');
    const std::string blanks(zeros.size() + 10, ' ');
    const std::vector<Case> rows = {{"largest item", zeros + "5\r\n3", {"5", "3"}},
                                    {"one byte too long", zeros + "05\r\n3", {"3"}},
                                    {"long blank run", "5" + blanks + "\r\n6", {"5", "6"}}};
    const auto start = std::chrono::steady_clock::now();
    for (const Case &row : rows) {
        EXPECT_EQ(parseObjectNumbers(view(row.file)), row.entries) << row.name;
        EXPECT_EQ(parseInChunks(row.file, 4093), row.entries) << row.name << " in chunks";
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
}

}  // namespace

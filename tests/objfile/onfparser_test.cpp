#include "objfile/onfparser.h"
#include "support/formfixture.h"

#include <string>
#include <vector>

namespace {

using namespace orvel;

using namespace std::string_literals;  // "..."s: the whole literal, NUL bytes included

struct Case {
    const char *name;
    std::string file;
    QStringList entries;
};

std::vector<Case> smallFiles() {
    return {
        {"usual lines", "5\r\nabc\r\n0\r\n8175\r\n8176\r\n12\r\n", {"5", "8175", "12"}},
        {"commas and line ends", "1,2\r\n3\r\n,4,,\r\n5\n6\r7\n\r8",
         {"1", "2", "3", "4", "5", "6", "7", "8"}},
        {"empty file", "", {}},
        {"negative and blank", "\r\n\r\n\n\r,,-3\r\n \t \r\n7\r\n-0.5\r\n", {"7"}},
        {"value text", "007\r\n2.50\r\n+3\r\n1E3\r\n.5\r\n1.\r\n2,5\r\n",
         {"7", "2.5", "3", "1000", "0.5", "1", "2", "5"}},
        {"range edges",
         "0\r\n-0\r\n0.0001\r\n1\r\n8175.75\r\n8176\r\n8176.0\r\n8.176e3\r\n1E-400\r\n1E999\r\n",
         {"0.0001", "1", "8175.75"}},
        {"blanks around items", " \t5 \t,\t6  \r\n  7\r\n8\t", {"5", "6", "7", "8"}},
        {"not numbers, other blanks and 8-bit text",
         "1e\r\n.\r\n-\r\n+\r\n1.2.3\r\n12abc\r\n0x10\r\n1 2\r\n1e 3\r\nabc\r\n"
         "\v5\r\n5\f\r\n\xA0" "5\r\n\xFF\xFE" "5\r\n\xE9\r\n5\xB2\r\n", {}},
        {"quoted", "\" 8\"\r\n\"007\"\r\n\"2.50 \"\r\n\"8176\"\r\n\"0\"\r\n\"abc\"\r\n\"\"\r\n"
         "  \"9\"  \r\n\"5\" junk,6\r\n\"7\"8\r\n\"3,4\",5\r\n",
         {" 8", "007", "2.50 ", "9", "5", "6", "7", "5"}},
        {"line end or quote inside", "\"1\r\n\",2\r\n\"3\n4\"\r\n4\"2\"\r\n5", {"2", "5"}},
        {"quote left open", "1\r\n\"42", {"1", "42"}},
        {"quote left open over lines", "\"4\r\n2", {}},
        {"NUL", "5\0\r\n\0" "6\r\n\0\r\n7\r\n4\0" "4\r\n\"5\0\"\r\n\"6\"\0\r\n"s, {"7", "6"}},
    };
}

// Fed in three chunks split at every pair of points, a file gives the entries of the whole
// file.
void expectSameInAnyChunks(const Case &c, qsizetype maxItemBytes = OnfParser::defaultMaxItemBytes) {
    const std::string &file = c.file;
    for (size_t split = 0; split <= file.size(); ++split) {
        for (size_t second = split; second <= file.size(); ++second) {
            OnfParser parser(maxItemBytes);
            QStringList out;
            parser.feed(file.substr(0, split), out);
            parser.feed(file.substr(split, second - split), out);
            parser.feed(file.substr(second), out);
            parser.finish(out);
            EXPECT_EQ(out, c.entries) << c.name << " split at " << split << " and " << second;
        }
    }
}

// The fuzzer checks many more files against an independent reading, and a parser reused.
TEST(OnfParser, Entries) {
    for (const Case &c : smallFiles()) {
        EXPECT_EQ(parseObjectNumbers(c.file), c.entries) << c.name;
        expectSameInAnyChunks(c);
    }
}

// The size limit at a scale where every split point can be tried.
TEST(OnfParser, ItemSizeLimit) {
    constexpr qsizetype limit = 4;
    const std::vector<Case> rows = {
        {"plain", "0005\r\n00005\r\n00009,6\r\n000009\r\n \t\t0007 \t  \r\n1 2 3\r\n8",
         {"5", "6", "7", "8"}},
        {"quoted", "\"0005\"\r\n\" 8 \t\"\r\n\"00005\",3\r\n\"  8  \"\r\n\"00009\"7,4",
         {"0005", " 8 \t", "3", "4"}},
        {"over it at the end of the file", "3\r\n00005", {"3"}},
        {"open quote over it", "3\r\n\"00005\r\n4", {"3"}},
    };
    for (const Case &c : rows) expectSameInAnyChunks(c, limit);
}

}  // namespace

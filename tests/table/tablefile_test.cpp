// The table file: its reader and writer, saving and loading it, and what Compare and
// Restore make of a table.
#include "table/restoreplan.h"
#include "table/tablefile.h"
#include "table/tablestore.h"
#include "support/lines.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace orvel {
namespace {

const QByteArray kGood =
    "# Orvel device table\n"
    "# read: 2026-12-07T05:12:00Z\n"
    "# port: COM 1 (/dev/ttyUSB0)\n"
    "# settings: 8176=3,8191=7\n"
    "object,value\n"
    "1,0\n"
    "2,1\n"
    "8175,255\n";

// kGood with line `n` replaced by `text` (its own line end included; empty removes it).
QByteArray withLine(int n, const QByteArray &text, int replaced = 1) {
    return test::withLine(kGood, n, text, replaced);
}

// What the reader would otherwise take is held by the tablefile fuzz target's oracle on its
// seeds (a table read back is written to the same bytes); these rows are the rest.
TEST(TableFile, RejectsEveryFaultNamingItsLine) {
    const struct {
        QByteArray file;
        qsizetype line;  // of the last rejection listed
        const char *reason;
        qsizetype rejectedLines = 1;
    } cases[] = {
        {"", 1, "the file is empty"},
        {"\xEF\xBB\xBF" + kGood, 1, "byte order mark"},
        {withLine(4, "# port: COM 2\n", 0), 4, "a second 'port' line (the first is line 3)"},
        {withLine(3, "# port: \n"), 3, "the port name is empty"},
        {withLine(4, "# settings: \n"), 4, "leave it out"},
        {withLine(4, "# profile: Doors\n", 0), 4, "written '# profile: NAME, version V'"},
        {withLine(4, "# profile: Doors , version 2\n", 0), 4, "begins or ends with a blank"},
        {withLine(4, "# profile: Doors, version 2 1\n", 0), 4, "version is 1 to 40 letters"},
        {withLine(5, "# profile: Doors, version 2\n", 0), 5, "'profile' must come before"},
        {withLine(7, "object,value\n", 0), 7, "a second 'object,value' line"},
        {withLine(7, "# port: COM 2\n", 0), 7, "header lines belong above"},
        {withLine(6, "8176,0\n"), 6, "8176 is a settings cell"},
        {withLine(7, "2, 1\n"), 7, "blanks are not allowed"},
        {withLine(7, "2,-1\n"), 7, "signs are not allowed"},
        {withLine(7, "2\n"), 7, "expected object,value"},
        {withLine(8, "2,5\n", 0), 8, "object 2 appears twice (first on line 7)"},
        {withLine(6, "\n", 0), 6, "the line is empty"},
        {QByteArray(kGood).replace("\n", "\r\n"), 8, "ends with CR: save the file with LF", 8},
        // 3 is rejected, so 2 may follow 1; the second 1 is named with the line of the first.
        {withLine(6, "1,0\n3,x\n2,1\n1,1\n", 2), 9, "object 1 appears twice (first on line 6)", 2},
        // All are counted, the first hundred listed.
        {kGood + QByteArray("x\n").repeated(1000), 108, "expected object,value", 1000},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.reason);
        const ParseResult result = parseTable(c.file);
        EXPECT_EQ(result.rejectedLines, c.rejectedLines);
        if (result.rejected.empty()) continue;
        EXPECT_EQ(result.rejected.back().line, c.line);
        EXPECT_TRUE(result.rejected.back().text.contains(QLatin1String(c.reason)))
            << result.rejected.back().text.toStdString();
    }
    // A table saved under a profile names it, the name holding commas and ", version ".
    const QByteArray named = withLine(4, "# profile: A, version 1, B, version 2.1-c\n", 0);
    const ParseResult read = parseTable(named);
    ASSERT_TRUE(read.table);
    EXPECT_EQ(read.table->profileName, "A, version 1, B");
    EXPECT_EQ(read.table->profileVersion, "2.1-c");
    EXPECT_EQ(toBytes(*read.table), named);
    // The words for a file that is not a table quote ten of its rejections at most.
    EXPECT_EQ(firstRejections(parseTable(kGood + QByteArray("x\n").repeated(11))).size(), 10);
}

// 06:12 at UTC+1 is 05:12 UTC. That the reader takes the file back is the fuzz oracle's.
TEST(TableFile, WritesATableInUtc) {
    const Table table{QDateTime(QDate(2026, 12, 7), QTime(6, 12), Qt::OffsetFromUTC, 3600),
                      "COM 1 (/dev/ttyUSB0)",
                      {{1, 0}, {2, 1}, {8175, 255}}, {{8176, 3}, {8191, 7}}};
    EXPECT_EQ(toBytes(table), kGood);
}

Table fullTable() {
    Table table{
        QDateTime(QDate(2026, 12, 7), QTime(5, 12), Qt::UTC), QStringLiteral("COM 1"), {}, {}};
    for (int object = 1; object <= objects::kLast; ++object) table.objects[object] = quint8(object);
    return table;
}

void writeFile(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

TEST(TableStore, SavesOwnerOnlyAndLoadsBackOnlyTables) {
    QTemporaryDir dir;
    const QString path = dir.filePath("table.csv");
    writeFile(path, "an old file, open to all\n");
    const mode_t mask = ::umask(0);  // so only saveTable keeps the file private
    const auto saved = saveTable(path, fullTable());
    ::umask(mask);
    ASSERT_TRUE(saved.ok()) << saved.words().toStdString();
    EXPECT_EQ(QFileInfo(path).permissions().toInt() & 0x7777, 0x6600);
    EXPECT_EQ(loadTable(path)->table, fullTable());

    Table noTime = fullTable();
    noTime.readAt = {};
    EXPECT_EQ(saveTable(dir.filePath("refused.csv"), noTime).why(), SaveFailure::NotATable);
    EXPECT_FALSE(QFile::exists(dir.filePath("refused.csv")));
    writeFile(dir.filePath("big.csv"), QByteArray(kMaxTableFileBytes + 1, '\n'));
    EXPECT_EQ(loadTable(dir.filePath("big.csv")).why(), LoadFailure::TooLarge);
}

// What Compare and Restore share: the jobs a table and its differences make, the time
// writing takes, and the words for an ending and for a table that cannot serve.
TEST(RestorePlan, JobsEstimateAndWords) {
    const Table table{{}, "x", {{3, 7}, {12, 202}}, {}};
    // The table's value, not the device's.
    EXPECT_EQ(plan::writeJob({{12, 5, 202}}).items().value(0).value, 202);
    // 10 objects read in a second: a write with its read-back takes 18 bytes to a read's 8.
    EXPECT_EQ(plan::writeTime(std::chrono::seconds(1), 10, 4), std::chrono::milliseconds(900));
    const auto unfit = [](const LoadResult &loaded) {
        const auto usable = plan::usableTable("t.csv", loaded);
        return usable ? QString() : usable.words();
    };
    const std::pair<QString, QString> said[] = {
        {plan::comparisonText(200, 0, 200),
         "The device holds the table's values: none of its 200 objects differs."},
        {plan::comparisonText(45, 0, 200),
         "None of the 45 objects compared differs from the table. The other 155 of the "
         "table's 200 were not compared."},
        {plan::comparisonText(0, 0, 1), "None of the table's 1 object was compared."},
        {plan::comparisonText(199, 1, 200),
         "1 of the 199 objects compared differs from the table. The other 1 of the table's "
         "200 were not compared."},
        {unfit(ParseResult{{}, {{5, "line 5: 01 has a leading zero"}}, 1}),
         "t.csv is not a table file: 1 of its lines is rejected.\n\nline 5: 01 has a leading zero"},
        {unfit(Failure<LoadFailure>{LoadFailure::TooLarge, {}}),
         "t.csv is larger than any table (1024 KB at most)"},
        {unfit(ParseResult{Table{}, {}, 0}), "t.csv holds no object."},
        {unfit(ParseResult{table, {}, 0}), ""},
    };
    for (const auto &[got, expected] : said) EXPECT_EQ(got.toStdString(), expected.toStdString());
}

}  // namespace
}  // namespace orvel

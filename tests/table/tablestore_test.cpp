#include "table/tablestore.h"
#include "table/restoreplan.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <csignal>

namespace orvel {
namespace {

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
    const SaveResult saved = saveTable(path, fullTable());
    ::umask(mask);
    ASSERT_TRUE(saved.ok()) << saved.error.toStdString();
    EXPECT_EQ(QFileInfo(path).permissions().toInt() & 0x7777, 0x6600);
    EXPECT_EQ(loadTable(path).table, fullTable());

    // A disk that fills up halfway (in a child process, its file size limited) leaves the
    // old file as it was, and no temporary file behind.
    Table other = fullTable();
    other.port = QStringLiteral("COM 2");
    if (const pid_t child = ::fork(); child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};  // a table is about 70 KB
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::_exit(saveTable(path, other).ok() ? 0 : 1);
    } else {
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    }
    EXPECT_EQ(loadTable(path).table, fullTable());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"table.csv"});

    Table noTime = fullTable();
    noTime.readAt = {};
    EXPECT_FALSE(saveTable(dir.filePath("refused.csv"), noTime).ok());
    EXPECT_FALSE(QFile::exists(dir.filePath("refused.csv")));
    writeFile(dir.filePath("big.csv"), QByteArray(kMaxTableFileBytes + 1, '\n'));
    EXPECT_TRUE(loadTable(dir.filePath("big.csv")).error.contains("larger than any table"));
}

}  // namespace
}  // namespace orvel

namespace orvel {
namespace {

// What Compare and Restore share: the jobs a table and its differences make, the time
// writing takes, and the words for an ending and for a table that cannot serve.
TEST(RestorePlan, JobsEstimateAndWords) {
    const Table table{{}, "x", {{3, 7}, {12, 202}}, {}};
    // The table's value, not the device's.
    EXPECT_EQ(plan::writeJob({{12, 5, 202}}).items().value(0).value, 202);
    // 10 objects read in a second: a write with its read-back takes 18 bytes to a read's 8.
    EXPECT_EQ(plan::writeTime(std::chrono::seconds(1), 10, 4), std::chrono::milliseconds(900));
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
        {plan::tableProblem("t.csv", {std::nullopt, {}, {{5, "line 5: 01 has a leading zero"}}, 1}),
         "t.csv is not a table file: 1 of its lines is rejected.\n\nline 5: 01 has a leading zero"},
        {plan::tableProblem("t.csv", {Table{}, {}, {}, 0}), "t.csv holds no object."},
        {plan::tableProblem("t.csv", {table, {}, {}, 0}), ""},
    };
    for (const auto &[got, expected] : said) EXPECT_EQ(got.toStdString(), expected.toStdString());
}

}  // namespace
}  // namespace orvel

#include "table/tablestore.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
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

mode_t modeOf(const QString &path) {
    struct stat info {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    return info.st_mode & 07777;
}

void writeFile(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

TEST(TableStore, SavesOwnerOnlyAndLoadsBackOnlyTables) {
    QTemporaryDir dir;
    const QString path = dir.filePath("table.csv");
    const mode_t mask = ::umask(0);  // so only saveTable keeps the file private
    const SaveResult saved = saveTable(path, fullTable());
    ::umask(mask);
    ASSERT_TRUE(saved.ok()) << saved.error.toStdString();
    EXPECT_EQ(modeOf(path), 0600u);
    EXPECT_EQ(loadTable(path).table, fullTable());

    ::chmod(QFile::encodeName(path).constData(), 0644);
    ASSERT_TRUE(saveTable(path, fullTable()).ok());
    EXPECT_EQ(modeOf(path), 0600u);

    Table noTime = fullTable();
    noTime.readAt = {};
    EXPECT_FALSE(saveTable(dir.filePath("refused.csv"), noTime).ok());
    EXPECT_FALSE(QFile::exists(dir.filePath("refused.csv")));
    writeFile(dir.filePath("big.csv"), QByteArray(kMaxTableFileBytes + 1, '\n'));
    EXPECT_TRUE(loadTable(dir.filePath("big.csv")).error.contains("larger than any table"));
}

// A disk that fills up halfway (in a child process, its file size limited) leaves the old
// file as it was, and no temporary file behind.
TEST(TableStore, AFailedSaveLeavesTheOldFileAsItWas) {
    QTemporaryDir dir;
    const QString path = dir.filePath("table.csv");
    writeFile(path, "the old table\n");
    const pid_t child = ::fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};  // the new table is about 70 KB
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::_exit(saveTable(path, fullTable()).ok() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), "the old table\n");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"table.csv"});
}

}  // namespace
}  // namespace orvel

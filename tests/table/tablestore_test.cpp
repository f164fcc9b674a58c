#include "table/tablestore.h"

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

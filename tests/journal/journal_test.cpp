#include "journal/journal.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <thread>

namespace orvel {
namespace {

using namespace std::chrono_literals;

QByteArray contents(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void makeFile(const QString &path, qint64 size = 0) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.resize(size));
}

QStringList files(const QString &dir) {
    return QDir(dir).entryList(QDir::Files, QDir::Name);
}

QDateTime at(int year, int month, int day, int offsetHours = 0) {
    return QDateTime(QDate(year, month, day), QTime(23, 30, 0, 7), Qt::OffsetFromUTC,
                     offsetHours * 3600);
}

TEST(Journal, WritesEachLineAtOnceIntoTheFileOfItsDay) {
    const struct {
        QDateTime time;
        QString port, operation;
        int object, value;
        const char *file, *line;
    } cases[] = {
        {at(2026, 12, 7, -3), "COM 1 (/dev/ttyUSB0)", "read", 8175, 255, "journal-2026-12-07.csv",
         "2026-12-07T23:30:00.007-03:00,COM 1 (/dev/ttyUSB0),read,8175,255\n"},
        {at(2026, 12, 7, 0), "COM \"2\", left", "write\n", 1, 0, "journal-2026-12-07.csv",
         "2026-12-07T23:30:00.007+00:00,\"COM \"\"2\"\", left\",\"write\n\",1,0\n"},
        {at(2026, 12, 7, 0).toOffsetFromUtc(5 * 3600 + 1800), "COM 1", "read", 2, 1,
         "journal-2026-12-08.csv", "2026-12-08T05:00:00.007+05:30,COM 1,read,2,1\n"},
    };
    QTemporaryDir dir;
    Journal journal(dir.path());
    QByteArray expected;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.line);
        const QString path = dir.filePath(c.file);
        expected = QFile::exists(path) ? contents(path) : QByteArray(JournalLine::kColumns);
        journal.append(c.time, c.port, c.operation, c.object, c.value);
        EXPECT_EQ(contents(path), expected + c.line);
    }
    EXPECT_FALSE(journal.takeError());
}

// Held lines wait for flush() (or the journal's end) and go out together; a line of
// another day first sends those held to their own day's file.
TEST(Journal, HeldLinesGoOutAtFlushEachIntoTheFileOfItsDay) {
    QTemporaryDir dir;
    const auto day = [&](int d) {
        return contents(dir.filePath(QString("journal-2026-12-0%1.csv").arg(d)));
    };
    {
        Journal journal(dir.path());
        journal.appendLater(at(2026, 12, 7), u"COM 1", u"read", 1, 10);
        journal.appendLater(at(2026, 12, 7), u"COM 1", u"read", 2, 20);
        EXPECT_EQ(day(7), "");
        journal.flush();
        EXPECT_EQ(day(7), JournalLine::kColumns + QByteArray("2026-12-07T23:30:00.007+00:00,COM 1,"
                                                             "read,1,10\n2026-12-07T23:30:00.007+"
                                                             "00:00,COM 1,read,2,20\n"));
        journal.appendLater(at(2026, 12, 8), u"COM 1", u"write", 4, 1);
        journal.appendLater(at(2026, 12, 7), u"COM 1", u"read", 3, 30);
        EXPECT_TRUE(day(8).endsWith(",write,4,1\n") && !day(7).contains(",3,30"));
    }
    EXPECT_TRUE(day(7).endsWith(",read,3,30\n"));
}

TEST(Journal, RemovesTheOldestDayFilesPastItsLimits) {
    const auto dayFile = [](int day) { return QStringLiteral("journal-2026-01-0%1.csv").arg(day); };
    const struct {
        std::vector<int> days;  // of January 2026, one file each, of `size` bytes
        qint64 size;
        JournalLimits limits;
        std::vector<int> kept;  // with the day written, the 6th
    } cases[] = {
        {{1, 2, 3, 4, 5}, 10, {3, 1000}, {4, 5, 6}},  // too many days
        {{1, 2, 3}, 1000, {60, 2100}, {2, 3, 6}},     // too many bytes
        {{1, 6}, 5000, {60, 2000}, {6}},              // the day written alone is too big
        {{1, 5}, 100, {3, 1000}, {1, 5, 6}},          // within the limits
    };
    for (const auto &c : cases) {
        QTemporaryDir dir;
        for (const int day : c.days) makeFile(dir.filePath(dayFile(day)), c.size);
        makeFile(dir.filePath("notes.txt"));
        Journal(dir.path(), c.limits).append(at(2026, 1, 6), u"COM 1", u"read", 1, 1);
        QStringList kept;
        for (const int day : c.kept) kept.append(dayFile(day));
        EXPECT_EQ(files(dir.path()), kept << "notes.txt");
    }
}

TEST(Journal, AnUnwritableFolderIsReportedOnceAndTriedAgainOnlyLater) {
    QTemporaryDir dir;
    makeFile(dir.filePath("blocker"));  // a file where a folder must be
    const QString folder = dir.filePath("blocker/journal");
    Journal journal(folder, {}, 500ms);
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 1000; ++i) journal.append(at(2026, 1, 6), u"COM 1", u"read", i, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
    EXPECT_TRUE(journal.takeError().value_or("").contains(dir.filePath("blocker")));
    EXPECT_FALSE(journal.takeError());

    ASSERT_TRUE(QFile::remove(dir.filePath("blocker")));
    journal.append(at(2026, 1, 6), u"COM 1", u"read", 1, 0);
    EXPECT_FALSE(QDir(folder).exists());
    std::this_thread::sleep_for(600ms);
    journal.append(at(2026, 1, 6), u"COM 1", u"read", 2, 0);
    EXPECT_TRUE(contents(folder + "/journal-2026-01-06.csv").endsWith(",2,0\n"));
    EXPECT_FALSE(journal.takeError());
}

TEST(Journal, KeepsItsFolderAndFilesToTheOwner) {
    for (const bool loose : {false, true}) {
        QTemporaryDir dir;
        const QString folder = dir.filePath("state/journal");
        const QString file = folder + "/journal-2026-01-06.csv";
        const mode_t mask = ::umask(0);
        if (loose) {  // made before, open to all
            QDir().mkpath(folder);
            makeFile(file);
        }
        Journal(folder).append(at(2026, 1, 6), u"COM 1", u"read", 1, 0);
        ::umask(mask);
        EXPECT_EQ(QFileInfo(folder).permissions().toInt() & 0x7777, 0x7700) << loose;
        EXPECT_EQ(QFileInfo(file).permissions().toInt() & 0x7777, 0x6600) << loose;
    }
}

}  // namespace
}  // namespace orvel

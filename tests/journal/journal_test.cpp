#include "journal/journal.h"

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
#include <map>
#include <cstdio>
#include <memory>
#include <string_view>
#include <thread>

namespace orvel {
namespace {

using namespace std::chrono;

QByteArray contents(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void makeFile(const QString &path, qint64 size = 0) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.resize(size));
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
    Journal journal(dir.filePath("state/journal"));  // its own two folders, not /tmp
    QByteArray expected;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.line);
        const QString path = dir.filePath(QStringLiteral("state/journal/") + c.file);
        expected = QFile::exists(path) ? contents(path) : QByteArray(JournalLine::kColumns);
        EXPECT_TRUE(journal.append(c.time, c.port, c.operation, c.object, c.value).ok());
        EXPECT_EQ(contents(path), expected + c.line);
    }
}

// Only regular files of the user's named exactly journal-YYYY-MM-DD.csv with a real date are
// day files; anything else stays and counts neither as a day nor as bytes (each as large as a day).
TEST(Journal, RemovesTheOldestDayFilesPastItsLimitsAndNothingElse) {
    // Day 1 is 2025-12-31; day 100, written, 2026-04-09.
    const auto dayFile = [](int n) { return journalFileName(sys_days{days{20452 + n}}); };
    // Days 1 to `days`, a file each of `size` bytes; kept: `kept` to `days`, and day 100.
    const struct { const char *name; int days, size; JournalLimits max; int kept; } cases[] = {
        {"too many days", 5, 10, {3, 1000}, 4},         {"too many bytes", 3, 1000, {60, 2100}, 2},
        {"the day written too big", 1, 10, {60, 20}, 2}, {"within limits", 2, 100, {3, 1000}, 1},
        {"70 days, 60 kept", 70, 10, {}, 12},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir temporary;
        const QDir dir(temporary.filePath("state/journal"));  // its own two folders, not /tmp
        dir.mkpath(".");
        QStringList kept = {"JOURNAL-2020-01-01.CSV", "Journal-2019-05-05.csv",
                            "journal-0000-00-00.csv", "journal-2021-02-30.csv",
                            "journal-9999-99-99.csv", "journal-abcd-ef-gh.csv",
                            "journal-2020-1-01.csv",  "journal-2020-01-01.csv~"};
        for (const QString &name : kept) makeFile(dir.filePath(name), c.size);
        dir.mkdir("journal-2019-01-01.csv");
        QFile::link(dir.filePath(kept[0]), dir.filePath("journal-2019-01-02.csv"));
        for (int day = 1; day <= c.days; ++day) makeFile(dir.filePath(dayFile(day)), c.size);
        if (::geteuid() == 0) {  // another user's, by a day file's name: only root can give it
            const QString theirs = dir.filePath("journal-2019-01-06.csv");
            makeFile(theirs, c.size);
            ASSERT_EQ(::chown(QFile::encodeName(theirs).constData(), 65534, 65534), 0);
            kept << "journal-2019-01-06.csv";
        }
        EXPECT_TRUE(Journal(dir.path(), c.max).append(at(2026, 4, 9), u"COM 1", u"read", 1, 1));
        for (int day = c.kept; day <= c.days; ++day) kept << dayFile(day);
        kept << dayFile(100) << "journal-2019-01-01.csv" << "journal-2019-01-02.csv";
        kept.sort();
        EXPECT_EQ(dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name)
                      .join(' ').toStdString(), kept.join(' ').toStdString());
    }
}

using Snapshot = std::map<QString, std::pair<QByteArray, int>>;  // name: contents, mode
Snapshot snapshot(const QString &folder) {
    Snapshot files;  // the folder itself too, as "."
    for (const QFileInfo &file : QDir(folder).entryInfoList(QDir::AllEntries | QDir::System))
        files[file.fileName()] = {contents(file.filePath()), file.permissions()};
    return files;
}

// Nothing planted in the journal's folders is used: what a link points at stays as it was
// (two day files, open to all, that a followed removal would take), the appends go on, it is
// said once and tried again later. What the user made before loses any access by others.
TEST(Journal, UsesNothingPlantedInItsFolderAndKeepsItToTheOwner) {
    const char *day = "state/journal/journal-2026-01-06.csv";
    // In the test's folder at `plant`: a link to `target` (a hard one: "hard"), or a file,
    // or a folder or file given to another user ("theirs", only root can).
    const struct { const char *name, *plant, *target, *said, *kind = ""; } cases[] = {
        {"the journal folder a link", "state/journal", "elsewhere", "symbolic link"},
        {"its parent a link", "state", "elsewhere", "symbolic link"},
        {"the day file a link", day, "elsewhere/journal-2026-01-01.csv", "symbolic link"},
        {"the day file a dangling link", day, "elsewhere/journal-2026-01-06.csv", "symbolic link"},
        {"the day file a second name", day, "elsewhere/journal-2026-01-02.csv", "other names",
         "hard"},
        {"the day file another user's", day, nullptr, "belongs to another user", "theirs"},
        {"the journal folder another user's", "state/journal", "", "belongs to another user",
         "theirs"},
        {"a file where a folder must be", "state", nullptr, "state: "},
        {"folder and day file made before, open to all", nullptr, nullptr, nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const bool theirs = c.kind == std::string_view("theirs");
        if (theirs && ::geteuid() != 0) continue;  // only root can give a file away
        QTemporaryDir dir;
        const mode_t mask = ::umask(0);
        for (const char *folder : {"state/journal", "elsewhere"})
            QDir().mkpath(dir.filePath(folder));
        for (const char *name : {"journal-2026-01-01.csv", "journal-2026-01-02.csv"})
            makeFile(dir.filePath("elsewhere/") + name, 5);
        const QString planted = dir.filePath(c.plant ? c.plant : day);
        const QByteArray plant = QFile::encodeName(planted);
        if (c.plant) QDir(planted).removeRecursively();
        if (c.target && *c.target)
            (c.kind == std::string_view("hard") ? ::link : ::symlink)(
                QFile::encodeName(dir.filePath(c.target)).constData(), plant.constData());
        else if (c.target) QDir().mkdir(planted);
        else makeFile(planted);  // blocking, or made before
        if (theirs) {
            ASSERT_EQ(::chown(plant.constData(), 65534, 65534), 0);
        }
        const auto before = snapshot(dir.filePath("elsewhere"));
        Journal journal(dir.filePath("state/journal"), {1, 1 << 20}, 200ms);
        QStringList said;
        const auto append = [&](int object) {
            const auto written = journal.append(at(2026, 1, 6), u"COM 1", u"read", object, 0);
            if (!written) said << written.words();
        };
        for (int i = 0; i < 3; ++i) append(i);
        ::umask(mask);
        EXPECT_EQ(snapshot(dir.filePath("elsewhere")), before);
        if (c.plant) {  // tried again later, and not said again; once gone, used when tried again
            std::this_thread::sleep_for(200ms);
            append(3);
            ::remove(plant.constData());
            append(3);
            std::this_thread::sleep_for(200ms);
        }
        append(4);
        EXPECT_EQ(said.size(), c.said ? 1 : 0);
        EXPECT_TRUE(said.value(0).contains(c.said ? c.said : "")) << said.value(0).toStdString();
        EXPECT_TRUE(contents(dir.filePath(day)).endsWith(",read,4,0\n"));
        EXPECT_EQ(journal.unjournaled(), c.plant ? 5 : 0);
        EXPECT_EQ(QFileInfo(dir.filePath("state/journal")).permissions() & 0x7777, 0x7700);
        EXPECT_EQ(QFileInfo(dir.filePath(day)).permissions() & 0x7777, 0x6600);
    }
}

// Each new failure is said once, a failure after another too (a folder planted where the
// link was), the same again after lines were written; one that lasts only counts its lines.
// Tried again at every append here.
TEST(Journal, SaysEachNewFailureOnceAndCountsTheLinesItCouldNotWrite) {
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath("state/journal"));
    const QString day6 = dir.filePath("state/journal/journal-2026-01-06.csv");
    const std::tuple<const char *, int, const char *> steps[] = {  // planted at day 6, day, said
        {"link", 6, "symbolic link"}, {"link", 6, ""}, {"folder", 6, "a folder"},
        {"folder", 6, ""}, {"", 6, ""}, {"", 7, ""}, {"folder", 6, "a folder"}};
    Journal journal(dir.filePath("state/journal"), {}, 0ms);  // its own two folders, not /tmp
    for (int i = 0; i < 7; ++i) {
        SCOPED_TRACE(i);
        const auto &[plant, day, expected] = steps[i];
        ::remove(QFile::encodeName(day6).constData());
        if (plant == std::string_view("link")) QFile::link(dir.filePath("x"), day6);
        if (plant == std::string_view("folder")) QDir().mkdir(day6);
        const auto written = journal.append(at(2026, 1, day), u"COM 1", u"read", 1, 0);
        const QString said = written ? QString() : written.words();
        EXPECT_EQ(said.isEmpty(), !*expected) << said.toStdString();
        EXPECT_TRUE(said.contains(expected)) << said.toStdString();
    }
    EXPECT_EQ(journal.unjournaled(), 5);
}

// A disk that takes a line only in part (a size limit gives a full disk's short write, then
// its failure): the part goes at once, as does a line torn before; the values not journaled
// are counted and said once. Held lines wait for flush(), another day's line or the end.
TEST(Journal, KeepsOnlyWholeLinesWhenTheDiskFills) {
    const auto line = [](int object) {
        return "2026-01-06T23:30:00.007+00:00,COM 1,read," + QByteArray::number(object) + ",9\n";
    };
    const QByteArray head = JournalLine::kColumns + line(1);
    // room: bytes for the held lines 2 and 3; -1: a line torn before, and no limit
    const struct { const char *name; qint64 room; QByteArray kept; int lost; } cases[] = {
        {"cut in the time", 15, "", 2},
        {"cut in the second line's value", line(2).size() * 2 - 2, line(2), 1},
        {"cut exactly at the second line's end", line(2).size(), line(2), 1},
        {"no room at all", 0, "", 2},
        {"a line torn before", -1, line(2) + line(3), 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir temporary;
        const QDir dir(temporary.filePath("state/journal"));  // its own two folders, not /tmp
        dir.mkpath(".");
        const QString file = dir.filePath("journal-2026-01-06.csv");
        makeFile(file, c.room < 0 ? 3 : 0);  // a power cut may leave zeros
        const pid_t child = ::fork();
        if (child == 0) {
            ::signal(SIGXFSZ, SIG_IGN);
            auto journal = std::make_unique<Journal>(dir.path(), JournalLimits{}, 0ms);
            int bad = !journal->append(at(2026, 1, 6), u"COM 1", u"read", 1, 9);
            rlimit room{rlim_t(head.size() + c.room), RLIM_INFINITY};
            if (c.room >= 0) ::setrlimit(RLIMIT_FSIZE, &room);
            for (int i : {2, 3})
                bad += !journal->appendLater(at(2026, 1, 6), u"COM 1", u"read", i, 9);
            bad += contents(file) != head;  // out before flush()
            int said = !journal->flush();
            bad += contents(file) != head + c.kept;  // not cut at once
            room.rlim_cur = RLIM_INFINITY;
            ::setrlimit(RLIMIT_FSIZE, &room);
            said += !journal->appendLater(at(2026, 1, 6), u"COM 1", u"read", 4, 9);
            said += !journal->appendLater(at(2026, 1, 7), u"COM 1", u"read", 5, 9);  // 4 out
            const int lost = int(journal->unjournaled());
            journal.reset();  // sends 5 out
            ::_exit(lost + 8 * said + 32 * bad);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_EQ(WEXITSTATUS(status), c.lost + (c.room >= 0 ? 8 : 0));
        EXPECT_EQ(contents(file), head + c.kept + line(4));
        EXPECT_TRUE(contents(dir.filePath("journal-2026-01-07.csv")).endsWith(",read,5,9\n"));
    }
}

}  // namespace
}  // namespace orvel

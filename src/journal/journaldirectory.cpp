#include "journal/journaldirectory.h"

#include "files/regularfile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <optional>
#include <string_view>
#include <vector>

namespace orvel {

using namespace std::chrono;

constexpr mode_t kPrivateDirectory = 0700;
constexpr qsizetype kOwnFolders = 2;  // orvel-programator/journal

QString defaultJournalDirectory() {
    // Qt 6.4 has no state location; a relative XDG_STATE_HOME is to be ignored.
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || QDir::isRelativePath(state)) state = QDir::homePath() + "/.local/state";
    return state + "/orvel-programator/journal";
}

QString journalFileName(sys_days day) {
    const year_month_day date{day};
    char name[48];
    std::snprintf(name, sizeof name, "journal-%04d-%02u-%02u.csv", int(date.year()),
                  unsigned(date.month()), unsigned(date.day()));
    return QString::fromLatin1(name);
}

namespace {

Failure<JournalFailure> systemFailure(int error = errno) {
    return {JournalFailure::System, qt_error_string(error)};
}

// Opens the folder `name` in `folder`; with O_NOFOLLOW a link there is named as such. errno
// is kept.
Outcome<int, JournalFailure> openIn(int folder, const QByteArray &name, int flags) {
    const int fd = ::openat(folder, name.constData(), flags | O_CLOEXEC);
    if (fd >= 0) return fd;
    const int error = errno;
    struct stat info {};
    const bool link = (flags & O_NOFOLLOW) &&
                      ::fstatat(folder, name.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
                      S_ISLNK(info.st_mode);
    errno = error;
    if (link)
        return Failure<JournalFailure>{JournalFailure::Link,
                                       QStringLiteral("a symbolic link, not followed")};
    return systemFailure(error);
}

Failure<JournalFailure> journalFailure(const Failure<FileFailure> &failure) {
    switch (failure.why) {
        case FileFailure::Link: return {JournalFailure::Link, failure.words};
        case FileFailure::System: return {JournalFailure::System, failure.words};
        case FileFailure::NotAFile:
        case FileFailure::NotOwn:
        case FileFailure::OtherNames: break;
    }
    return {JournalFailure::NotOwn, failure.words};
}

// The day of a day file's name, exactly journal-YYYY-MM-DD.csv with a real date.
std::optional<sys_days> dayOfName(std::string_view name) {
    constexpr std::string_view pattern = "journal-0000-00-00.csv";
    if (name.size() != pattern.size()) return std::nullopt;
    for (size_t i = 0; i < name.size(); ++i) {
        const bool digit = name[i] >= '0' && name[i] <= '9';
        if (pattern[i] == '0' ? !digit : name[i] != pattern[i]) return std::nullopt;
    }
    const auto number = [&](size_t at, size_t length) {
        int n = 0;
        for (size_t i = at; i < at + length; ++i) n = n * 10 + (name[i] - '0');
        return n;
    };
    const year_month_day date{year(number(8, 4)), month(unsigned(number(13, 2))),
                              day(unsigned(number(16, 2)))};
    if (!date.ok()) return std::nullopt;
    return sys_days(date);
}

}  // namespace

Outcome<int, JournalFailure> openJournalFolder(const QString &path) {
    const QString absolute = QDir::cleanPath(QDir(path).absolutePath());
    const QStringList parts = absolute.split(u'/', Qt::SkipEmptyParts);
    Outcome<int, JournalFailure> folder = ::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (*folder < 0) folder = systemFailure();
    QString reached;
    for (qsizetype i = 0; i < parts.size() && folder; ++i) {
        const bool own = i >= parts.size() - kOwnFolders;
        const QByteArray name = QFile::encodeName(parts[i]);
        const int flags = O_RDONLY | O_DIRECTORY | (own ? O_NOFOLLOW : 0);
        reached += u'/' + parts[i];
        auto next = openIn(*folder, name, flags);
        if (!next && errno == ENOENT) {
            if (::mkdirat(*folder, name.constData(), kPrivateDirectory) != 0 && errno != EEXIST)
                next = systemFailure();
            else
                next = openIn(*folder, name, flags);
        }
        ::close(*folder);
        folder = std::move(next);
        if (!folder || !own) continue;
        if (const auto claimed = claimOwn(*folder, S_IFDIR); !claimed) {
            ::close(*folder);
            folder = journalFailure(claimed.failure());
        }
    }
    if (folder) return folder;
    // Nothing reached: not even "/" could be opened (no descriptors left, say).
    return Failure<JournalFailure>{
        folder.why(),
        QStringLiteral("%1: %2").arg(reached.isEmpty() ? absolute : reached, folder.words())};
}

Done<JournalFailure> makePrivateDirectory(const QString &path) {
    const auto folder = openJournalFolder(path);
    if (!folder) return folder.failure();
    ::close(*folder);
    return {};
}

Outcome<int, JournalFailure> openDayFile(int folder, const QString &name) {
    const auto fd = openPrivateFile(folder, QFile::encodeName(name), O_RDWR);
    if (!fd) return journalFailure(fd.failure());
    return *fd;
}

QStringList pruneJournal(int folder, const QString &keep, JournalLimits limits) {
    struct DayFile {
        sys_days day;
        QString name;
        qint64 size;
    };
    std::vector<DayFile> files;
    qint64 total = 0;
    const int listing = ::dup(folder);
    if (DIR *dir = listing >= 0 ? ::fdopendir(listing) : nullptr) {
        ::rewinddir(dir);
        while (const dirent *entry = ::readdir(dir)) {
            const std::optional<sys_days> day = dayOfName(entry->d_name);
            struct stat info {};
            // Another user's file in the folder is theirs: neither counted nor removed.
            if (!day || ::fstatat(folder, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
                !S_ISREG(info.st_mode) || info.st_uid != ::geteuid())
                continue;
            files.push_back({*day, QFile::decodeName(entry->d_name), qint64(info.st_size)});
            total += info.st_size;
        }
        ::closedir(dir);
    } else if (listing >= 0) {
        ::close(listing);
    }
    std::sort(files.begin(), files.end(),
              [](const DayFile &a, const DayFile &b) { return a.day < b.day; });
    QStringList removed;
    size_t left = files.size();
    for (const DayFile &file : files) {
        if (left <= size_t(limits.maxDayFiles) && total <= limits.maxTotalBytes) break;
        if (file.name == keep) continue;
        if (::unlinkat(folder, QFile::encodeName(file.name).constData(), 0) != 0) continue;
        removed.append(file.name);
        total -= file.size;
        --left;
    }
    return removed;
}

}  // namespace orvel

#include "journal/journaldirectory.h"

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
constexpr mode_t kPrivateFile = 0600;
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

// Opens `name` in `folder`; with O_NOFOLLOW a link there is named as such.
int openIn(int folder, const QByteArray &name, int flags, mode_t mode, QString *problem) {
    const int fd = ::openat(folder, name.constData(), flags | O_CLOEXEC, mode);
    if (fd >= 0) return fd;
    const int error = errno;
    struct stat info {};
    const bool link = (flags & O_NOFOLLOW) &&
                      ::fstatat(folder, name.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
                      S_ISLNK(info.st_mode);
    *problem = link ? QStringLiteral("a symbolic link, not followed") : qt_error_string(error);
    errno = error;
    return -1;
}

// Why the file open on `fd` is not the user's own of `type`, or an empty text; it loses
// any access by group or others.
QString claim(int fd, mode_t type) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) return qt_error_string(errno);
    if ((info.st_mode & S_IFMT) != type)
        return type == S_IFDIR ? QStringLiteral("not a folder")
                               : QStringLiteral("not a regular file");
    if (info.st_uid != ::geteuid()) return QStringLiteral("belongs to another user");
    if (type == S_IFREG && info.st_nlink != 1) return QStringLiteral("has other names (links)");
    if ((info.st_mode & 077) != 0 && ::fchmod(fd, info.st_mode & 0700) != 0)
        return qt_error_string(errno);
    return {};
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

JournalFolder openJournalFolder(const QString &path) {
    const QString absolute = QDir::cleanPath(QDir(path).absolutePath());
    const QStringList parts = absolute.split(u'/', Qt::SkipEmptyParts);
    JournalFolder folder;
    folder.fd = ::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    QString reached;
    QString why = folder.fd < 0 ? qt_error_string(errno) : QString();
    for (qsizetype i = 0; i < parts.size() && folder.fd >= 0; ++i) {
        const bool own = i >= parts.size() - kOwnFolders;
        const QByteArray name = QFile::encodeName(parts[i]);
        const int flags = O_RDONLY | O_DIRECTORY | (own ? O_NOFOLLOW : 0);
        reached += u'/' + parts[i];
        int next = openIn(folder.fd, name, flags, 0, &why);
        if (next < 0 && errno == ENOENT) {
            if (::mkdirat(folder.fd, name.constData(), kPrivateDirectory) != 0 && errno != EEXIST)
                why = qt_error_string(errno);
            else
                next = openIn(folder.fd, name, flags, 0, &why);
        }
        ::close(folder.fd);
        folder.fd = next;
        if (next >= 0) why = own ? claim(next, S_IFDIR) : QString();
        if (!why.isEmpty() && folder.fd >= 0) {
            ::close(folder.fd);
            folder.fd = -1;
        }
    }
    if (folder.fd < 0) folder.problem = QStringLiteral("%1: %2").arg(reached, why);
    return folder;
}

QString makePrivateDirectory(const QString &path) {
    const JournalFolder folder = openJournalFolder(path);
    if (folder.fd >= 0) ::close(folder.fd);
    return folder.problem;
}

int openPrivateFile(int folder, const QString &name, QString *problem) {
    const int fd = openIn(folder, QFile::encodeName(name), O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW,
                          kPrivateFile, problem);
    if (fd < 0) return -1;
    *problem = claim(fd, S_IFREG);
    if (problem->isEmpty()) return fd;
    ::close(fd);
    return -1;
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
            if (!day || ::fstatat(folder, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
                !S_ISREG(info.st_mode))
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

#include "ledger/ledgerfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "journal/journaldirectory.h"

namespace orvel {

QString defaultLedgerPath() {
    // GenericDataLocation is $XDG_DATA_HOME when absolute, else ~/.local/share.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/orvel-programator/ledger/ledger.sqlite");
}

namespace {

Failure<LedgerFailure> fromJournal(const Failure<JournalFailure> &failure, const QString &place) {
    LedgerFailure why = LedgerFailure::System;
    if (failure.why == JournalFailure::Link) why = LedgerFailure::Link;
    if (failure.why == JournalFailure::NotOwn) why = LedgerFailure::NotOwn;
    return {why, place.isEmpty() ? failure.words : place + QStringLiteral(": ") + failure.words};
}

// Looks at `name` in `folder` without opening it (closing a descriptor of a file would drop
// the locks another connection of this process holds on it), or makes it 0600. It must be a
// regular file of the user's with no other name; it loses any access by group or others.
Done<JournalFailure> claimFile(int folder, const QByteArray &name, struct stat &seen) {
    const auto notOwn = [](const char *why) {
        return Failure<JournalFailure>{JournalFailure::NotOwn, QString::fromLatin1(why)};
    };
    if (::fstatat(folder, name.constData(), &seen, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT) return Failure<JournalFailure>{JournalFailure::System, qt_error_string()};
        const int fd = ::openat(folder, name.constData(),
                                O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 || ::fstat(fd, &seen) != 0) {
            const int error = errno;
            if (fd >= 0) ::close(fd);
            return Failure<JournalFailure>{JournalFailure::System, qt_error_string(error)};
        }
        ::close(fd);
    }
    if (S_ISLNK(seen.st_mode))
        return Failure<JournalFailure>{JournalFailure::Link,
                                       QStringLiteral("a symbolic link, not followed")};
    if (!S_ISREG(seen.st_mode)) return notOwn("not a regular file");
    if (seen.st_uid != ::geteuid()) return notOwn("belongs to another user");
    if (seen.st_nlink != 1) return notOwn("has other names (links)");
    if ((seen.st_mode & 077) != 0 && ::fchmodat(folder, name.constData(), seen.st_mode & 0700, 0))
        return Failure<JournalFailure>{JournalFailure::System, qt_error_string()};
    return {};
}

}  // namespace

Outcome<LedgerFile, LedgerFailure> prepareLedgerFile(const QString &given, bool create) {
    const bool atDefault = given.isEmpty();
    const QFileInfo info(QDir::cleanPath(QDir().absoluteFilePath(atDefault ? defaultLedgerPath()
                                                                           : given)));
    LedgerFile file{info.filePath()};
    struct stat seen {};
    if (!create && ::lstat(QFile::encodeName(file.path).constData(), &seen) != 0 &&
        errno == ENOENT)
        return Failure<LedgerFailure>{LedgerFailure::Missing, file.path};
    Outcome<int, JournalFailure> folder =
        atDefault ? openJournalFolder(info.path())
                  : Outcome<int, JournalFailure>(::open(QFile::encodeName(info.path()).constData(),
                                                        O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder && *folder < 0)
        folder = Failure<JournalFailure>{JournalFailure::System,
                                         info.path() + QStringLiteral(": ") + qt_error_string()};
    if (!folder) return fromJournal(folder.failure(), {});
    // SQLite makes -wal and -shm beside the file when they are missing: made here first,
    // they cannot be a link planted there.
    for (const char *suffix : {"", "-wal", "-shm"}) {
        const QString name = info.fileName() + QLatin1String(suffix);
        const auto checked = claimFile(*folder, QFile::encodeName(name), seen);
        if (!checked) {
            ::close(*folder);
            return fromJournal(checked.failure(), info.path() + u'/' + name);
        }
        if (*suffix == '\0') {
            file.device = seen.st_dev;
            file.inode = seen.st_ino;
        }
    }
    ::close(*folder);
    return file;
}

bool stillTheFile(const LedgerFile &file) {
    struct stat seen {};
    return ::lstat(QFile::encodeName(file.path).constData(), &seen) == 0 &&
           S_ISREG(seen.st_mode) && seen.st_dev == file.device && seen.st_ino == file.inode;
}

}  // namespace orvel

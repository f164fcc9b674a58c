#include "files/regularfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>

namespace orvel {
namespace {

constexpr mode_t kPrivateFile = 0600;
constexpr int kNameTries = 100;  // for a temporary name nobody holds

Failure<FileFailure> systemFailure(int error = errno) {
    return {FileFailure::System, qt_error_string(error)};
}

Failure<FileFailure> linkFailure() {
    return {FileFailure::Link, QStringLiteral("a symbolic link, not followed")};
}

// "a FIFO (named pipe), not a regular file"
Failure<FileFailure> notA(mode_t type, mode_t wanted) {
    const char *kind = "an unknown kind of file";
    switch (type & S_IFMT) {
        case S_IFDIR: kind = "a folder"; break;
        case S_IFREG: kind = "a regular file"; break;
        case S_IFIFO: kind = "a FIFO (named pipe)"; break;
        case S_IFCHR: kind = "a character device"; break;
        case S_IFBLK: kind = "a block device"; break;
        case S_IFSOCK: kind = "a socket"; break;
        case S_IFLNK: return linkFailure();
    }
    return {FileFailure::NotAFile,
            QStringLiteral("%1, not %2")
                .arg(QLatin1String(kind),
                     wanted == S_IFDIR ? QLatin1String("a folder") : QLatin1String("a regular file"))};
}

// What is at `name` in `folder`, not followed: nothing, or a regular file of the user's.
Done<FileFailure> replaceableIn(int folder, const QByteArray &name) {
    struct stat info {};
    if (::fstatat(folder, name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? Done<FileFailure>() : systemFailure();
    if (!S_ISREG(info.st_mode)) return notA(info.st_mode, S_IFREG);
    if (info.st_uid != ::geteuid())
        return Failure<FileFailure>{FileFailure::NotOwn, QStringLiteral("belongs to another user")};
    return {};
}

Done<FileFailure> writeAll(int fd, QByteArrayView bytes) {
    for (qsizetype at = 0; at < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + at, size_t(bytes.size() - at));
        if (n > 0)
            at += n;
        else if (n == 0 || errno != EINTR)
            return systemFailure(n == 0 ? EIO : errno);
    }
    return {};
}

Done<FileFailure> writeWholeIn(int folder, const QByteArray &name, QByteArrayView bytes) {
    if (const auto there = replaceableIn(folder, name); !there) return there;
    QByteArray temporary;
    int fd = -1;
    for (int i = 0; i < kNameTries && fd < 0; ++i) {
        temporary = '.' + name + '.' + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        fd = ::openat(folder, temporary.constData(),
                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kPrivateFile);
        if (fd < 0 && errno != EEXIST) return systemFailure();
    }
    if (fd < 0) return systemFailure();
    // Every step's failure counts: a write the disk did not take, and the sync and close
    // that report what the disk could not keep (QSaveFile lets both of these pass).
    Done<FileFailure> done = ::fchmod(fd, kPrivateFile) == 0 ? writeAll(fd, bytes) : systemFailure();
    if (done && ::fsync(fd) != 0) done = systemFailure();
    if (::close(fd) != 0 && done) done = systemFailure();
    if (done) done = replaceableIn(folder, name);  // looked at again just before
    if (done && ::renameat(folder, temporary.constData(), folder, name.constData()) != 0)
        done = systemFailure();
    if (!done) {
        ::unlinkat(folder, temporary.constData(), 0);
        return done;
    }
    // The file is whole under its name; a folder that cannot be synced does not undo that.
    ::fsync(folder);
    return {};
}

// `step` on the folder of `path` and the name in it; "t.csv/" is the name t.csv too.
template <class Step>
Done<FileFailure> inFolderOf(const QString &path, Step step) {
    const QFileInfo info(QDir::cleanPath(path));
    const int folder = ::open(QFile::encodeName(info.absolutePath()).constData(),
                              O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) return systemFailure();
    const Done<FileFailure> done = step(folder, QFile::encodeName(info.fileName()));
    ::close(folder);
    return done;
}

}  // namespace

Done<FileFailure> claimOwn(int fd, mode_t type) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) return systemFailure();
    if ((info.st_mode & S_IFMT) != type) return notA(info.st_mode, type);
    if (info.st_uid != ::geteuid())
        return Failure<FileFailure>{FileFailure::NotOwn, QStringLiteral("belongs to another user")};
    if (type == S_IFREG && info.st_nlink != 1)
        return Failure<FileFailure>{FileFailure::OtherNames,
                                    QStringLiteral("has other names (hard links)")};
    if ((info.st_mode & 077) != 0 && ::fchmod(fd, info.st_mode & 0700) != 0)
        return systemFailure();
    return {};
}

Outcome<int, FileFailure> openPrivateFile(int folder, const QByteArray &name, int access) {
    struct stat info {};
    if (::fstatat(folder, name.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
        !S_ISREG(info.st_mode))
        return notA(info.st_mode, S_IFREG);
    int fd;
    do {
        fd = ::openat(folder, name.constData(),
                      access | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC,
                      kPrivateFile);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return errno == ELOOP ? linkFailure() : systemFailure();
    if (const auto claimed = claimOwn(fd, S_IFREG); !claimed) {
        ::close(fd);
        return claimed.failure();
    }
    return fd;
}

Outcome<int, FileFailure> openRegularFile(const QString &path) {
    const QByteArray name = QFile::encodeName(path);
    struct stat info {};
    if (::stat(name.constData(), &info) != 0) return systemFailure();
    if (!S_ISREG(info.st_mode)) return notA(info.st_mode, S_IFREG);
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return systemFailure();
    // Looked at again: something swapped in meanwhile is not read either.
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const auto failure = S_ISREG(info.st_mode) ? systemFailure() : notA(info.st_mode, S_IFREG);
        ::close(fd);
        return failure;
    }
    return fd;
}

Outcome<QByteArray, FileFailure> readRegularFile(const QString &path, qint64 limit) {
    const auto fd = openRegularFile(path);
    if (!fd) return fd.failure();
    QFile file;
    if (!file.open(*fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(*fd);
        return systemFailure();
    }
    QByteArray bytes = file.read(limit);
    if (file.error() != QFileDevice::NoError)
        return Failure<FileFailure>{FileFailure::System, file.errorString()};
    return bytes;
}

Done<FileFailure> replaceable(const QString &path) {
    return inFolderOf(path, replaceableIn);
}

Done<FileFailure> writeWhole(const QString &path, QByteArrayView bytes) {
    return inFolderOf(path, [bytes](int folder, const QByteArray &name) {
        return writeWholeIn(folder, name, bytes);
    });
}

}  // namespace orvel

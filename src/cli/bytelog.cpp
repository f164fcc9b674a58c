#include "cli/bytelog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <cerrno>
#include <optional>

namespace orvel::cli {

Done<LogFailure> ByteLog::open(const QString &path) {
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    const int error = errno;
    struct stat info {};
    std::optional<Failure<LogFailure>> failure;
    if (fd < 0)
        failure = {error == ELOOP ? LogFailure::Link : LogFailure::System, qt_error_string(error)};
    else if (::fstat(fd, &info) != 0)
        failure = {LogFailure::System, qt_error_string(errno)};
    else if (info.st_uid != ::geteuid())
        failure = {LogFailure::NotOwn, {}};
    else if (S_ISREG(info.st_mode) && (info.st_mode & 077) != 0 &&
             ::fchmod(fd, info.st_mode & 0700) != 0)
        failure = {LogFailure::System, qt_error_string(errno)};
    if (!failure && m_file.open(fd, QIODevice::WriteOnly | QIODevice::Append,
                                QFileDevice::AutoCloseHandle))
        return {};
    if (!failure) failure = {LogFailure::System, m_file.errorString()};
    if (fd >= 0 && !m_file.isOpen()) ::close(fd);
    return *failure;
}

void ByteLog::add(const char *direction, QByteArrayView bytes) {
    if (!m_file.isOpen() || bytes.isEmpty()) return;
    const QByteArray time = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toLatin1();
    QByteArray lines;
    for (const char byte : bytes)
        lines += time + ' ' + direction + ' ' + QByteArray::number(quint8(byte)) + '\n';
    m_file.write(lines);
}

}  // namespace orvel::cli

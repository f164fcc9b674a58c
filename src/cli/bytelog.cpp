#include "cli/bytelog.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDateTime>

namespace orvel::cli {

Done<FileFailure> ByteLog::open(const QString &path) {
    const auto fd = openPrivateFile(AT_FDCWD, QFile::encodeName(path), O_WRONLY);
    if (!fd) return fd.failure();
    if (m_file.open(*fd, QIODevice::WriteOnly | QIODevice::Append, QFileDevice::AutoCloseHandle))
        return {};
    ::close(*fd);
    return Failure<FileFailure>{FileFailure::System, m_file.errorString()};
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

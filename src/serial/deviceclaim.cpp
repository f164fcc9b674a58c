#include "serial/deviceclaim.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace orvel {
namespace {

#ifdef Q_OS_UNIX
// /dev/tty (5,0) is whatever terminal we run in; /dev/ptmx (5,2) hands out a new
// pseudo-terminal on every open, with nothing behind it.
constexpr unsigned kTtyAuxMajor = 5;
constexpr unsigned kCurrentTtyMinor = 0;
constexpr unsigned kPtyMultiplexerMinor = 2;

bool isTerminalAlias(const struct stat &info) {
    return major(info.st_rdev) == kTtyAuxMajor &&
           (minor(info.st_rdev) == kCurrentTtyMinor ||
            minor(info.st_rdev) == kPtyMultiplexerMinor);
}

Failure<PortFailure> refused(int error) {
    const QString words = QString::fromLocal8Bit(std::strerror(error));
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return {PortFailure::Missing, words};
    case EACCES:
    case EPERM:
        return {PortFailure::PermissionDenied, words};
    case EBUSY:  // a line in exclusive mode
    case EWOULDBLOCK:
        return {PortFailure::InUse, words};
    case ENOTDIR:
    case EISDIR:
        return {PortFailure::NotSerialPort, words};
    default:
        return {PortFailure::Other, words};
    }
}
#endif

}  // namespace

Done<PortFailure> DeviceClaim::claim(const QString &path) {
    release();
#ifdef Q_OS_UNIX
    const Failure<PortFailure> notSerialPort{PortFailure::NotSerialPort, {}};
    m_device = QFileInfo(path).canonicalFilePath();
    if (m_device.isEmpty()) return Failure<PortFailure>{PortFailure::Missing, {}};
    const QByteArray name = QFile::encodeName(m_device);
    struct stat info {};
    if (::stat(name.constData(), &info) != 0) return refused(errno);
    if (!S_ISCHR(info.st_mode) || isTerminalAlias(info)) return notSerialPort;

    int fd;
    do {
        fd = ::open(name.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return refused(errno);
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0) {
        ::close(fd);
        return notSerialPort;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        return refused(error);
    }
    m_fd = fd;
#else
    m_device = path;
#endif
    return {};
}

void DeviceClaim::release() {
#ifdef Q_OS_UNIX
    if (m_fd >= 0) ::close(m_fd);
#endif
    m_fd = -1;
}

}  // namespace orvel

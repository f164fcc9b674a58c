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
#endif

}  // namespace

DeviceClaim::Outcome DeviceClaim::claim(const QString &path) {
    release();
    m_systemText.clear();
#ifdef Q_OS_UNIX
    m_device = QFileInfo(path).canonicalFilePath();
    if (m_device.isEmpty()) return Outcome::Missing;
    const QByteArray name = QFile::encodeName(m_device);
    struct stat info {};
    if (::stat(name.constData(), &info) != 0) return refuse(errno);
    if (!S_ISCHR(info.st_mode) || isTerminalAlias(info)) return Outcome::NotSerialPort;

    int fd;
    do {
        fd = ::open(name.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return refuse(errno);
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0) {
        ::close(fd);
        return Outcome::NotSerialPort;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        return refuse(error);
    }
    m_fd = fd;
#else
    m_device = path;
#endif
    return Outcome::Claimed;
}

void DeviceClaim::release() {
#ifdef Q_OS_UNIX
    if (m_fd >= 0) ::close(m_fd);
#endif
    m_fd = -1;
}

DeviceClaim::Outcome DeviceClaim::refuse(int error) {
#ifdef Q_OS_UNIX
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return Outcome::Missing;
    case EACCES:
    case EPERM:
        return Outcome::PermissionDenied;
    case EBUSY:  // a line in exclusive mode
    case EWOULDBLOCK:
        return Outcome::InUse;
    case ENOTDIR:
    case EISDIR:
        return Outcome::NotSerialPort;
    default:
        m_systemText = QString::fromLocal8Bit(std::strerror(error));
        return Outcome::Other;
    }
#else
    Q_UNUSED(error);
    return Outcome::Other;
#endif
}

}  // namespace orvel

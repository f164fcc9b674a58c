#include "devicesim/terminal.h"

#include "devicesim/posixio.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace orvel::devicesim {

bool Terminal::open() {
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char slaveName[256];
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0 ||
        ptsname_r(m_master, slaveName, sizeof slaveName) != 0) {
        complain(withErrno("pseudo-terminal"));
        return false;
    }
    m_slavePath = slaveName;
    // Raw before anyone can open the slave: the settings live with the pair,
    // so an echo can never turn the programmer's bytes back at it.
    termios tio{};
    if (tcgetattr(m_master, &tio) != 0) {
        complain(withErrno("tcgetattr"));
        return false;
    }
    cfmakeraw(&tio);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (tcsetattr(m_master, TCSANOW, &tio) != 0 ||
        fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK) != 0) {
        complain(withErrno("pseudo-terminal settings"));
        return false;
    }
    discardSlaveInput();
    return true;
}

void Terminal::close() {
    if (m_master >= 0) ::close(m_master);
    m_master = -1;
}

bool Terminal::slaveClosed() const {
    pollfd p{m_master, POLLIN, 0};
    while (poll(&p, 1, 0) < 0 && errno == EINTR) {
    }
    return (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

// Flushing from the master side does not reach the slave's input, so open the slave briefly
// ourselves. This also arms POLLHUP on the master: Linux reports it only once a slave was
// closed.
void Terminal::discardSlaveInput() const {
    const int fd = ::open(m_slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return;
    tcflush(fd, TCIFLUSH);
    ::close(fd);
}

void Terminal::discardInput() const {
    tcflush(m_master, TCIFLUSH);
}

bool Terminal::link(const std::string &linkPath) {
    const std::string tmp = linkPath + ".tmp" + std::to_string(getpid());
    ::unlink(tmp.c_str());
    if (symlink(m_slavePath.c_str(), tmp.c_str()) != 0) {
        complain(withErrno(tmp));
        return false;
    }
    if (rename(tmp.c_str(), linkPath.c_str()) != 0) {
        complain(withErrno(linkPath));
        ::unlink(tmp.c_str());
        return false;
    }
    m_linkPath = linkPath;
    return true;
}

void Terminal::unlink() {
    if (m_linkPath.empty()) return;
    char buf[4096];
    const ssize_t n = readlink(m_linkPath.c_str(), buf, sizeof buf);
    if (n >= 0 && std::string(buf, static_cast<std::size_t>(n)) == m_slavePath)
        ::unlink(m_linkPath.c_str());
    m_linkPath.clear();
}

}  // namespace orvel::devicesim

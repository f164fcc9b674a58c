#include "devicesim/bytelog.h"

#include "devicesim/posixio.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace orvel::devicesim {

namespace {
constexpr Micros kFlushPeriod{100'000};
constexpr std::size_t kFlushSize = 64 * 1024;
}  // namespace

ByteLog::~ByteLog() {
    flush();
    if (m_fd >= 0) close(m_fd);
}

bool ByteLog::open(const std::string &path, bool timestamps) {
    m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0600);
    m_timestamps = timestamps;
    return m_fd >= 0;
}

void ByteLog::add(Micros at, const char *direction, std::uint8_t byte) {
    if (m_fd < 0) return;
    char line[64];
    const int n = m_timestamps ? std::snprintf(line, sizeof line, "%lld %s %u\n",
                                               static_cast<long long>(at.count()), direction, byte)
                               : std::snprintf(line, sizeof line, "%s %u\n", direction, byte);
    m_buffer.append(line, static_cast<std::size_t>(n));
}

void ByteLog::flushIfDue(Micros now) {
    if (m_buffer.size() >= kFlushSize || now - m_lastFlush >= kFlushPeriod) {
        flush();
        m_lastFlush = now;
    }
}

void ByteLog::flush() {
    if (m_fd < 0 || m_buffer.empty()) return;
    if (!writeAll(m_fd, m_buffer.data(), m_buffer.size())) complain(withErrno("log"));
    m_buffer.clear();
}

}  // namespace orvel::devicesim

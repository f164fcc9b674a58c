#include "journal/journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <cerrno>
#include <utility>

namespace orvel {

using namespace std::chrono;

constexpr mode_t kPrivateFile = 0600;

Journal::Journal(QString directory, JournalLimits limits, milliseconds retryAfter)
    : m_directory(std::move(directory)), m_limits(limits), m_retryAfter(retryAfter) {
    m_line.reserve(256);
    m_held.reserve(1024);
}

Journal::~Journal() {
    flush();
    close();
}

void Journal::append(const QDateTime &time, QStringView port, QStringView operation, int object,
                     int value) {
    appendLater(time, port, operation, object, value);
    flush();
}

void Journal::appendLater(const QDateTime &time, QStringView port, QStringView operation,
                          int object, int value) {
    const QDateTime at = time.isValid() ? time : QDateTime::currentDateTime();
    const JournalTime when{at.toMSecsSinceEpoch(), at.offsetFromUtc()};
    const sys_days day = when.day();
    if (!m_held.empty() && day != m_heldDay) flush();  // each day's lines into its own file
    m_heldDay = day;
    m_format.format(m_line, when, port, operation, object, value);
    m_held += m_line;
}

void Journal::flush() {
    if (m_held.empty()) return;
    if (m_fd < 0 || m_heldDay != m_day) {
        if ((m_fd < 0 && steady_clock::now() < m_retryAt) || !open(m_heldDay)) {
            m_held.clear();  // not journaled until the journal can be written again
            return;
        }
    }
    if (writeAll(m_held.data(), m_held.size())) m_failureReported = false;
    m_held.clear();
}

std::optional<QString> Journal::takeError() {
    return std::exchange(m_error, std::nullopt);
}

bool Journal::open(sys_days day) {
    close();
    m_day = day;
    m_fileName = journalFileName(day);
    if (const QString problem = makePrivateDirectory(m_directory); !problem.isEmpty()) {
        fail(problem, 0);
        return false;
    }
    const QByteArray path = QFile::encodeName(m_directory + u'/' + m_fileName);
    m_fd = ::open(path.constData(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, kPrivateFile);
    struct stat info {};
    if (m_fd < 0 || ::fstat(m_fd, &info) != 0 ||
        ((info.st_mode & 077) != 0 && ::fchmod(m_fd, info.st_mode & 0700) != 0)) {
        const int error = errno;
        fail(QFile::decodeName(path), error);
        return false;
    }
    // A line cut short by an earlier failure is ended, so the next one starts a line.
    char last = '\n';
    if (info.st_size > 0 && ::pread(m_fd, &last, 1, info.st_size - 1) != 1) last = '\n';
    const bool written = info.st_size == 0
                             ? writeAll(JournalLine::kColumns, sizeof JournalLine::kColumns - 1)
                             : last == '\n' || writeAll("\n", 1);
    if (!written) return false;
    pruneJournal(m_directory, m_fileName, m_limits);
    return true;
}

bool Journal::writeAll(const char *data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(m_fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;
            fail(m_directory + u'/' + m_fileName, error);
            return false;
        }
        data += n;
        size -= size_t(n);
    }
    return true;
}

void Journal::fail(const QString &what, int error) {
    close();
    m_retryAt = steady_clock::now() + m_retryAfter;
    if (m_failureReported) return;
    m_failureReported = true;
    const QString why = error ? QStringLiteral("%1: %2").arg(what, qt_error_string(error)) : what;
    m_error = QStringLiteral(
                  "The journal cannot be written (%1); values are not journaled until it can be.")
                  .arg(why);
}

void Journal::close() {
    if (m_fd < 0) return;
    ::fdatasync(m_fd);
    ::close(m_fd);
    m_fd = -1;
}

}  // namespace orvel

#include "journal/journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace orvel {

using namespace std::chrono;

Journal::Journal(QString directory, JournalLimits limits, milliseconds retryAfter)
    : m_directory(std::move(directory)), m_limits(limits), m_retryAfter(retryAfter) {
    m_line.reserve(256);
    m_held.reserve(1024);
}

Journal::~Journal() {
    [[maybe_unused]] const auto flushed = flush();  // nobody is left to say it to
    close();
}

Done<JournalFailure> Journal::append(const QDateTime &time, QStringView port,
                                     QStringView operation, int object, int value) {
    const auto held = appendLater(time, port, operation, object, value);
    const auto flushed = flush();
    return held ? flushed : held;
}

Done<JournalFailure> Journal::appendLater(const QDateTime &time, QStringView port,
                                          QStringView operation, int object, int value) {
    const QDateTime at = time.isValid() ? time : QDateTime::currentDateTime();
    const JournalTime when{at.toMSecsSinceEpoch(), at.offsetFromUtc()};
    const sys_days day = when.day();
    Done<JournalFailure> flushed;
    if (!m_held.empty() && day != m_heldDay) flushed = flush();  // each day into its own file
    m_heldDay = day;
    m_format.format(m_line, when, port, operation, object, value);
    m_held += m_line;
    m_heldEnds.push_back(m_held.size());
    return flushed;
}

Done<JournalFailure> Journal::flush() {
    if (m_held.empty()) return {};
    Written written;  // none while it waits to try again: not journaled until it can be
    if (m_fd >= 0 && m_heldDay == m_day) {
        written = writeLines(m_held, m_heldEnds);
    } else if (m_fd >= 0 || steady_clock::now() >= m_retryAt) {
        written.done = open(m_heldDay);
        if (written.done) written = writeLines(m_held, m_heldEnds);
    }
    if (written.lines == m_heldEnds.size()) m_reported.reset();
    m_unjournaled += qint64(m_heldEnds.size() - written.lines);
    m_held.clear();
    m_heldEnds.clear();
    return met(written.done);
}

Done<JournalFailure> Journal::open(sys_days day) {
    close();
    m_day = day;
    m_fileName = journalFileName(day);
    const auto folder = openJournalFolder(m_directory);
    if (!folder) return folder.failure();
    auto file = openDayFile(*folder, m_fileName);
    struct stat info {};
    if (file) m_fd = *file;
    if (file && ::fstat(m_fd, &info) != 0)
        file = Failure<JournalFailure>{JournalFailure::System, qt_error_string(errno)};
    const Done<JournalFailure> opened =
        file ? endWithWholeLine(info.st_size) : Done<JournalFailure>(inFile(file.failure()));
    if (opened) pruneJournal(*folder, m_fileName, m_limits);
    ::close(*folder);
    return opened;
}

// A line cut short before (by a power cut, or a kill mid-write) goes: the file ends with
// its last whole line, or is only the column names.
Done<JournalFailure> Journal::endWithWholeLine(qint64 size) {
    char block[4096];
    off_t end = size;
    while (end > 0) {
        const off_t from = std::max<off_t>(0, end - off_t(sizeof block));
        if (::pread(m_fd, block, size_t(end - from), from) != end - from) break;
        if (const void *last = ::memrchr(block, '\n', size_t(end - from))) {
            end = from + (static_cast<const char *>(last) - block) + 1;
            break;
        }
        end = from;
    }
    if (end != size && ::ftruncate(m_fd, end) != 0)
        return inFile({JournalFailure::System, qt_error_string(errno)});
    static const std::vector<size_t> oneLine{sizeof JournalLine::kColumns - 1};
    if (end > 0) return {};
    return writeLines(JournalLine::kColumns, oneLine).done;
}

// Hands `lines` to the system in one write(2): how many of them (ending at `ends`) are in
// the file. The part of a line the disk did not take whole is cut off again.
Journal::Written Journal::writeLines(std::string_view lines, const std::vector<size_t> &ends) {
    ssize_t n;
    do n = ::write(m_fd, lines.data(), lines.size());
    while (n < 0 && errno == EINTR);
    if (n == ssize_t(lines.size())) return {ends.size(), {}};
    const int error = n < 0 ? errno : 0;
    const size_t taken = n < 0 ? 0 : size_t(n);
    size_t whole = 0;
    while (whole < ends.size() && ends[whole] <= taken) ++whole;
    const size_t part = taken - (whole > 0 ? ends[whole - 1] : 0);
    struct stat info {};  // should it not be cut here, the next open() cuts it off
    [[maybe_unused]] const bool cut =
        part == 0 ||
        (::fstat(m_fd, &info) == 0 && ::ftruncate(m_fd, info.st_size - off_t(part)) == 0);
    return {whole, inFile(error ? Failure<JournalFailure>{JournalFailure::System,
                                                          qt_error_string(error)}
                                : Failure<JournalFailure>{
                                      JournalFailure::PartLine,
                                      QStringLiteral("the disk took only part of a line (full?)")})};
}

Done<JournalFailure> Journal::met(const Done<JournalFailure> &done) {
    if (done) return {};
    close();
    m_retryAt = steady_clock::now() + m_retryAfter;
    // The same failure again is not news; another one is (a full disk after a planted link).
    const Failure<JournalFailure> &failure = done.failure();
    if (m_reported && m_reported->why == failure.why && m_reported->words == failure.words)
        return {};
    m_reported = failure;
    return failure;
}

Failure<JournalFailure> Journal::inFile(const Failure<JournalFailure> &failure) const {
    return {failure.why, QStringLiteral("%1/%2: %3").arg(m_directory, m_fileName, failure.words)};
}

void Journal::close() {
    if (m_fd < 0) return;
    ::fdatasync(m_fd);
    ::close(m_fd);
    m_fd = -1;
}

}  // namespace orvel

#pragma once

#include <QDateTime>
#include <QString>
#include <QStringView>
#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "journal/journaldirectory.h"
#include "journal/journalline.h"

// Every value read or written, one CSV line each, in one file per day. A line is handed to
// the system by one write(2) before append() returns, so a killed program loses none;
// a line the disk takes only in part (full, or over a size limit) is cut off again, so a
// day file holds whole lines only;
// only a power cut or a system crash could, and syncing each line to the disk would cost
// milliseconds per value (tens on a USB stick). A day file is synced when it is closed.
// A caller that must answer first (the device waits) appends with appendLater() and
// calls flush() as soon as it has answered: the lines held go out in one write(2).
// A journal that cannot be written never stops or slows its caller: the writing call that
// meets a failure returns it, once until another failure or a line written, and the journal
// tries again only after kRetryAfter.
// One thread uses it.
namespace orvel {

class Journal {
public:
    static constexpr std::chrono::seconds kRetryAfter{60};

    explicit Journal(QString directory = defaultJournalDirectory(), JournalLimits limits = {},
                     std::chrono::milliseconds retryAfter = kRetryAfter);
    ~Journal();
    Journal(const Journal &) = delete;
    Journal &operator=(const Journal &) = delete;

    // Each writing call fails with what could not be written and why, in its words
    // ("/home/ann/…/journal-2026-12-07.csv: No space left on device"), once per failure;
    // while the same failure lasts the lines not journaled are only counted.
    // `time` names the day file: its date at its own offset from UTC.
    Done<JournalFailure> append(const QDateTime &time, QStringView port, QStringView operation,
                                int object, int value);
    // The same line, held until flush() (or the next append(), or a line of another day).
    Done<JournalFailure> appendLater(const QDateTime &time, QStringView port,
                                     QStringView operation, int object, int value);
    // Hands the lines held to the system; the destructor does too.
    Done<JournalFailure> flush();
    // Values not journaled since the journal began.
    qint64 unjournaled() const { return m_unjournaled; }

    QString directory() const { return m_directory; }

private:
    // How many of the lines handed to the system are in the file, and what kept the others out.
    struct Written {
        size_t lines = 0;
        Done<JournalFailure> done;
    };

    Done<JournalFailure> open(std::chrono::sys_days day);
    Done<JournalFailure> endWithWholeLine(qint64 size);
    Written writeLines(std::string_view lines, const std::vector<size_t> &ends);
    // A failure met closes the file until kRetryAfter; it is returned unless it was said.
    Done<JournalFailure> met(const Done<JournalFailure> &done);
    Failure<JournalFailure> inFile(const Failure<JournalFailure> &failure) const;
    void close();

    QString m_directory;
    JournalLimits m_limits;
    std::chrono::milliseconds m_retryAfter;
    int m_fd = -1;
    std::chrono::sys_days m_day{};
    QString m_fileName;
    JournalLine m_format;
    std::string m_line;
    std::string m_held;  // lines of m_heldDay not yet handed to the system
    std::vector<size_t> m_heldEnds;  // where each of them ends
    std::chrono::sys_days m_heldDay{};
    std::chrono::steady_clock::time_point m_retryAt{};
    std::optional<Failure<JournalFailure>> m_reported;  // said, and not over
    qint64 m_unjournaled = 0;
};

}  // namespace orvel

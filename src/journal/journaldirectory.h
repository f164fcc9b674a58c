#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <chrono>

// Where the journal's day files live, and how many of them are kept.
namespace orvel {

struct JournalLimits {
    int maxDayFiles = 60;                        // two months of work
    qint64 maxTotalBytes = 200LL * 1024 * 1024;  // about 4 million values
};

// $XDG_STATE_HOME/orvel-programator/journal, else ~/.local/state/orvel-programator/journal.
QString defaultJournalDirectory();

// "journal-2026-12-07.csv"
QString journalFileName(std::chrono::sys_days day);

// Makes `path` and any missing parent with mode 0700, and takes from `path` itself any
// access by group or others.
// Returns why that failed, or an empty string.
QString makePrivateDirectory(const QString &path);

// Removes the oldest day files in `directory` while more than `limits` allow; the file
// named `keep` (the day being written) stays whatever its size. Returns the names removed.
QStringList pruneJournal(const QString &directory, const QString &keep, JournalLimits limits);

}  // namespace orvel

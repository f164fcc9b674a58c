#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <chrono>

// Where the journal's day files live, and how many of them are kept. The journal's own
// folders and files are opened relative to the folder above them and never through a
// symbolic link, so nothing planted in them can turn a write or a removal elsewhere.
namespace orvel {

struct JournalLimits {
    int maxDayFiles = 60;                        // two months of work
    qint64 maxTotalBytes = 200LL * 1024 * 1024;  // about 4 million values
};

// $XDG_STATE_HOME/orvel-programator/journal, else ~/.local/state/orvel-programator/journal.
QString defaultJournalDirectory();

// "journal-2026-12-07.csv"
QString journalFileName(std::chrono::sys_days day);

// An open folder (fd, the caller closes it), or why it could not be opened (fd < 0).
struct JournalFolder {
    int fd = -1;
    QString problem;  // "/home/ann/.local/state/orvel-programator: a symbolic link, not followed"
};

// Opens `path`, making what is missing with mode 0700. The folder and its parent are the
// program's own (orvel-programator/journal): each is opened relative to the one above
// without following a link, must be the user's, and loses any access by group or others
// through its descriptor. What lies above them is the user's own choice and is followed
// (XDG_STATE_HOME may well be a link to another disk).
JournalFolder openJournalFolder(const QString &path);

// The same, closed again: why the folder cannot be used, or an empty text.
QString makePrivateDirectory(const QString &path);

// Opens `name` in `folder` to append, made 0600 if missing: not through a link, a regular
// file of the user's with no other name, and private. Returns the descriptor, or -1 and why.
int openPrivateFile(int folder, const QString &name, QString *problem);

// Removes the oldest day files of `folder` while more than `limits` allow; the one named
// `keep` (the day being written) stays whatever its size. A day file is a regular file
// named exactly journal-YYYY-MM-DD.csv with a real date; anything else is left alone and
// does not count. Returns the names removed.
QStringList pruneJournal(int folder, const QString &keep, JournalLimits limits);

}  // namespace orvel

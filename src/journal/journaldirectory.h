#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <chrono>

#include "outcome/outcome.h"

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

// Why the journal cannot use a folder or a file; the words say what the system said, or
// what is wrong with what is there, after where ("/home/ann/.local/state/orvel-programator:
// a symbolic link, not followed").
enum class JournalFailure {
    Link,      // a symbolic link where the journal's own folder or file must be: not followed
    NotOwn,    // not a folder, or a regular file, of the user's with no other name
    System,    // the system refused
    PartLine,  // the disk took only part of a line (full?)
};

// Opens `path` (the descriptor; the caller closes it), making what is missing with mode 0700.
// The folder and its parent are the program's own (orvel-programator/journal): each is opened
// relative to the one above without following a link, must be the user's, and loses any
// access by group or others through its descriptor. What lies above them is the user's own
// choice and is followed (XDG_STATE_HOME may well be a link to another disk).
Outcome<int, JournalFailure> openJournalFolder(const QString &path);

// The same, closed again.
Done<JournalFailure> makePrivateDirectory(const QString &path);

// Opens the day file `name` in `folder` to append (openPrivateFile). The descriptor; the
// words are without the place.
Outcome<int, JournalFailure> openDayFile(int folder, const QString &name);

// Removes the oldest day files of `folder` while more than `limits` allow; the one named
// `keep` (the day being written) stays whatever its size. A day file is a regular file of
// the user's named exactly journal-YYYY-MM-DD.csv with a real date; anything else (another
// user's file among them) is left alone and does not count. Returns the names removed.
QStringList pruneJournal(int folder, const QString &keep, JournalLimits limits);

}  // namespace orvel

#pragma once

#include <sys/types.h>

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include "outcome/outcome.h"

// Files the program reads or writes as files (tables, logs, the journal): only regular
// files, never opened in a way that can block (a FIFO, a device), never through a link
// where the file is our own, and written whole or not at all.
namespace orvel {

// Why a file cannot serve. The words say what is there or what the system said, to be put
// after the file's name: "t.csv: a FIFO (named pipe), not a regular file".
enum class FileFailure {
    Link,        // a symbolic link where our own file must be: not followed
    NotAFile,    // a folder, a FIFO, a device or a socket
    NotOwn,      // another user's
    OtherNames,  // a file with more than one name (hard links)
    System,      // the system refused; its words
};

// Whether the file open on `fd` is the user's own of `type` (S_IFREG or S_IFDIR), a regular
// one with no other name; it loses any access by group or others.
Done<FileFailure> claimOwn(int fd, mode_t type);

// Opens `name` in `folder` (AT_FDCWD: a path) to append, made 0600 if missing. What is
// there is looked at before it is opened, so a device or a FIFO is never opened; then it
// must be a regular file of the user's with no other name, and loses any access by others.
// The descriptor; the caller closes it.
Outcome<int, FileFailure> openPrivateFile(int folder, const QByteArray &name, int access);

// Opens the regular file at `path` to read (a link to one is followed): what is there is
// looked at first, and the open never waits. The descriptor; the caller closes it.
Outcome<int, FileFailure> openRegularFile(const QString &path);

// The first `limit` bytes of the regular file at `path`.
Outcome<QByteArray, FileFailure> readRegularFile(const QString &path, qint64 limit);

// Whether `path` may be written as a file: nothing is there, or a regular file of the user's.
Done<FileFailure> replaceable(const QString &path);

// Puts `bytes` at `path` whole or not at all: a new 0600 file beside it is written, synced
// and then renamed over the old one, which stays as it was on any failure (a full disk
// among them). Only a regular file of the user's is replaced.
Done<FileFailure> writeWhole(const QString &path, QByteArrayView bytes);

}  // namespace orvel

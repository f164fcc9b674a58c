#pragma once

#include <QString>
#include <sys/types.h>

#include "ledger/ledger.h"

// The ledger's file on disk, checked before SQLite opens it by name: SQLite cannot be handed
// a descriptor, so the file (and the two it keeps beside it, -wal and -shm) is opened here
// without following a link, claimed as the user's alone, and after SQLite has opened it the
// name must still lead to that same file.
namespace orvel {

struct LedgerFile {
    QString path;  // absolute
    dev_t device = 0;
    ino_t inode = 0;
};

// The default place's folders (orvel-programator/ledger) are made 0700 and never reached
// through a link; a given path's folder is the user's choice and is followed. `create`
// makes the file 0600 when missing; without it a missing file is LedgerFailure::Missing.
Outcome<LedgerFile, LedgerFailure> prepareLedgerFile(const QString &given, bool create);

// Whether the name still leads to the file checked.
bool stillTheFile(const LedgerFile &file);

}  // namespace orvel

#pragma once

namespace orvel::cli {

// What `orvel` exits with; each status means one thing (docs/man/orvel.1).
enum ExitStatus {
    kDone = 0,
    kDiffer = 1,  // differences found, or objects not read, written or verified
    kUsage = 2,   // or a file that cannot be read or written
    kPortFailed = 3,
    kNotAnswering = 4,  // or the port went away during the work
    kSignalled = 128,   // plus the signal that stopped the work: 130 Ctrl+C, 143, 129
};

// How a command's work ended, as far as its exit status goes.
struct Ending {
    bool portLost = false;
    bool silent = false;  // the device stopped answering
    int interrupted = 0;  // the signal that stopped the work (SIGINT, SIGTERM, SIGHUP), or 0
    int notDone = 0;   // objects not read, not written or not verified
    int differed = 0;  // differences found and not (or not to be) written
    bool unsaved = false;  // the table read could not be saved

    // The work ended before its last object: lost, silent or stopped.
    bool early() const { return portLost || silent || interrupted != 0; }
};

// The status for the first cause in this order: a table not saved, the port lost or the
// device silent, a signal, objects not done or differing; else done.
int exitStatus(const Ending &ending);

}  // namespace orvel::cli

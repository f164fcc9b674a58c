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

// Why a command ends before its work on the device; the words say what, and only
// CommandLine::halt says them.
enum class Halt {
    Help,        // --help was asked for; the words are the help
    Usage,       // a mistake on the command line
    FileUnfit,   // a file it names cannot serve: the table, the object list, the byte log
    PortFailed,  // the port could not be opened
};

// The one place a halt becomes the status the command exits with.
constexpr int exitStatus(Halt why) {
    switch (why) {
        case Halt::Help:
            return kDone;
        case Halt::Usage:
        case Halt::FileUnfit:
            return kUsage;
        case Halt::PortFailed:
            return kPortFailed;
    }
    return kUsage;
}

// What a command did on the device, gathered from its runs' own results (each run's
// RunResult::ending(), added up with +=). Operation::end turns it into the --json summary
// and the exit status; the words of each command are built from it.
struct Ending {
    bool portLost = false;
    bool silent = false;  // the device stopped answering
    int interrupted = 0;  // the signal that stopped the work (SIGINT, SIGTERM, SIGHUP), or 0
    int notDone = 0;   // objects not read, not written or not verified
    int differed = 0;  // differences found from the table; those not verified written count
    int kept = 0;      // of them, those a profile keeps: never written, so not counted
    bool unsaved = false;  // the table read could not be saved
    bool unasked = false;  // a write to confirm, and no terminal to ask on
    int written = 0;
    int verified = 0;
    int failed = 0;    // tried and not done
    int notTried = 0;  // never tried: the work stopped, or the device fell silent, before them
    double seconds = 0;  // on the line

    // The work ended before its last object: lost, silent or stopped.
    bool early() const { return portLost || silent || interrupted != 0; }
    // A later run of the same command: its counts join these; how it ended stays.
    Ending &operator+=(const Ending &later);
};

// The status for the first cause in this order: a table not saved or nobody to ask, the
// port lost or the device silent, a signal, objects not done or differences not written
// (but those a profile keeps); else done.
int exitStatus(const Ending &ending);

}  // namespace orvel::cli

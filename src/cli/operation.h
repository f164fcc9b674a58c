#pragma once

#include <memory>
#include <optional>

#include "cli/bytelog.h"
#include "cli/devicerun.h"
#include "cli/exitstatus.h"
#include "cli/progressline.h"
#include "cli/summary.h"

namespace orvel::cli {

class CommandLine;

// ", not tried 5" for the objects never tried; nothing when there are none.
QString notTriedText(int count);
// "written 3, verified 2, failed 1, not tried 5".
QString countsText(const Ending &ending);

// What every command on the device shares: its port, the byte log, progress, what it
// says on standard error and the summary it ends with.
class Operation {
public:
    Operation(const QString &name, const CommandLine &line);

    // Opens the log and the port; nothing is said of a failure before CommandLine::halt.
    Done<Halt> open();
    RunResult run(const Job &job, const QString &label, const JournalNames &names);
    const PortChoice &port() const { return m_port; }
    bool json() const { return m_json; }

    // On standard error, unless --quiet.
    void say(const QString &text) const;
    // What a run did, for the command's ending; says on standard error how it ended short
    // (a signal, the device silent, the port lost) and the objects not done, with the reasons.
    Ending ended(const RunResult &result) const;
    // Ends the command with what it did: the --json summary's counts and the exit status
    // from `ending`; `text` on standard error unless the summary goes to standard output
    // as JSON (--json). Returns the status.
    int end(const Ending &ending, const QString &text);
    // While the operator is asked on the terminal, Ctrl+C ends the program as ever.
    void watchSignals(bool watch) { m_run->watchSignals(watch); }

    Summary &summary;

private:
    const CommandLine &m_line;
    PortChoice m_port;
    bool m_json;
    bool m_quiet;
    ByteLog m_log;
    ProgressLine m_progress;
    std::unique_ptr<DeviceRun> m_run;
};

}  // namespace orvel::cli

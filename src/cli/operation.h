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

// What every command on the device shares: its port, the byte log, progress, what it
// says on standard error and the summary it ends with.
class Operation {
public:
    Operation(const QString &name, const CommandLine &line);

    // Opens the log and the port: 0, or the status to end with (said on standard error).
    int open();
    RunResult run(const Job &job, const QString &label, const JournalNames &names);
    const PortChoice &port() const { return m_port; }
    bool json() const { return m_json; }

    // On standard error, unless --quiet.
    void say(const QString &text) const;
    // How a run ended: what it did not do and why (Ctrl+C, the device silent, the port
    // lost), said on standard error.
    Ending ending(const RunResult &result) const;
    // The objects not done, with the reasons.
    void sayFailed(const JobSummary &summary) const;
    // Ends the command: the summary as JSON on standard output with --json, else `text`
    // on standard error. Returns `status`.
    int finish(int status, const QString &text);

    Summary summary;

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

#pragma once

#include <QDateTime>
#include <QObject>
#include <algorithm>
#include <map>
#include <memory>

#include "cli/exitstatus.h"
#include "cli/portchoice.h"
#include "device/devicesession.h"
#include "journal/journal.h"
#include "serial/qserialbackend.h"

namespace orvel::cli {

class ByteLog;
class InterruptWatcher;
class ProgressLine;

// The journal's operation names for a job: a read journals `read` for each value; a write
// journals `written` with the value sent and `read` with the value read back.
struct JournalNames {
    QString read;
    QString written;
};

struct RunResult {
    JobSummary summary;
    std::map<int, quint8> values;  // each object's last value: read, or read back
    QDateTime lastValueAt;
    int interrupted = 0;  // the signal after which the job ended (after the object under way)
    bool portLost = false;
    double seconds = 0;
    std::optional<Failure<JournalFailure>> journalFailure;  // the first met in the run

    // The objects of the job not read, or not written and verified.
    int notDone() const { return summary.total - int(summary.values.size()); }
    // Of those, the ones tried and failed; the others were never tried (the job stopped,
    // or the device went silent, before them).
    int failed() const {
        return int(std::count_if(summary.failed.begin(), summary.failed.end(),
                                 [](const ObjectResult &r) { return r.tries > 0; }));
    }
    int notTried() const { return notDone() - failed(); }
    // What the run did and how it ended: lost, silent, stopped, and its counts.
    Ending ending() const {
        Ending ending;
        ending.portLost = portLost;
        ending.silent = !portLost && summary.deviceNotAnswering;
        ending.interrupted = interrupted;
        ending.notDone = notDone();
        ending.written = summary.written;
        ending.verified = summary.verified;
        ending.failed = failed();
        ending.notTried = notTried();
        ending.seconds = seconds;
        return ending;
    }
};

// Jobs on the device through one open port: the session fed from the port, every byte
// to the log, every value to the journal, progress to the progress line, Ctrl+C, SIGTERM
// and SIGHUP a stop: of the job under way, and of every job after it.
class DeviceRun final : public QObject {
    Q_OBJECT
public:
    DeviceRun(PortChoice port, ByteLog &log, ProgressLine &progress);
    ~DeviceRun() override;

    // Opens the port; says what failed when it cannot.
    Done<PortFailure> open();
    RunResult run(const Job &job, const QString &label, const JournalNames &names);
    // The first byte that could not be sent while the port was not known to be lost.
    const Done<PortFailure> &problem() const { return m_problem; }
    // Signals are watched from the start; not while the operator is asked on the terminal,
    // where Ctrl+C ends the program as ever.
    void watchSignals(bool watch);

signals:
    void stopping(int signal);

private:
    void send(char byte);
    void received();
    void journal(RunResult &result, const QString &operation, int object, int value,
                 QDateTime now);

    PortChoice m_port;
    ByteLog &m_log;
    ProgressLine &m_progress;
    QSerialBackend m_backend;
    DeviceSession m_session;
    std::unique_ptr<Journal> m_journal;
    Done<PortFailure> m_problem;
    bool m_lost = false;
    std::unique_ptr<InterruptWatcher> m_watcher;
    int m_signal = 0;  // the first one met
};

}  // namespace orvel::cli

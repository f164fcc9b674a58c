#pragma once

#include <QDateTime>
#include <QObject>
#include <map>
#include <memory>

#include "cli/exitstatus.h"
#include "cli/portchoice.h"
#include "device/devicesession.h"
#include "journal/journal.h"
#include "serial/qserialbackend.h"

namespace orvel::cli {

class ByteLog;
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
    bool interrupted = false;  // by Ctrl+C: the job ended after the object under way
    bool portLost = false;
    double seconds = 0;
    std::optional<Failure<JournalFailure>> journalFailure;  // the first met in the run

    // The objects of the job not read, or not written and verified.
    int notDone() const { return summary.total - int(summary.values.size()); }
    // How the run ended: lost, silent, stopped, and the objects not done.
    Ending ending() const {
        return {portLost, !portLost && summary.deviceNotAnswering, interrupted, notDone()};
    }
};

// Jobs on the device through one open port: the session fed from the port, every byte
// to the log, every value to the journal, progress to the progress line, Ctrl+C a stop.
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

signals:
    void stopping();

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
};

}  // namespace orvel::cli

#pragma once

#include <QDateTime>
#include <QObject>
#include <map>
#include <memory>

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
};

// Jobs on the device through one open port: the session fed from the port, every byte
// to the log, every value to the journal, progress to the progress line, Ctrl+C a stop.
class DeviceRun final : public QObject {
    Q_OBJECT
public:
    DeviceRun(PortChoice port, ByteLog &log, ProgressLine &progress);
    ~DeviceRun() override;

    // Why the port cannot be opened, or an empty text.
    QString open();
    RunResult run(const Job &job, const QString &label, const JournalNames &names);
    // Why the port stopped working (lost, or a byte that could not be sent); may be empty.
    const QString &problem() const { return m_problem; }
    // Said once when the journal cannot be written.
    std::optional<QString> takeJournalError();

signals:
    void stopping();

private:
    void send(char byte);
    void received();
    void journal(const QString &operation, int object, int value, QDateTime now);

    PortChoice m_port;
    ByteLog &m_log;
    ProgressLine &m_progress;
    QSerialBackend m_backend;
    DeviceSession m_session;
    std::unique_ptr<Journal> m_journal;
    QString m_problem;
};

}  // namespace orvel::cli

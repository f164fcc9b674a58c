#include "cli/devicerun.h"

#include <QElapsedTimer>
#include <QEventLoop>

#include "cli/bytelog.h"
#include "cli/interruptwatcher.h"
#include "cli/progressline.h"
#include "journal/localclock.h"

namespace orvel::cli {

DeviceRun::DeviceRun(PortChoice port, ByteLog &log, ProgressLine &progress)
    : m_port(std::move(port)),
      m_log(log),
      m_progress(progress),
      m_session([this](char byte) { send(byte); }) {
    connect(&m_backend, &SerialBackend::readyRead, this, &DeviceRun::received);
    watchSignals(true);
}

void DeviceRun::watchSignals(bool watch) {
    if (!watch) {
        m_watcher.reset();
        return;
    }
    if (m_watcher) return;
    m_watcher = std::make_unique<InterruptWatcher>();
    connect(m_watcher.get(), &InterruptWatcher::interrupted, this, [this](int signal) {
        if (m_signal) return;
        m_signal = signal;
        m_progress.finish();
        emit stopping(signal);
        m_session.stop();
    });
}

DeviceRun::~DeviceRun() { static_cast<void>(m_backend.close()); }

Done<PortFailure> DeviceRun::open() { return m_backend.open(m_port.target); }

void DeviceRun::send(char byte) {
    m_log.sent(byte);
    if (Done<PortFailure> sent = m_backend.write(byte); !sent && m_problem && !m_lost)
        m_problem = std::move(sent);
}

void DeviceRun::received() {
    const QByteArray bytes = m_backend.readAll();
    m_log.received(bytes);
    m_session.feed(bytes);
}

void DeviceRun::journal(RunResult &result, const QString &operation, int object, int value,
                        QDateTime now) {
    if (!m_journal) m_journal = std::make_unique<Journal>();
    const auto written = m_journal->append(now, m_port.label, operation, object, value);
    if (!written && !result.journalFailure) result.journalFailure = written.failure();
}

RunResult DeviceRun::run(const Job &job, const QString &label, const JournalNames &names) {
    RunResult result;
    QEventLoop loop;
    QObject scope;  // ends every connection made here with the run
    LocalClock wallClock;
    bool finished = false;
    const auto end = [&] {
        finished = true;
        loop.quit();
    };
    connect(&m_session, &DeviceSession::valueArrived, &scope,
            [&](int object, quint8 value, DeviceSession::ValueKind) {
                const QDateTime now = wallClock.now();
                journal(result, names.read, object, value, now);
                result.values[object] = value;
                result.lastValueAt = now;
            });
    // A write is journaled before its value byte goes out; its read-back's line follows.
    connect(&m_session, &DeviceSession::written, &scope, [&](int object, quint8 value) {
        journal(result, names.written, object, value, wallClock.now());
    });
    connect(&m_session, &DeviceSession::progress, &scope, [&] { m_progress.objectDone(); });
    connect(&m_session, &DeviceSession::finished, &scope, [&](const JobSummary &summary) {
        result.summary = summary;
        end();
    });
    connect(&m_backend, &SerialBackend::portLost, &scope, [&] {
        // Nothing more can come: the session is stopped, and the job ends with what the
        // client counted (every object the device took) once the object under way is given
        // up. The rest are reported as not answered.
        result.portLost = true;
        m_lost = true;
        m_session.stop();
    });
    QElapsedTimer clock;
    clock.start();
    result.summary.total = int(job.size());
    if (m_signal) {  // before this job: none of it is tried
        result.interrupted = m_signal;
        return result;
    }
    if (m_lost || !m_session.start(job)) {
        // A port lost before, or a job still under way: nothing is sent, nothing is done.
        result.portLost = m_lost;
        result.summary.deviceNotAnswering = true;
        for (const JobItem &item : job.items())
            result.summary.failed.append(
                {item.object, std::nullopt, false, 0, FailReason::NoAnswer});
        return result;
    }
    m_progress.start(label, job.size());
    if (!finished) loop.exec();
    m_progress.finish();
    result.interrupted = m_signal;
    result.seconds = double(clock.nsecsElapsed()) / 1e9;
    return result;
}

}  // namespace orvel::cli

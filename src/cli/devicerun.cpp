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
}

DeviceRun::~DeviceRun() {
    QString ignored;
    m_backend.close(&ignored);
}

QString DeviceRun::open() {
    QString error;
    if (m_backend.open(m_port.number, &error)) return {};
    // The backend names ports by number; say which one the path was opened as.
    if (m_port.byPath)
        error =
            QStringLiteral("%1, opened as COM %2:\n").arg(m_port.label).arg(m_port.number) + error;
    return error;
}

void DeviceRun::send(char byte) {
    m_log.sent(byte);
    QString error;
    if (!m_backend.write(byte, &error) && m_problem.isEmpty()) m_problem = error;
}

void DeviceRun::received() {
    const QByteArray bytes = m_backend.readAll();
    m_log.received(bytes);
    m_session.feed(bytes);
}

void DeviceRun::journal(const QString &operation, int object, int value, QDateTime now) {
    if (!m_journal) m_journal = std::make_unique<Journal>();
    m_journal->append(now, m_port.label, operation, object, value);
}

std::optional<QString> DeviceRun::takeJournalError() {
    return m_journal ? m_journal->takeError() : std::nullopt;
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
            [&](int object, quint8 value, DeviceSession::ValueKind kind) {
                const QDateTime now = wallClock.now();
                journal(names.read, object, value, now);
                result.values[object] = value;
                result.lastValueAt = now;
                if (kind == DeviceSession::ValueKind::Read) ++result.summary.read;
                if (kind == DeviceSession::ValueKind::Verified) ++result.summary.verified;
            });
    // A write is journaled before its value byte goes out; its read-back's line follows.
    connect(&m_session, &DeviceSession::written, &scope, [&](int object, quint8 value) {
        journal(names.written, object, value, wallClock.now());
    });
    connect(&m_session, &DeviceSession::objectFailed, &scope,
            [&](const ObjectResult &failed) { result.summary.failed.append(failed); });
    connect(&m_session, &DeviceSession::progress, &scope, [&] {
        ++result.summary.done;
        m_progress.objectDone();
    });
    connect(&m_session, &DeviceSession::finished, &scope, [&](const JobSummary &summary) {
        result.summary = summary;
        end();
    });
    connect(&m_backend, &SerialBackend::portLost, &scope, [&](const QString &text) {
        // Nothing is left to bring to idle: what was done so far is the result, and the
        // objects after it failed, as when the device stops answering.
        result.portLost = true;
        if (m_problem.isEmpty()) m_problem = text;
        JobSummary &s = result.summary;
        s.total = int(job.size());
        s.deviceNotAnswering = true;
        for (qsizetype i = s.done; i < job.size(); ++i)
            s.failed.append({job.items()[i].object, std::nullopt, false, 0, FailReason::NoAnswer});
        end();
    });
    InterruptWatcher interrupt;
    connect(&interrupt, &InterruptWatcher::interrupted, &scope, [&] {
        result.interrupted = true;
        m_progress.finish();
        emit stopping();
        m_session.stop();
    });

    QElapsedTimer clock;
    clock.start();
    m_progress.start(label, job.size());
    m_session.start(job);
    if (!finished) loop.exec();
    m_progress.finish();
    result.seconds = double(clock.nsecsElapsed()) / 1e9;
    return result;
}

}  // namespace orvel::cli

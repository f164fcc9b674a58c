#include "station/slot.h"

#include "journal/journal.h"
#include "journal/localclock.h"
#include "serial/serialbackend.h"
#include "table/restoreplan.h"

namespace orvel::station {
namespace {

constexpr std::chrono::milliseconds kWatchEvery{100};

ObjectSeen seen(const ObjectResult &r, std::optional<quint8> intended) {
    return {r.object, intended, r.value, r.tries, r.doubts, r.ok ? FailReason::None : r.reason};
}

std::optional<quint8> intendedOf(const Table &table, int object) {
    const auto it = table.objects.find(object);
    if (it == table.objects.end()) return std::nullopt;
    return it->second;
}

}  // namespace

Slot::Slot(Setup setup, const Table &table, UnitBook &book, Journal &journal,
           std::unique_ptr<SerialBackend> backend, SlotTiming timing, QObject *parent)
    : QObject(parent),
      m_setup(std::move(setup)),
      m_table(table),
      m_book(book),
      m_journal(journal),
      m_backend(std::move(backend)),
      m_timing(timing) {
    m_backend->setParent(nullptr);
    connect(m_backend.get(), &SerialBackend::readyRead, this, &Slot::received);
    connect(m_backend.get(), &SerialBackend::portLost, this, &Slot::portLost);
    newSession();
    m_reopen.setInterval(m_timing.reopenEvery);
    connect(&m_reopen, &QTimer::timeout, this, &Slot::tryOpen);
    m_watch.setInterval(kWatchEvery);
    connect(&m_watch, &QTimer::timeout, this, &Slot::checkGone);
}

Slot::~Slot() { closePort(); }

void Slot::newSession() {
    m_session = std::make_unique<DeviceSession>([this](char byte) {
        if (m_backend->isOpen()) static_cast<void>(m_backend->write(byte));
    });
    DeviceSession *session = m_session.get();
    connect(session, &DeviceSession::valueArrived, this,
            [this](int object, quint8 value, DeviceSession::ValueKind kind) {
                const QString operation =
                    m_step == Step::Read      ? QStringLiteral("station-read")
                    : m_step == Step::Confirm ? QStringLiteral("station-confirm")
                    : kind == DeviceSession::ValueKind::Read ? QStringLiteral("station-read")
                                                             : QStringLiteral("station-verify");
                journalValue(operation, object, value);
            });
    // Journaled before the value byte goes out: a write that reached the device has its line.
    connect(session, &DeviceSession::written, this, [this](int object, quint8 value) {
        journalValue(QStringLiteral("station-write"), object, value);
    });
    connect(session, &DeviceSession::progress, this, [this] {
        m_status.progress.objectDone(TransferProgress::Clock::now());
        emit changed();
    });
    connect(session, &DeviceSession::finished, this, &Slot::stepFinished);
}

// The unit is gone (silent, or its port lost): nothing it could still send reaches the
// job, and nothing more goes to whatever comes in its place. The step ends at once.
void Slot::abandonStep(Cause cause) {
    m_session->disconnect(this);
    m_session.release()->deleteLater();
    newSession();
    endUnit(UnitResult::Fail, cause, 0, cause == Cause::PortLost ? m_status.portProblem : QString());
}

void Slot::start() {
    m_watch.start();
    tryOpen();
}

void Slot::tryOpen() {
    if (m_stopping) return;
    const Done<PortFailure> opened = m_backend->open(m_setup.target);
    if (!opened) {
        if (m_status.phase != Phase::NoPort || m_status.portProblem != opened.words()) {
            m_status.portProblem = opened.words();
            setPhase(Phase::NoPort);
        }
        m_reopen.start();
        return;
    }
    m_reopen.stop();
    m_lost = false;
    m_status.portProblem.clear();
    m_lastByte.invalidate();
    setPhase(Phase::Waiting);
}

void Slot::received() {
    const QByteArray bytes = m_backend->readAll();
    if (bytes.isEmpty()) return;
    m_lastByte.start();
    if (m_session->running()) {
        m_session->feed(bytes);
        return;
    }
    // A unit announces itself with its ready bytes; they are answered once its job runs.
    if (m_status.phase == Phase::Waiting && bytes.contains(char(0xAC))) unitArrived();
}

void Slot::checkGone() {
    if (m_session->running() && m_lastByte.isValid() &&
        m_lastByte.elapsed() >= m_timing.goneAfter.count()) {
        // The device leads and never pauses this long inside a job: the unit was taken away,
        // and whatever comes next is another unit's.
        m_abandoned = true;
        abandonStep(Cause::Silent);
        return;
    }
    const bool waitingForRemoval =
        m_status.phase == Phase::Finished || m_status.phase == Phase::NeedsLabel;
    if (!waitingForRemoval || !m_lastByte.isValid()) return;
    if (m_lastByte.elapsed() >= m_timing.goneAfter.count()) {
        m_status.label.clear();
        setPhase(Phase::Waiting);
    }
}

void Slot::portLost(const QString &words) {
    m_lost = true;
    m_status.portProblem = words;
    if (m_session->running()) {
        abandonStep(Cause::PortLost);
        return;
    }
    closePort();
    if (m_stopping) return;
    m_status.label.clear();
    setPhase(Phase::NoPort);
    m_reopen.start();
}

void Slot::unitArrived() {
    if (m_stopping) return;
    if (m_setup.labelsTyped) {
        setPhase(Phase::NeedsLabel);
        return;
    }
    const Outcome<QString, BookFailure> label = m_book.nextLabel();
    if (!label) {
        // Nothing has been sent to the unit: there is nothing to record.
        m_status.refused = label.failure();
        m_lastByte.start();
        setPhase(Phase::Finished);
        return;
    }
    beginUnit(*label);
}

Done<BookFailure> Slot::giveLabel(const QString &label) {
    if (m_status.phase != Phase::NeedsLabel)
        return Failure<BookFailure>{BookFailure::NoUnitWaits, {}};
    if (Done<BookFailure> accepted = m_book.acceptLabel(label, m_setup.again); !accepted)
        return accepted;
    beginUnit(label);
    return {};
}

void Slot::beginUnit(const QString &label) {
    m_report = UnitReport{};
    m_report.slot = m_setup.number;
    m_report.label = label;
    m_status.label = label;
    m_status.refused.reset();
    m_unitClock.start();
    const Outcome<RecordId, BookFailure> record = m_book.begin(
        {label, m_setup.number, m_setup.target.name, m_setup.place, LocalClock().now()});
    if (!record) {
        // Not a byte has gone to the unit: without its record it is not touched.
        m_status.refused = record.failure();
        m_lastByte.start();
        setPhase(Phase::Finished);
        return;
    }
    m_record = *record;
    runStep(Step::Read, plan::readJob(m_table));
}

void Slot::runStep(Step step, const Job &job) {
    m_step = step;
    m_status.progress.start(job.size(), TransferProgress::Clock::now());
    setPhase(step == Step::Read    ? Phase::Reading
             : step == Step::Write ? Phase::Writing
                                   : Phase::Confirming);
    // The session's job before has finished: it takes this one.
    const auto started = m_session->start(job);
    Q_ASSERT(started);
}

void Slot::stepFinished(const JobSummary &summary) {

    if (m_stopping) {
        // What was done is recorded; the unit is cut short all the same.
        endUnit(UnitResult::CutShort, Cause::Stopped);
        return;
    }
    switch (m_step) {
        case Step::Read:
            afterRead(summary);
            break;
        case Step::Write:
            afterWrite(summary);
            break;
        case Step::Confirm:
            afterConfirm(summary);
            break;
    }
}

void Slot::afterRead(const JobSummary &summary) {
    ReadNote note;
    for (const ObjectResult &r : summary.values) {
        const std::optional<quint8> intended = intendedOf(m_table, r.object);
        if (r.value == intended) continue;
        note.differed.push_back(seen(r, intended));
        note.differed.back().kept = m_setup.profile.isProtected(r.object);
        m_report.kept += note.differed.back().kept ? 1 : 0;
    }
    for (const ObjectResult &r : summary.failed)
        note.failed.push_back(seen(r, intendedOf(m_table, r.object)));
    m_report.differed = int(note.differed.size());
    if (!record(m_book.noteRead(*m_record, note))) return;
    if (!note.failed.empty()) {
        m_report.failed = int(note.failed.size());
        endUnit(UnitResult::Fail, summary.deviceNotAnswering ? Cause::Silent : Cause::NotRead,
                m_report.failed);
        return;
    }
    if (note.differed.size() == size_t(m_report.kept)) {
        runStep(Step::Confirm, plan::readJob(m_table));
        return;
    }
    WriteNote intent;
    std::vector<Difference> toWrite;
    for (const ObjectSeen &d : note.differed) {
        if (d.kept) continue;  // compared and recorded, never written
        intent.objects.push_back({d.object, d.intended, std::nullopt, 0, 0, FailReason::None});
        toWrite.push_back({d.object, *d.observed, *d.intended});
    }
    // What is to be written is on the disk before the first value byte goes out.
    if (!record(m_book.noteIntent(*m_record, intent))) return;
    runStep(Step::Write, plan::writeJob(toWrite));
}

void Slot::afterWrite(const JobSummary &summary) {
    WriteNote note;
    for (const ObjectResult &r : summary.values)
        note.objects.push_back(seen(r, intendedOf(m_table, r.object)));
    for (const ObjectResult &r : summary.failed)
        note.objects.push_back(seen(r, intendedOf(m_table, r.object)));
    m_report.written = summary.written;
    m_report.verified = summary.verified;
    if (!record(m_book.noteWrite(*m_record, note))) return;
    if (!summary.failed.isEmpty()) {
        m_report.failed = int(summary.failed.size());
        endUnit(UnitResult::Fail, summary.deviceNotAnswering ? Cause::Silent : Cause::NotWritten,
                m_report.failed);
        return;
    }
    runStep(Step::Confirm, plan::readJob(m_table));
}

void Slot::afterConfirm(const JobSummary &summary) {
    ConfirmNote note;
    int agreed = 0;
    int differ = 0;
    for (const ObjectResult &r : summary.values) {
        const std::optional<quint8> intended = intendedOf(m_table, r.object);
        // A protected object read as the device holds it is its own value, kept.
        if (r.value && (r.value == intended || m_setup.profile.isProtected(r.object))) {
            ++agreed;
        } else {
            ++differ;
            note.objects.push_back(seen(r, intended));
        }
    }
    for (const ObjectResult &r : summary.failed)
        note.objects.push_back(seen(r, intendedOf(m_table, r.object)));
    const bool held = agreed == int(m_table.objects.size()) && summary.failed.isEmpty();
    note.verdict = held ? Verdict::Held : differ > 0 ? Verdict::Differs : Verdict::Incomplete;
    if (!record(m_book.noteConfirm(*m_record, note))) return;
    m_report.failed = int(note.objects.size());
    switch (note.verdict) {
        case Verdict::Held:
            endUnit(UnitResult::Pass, Cause::None);
            break;
        case Verdict::Differs:
            endUnit(UnitResult::Fail, Cause::Differs, differ);
            break;
        case Verdict::Incomplete:
            endUnit(UnitResult::Fail,
                    summary.deviceNotAnswering ? Cause::Silent : Cause::Unconfirmed,
                    int(summary.failed.size()));
            break;
    }
}

bool Slot::record(const Done<BookFailure> &step) {
    if (step) return true;
    // Without its record the unit goes no further; its open record says it was cut short.
    m_record.reset();
    endUnit(UnitResult::Fail, Cause::NotRecorded, 0, step.words());
    return false;
}

void Slot::endUnit(UnitResult result, Cause cause, int count, const QString &words) {
    m_report.result = result;
    m_report.cause = cause;
    m_report.causeWords = words;
    m_report.seconds = double(m_unitClock.elapsed()) / 1000.0;
    if (m_record) {
        if (const Done<BookFailure> closed =
                m_book.close(*m_record, {result, cause, count, LocalClock().now()});
            !closed) {
            // An open record reads as cut short: never as PASS.
            m_report.result = UnitResult::Fail;
            m_report.cause = Cause::NotRecorded;
            m_report.causeWords = closed.words();
        }
        m_record.reset();
    }
    m_status.lastResult = m_report.result;
    m_status.lastCause = m_report.cause;
    m_status.lastCount = count;
    emit unitFinished(m_report);
    if (m_stopping) {
        closePort();
        setPhase(Phase::Stopped);
        emit stopped();
        return;
    }
    if (m_lost) {
        closePort();
        m_status.label.clear();
        setPhase(Phase::NoPort);
        m_reopen.start();
        return;
    }
    if (std::exchange(m_abandoned, false)) {
        // It was taken away already: the next ready bytes are the next unit's.
        m_status.label.clear();
        setPhase(Phase::Waiting);
        return;
    }
    m_lastByte.start();
    setPhase(Phase::Finished);
}

void Slot::stop() {
    if (m_stopping) return;
    m_stopping = true;
    m_reopen.stop();
    if (m_session->running()) {
        m_session->stop();  // the step ends after the object under way; the unit with it
        return;
    }
    closePort();
    setPhase(Phase::Stopped);
    emit stopped();
}

void Slot::setPhase(Phase phase) {
    m_status.phase = phase;
    emit changed();
}

void Slot::closePort() {
    if (m_backend && m_backend->isOpen()) static_cast<void>(m_backend->close());
}

void Slot::journalValue(const QString &operation, int object, int value) {
    static_cast<void>(
        m_journal.append(LocalClock().now(), m_setup.target.name, operation, object, value));
}

}  // namespace orvel::station

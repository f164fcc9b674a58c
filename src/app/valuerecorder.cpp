#include "app/valuerecorder.h"

#include "app/statusline.h"
#include "journal/journal.h"
#include "numbers/objects.h"
#include "serial/mscomm.h"

namespace orvel {
namespace {

void sayFailure(StatusLine &status, const Done<JournalFailure> &written) {
    if (!written)
        status.showProblem(QStringLiteral("The journal cannot be written (%1); values are not "
                                          "journaled until it can be.")
                               .arg(written.words()));
}

}  // namespace

ValueRecorder::ValueRecorder(const MSComm &comm, StatusLine &status)
    : m_comm(comm), m_status(status) {}

ValueRecorder::~ValueRecorder() = default;

QString ValueRecorder::journalFolder() const {
    return m_journal ? m_journal->directory() : defaultJournalDirectory();
}

void ValueRecorder::recordValue(const QString &operation, int cell, int value, bool read) {
    const QDateTime now = m_clock.now();
    if (read && objects::isCell(cell) && cell > 0) {
        (objects::isObject(cell) ? m_valuesRead.objects : m_valuesRead.settings)[cell] =
            quint8(value);
        m_valuesRead.readAt = now;
        m_valuesRead.port = m_portLabel;
    }
    if (!m_journal) m_journal = std::make_unique<Journal>();
    // Inside a notification the answer to the device's next bytes goes first: the line is
    // written once the notifications stop, before anything is shown or waited for.
    sayFailure(m_status, m_journal->appendLater(now, m_portLabel, operation, cell, value));
    if (!m_comm.delivering()) flushJournal();
}

void ValueRecorder::recordInDoubt(int cell, int value) {
    recordValue(QStringLiteral("in-doubt"), cell, value, false);
    m_valuesRead.objects.erase(cell);
    m_valuesRead.settings.erase(cell);
}

void ValueRecorder::flushJournal() {
    if (m_journal) sayFailure(m_status, m_journal->flush());
}

}  // namespace orvel

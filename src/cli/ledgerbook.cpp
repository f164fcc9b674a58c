#include "cli/ledgerbook.h"

#include "table/restoreplan.h"

namespace orvel::cli {
namespace {

using station::BookFailure;

ObjectNote noteOf(const station::ObjectSeen &seen) {
    ObjectNote note;
    note.object = seen.object;
    if (seen.intended) note.intended = *seen.intended;
    if (seen.observed) note.observed = *seen.observed;
    note.tries = seen.tries;
    note.inDoubt = seen.doubts;
    if (seen.failure != FailReason::None) note.failure = plan::reasonText(seen.failure);
    note.kept = seen.kept;
    return note;
}

std::vector<ObjectNote> notesOf(const std::vector<station::ObjectSeen> &list) {
    std::vector<ObjectNote> notes;
    notes.reserve(list.size());
    for (const station::ObjectSeen &seen : list) notes.push_back(noteOf(seen));
    return notes;
}

Done<BookFailure> booked(const Done<LedgerFailure> &step) {
    if (step) return {};
    return Failure<BookFailure>{BookFailure::NotWritten, ledgerFailureText(step.failure())};
}

}  // namespace

QString ledgerFailureText(const Failure<LedgerFailure> &failure) {
    const QString &w = failure.words;
    switch (failure.why) {
        case LedgerFailure::Link:
            return QStringLiteral("%1 is a symbolic link: the ledger is not kept through it").arg(w);
        case LedgerFailure::NotOwn:
            return QStringLiteral("%1 is not yours alone: the ledger is not kept there").arg(w);
        case LedgerFailure::System:
            return QStringLiteral("the ledger cannot be opened: %1").arg(w);
        case LedgerFailure::Missing:
            return QStringLiteral("there is no ledger at %1").arg(w);
        case LedgerFailure::NoDriver:
            return QStringLiteral("Qt's SQLite driver is missing (Debian package "
                                  "libqt6sql6-sqlite)");
        case LedgerFailure::NotATable:
            return QStringLiteral("the table cannot be kept in the ledger: %1").arg(w);
        case LedgerFailure::NotALedger:
            return QStringLiteral("%1 is not a ledger, or it is damaged").arg(w);
        case LedgerFailure::Newer:
            return QStringLiteral("%1 was written by a newer program: left as it is").arg(w);
        case LedgerFailure::Refused:
            return QStringLiteral("the ledger refused the step: %1").arg(w);
        case LedgerFailure::ReadOnly:
        case LedgerFailure::NoRecord:
        case LedgerFailure::Closed:
        case LedgerFailure::NotConfirmed:
        case LedgerFailure::Incomplete:
            return QStringLiteral("the ledger refused the step (%1)").arg(w);
        case LedgerFailure::LabelUsed:
            return QStringLiteral("label %1 was given to a unit already").arg(w);
        case LedgerFailure::LabelPassed:
            return QStringLiteral("label %1 is recorded PASS already").arg(w);
    }
    return w;
}

Outcome<std::unique_ptr<LedgerBook>, LedgerFailure> LedgerBook::open(Setup setup) {
    Outcome<Ledger, LedgerFailure> ledger = Ledger::open(setup.ledgerPath);
    if (!ledger) return ledger.failure();
    std::unique_ptr<LedgerBook> book(new LedgerBook(std::move(setup), std::move(*ledger)));
    const Outcome<int, LedgerFailure> closed = book->m_ledger.closeLeftOpen(book->m_setup.station);
    if (!closed) return closed.failure();
    book->m_closedAtStart = *closed;
    if (!book->m_setup.autoPrefix.isEmpty()) {
        // Labels are made in rising order: the first number not recorded follows the last
        // one recorded. Doubling, then halving, finds it in a few look-ups.
        qint64 high = 1;
        while (book->labelRecorded(book->autoLabel(high))) high *= 2;
        qint64 low = high / 2;  // recorded, or 0
        while (high - low > 1) {
            const qint64 middle = (low + high) / 2;
            (book->labelRecorded(book->autoLabel(middle)) ? low : high) = middle;
        }
        book->m_nextNumber = high;
    }
    return book;
}

bool LedgerBook::labelRecorded(const QString &label) {
    RecordFilter filter;
    filter.label = label;
    const auto found = m_ledger.records(filter);
    return !found || !found->empty();  // a ledger that cannot tell: the label is not made
}

QString LedgerBook::autoLabel(qint64 number) const {
    return m_setup.autoPrefix + QStringLiteral("%1").arg(number, 6, 10, QLatin1Char('0'));
}

Outcome<QString, BookFailure> LedgerBook::nextLabel() {
    if (!m_setup.autoPrefix.isEmpty()) return autoLabel(m_nextNumber++);
    while (m_nextListLabel < m_setup.listLabels.size()) {
        const QString label = m_setup.listLabels.at(m_nextListLabel++);
        const auto status = m_ledger.labelStatus(label);
        if (!status) return Failure<BookFailure>{BookFailure::NotWritten,
                                                 ledgerFailureText(status.failure())};
        if (!status->givenFromList) return label;
    }
    return Failure<BookFailure>{BookFailure::LabelsUsedUp, {}};
}

Done<BookFailure> LedgerBook::acceptLabel(const QString &label, bool again) {
    const auto status = m_ledger.labelStatus(label);
    if (!status)
        return Failure<BookFailure>{BookFailure::NotWritten, ledgerFailureText(status.failure())};
    if (status->passes > 0 && !again) return Failure<BookFailure>{BookFailure::LabelUsed, label};
    return {};
}

Outcome<station::RecordId, BookFailure> LedgerBook::begin(const station::UnitStart &start) {
    UnitStart unit;
    unit.label = start.label;
    unit.labelFromList = !m_setup.listLabels.isEmpty();
    unit.programAgain = m_setup.again;
    unit.slot = QString::number(start.slot);
    unit.port = start.port;
    unit.place = start.place;
    unit.station = m_setup.station;
    unit.operatorName = m_setup.operatorName;
    unit.version = m_setup.version;
    unit.tableName = m_setup.tableName;
    unit.table = m_setup.table;
    unit.profileName = m_setup.profileName;
    unit.profileVersion = m_setup.profileVersion;
    unit.profileSha256 = m_setup.profileSha256;
    const Outcome<RecordId, LedgerFailure> id = m_ledger.beginUnit(unit);
    if (id) return *id;
    if (id.why() == LedgerFailure::LabelUsed || id.why() == LedgerFailure::LabelPassed)
        return Failure<BookFailure>{BookFailure::LabelUsed, start.label};
    return Failure<BookFailure>{BookFailure::NotWritten, ledgerFailureText(id.failure())};
}

Done<BookFailure> LedgerBook::noteRead(station::RecordId id, const station::ReadNote &note) {
    std::vector<ObjectNote> notes = notesOf(note.differed);
    for (const ObjectNote &failed : notesOf(note.failed)) notes.push_back(failed);
    return booked(m_ledger.noteDifferences(id, notes));
}

Done<BookFailure> LedgerBook::noteIntent(station::RecordId id, const station::WriteNote &note) {
    return booked(m_ledger.noteIntended(id, notesOf(note.objects)));
}

Done<BookFailure> LedgerBook::noteWrite(station::RecordId id, const station::WriteNote &note) {
    return booked(m_ledger.noteWritten(id, notesOf(note.objects)));
}

Done<BookFailure> LedgerBook::noteConfirm(station::RecordId id, const station::ConfirmNote &note) {
    const Confirmation verdict = note.verdict == station::Verdict::Held      ? Confirmation::Held
                                 : note.verdict == station::Verdict::Differs ? Confirmation::Differs
                                                                             : Confirmation::Incomplete;
    return booked(m_ledger.noteConfirmation(id, verdict, notesOf(note.objects)));
}

Done<BookFailure> LedgerBook::close(station::RecordId id, const station::UnitEnd &end) {
    const UnitResult result = end.result == station::UnitResult::Pass   ? UnitResult::Pass
                              : end.result == station::UnitResult::Fail ? UnitResult::Fail
                                                                        : UnitResult::CutShort;
    QString words = station::causeToken(end.cause);
    if (end.objects > 0) words += QStringLiteral(" %1").arg(end.objects);
    return booked(m_ledger.closeUnit(id, result, words));
}

}  // namespace orvel::cli

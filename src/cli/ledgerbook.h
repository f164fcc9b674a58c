#pragma once

#include <QStringList>
#include <memory>

#include "ledger/ledger.h"
#include "station/unitbook.h"

namespace orvel::cli {

// The station's records kept in the ledger, and its labels: from a list (each used once,
// ever), made from a prefix and a number, or scanned.
class LedgerBook final : public station::UnitBook {
public:
    struct Setup {
        QString ledgerPath;  // empty: the default place
        QString station;
        QString operatorName;
        QString version;
        QString tableName;
        Table table;
        QString profileName, profileVersion, profileSha256;  // --profile; empty without
        QStringList listLabels;  // --labels
        QString autoPrefix;      // --auto-labels
        bool again = false;
    };

    // Opens the ledger and closes as cut short what this station left open when it was
    // killed. The failure in the command's words.
    static Outcome<std::unique_ptr<LedgerBook>, LedgerFailure> open(Setup setup);

    Outcome<QString, station::BookFailure> nextLabel() override;
    Done<station::BookFailure> acceptLabel(const QString &label, bool again) override;
    Outcome<station::RecordId, station::BookFailure> begin(const station::UnitStart &start) override;
    Done<station::BookFailure> noteRead(station::RecordId id, const station::ReadNote &note) override;
    Done<station::BookFailure> noteIntent(station::RecordId id,
                                          const station::WriteNote &note) override;
    Done<station::BookFailure> noteWrite(station::RecordId id,
                                         const station::WriteNote &note) override;
    Done<station::BookFailure> noteConfirm(station::RecordId id,
                                           const station::ConfirmNote &note) override;
    Done<station::BookFailure> close(station::RecordId id, const station::UnitEnd &end) override;

    // Records this station closed as cut short at its start.
    int closedAtStart() const { return m_closedAtStart; }

private:
    LedgerBook(Setup setup, Ledger ledger) : m_setup(std::move(setup)), m_ledger(std::move(ledger)) {}
    bool labelRecorded(const QString &label);
    QString autoLabel(qint64 number) const;

    Setup m_setup;
    Ledger m_ledger;
    qsizetype m_nextListLabel = 0;
    qint64 m_nextNumber = 0;
    int m_closedAtStart = 0;
};

// What failed with the ledger, in the command's words.
QString ledgerFailureText(const Failure<LedgerFailure> &failure);

}  // namespace orvel::cli

#pragma once

#include "journal/localclock.h"
#include "table/table.h"

#include <QString>

#include <memory>

namespace orvel {

class Journal;
class MSComm;
class StatusLine;

// Every value the device gave or took goes to the journal; the values read are kept, the
// latest for each cell, for Save table. A journal that cannot be written is said on the
// status line.
class ValueRecorder {
public:
    ValueRecorder(const MSComm &comm, StatusLine &status);
    ~ValueRecorder();

    // "COM 1 (/dev/ttyUSB0)": the port as the journal and tables name it, kept as the link
    // last changed (the port's name is read from the settings, too slow for every value).
    const QString &portLabel() const { return m_portLabel; }
    void setPortLabel(const QString &label) { m_portLabel = label; }
    // Every value the device gave since the program started, the latest for each cell.
    const Table &valuesRead() const { return m_valuesRead; }
    QString journalFolder() const;

    // Keeps a value in the journal and, when read, in the values read; `operation` names
    // what it was for ("read", "write", "compare", ...).
    void recordValue(const QString &operation, int cell, int value, bool read = true);
    // The line journaled for the value stays; this one says not to trust it. A table saved
    // holds no value in doubt.
    void recordInDoubt(int cell, int value);
    // Writes the journal lines put off while the device waited for an answer.
    void flushJournal();

private:
    const MSComm &m_comm;
    StatusLine &m_status;
    std::unique_ptr<Journal> m_journal;  // opened at the first value
    QString m_portLabel;
    LocalClock m_clock;  // the journal's times
    Table m_valuesRead;
};

}  // namespace orvel

#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <deque>
#include <memory>

#include "station/slot.h"

namespace orvel::station {

struct Totals {
    int pass = 0;
    int fail = 0;
    int cutShort = 0;
    double unitsPerHour = 0;  // units finished (pass or fail) over the time the station ran
};

// Several slots on one event loop, each on its own. The station routes labels typed or
// scanned to the slot that has waited longest for one, counts what the slots finish, and
// ends once every slot has stopped.
class Station final : public QObject {
    Q_OBJECT
public:
    explicit Station(QObject *parent = nullptr);

    // Takes the slot; it starts with start().
    Slot &add(std::unique_ptr<Slot> slot);
    void start();
    // Each slot finishes the object under way, leaves its device idle and closes its record.
    void stop();
    // A label line: for the slot that has waited longest; nothing when no slot waits, or
    // the failure that refused it there.
    Outcome<int, BookFailure> label(const QString &line);

    const QList<Slot *> &allSlots() const { return m_slots; }
    Totals totals() const;
    // The slot next in line for a label, if any.
    Slot *waitingForLabel() const;

signals:
    void changed(int slot);
    void unitFinished(const orvel::station::UnitReport &report);
    void finished();

private:
    void slotChanged(Slot *slot);

    QList<Slot *> m_slots;
    std::vector<std::unique_ptr<Slot>> m_owned;
    std::deque<Slot *> m_labelQueue;  // slots waiting for a label, longest first
    QElapsedTimer m_clock;
    Totals m_totals;
    int m_stopped = 0;
};

}  // namespace orvel::station

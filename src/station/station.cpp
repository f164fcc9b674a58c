#include "station/station.h"

#include <algorithm>

namespace orvel::station {

Station::Station(QObject *parent) : QObject(parent) {}

Slot &Station::add(std::unique_ptr<Slot> slot) {
    Slot *s = slot.get();
    m_owned.push_back(std::move(slot));
    m_slots.append(s);
    connect(s, &Slot::changed, this, [this, s] { slotChanged(s); });
    connect(s, &Slot::unitFinished, this, [this](const UnitReport &report) {
        if (report.result == UnitResult::Pass) ++m_totals.pass;
        if (report.result == UnitResult::Fail) ++m_totals.fail;
        if (report.result == UnitResult::CutShort) ++m_totals.cutShort;
        emit unitFinished(report);
    });
    connect(s, &Slot::stopped, this, [this] {
        if (++m_stopped == m_slots.size()) emit finished();
    });
    return *s;
}

void Station::start() {
    m_clock.start();
    for (Slot *s : m_slots) s->start();
}

void Station::stop() {
    for (Slot *s : m_slots) s->stop();
}

void Station::slotChanged(Slot *slot) {
    const auto queued = std::find(m_labelQueue.begin(), m_labelQueue.end(), slot);
    const bool waits = slot->status().phase == Phase::NeedsLabel;
    if (waits && queued == m_labelQueue.end()) m_labelQueue.push_back(slot);
    if (!waits && queued != m_labelQueue.end()) m_labelQueue.erase(queued);
    emit changed(slot->setup().number);
}

Slot *Station::waitingForLabel() const {
    return m_labelQueue.empty() ? nullptr : m_labelQueue.front();
}

Outcome<int, BookFailure> Station::label(const QString &line) {
    Slot *slot = waitingForLabel();
    if (!slot) return Failure<BookFailure>{BookFailure::NoUnitWaits, {}};
    if (Done<BookFailure> given = slot->giveLabel(line.trimmed()); !given) return given.failure();
    return slot->setup().number;
}

Totals Station::totals() const {
    Totals totals = m_totals;
    const double hours = double(m_clock.isValid() ? m_clock.elapsed() : 0) / 3'600'000.0;
    if (hours > 0) totals.unitsPerHour = (totals.pass + totals.fail) / hours;
    return totals;
}

}  // namespace orvel::station

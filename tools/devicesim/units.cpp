#include "devicesim/units.h"

#include <algorithm>
#include <utility>

namespace orvel::devicesim {

UnitSequence::UnitSequence(std::vector<Unit> units, Micros gap)
    : m_units(std::move(units)), m_gap(gap) {
    if (!m_units.empty()) m_model.emplace(m_units.front().memory, m_units.front().config);
}

void UnitSequence::connect(Micros now) {
    m_connected = true;
    if (!m_model) return;
    m_model->connect(now);
    if (!m_lastHeard) m_lastHeard = now;
}

void UnitSequence::disconnect() {
    m_connected = false;
    if (m_model) m_model->disconnect();
}

void UnitSequence::receive(std::uint8_t byte, Micros readAt) {
    if (!m_model) return;
    m_model->receive(byte, readAt);
    m_lastHeard = std::max(readAt, m_lastHeard.value_or(readAt));
}

std::optional<Micros> UnitSequence::awayDue() const {
    const auto &after = m_units[m_number - 1].awayAfter;
    if (!m_model || !after || !m_lastHeard) return std::nullopt;
    return *m_lastHeard + *after;
}

void UnitSequence::arrive(Micros now) {
    m_nextDue.reset();
    ++m_number;
    Unit &unit = m_units[m_number - 1];
    m_model.emplace(unit.memory, unit.config);
    if (m_connected) connect(now);
}

UnitEvent UnitSequence::leave(Micros at, Away how) {
    UnitEvent left{UnitEvent::Left, m_number, how, m_model->counters()};
    m_model.reset();
    m_lastHeard.reset();
    if (how == Away::Hangup) m_connected = false;
    if (m_number < m_units.size()) m_nextDue = at + m_gap;
    return left;
}

UnitStep UnitSequence::advance(Micros now) {
    UnitStep step;
    if (m_nextDue && *m_nextDue <= now) {
        arrive(*m_nextDue);
        step.event = UnitEvent{UnitEvent::Arrived, m_number, Away::Silence, {}};
        return step;
    }
    if (!m_model) return step;
    const auto away = awayDue();
    const bool leaving = away && *away <= now;
    step.device = m_model->advance(leaving ? *away : now);
    if (step.device.hangup)
        step.event = leave(now, Away::Hangup);
    else if (leaving)
        step.event = leave(*away, m_units[m_number - 1].away);
    return step;
}

std::optional<Micros> UnitSequence::nextWakeup() const {
    if (!m_model) return m_nextDue;
    const auto device = m_model->nextWakeup(), away = awayDue();
    if (device && away) return std::min(*device, *away);
    return device ? device : away;
}

}  // namespace orvel::devicesim

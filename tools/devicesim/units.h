#pragma once

#include "devicesim/devicemodel.h"

#include <optional>
#include <vector>

// Units one after another on one port, as on a production jig: each its own device with its
// own memory. A unit is taken away once the programmer has left it alone for a while, and
// the next comes after a gap. Pure like the model: time in, bytes and events out.
namespace orvel::devicesim {

// How a unit leaves: it falls silent with the port still there, or the port hangs up and
// comes back at the same place with the next unit (an adapter that travels with the unit).
enum class Away { Silence, Hangup };

struct Unit {
    Memory memory{};
    DeviceConfig config;
    Away away = Away::Silence;
    // No byte from the programmer for this long (counted from its first opening of the port
    // while the unit is there) and the unit is taken away; none: it stays.
    std::optional<Micros> awayAfter;
};

struct UnitEvent {
    enum Kind { Arrived, Left } kind = Arrived;
    unsigned number = 0;  // from 1
    Away how = Away::Silence;  // how it left
    Counters counters;         // the unit's own, when it left
};

struct UnitStep {
    Output device;  // from the unit on the line
    std::optional<UnitEvent> event;  // after those bytes
};

class UnitSequence {
public:
    // The first unit is on the line from the start.
    UnitSequence(std::vector<Unit> units, Micros gap);
    // A copy's device would hold the original's memory.
    UnitSequence(const UnitSequence &) = delete;
    UnitSequence(UnitSequence &&) = default;

    void connect(Micros now);
    void disconnect();
    void receive(std::uint8_t byte, Micros readAt);
    // Carries out everything due at or before `now`, up to the first arrival or departure.
    UnitStep advance(Micros now);
    std::optional<Micros> nextWakeup() const;

    // The number of the unit on the line; 0 between units and after the last.
    unsigned present() const { return m_model ? m_number : 0; }
    // Of unit `number` (from 1): where it is or was left.
    const Memory &memory(unsigned number) const { return m_units.at(number - 1).memory; }
    // Of the unit on the line.
    const Counters *counters() const { return m_model ? &m_model->counters() : nullptr; }

private:
    std::optional<Micros> awayDue() const;
    void arrive(Micros now);
    UnitEvent leave(Micros at, Away how);

    std::vector<Unit> m_units;
    Micros m_gap;
    unsigned m_number = 1;
    std::optional<DeviceModel> m_model;  // of the unit on the line
    bool m_connected = false;
    std::optional<Micros> m_lastHeard;  // the programmer's last byte, or its first opening
    std::optional<Micros> m_nextDue;    // the next unit's arrival
};

}  // namespace orvel::devicesim

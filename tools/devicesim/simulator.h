#pragma once

#include "devicesim/bytelog.h"
#include "devicesim/options.h"
#include "devicesim/terminal.h"
#include "devicesim/units.h"

#include <cstdint>
#include <string>

namespace orvel::devicesim {

// Moves bytes and time between the terminal and the units; every protocol decision is the
// model's, every arrival and departure the sequence's.
class Simulator {
public:
    Simulator(const Options &options, UnitSequence units, ByteLog &log, int signalFd);

    // Until SIGINT or SIGTERM, a system error, or the single device's hang-up: the exit status.
    int run();

private:
    bool jig() const { return m_options.units > 0; }
    bool openTerminal();
    // False once a signal came or the wait failed.
    bool wait(Micros now);
    // False when the programmer closed the port.
    bool readFromProgrammer(Micros now);
    void send(const Output &out, Micros now);
    // False when the simulator is to end.
    bool onEvent(const UnitEvent &event);
    void lingerBeforeHangup() const;
    void unitDone(unsigned number, const Counters &counters);
    void printSummary(unsigned number, const Counters &counters) const;
    void finish();

    Options m_options;
    UnitSequence m_units;
    ByteLog &m_log;
    int m_signalFd;
    Terminal m_terminal;
    bool m_connected = false;
    bool m_slaveReadable = false;  // after the last wait
    bool m_slaveHungUp = false;
    std::uint64_t m_dropped = 0;
    std::string m_valueFlips;  // each value byte flipped, for the summary
    Counters m_leftCounters;   // of the single device, after its hang-up
    int m_status = 0;
};

}  // namespace orvel::devicesim

#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The dialogue engine against the simulator's device model, in one process and in virtual
// time: the device's bytes wait in a queue that the program empties one byte at a time,
// except while it stalls (a busy machine, a box held open), when they pile up. Shared by
// the stall model test and the stall fuzz target.
namespace orvel::test {

// Where a run's choices come from: a seeded generator, or a fuzz input.
class Choices {
public:
    virtual ~Choices() = default;
    virtual std::uint32_t pick(std::uint32_t n) = 0;  // 0 to n - 1
};

// What the runs met, summed over runs.
struct StallTally {
    std::uint64_t completed = 0, values = 0, givenUp = 0;
    std::uint64_t noisyValues = 0;  // wrong values from exchanges that met a noise byte
    std::uint64_t doubted = 0;      // values put in doubt
    std::uint64_t hiddenByReady = 0;  // noisy values whose true value 172 looked like ready
    std::uint64_t lateAnswers = 0;  // answers on the line as the device gave its command up
};

// One run, with a device that gives a command up after 500 ms or waits for ever. Returns
// the first rule broken, if any:
//  - only a ready byte is answered, with a command; only an acknowledge with an operand;
//    one byte answers one reply;
//  - a command addresses an object: the one current as it went out (a read also the one
//    just written), unless an answer of ours was late; a write only a cell the operator
//    chose, with the value chosen; the device's memory changes nowhere else;
//  - the memory copy changes only at the cell whose value just came, to that byte, the
//    device's unless a noise byte or a late answer came between;
//  - a wrong value that a noise byte brought is put in doubt at the device's next byte,
//    unless that byte is the true value 172, which reads as the device's ready byte;
//  - the last transfer, started after Stop, completes without reconnecting.
std::optional<std::string> runStallModel(Choices &choices, bool deviceTimesOut, StallTally &tally);

}  // namespace orvel::test

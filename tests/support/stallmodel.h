#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The dialogue engine against the device model, in one process and in virtual time: the
// device's bytes wait in a queue that the program empties one byte at a time, except while
// it stalls (a busy machine, a box held open), when they pile up. Shared by the stall
// model test and the stall fuzz target.
namespace orvel::test {

// Where a run's choices come from: a seeded generator, or a fuzz input.
class Choices {
public:
    virtual ~Choices() = default;
    // A whole number from 0 to n - 1.
    virtual std::uint32_t pick(std::uint32_t n) = 0;
};

// What the runs met, summed over runs.
struct StallTally {
    std::uint64_t runs = 0, clicks = 0, completed = 0, stalls = 0, values = 0, givenUp = 0;
    std::uint64_t virtualMs = 0;
    std::uint64_t noisyValues = 0;  // wrong values from exchanges that met a noise byte
    // Answers on the line as the device gave its command up, and the wrong values and
    // lost writes that followed them.
    std::uint64_t lateAnswers = 0, wrongAfterLateAnswer = 0, writesLostToLateAnswer = 0;
};

// One run: the device waits `deviceTimesOut` 500 ms for an answer inside a command, or
// for ever. Returns the first rule broken, if any:
//  - the device's memory changes only at cells the operator chose to write, only to the
//    value chosen; a write command carries no other address, a read none but an object's;
//  - a value kept for an object is the device's, unless its exchange met a noise byte or
//    an answer of ours reached the device just after it gave the command up;
//  - the last transfer, started after Stop, completes, without reconnecting.
std::optional<std::string> runStallModel(Choices &choices, bool deviceTimesOut, StallTally &tally);

}  // namespace orvel::test

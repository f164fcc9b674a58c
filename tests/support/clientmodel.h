#pragma once

#include "support/stallmodel.h"

// The device client against the simulator's device model, in one process and in virtual
// time, as the stall model runs the dialogue: reads, writes and restores (a read expecting
// a table's values, then a write of the differences), with stalls, inserted noise, flipped
// bytes, a stuck cell and Stop at random moments. Shared by the model test and client_fuzz.
namespace orvel::test {

struct ClientTally {
    std::uint64_t stopped = 0, doubts = 0, differences = 0, verified = 0;
    std::uint64_t flippedValues = 0;  // value bytes the model flipped
    std::uint64_t wrongFlipped = 0;   // values reported wrong: each one whose byte was flipped
    std::uint64_t lateWrong = 0;      // reported wrong after an answer of ours came late
};

// One run of a few jobs. Returns the first rule broken, if any, its name first ("true: ..."):
//  - ends: every job ends; idle: a job stopped leaves the device idle (unless a byte was
//    flipped, the device stopped answering, or an answer of ours came late);
//  - outside: no cell outside a write job is written, nor one in it with another value;
//  - signalled: no cell is written but after the client's written signal for it, which
//    comes before the answer that carries the value;
//  - true: a value reported (read, judged equal or different, verified) is the device's,
//    unless the model flipped that object's value byte in the job, or an answer of ours
//    came late as the device gave its command up; late: only the device that times out.
std::optional<std::string> runClientModel(Choices &choices, bool deviceTimesOut,
                                          ClientTally &tally);

}  // namespace orvel::test

// The dialogue engine against the device model in virtual time (tests/support/stallmodel.h
// has the run and the rules it holds): the input chooses the device, then, pick by pick,
// the stalls, the noise, the clicks and the lists (see fuzzOneRun).
#include "support/stallmodel.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size) {
    using namespace orvel::test;
    return fuzzOneRun<StallTally>("stall_fuzz", data, size, runStallModel);
}

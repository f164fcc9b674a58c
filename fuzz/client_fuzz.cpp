// The device client against the device model in virtual time (tests/support/clientmodel.h
// has the run and the rules it holds): the input chooses the device, then, pick by pick,
// the line's faults, the objects, the jobs, the stalls and Stop (see fuzzOneRun).
#include "support/clientmodel.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size) {
    using namespace orvel::test;
    return fuzzOneRun<ClientTally>("client_fuzz", data, size, runClientModel);
}

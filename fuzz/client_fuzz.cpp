// The device client against the device model in virtual time (tests/support/clientmodel.h
// has the run and the rules it holds). The first byte chooses the device (bit 0: one that
// gives a command up after 500 ms, else one that waits for ever); the rest decides, pick by
// pick, the line's faults, the objects, the jobs, the stalls and Stop. A broken rule traps,
// so libFuzzer keeps the input; ORVEL_FUZZ_VERBOSE=1 names the rule.
#include <QtGlobal>
#include <cstdio>

#include "support/clientmodel.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size) {
    if (size == 0 || size > 4096) return -1;
    orvel::test::InputChoices choices(data + 1, size - 1);
    orvel::test::ClientTally tally;
    const auto broken = orvel::test::runClientModel(choices, data[0] & 1, tally);
    if (!broken) return 0;
    if (qEnvironmentVariableIntValue("ORVEL_FUZZ_VERBOSE"))
        std::fprintf(stderr, "client_fuzz: violated: %s\n", broken->c_str());
    __builtin_trap();
}

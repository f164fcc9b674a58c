// The dialogue engine against the device model in virtual time (tests/support/stallmodel.h
// has the run and the rules it holds). The first byte chooses the device (bit 0: one that
// gives a command up after 500 ms, else one that waits for ever); the rest decides, pick by
// pick, the stalls, the noise, the clicks and the lists. A broken rule traps, so libFuzzer
// keeps the input; ORVEL_FUZZ_VERBOSE=1 names the rule.
#include <QtGlobal>
#include <cstdint>
#include <cstdio>

#include "support/stallmodel.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size) {
    if (size == 0 || size > 4096) return -1;
    orvel::test::InputChoices choices(data + 1, size - 1);
    orvel::test::StallTally tally;
    const auto broken = orvel::test::runStallModel(choices, data[0] & 1, tally);
    if (!broken) return 0;
    if (qEnvironmentVariableIntValue("ORVEL_FUZZ_VERBOSE"))
        std::fprintf(stderr, "stall_fuzz: violated: %s\n", broken->c_str());
    __builtin_trap();
}

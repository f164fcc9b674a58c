// The dialogue engine against the device model in virtual time, driven by the input: its
// first byte chooses the device (bit 0: one that gives a command up after 500 ms, else one
// that waits for ever); the rest decides, pick by pick, the stalls, the noise, the clicks
// and the lists (tests/support/stallmodel.h has the run and the rules it holds). A broken
// rule traps, so libFuzzer keeps the input; ORVEL_FUZZ_VERBOSE=1 names the rule, and
// ORVEL_STALL_TRACE=1 prints the run step by step.
#include <QtGlobal>
#include <cstdint>
#include <cstdio>

#include "support/stallmodel.h"

namespace {

// Each pick takes as many bytes as it needs; an input used up picks 0 from then on.
class InputChoices final : public orvel::test::Choices {
public:
    InputChoices(const std::uint8_t *data, size_t size) : m_p(data), m_end(data + size) {}
    std::uint32_t pick(std::uint32_t n) override {
        std::uint32_t value = 0;
        for (std::uint64_t range = 1; range < n; range <<= 8)
            value = value << 8 | (m_p < m_end ? *m_p++ : 0);
        return value % n;
    }

private:
    const std::uint8_t *m_p;
    const std::uint8_t *m_end;
};

bool verbose = false;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    verbose = qEnvironmentVariableIntValue("ORVEL_FUZZ_VERBOSE") != 0;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size) {
    if (size == 0 || size > 4096) return -1;
    const bool timesOut = data[0] & 1;
    InputChoices choices(data + 1, size - 1);
    orvel::test::StallTally tally;
    std::optional<std::string> broken = orvel::test::runStallModel(choices, timesOut, tally);
    if (!broken && !timesOut && tally.lateAnswers > 0)
        broken = "an answer came late to a device that waits for ever";
    if (!broken) return 0;
    if (verbose) std::fprintf(stderr, "stall_fuzz: violated: %s\n", broken->c_str());
    __builtin_trap();
}

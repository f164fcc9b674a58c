# Sanitizer and fuzz runs, included from the Makefile. One clang build serves both: every
# test and every fuzz target under AddressSanitizer, UBSan and LeakSanitizer, all our code
# instrumented for the fuzzer's coverage.
#
#   make test-sanitize   builds build-san/ and runs every test there
#   make fuzz            each fuzz target for FUZZ_SECONDS (60) seconds, two at a time
#   make fuzz-ci         what make test runs: each fuzz target for 15 seconds, three at a time
#   make fuzz-build      only builds the fuzz targets
#
# They need clang with libFuzzer (Debian: clang, libclang-rt-14-dev), which make deps installs.

SAN_BUILD    ?= build-san
FUZZ_SECONDS ?= 60
FUZZ_JOBS    ?= 2
FUZZ_TARGETS := onfparser_fuzz tablefile_fuzz profile_fuzz stall_fuzz client_fuzz
GENERATOR    ?= Ninja

# Any finding ends the process with an error, leaks included. No leak is suppressed: the
# suite shows none, not even inside Qt. Should a system library's own leak ever appear,
# suppress it by that library's frames only (LSAN_OPTIONS=suppressions=...), never ours.
SANITIZE_ENV := \
    ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1 \
    UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

# Evaluated only by the fuzz recipes: "ok" when clang can build and link a fuzz target.
FUZZ_PROBE = $(shell printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char *, unsigned long) { return 0; }\n' \
    | clang++ -x c++ -fsanitize=fuzzer,address,undefined -o /tmp/orvel-fuzz-probe.$$$$ - >/dev/null 2>&1 \
    && echo ok; rm -f /tmp/orvel-fuzz-probe.$$$$)
FUZZ_SKIP = echo "fuzz: skipped: clang++ with libFuzzer is missing (Debian packages: clang libclang-rt-14-dev)"

.PHONY: test-sanitize fuzz fuzz-ci fuzz-build san-configure

# Without clang and libFuzzer nothing here can be built: say so and stop.
san-configure: deps
	@if [ "$(FUZZ_PROBE)" != ok ]; then $(FUZZ_SKIP); exit 1; fi
	@[ -f $(SAN_BUILD)/CMakeCache.txt ] || cmake -S . -B $(SAN_BUILD) -G $(GENERATOR) \
	    -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only" \
	    -DORVEL_SANITIZE=ON -DORVEL_FUZZ=ON -DORVEL_BENCH=OFF

test-sanitize: san-configure
	$(SANITIZE_ENV) cmake --build $(SAN_BUILD)
	cd $(SAN_BUILD) && $(SANITIZE_ENV) QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2

fuzz-build: san-configure
	cmake --build $(SAN_BUILD) --target fuzzers

# FUZZ_JOBS targets at a time (two: one a core). Each starts from its seeds in
# fuzz/corpus/<target>/ and what earlier runs found in $(SAN_BUILD)/corpus/<target>/. An
# input that breaks a check is kept as $(SAN_BUILD)/findings/<target>-crash-*; run the
# target on that file to see it again (ORVEL_FUZZ_VERBOSE=1 names the broken rule of the
# stall fuzz target).
fuzz: fuzz-build
	@printf '%s\n' $(FUZZ_TARGETS) | $(SANITIZE_ENV) xargs -P$(FUZZ_JOBS) -I{} \
	    bash mk/fuzz-one.sh $(SAN_BUILD) {} $(FUZZ_SECONDS)

# make test's: the five targets in two rounds.
fuzz-ci: FUZZ_SECONDS = 15
fuzz-ci: FUZZ_JOBS = 3
fuzz-ci: fuzz

# The production station's truth under faults (not part of make test; a few minutes): 200
# simulated units over 8 slots, many with a fault of their own, the station killed with
# SIGKILL at random moments and started again; then units recorded PASS that do not hold
# the table, units touched without a record, list labels used twice and records changed
# after they were finished are counted, each to be 0. SEED=N draws other faults and kills.
.PHONY: station-soak
station-soak: configure
	cmake --build $(BUILD) --target orvel orvel-device-sim
	tools/station_soak.sh $(BUILD)

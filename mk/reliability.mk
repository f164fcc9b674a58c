# Sanitizer and fuzz runs, included from the Makefile.
#
#   make test-sanitize   every test under ASan + UBSan + LeakSanitizer, built in build-asan/
#   make fuzz            each fuzz target for FUZZ_SECONDS (60) seconds, built in build-fuzz/
#   make fuzz-ci         what CI runs: each fuzz target for 60 seconds
#   make fuzz-build      only builds the fuzz targets
#
# The fuzz targets need clang with libFuzzer (Debian: clang, libclang-rt-14-dev); without
# them the fuzz targets say so and do nothing.

ASAN_BUILD   ?= build-asan
FUZZ_BUILD   ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := dialogue_fuzz onfparser_fuzz textrules_fuzz tablefile_fuzz stall_fuzz
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

.PHONY: test-sanitize fuzz fuzz-ci fuzz-build

# -O1 and no benchmarks: the build is most of the time this takes.
test-sanitize: deps
	@[ -f $(ASAN_BUILD)/CMakeCache.txt ] || cmake -S . -B $(ASAN_BUILD) -G $(GENERATOR) \
	    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" \
	    -DORVEL_SANITIZE=ON -DORVEL_BENCH=OFF
	$(SANITIZE_ENV) cmake --build $(ASAN_BUILD)
	cd $(ASAN_BUILD) && $(SANITIZE_ENV) ctest --output-on-failure -j2

fuzz-build: deps
	@if [ "$(FUZZ_PROBE)" != ok ]; then $(FUZZ_SKIP); exit 0; fi; \
	set -e; \
	[ -f $(FUZZ_BUILD)/CMakeCache.txt ] || cmake -S . -B $(FUZZ_BUILD) -G $(GENERATOR) \
	    -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DORVEL_FUZZ=ON -DORVEL_BENCH=OFF -DBUILD_TESTING=OFF; \
	cmake --build $(FUZZ_BUILD) --target fuzzers

# Each target starts from its seeds in fuzz/corpus/<target>/ and what earlier runs found
# in $(FUZZ_BUILD)/corpus/<target>/. An input that breaks a check is kept as
# $(FUZZ_BUILD)/findings/<target>-crash-*; run the target on that file to see it again
# (for the dialogue: ORVEL_FUZZ_VERBOSE=1, and fuzz/describe_dialogue_input.py FILE).
fuzz: fuzz-build
	@if [ "$(FUZZ_PROBE)" != ok ]; then exit 0; fi; \
	failed=""; \
	for t in $(FUZZ_TARGETS); do \
	    mkdir -p $(FUZZ_BUILD)/corpus/$$t $(FUZZ_BUILD)/findings; \
	    log=$(FUZZ_BUILD)/findings/$$t.log; \
	    if $(SANITIZE_ENV) ORVEL_FUZZ_VERBOSE=1 $(FUZZ_BUILD)/$$t -max_total_time=$(FUZZ_SECONDS) \
	        -timeout=20 -print_final_stats=1 -artifact_prefix=$(FUZZ_BUILD)/findings/$$t- \
	        $(FUZZ_BUILD)/corpus/$$t fuzz/corpus/$$t >$$log 2>&1; then \
	        echo "$$t: $$(sed -n 's/^stat::number_of_executed_units: *//p' $$log) executions in $(FUZZ_SECONDS) s, no finding"; \
	    else \
	        echo "$$t: FAILED; the last lines of $$log:"; tail -n 25 $$log; failed="$$failed $$t"; \
	    fi; \
	done; \
	if [ -n "$$failed" ]; then echo "fuzz: findings in:$$failed (inputs in $(FUZZ_BUILD)/findings/)"; exit 1; fi

fuzz-ci: FUZZ_SECONDS = 60
fuzz-ci: fuzz

# Benchmarks, included from the Makefile.
#
#   make bench    builds the benchmarks in build-bench/ (Release) and prints one Markdown
#                 table: the program against the device simulator and against a bare
#                 responder on the same simulator, start-up, memory, and in-process figures.
#                 RUNS=N sets how many runs each figure is the median of (default 5).

BENCH_BUILD   ?= build-bench
BENCH_TARGETS := orvel-device-sim bench_program_driver bench_bare_responder bench_qt_responder \
                 bench_latency_stats bench_processreply
GENERATOR     ?= Ninja

.PHONY: bench

bench: deps
	@[ -f $(BENCH_BUILD)/CMakeCache.txt ] || cmake -S . -B $(BENCH_BUILD) -G $(GENERATOR) \
	    -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DORVEL_BENCH=ON
	cmake --build $(BENCH_BUILD) --target $(BENCH_TARGETS)
	bash bench/run_bench.sh $(BENCH_BUILD)

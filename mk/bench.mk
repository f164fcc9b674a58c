# Benchmarks, included from the Makefile.
#
#   make bench        builds the benchmarks in build-bench/ (Release) and prints one Markdown
#                     table: the program against the device simulator and against a bare
#                     responder on the same simulator, start-up, memory, and in-process
#                     figures; then each goal, met or missed. Writes the latency pictures
#                     bench/latency_full_read.png and bench/latency_write.png.
#                     RUNS=N sets how many runs each figure is the median of (default 5).
#   make bench-check  the regression check: the answer latency p99 of the program against
#                     the bare responder; fails above the goal. Not part of the test suite.
#   make bench-station  the production station's throughput: `orvel station` with 1, 4, 8
#                     and 16 slots, each its own jig paced at 1200 bit/s; units per hour, the
#                     ratio to N times one slot, CPU per slot, one unit against the line's
#                     floor (bench/station_bench.sh; UNITS=N units a slot, default 3; about
#                     six minutes). Not part of the test suite.

BENCH_BUILD   ?= build-bench
BENCH_TARGETS := orvel orvel-device-sim bench_program_driver bench_bare_responder bench_qt_responder \
                 bench_latency_stats bench_latency_plot bench_processreply
BENCH_CHECK_TARGETS := orvel-device-sim bench_program_driver bench_bare_responder \
                       bench_latency_stats
GENERATOR     ?= Ninja

.PHONY: bench bench-configure bench-check bench-station

bench-configure: deps
	@[ -f $(BENCH_BUILD)/CMakeCache.txt ] || cmake -S . -B $(BENCH_BUILD) -G $(GENERATOR) \
	    -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DORVEL_BENCH=ON

bench: bench-configure
	cmake --build $(BENCH_BUILD) --target $(BENCH_TARGETS)
	bash bench/run_bench.sh $(BENCH_BUILD)

bench-check: bench-configure
	cmake --build $(BENCH_BUILD) --target $(BENCH_CHECK_TARGETS)
	bash bench/check_latency.sh $(BENCH_BUILD)

bench-station: bench-configure
	cmake --build $(BENCH_BUILD) --target orvel orvel-device-sim
	bash bench/station_bench.sh $(BENCH_BUILD)

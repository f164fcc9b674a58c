#!/usr/bin/env bash
# The regression check of the answer latency (make bench-check): the program and the bare
# responder in turn on identical simulators, a full-table read and a write with read-back at
# --fast, RUNS (default 5) runs each. Prints the median over the runs of the p99 ratio
# program/bare and fails (exit 1) when either is above the goal.
#
#   bench/check_latency.sh BUILD_DIR
#
# BASE_DRIVER=PATH also runs the bench_program_driver of another build in each run, to
# compare a change with the tree before it. Run it on an idle machine: on a busy one both
# sides wait for a processor and the ratio says little either way. It prints the load
# average so a reader can tell.
set -uo pipefail

B=$(cd "${1:?usage: check_latency.sh BUILD_DIR}" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
RUNS=${RUNS:-5}
P99_GOAL=${P99_GOAL:-1.5}
source "$HERE/bench_lib.sh"
require_tools "$SIM" "$DRIVER" "$BARE" "$LATENCY"

LOAD_BEFORE=$(cut -d' ' -f1-3 /proc/loadavg)
WHO="prog bare"
[ -n "${BASE_DRIVER:-}" ] && WHO="base prog bare"
transfers full "$RUNS" "$WHO" read 1 8175 --fast
transfers write "$RUNS" "$WHO" write 1 500 --fast
LOAD_AFTER=$(cut -d' ' -f1-3 /proc/loadavg)

status=0
check() {  # check NAME WHAT
    local p99 time runs
    runs=$([ -s "$WORK/${1}_prog_run" ] && wc -l <"$WORK/${1}_prog_run" || echo 0)
    p99=$(pairratio "${1}_prog_p99" "${1}_bare_p99" 4)
    time=$(pairratio "${1}_prog_transfer" "${1}_bare_transfer" 2)
    local word=met
    if [ "$runs" -eq 0 ] || awk -v v="$p99" -v g="$P99_GOAL" 'BEGIN {exit !(v == "n/a" || v+0 > g+0)}'; then
        word=MISSED
        status=1
    fi
    echo "$2: answer latency p99 $(med "${1}_prog_p99") µs against bare $(med "${1}_bare_p99") µs," \
         "ratio $(fmt "$p99" 2) (goal ≤ $P99_GOAL): $word; time ratio $time;" \
         "CPU time ratio $(pairratio "${1}_prog_cpu" "${1}_bare_cpu"); $runs runs"
    if [ -n "${BASE_DRIVER:-}" ]; then
        echo "  the same runs with $BASE_DRIVER: p99 ratio" \
             "$(pairratio "${1}_base_p99" "${1}_bare_p99")," \
             "time ratio $(pairratio "${1}_base_transfer" "${1}_bare_transfer")," \
             "CPU time ratio $(pairratio "${1}_base_cpu" "${1}_bare_cpu")"
    fi
}
check full "full-table read 1..8175"
check write "write with read-back 1..500"
echo "load average before: $LOAD_BEFORE, after: $LOAD_AFTER; $(nproc) CPUs"
[ ${#FAILURES[@]} -eq 0 ] || { echo "failed runs: ${#FAILURES[@]}"; status=1; }
exit $status

#!/usr/bin/env bash
# One fuzz target for a while: mk/fuzz-one.sh BUILD TARGET SECONDS. Prints one line, and the
# end of the log when the target found something (then exits non-zero).
set -u
build=$1 target=$2 seconds=$3
mkdir -p "$build/corpus/$target" "$build/findings"
log="$build/findings/$target.log"
if ORVEL_FUZZ_VERBOSE=1 "$build/$target" -max_total_time="$seconds" -timeout=20 \
    -print_final_stats=1 -artifact_prefix="$build/findings/$target-" \
    "$build/corpus/$target" "fuzz/corpus/$target" >"$log" 2>&1; then
    echo "$target: $(sed -n 's/^stat::number_of_executed_units: *//p' "$log") executions in $seconds s, no finding"
else
    echo "$target: FAILED; the last lines of $log:"
    tail -n 25 "$log"
    exit 1
fi

#!/usr/bin/env bash
# Runs every benchmark against the device simulator and prints one Markdown table.
#
#   bench/run_bench.sh BUILD_DIR
#
# RUNS (default 5) runs of each line-bound figure, SLOW_RUNS (3) at 1200 bit/s; every
# figure is the median of its runs. The program, the bare responder and the Qt responder
# take turns on identical simulators, and a ratio is taken within each run before the
# median, so it compares runs made side by side under the same machine load. The machine
# should be otherwise idle: on a busy one every wake-up waits for a processor, which
# slows the bare responder as much as the program and squeezes the ratios towards 1.
set -uo pipefail

B=$(cd "${1:?usage: run_bench.sh BUILD_DIR}" && pwd)
RUNS=${RUNS:-5}
SLOW_RUNS=${SLOW_RUNS:-3}
SIM=$B/orvel-device-sim
DRIVER=$B/bench_program_driver
BARE=$B/bench_bare_responder
QTRESP=$B/bench_qt_responder
LATENCY=$B/bench_latency_stats
PROCESSREPLY=$B/bench_processreply
for tool in "$SIM" "$DRIVER" "$BARE" "$QTRESP" "$LATENCY" "$PROCESSREPLY"; do
    [ -x "$tool" ] || { echo "missing $tool: build the bench targets first" >&2; exit 2; }
done

WORK=$(mktemp -d)
export QT_QPA_PLATFORM=offscreen
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    export XDG_RUNTIME_DIR=$WORK/xdg
    mkdir -m 700 "$XDG_RUNTIME_DIR"
fi
SIM_PID=
cleanup() {
    if [ -n "$SIM_PID" ]; then kill -TERM "$SIM_PID" 2>/dev/null; wait "$SIM_PID" 2>/dev/null; fi
    rm -rf "$WORK"
}
trap cleanup EXIT
FAILURES=()

# One session: a fresh simulator (arguments up to --), the command after -- with @PATH@
# replaced by its terminal; the command's output left in $OUT, the byte log in $LOG.
LOG=$WORK/sim.log
OUT=$WORK/out
session() {
    local simargs=()
    while [ "$1" != "--" ]; do simargs+=("$1"); shift; done
    shift
    rm -f "$LOG" "$OUT" "$WORK/sim.out"
    "$SIM" "${simargs[@]}" --log "$LOG" --log-timestamps >"$WORK/sim.out" 2>"$WORK/sim.err" &
    SIM_PID=$!
    local path= i
    for i in $(seq 500); do
        path=$(head -n1 "$WORK/sim.out" 2>/dev/null)
        [ -n "$path" ] && break
        sleep 0.01
    done
    if [ -z "$path" ]; then
        echo "the simulator did not start: $(cat "$WORK/sim.err")" >&2
        return 1
    fi
    local cmd=("${@//@PATH@/$path}") rc=0
    timeout 300 "${cmd[@]}" >"$OUT" 2>"$WORK/cmd.err" || rc=$?
    kill -TERM "$SIM_PID" 2>/dev/null
    wait "$SIM_PID" 2>/dev/null
    SIM_PID=
    if [ $rc -ne 0 ]; then
        echo "failed ($rc): ${cmd[*]}: $(head -c 2000 "$WORK/cmd.err")" >&2
        FAILURES+=("${cmd[*]}")
    fi
    return $rc
}

value() { sed -n "s/^$1=//p" | head -n1; }                    # key=value lines on stdin
field() { tr ' ' '\n' | sed -n "s/^$1=//p" | head -n1; }      # key=value words on stdin
median() { sort -g | awk '{v[NR]=$1} END {if (NR) print (NR%2 ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2)}'; }
ratio() { awk -v a="$1" -v b="$2" -v d="${3:-2}" 'BEGIN {if (b > 0) printf "%.*f", d, a/b; else print "n/a"}'; }
fmt() { awk -v v="$1" -v d="${2:-1}" -v s="${3:-1}" 'BEGIN {if (v == "" || v == "n/a") print "n/a"; else printf "%.*f", d, v/s}'; }
verdict() { awk -v v="$1" -v g="$2" 'BEGIN {if (v == "" || v == "n/a") print "n/a"; else print (v+0 <= g+0 ? "yes" : "**no**")}'; }

# Transfer runs: the program, the Qt responder and the bare responder in turn, on
# identical simulators. A run counts only when all three succeeded, so the figures of
# one run stay side by side. Fills $WORK/NAME_WHO_FIGURE with one line per run.
transfers() {
    local name=$1 runs=$2 mode=$3 first=$4 last=$5
    shift 5
    local simargs=("$@") extra=() r who ok
    [ "$mode" = write ] && extra=(1)
    for r in $(seq "$runs"); do
        ok=1
        for who in prog qt bare; do
            case $who in
                prog) session "${simargs[@]}" -- env ORVEL_COM1=@PATH@ "$DRIVER" "$mode" "$first" "$last" "${extra[@]}" || ok= ;;
                qt) session "${simargs[@]}" -- "$QTRESP" @PATH@ "$mode" "$first" "$last" "${extra[@]}" || ok= ;;
                bare) session "${simargs[@]}" -- "$BARE" @PATH@ "$mode" "$first" "$last" "${extra[@]}" || ok= ;;
            esac
            [ -n "$ok" ] || break
            cp "$OUT" "$WORK/run_$who"
            "$LATENCY" "$LOG" >"$WORK/lat_$who" || ok=
        done
        [ -n "$ok" ] || continue
        for who in prog qt bare; do
            value transfer_us <"$WORK/run_$who" >>"$WORK/${name}_${who}_transfer"
            value click_to_idle_us <"$WORK/run_$who" >>"$WORK/${name}_${who}_click"
            value cpu_us <"$WORK/run_$who" >>"$WORK/${name}_${who}_cpu"
            value maxrss_kb <"$WORK/run_$who" >>"$WORK/${name}_${who}_rss"
            field p50_us <"$WORK/lat_$who" >>"$WORK/${name}_${who}_p50"
            field p99_us <"$WORK/lat_$who" >>"$WORK/${name}_${who}_p99"
            field max_us <"$WORK/lat_$who" >>"$WORK/${name}_${who}_max"
        done
    done
}
# Median over the runs of A/B, each run's A divided by the same run's B.
pairratio() {  # pairratio A B [DIGITS]
    [ -s "$WORK/$1" ] && [ -s "$WORK/$2" ] || { echo n/a; return; }
    paste "$WORK/$1" "$WORK/$2" | awk '$2 > 0 {printf "%.6f\n", $1/$2}' | median |
        awk -v d="${3:-2}" '{printf "%.*f", d, $1}'
}
med() { [ -s "$WORK/$1" ] && median <"$WORK/$1"; }

echo "Running: RUNS=$RUNS, build $B" >&2
LOAD_BEFORE=$(cut -d' ' -f1-3 /proc/loadavg)
STARTED=$(date +%s)

echo "full-table read at --fast ..." >&2
transfers full "$RUNS" read 1 8175 --fast
echo "orvel read of the full table at --fast ..." >&2
# First command to last value, both from the simulator's log: the byte the device sends
# straight after one it received, the last time.
span() { awk '$2 == "rx" {if (f == "") f = $1; r = 1; next} r && $2 == "tx" {l = $1} {r = 0} END {print l - f}' "$LOG"; }
for r in $(seq "$RUNS"); do
    session --fast -- "$BARE" @PATH@ read 1 8175 && bare=$(span) &&
        session --fast -- "$B/orvel" read --port @PATH@ --objects 1-8175 -o "$WORK/cli.csv" --quiet &&
        echo "$bare" >>"$WORK/cli_bare" && span >>"$WORK/cli_prog"
done
echo "write with read-back at --fast ..." >&2
transfers write "$RUNS" write 1 500 --fast
echo "read of 30 objects at 1200 bit/s ..." >&2
transfers slow "$SLOW_RUNS" read 1 30 --baud 1200

echo "waiting as the end-to-end tests do ..." >&2
for r in $(seq 3); do
    for loop in exec qwaitfor events; do
        session --fast -- env ORVEL_COM1=@PATH@ "$DRIVER" read 1 50 --loop $loop || continue
        value transfer_us <"$OUT" >>"$WORK/e2e_$loop"
    done
done

echo "start-up ..." >&2
for r in $(seq "$RUNS"); do
    out=$("$DRIVER" startup 2>/dev/null) || { FAILURES+=("startup"); continue; }
    echo "$out" | value launch_to_shown_us >>"$WORK/startup_shown"
    echo "$out" | value maxrss_kb >>"$WORK/startup_rss"
    QT_VERSION=$(echo "$out" | value qt_version)
done
if command -v xvfb-run >/dev/null; then
    for r in $(seq 3); do
        out=$(QT_QPA_PLATFORM=xcb xvfb-run -a "$DRIVER" startup 2>/dev/null) || continue
        [ "$(echo "$out" | value platform)" = xcb ] || continue
        echo "$out" | value launch_to_shown_us >>"$WORK/startup_x_shown"
        echo "$out" | value maxrss_kb >>"$WORK/startup_x_rss"
    done
fi

echo "in-process benchmarks ..." >&2
"$PROCESSREPLY" --benchmark_repetitions="$RUNS" --benchmark_report_aggregates_only=true \
    --benchmark_format=csv >"$WORK/gb.csv" 2>"$WORK/gb.err" || FAILURES+=("bench_processreply")
# name,iterations,real_time,cpu_time,time_unit,bytes_per_second,items_per_second,...
gb_items() { awk -F, -v n="\"$1_median\"" '$1 == n {print $7}' "$WORK/gb.csv"; }
gb_ms() {  # real time in milliseconds
    awk -F, -v n="\"$1_median\"" '$1 == n {
        f = ($5 == "ns") ? 1e-6 : ($5 == "us") ? 1e-3 : ($5 == "s") ? 1e3 : 1; print $3 * f}' "$WORK/gb.csv"
}

LOAD_AFTER=$(cut -d' ' -f1-3 /proc/loadavg)

# ---- the table ----
# The line floor at 1200 bit/s: 8 bytes of 10 bits per object; timed from our first
# command, so the ready pair in front of the first object is not on the clock.
BYTE_US=$(awk 'BEGIN {printf "%.3f", 10e6/1200}')
SLOW_FLOOR_US=$(awk -v b="$BYTE_US" 'BEGIN {printf "%.0f", (8*30-2)*b}')

s() { fmt "$(med "$1")" 3 1e6; }            # seconds
per_s() { awk -v t="$(med "$1")" -v n="$2" 'BEGIN {if (t) printf "%.0f", n*1e6/t; else print "n/a"}'; }
row() { echo "| $1 | $2 | $3 | $4 | $5 | $6 |"; }

# Goals are judged on the unrounded ratios (4 digits); the table shows 2 (3 at 1200 bit/s).
full_ratio=$(pairratio full_prog_transfer full_bare_transfer 4)
full_p99_ratio=$(pairratio full_prog_p99 full_bare_p99 4)
write_ratio=$(pairratio write_prog_transfer write_bare_transfer 4)
write_p99_ratio=$(pairratio write_prog_p99 write_bare_p99 4)
slow_p=$(med slow_prog_transfer)
slow_ratio=$(ratio "$slow_p" "$SLOW_FLOOR_US" 4)
slow_bare_ratio=$(ratio "$(med slow_bare_transfer)" "$SLOW_FLOOR_US" 3)
startup=$(med startup_shown)
load_ms=$(gb_ms BM_LoadObjectFile/real_time)

echo
row "Measure" "Program" "Bare responder / reference" "Ratio" "Goal" "Met"
row "---" "---" "---" "---" "---" "---"
row "Full-table read 1..8175 at --fast: first command to last value (s)" "$(s full_prog_transfer)" "$(s full_bare_transfer)" "$(fmt "$full_ratio" 2)" "≤ 1.5" "$(verdict "$full_ratio" 1.5)"
row "Full-table read: objects/s" "$(per_s full_prog_transfer 8175)" "$(per_s full_bare_transfer 8175)" "" "" ""
row "Full-table read: the same steps on Qt's event loop and QSerialPort, no window (s)" "" "$(s full_qt_transfer)" "$(pairratio full_qt_transfer full_bare_transfer)" "" ""
row "Full-table read: program against that Qt responder" "$(s full_prog_transfer)" "$(s full_qt_transfer)" "$(pairratio full_prog_transfer full_qt_transfer)" "" ""
row "Full-table read: click to idle, with the device's idle window (s)" "$(s full_prog_click)" "$(s full_bare_click)" "$(pairratio full_prog_click full_bare_click)" "" ""
row "Full-table read: process CPU time from the click (s)" "$(s full_prog_cpu)" "$(s full_bare_cpu) (Qt: $(s full_qt_cpu))" "$(pairratio full_prog_cpu full_bare_cpu)" "" ""
row "Full-table read: answer latency p50 (µs)" "$(med full_prog_p50)" "$(med full_bare_p50) (Qt: $(med full_qt_p50))" "$(pairratio full_prog_p50 full_bare_p50)" "" ""
row "Full-table read: answer latency p99 (µs)" "$(med full_prog_p99)" "$(med full_bare_p99) (Qt: $(med full_qt_p99))" "$(fmt "$full_p99_ratio" 2)" "≤ 2" "$(verdict "$full_p99_ratio" 2)"
row "Full-table read: answer latency max (µs)" "$(med full_prog_max)" "$(med full_bare_max) (Qt: $(med full_qt_max))" "$(pairratio full_prog_max full_bare_max)" "" ""
row "orvel read, full table at --fast (ratio to bare)" "$(s cli_prog)" "$(s cli_bare)" "$(pairratio cli_prog cli_bare)" "" ""
row "Write with read-back 1..500 at --fast: first command to last value (s)" "$(s write_prog_transfer)" "$(s write_bare_transfer) (Qt: $(s write_qt_transfer))" "$(fmt "$write_ratio" 2)" "≤ 1.5" "$(verdict "$write_ratio" 1.5)"
row "Write with read-back: objects/s" "$(per_s write_prog_transfer 500)" "$(per_s write_bare_transfer 500)" "" "" ""
row "Write with read-back: answer latency p50 (µs)" "$(med write_prog_p50)" "$(med write_bare_p50) (Qt: $(med write_qt_p50))" "$(pairratio write_prog_p50 write_bare_p50)" "" ""
row "Write with read-back: answer latency p99 (µs)" "$(med write_prog_p99)" "$(med write_bare_p99) (Qt: $(med write_qt_p99))" "$(fmt "$write_p99_ratio" 2)" "≤ 2" "$(verdict "$write_p99_ratio" 2)"
row "Write with read-back: answer latency max (µs)" "$(med write_prog_max)" "$(med write_bare_max) (Qt: $(med write_qt_max))" "$(pairratio write_prog_max write_bare_max)" "" ""
row "Read 1..30 at 1200 bit/s, first command to last value, against the line floor of $(fmt "$SLOW_FLOOR_US" 1 1e3) ms (s)" "$(fmt "$slow_p" 4 1e6)" "floor $(fmt "$SLOW_FLOOR_US" 4 1e6); bare $(s slow_bare_transfer) = $slow_bare_ratio × floor" "$(fmt "$slow_ratio" 3)" "≤ 1.02" "$(verdict "$slow_ratio" 1.02)"
row "Start-up, launch to the first frame shown, offscreen (ms)" "$(fmt "$startup" 0 1e3)" "" "" "< 300" "$(verdict "$(fmt "$startup" 3 1e3)" 300)"
if [ -s "$WORK/startup_x_shown" ]; then
    row "Start-up, launch to the first frame shown, X11 on Xvfb (ms)" "$(fmt "$(med startup_x_shown)" 0 1e3)" "" "" "< 300" "$(verdict "$(fmt "$(med startup_x_shown)" 3 1e3)" 300)"
    row "Peak RSS at start-up, X11 on Xvfb (MB)" "$(fmt "$(med startup_x_rss)" 1 1024)" "" "" "< 60" "$(verdict "$(fmt "$(med startup_x_rss)" 3 1024)" 60)"
fi
row "Peak RSS at start-up, offscreen (MB)" "$(fmt "$(med startup_rss)" 1 1024)" "" "" "< 60" "$(verdict "$(fmt "$(med startup_rss)" 3 1024)" 60)"
row "Peak RSS after the full-table read (MB)" "$(fmt "$(med full_prog_rss)" 1 1024)" "" "" "< 60" "$(verdict "$(fmt "$(med full_prog_rss)" 3 1024)" 60)"
row "Object number file of 200000 numbers: loaded into the list and shown (ms)" "$(fmt "$load_ms" 1)" "" "" "< 500" "$(verdict "$load_ms" 500)"
row "ProcessReply, read cycle, terminal nearly empty (replies/s)" "$(fmt "$(gb_items BM_ReadCycle/full:0)" 0)" "" "" "" ""
row "ProcessReply, read cycle, terminal full (replies/s)" "$(fmt "$(gb_items BM_ReadCycle/full:1)" 0)" "" "" "" ""
row "Read cycle through the in-memory port and the receive path, terminal full (replies/s)" "$(fmt "$(gb_items BM_ReadCycleThroughPort)" 0)" "" "" "" ""
row "Write-and-read-back cycle through the in-memory port, terminal full (replies/s)" "$(fmt "$(gb_items BM_WriteCycleThroughPort)" 0)" "" "" "" ""
row "Read 1..50 at --fast waiting as the end-to-end tests do (QTest::qWaitFor), per object (ms)" "$(fmt "$(med e2e_qwaitfor)" 2 50e3)" "event loop: $(fmt "$(med e2e_exec)" 2 50e3); waiting with runUntil: $(fmt "$(med e2e_events)" 2 50e3)" "$(pairratio e2e_qwaitfor e2e_exec)" "" ""
echo
echo "Medians of $RUNS runs ($SLOW_RUNS at 1200 bit/s, 3 for the waits and on Xvfb); a ratio is" \
     "the median of the ratios within each run. Load average before: $LOAD_BEFORE, after:" \
     "$LOAD_AFTER; $(nproc) CPUs; Qt ${QT_VERSION:-?}; $(($(date +%s) - STARTED)) s."
if [ ${#FAILURES[@]} -gt 0 ]; then
    echo
    echo "FAILED runs (left out of the medians):"
    printf -- '- %s\n' "${FAILURES[@]}"
    exit 1
fi

# Shared by run_bench.sh and check_latency.sh: sessions against the device simulator and
# the arithmetic over their runs. Source it after setting B (the build directory).
#
# A session is a fresh simulator and one command on its terminal. The program, the Qt
# responder and the bare responder take turns on identical simulators, and a ratio is taken
# within each run before the median, so it compares runs made side by side under the same
# machine load.

SIM=$B/orvel-device-sim
DRIVER=${DRIVER:-$B/bench_program_driver}  # another build's program: the tree before a change
BARE=$B/bench_bare_responder
QTRESP=$B/bench_qt_responder
LATENCY=$B/bench_latency_stats

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

require_tools() {
    local tool
    for tool in "$@"; do
        [ -x "$tool" ] || { echo "missing $tool: build the bench targets first" >&2; exit 2; }
    done
}

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

# Transfer runs: each of WHO (prog, qt, bare; base: the program of another build, the
# bench_program_driver named by BASE_DRIVER) in turn, on identical simulators. A run
# counts only when all succeeded, so the figures of one run stay side by side. Fills
# $WORK/NAME_WHO_FIGURE with one line per run, and keeps each counted run's logs as
# $WORK/NAME_WHO_R.log.
#   transfers NAME RUNS "WHO..." read|write FIRST LAST SIMARGS...
transfers() {
    local name=$1 runs=$2 whos=$3 mode=$4 first=$5 last=$6
    shift 6
    local simargs=("$@") extra=() r who ok
    [ "$mode" = write ] && extra=(1)
    for r in $(seq "$runs"); do
        ok=1
        for who in $whos; do
            case $who in
                prog) session "${simargs[@]}" -- env ORVEL_COM1=@PATH@ "$DRIVER" "$mode" "$first" "$last" "${extra[@]}" || ok= ;;
                qt) session "${simargs[@]}" -- "$QTRESP" @PATH@ "$mode" "$first" "$last" "${extra[@]}" || ok= ;;
                bare) session "${simargs[@]}" -- "$BARE" @PATH@ "$mode" "$first" "$last" "${extra[@]}" || ok= ;;
                base) session "${simargs[@]}" -- env ORVEL_COM1=@PATH@ "$BASE_DRIVER" "$mode" "$first" "$last" "${extra[@]}" || ok= ;;
            esac
            [ -n "$ok" ] || break
            cp "$OUT" "$WORK/run_$who"
            cp "$LOG" "$WORK/log_$who"
            "$LATENCY" "$LOG" >"$WORK/lat_$who" || ok=
        done
        [ -n "$ok" ] || continue
        for who in $whos; do
            mv "$WORK/log_$who" "$WORK/${name}_${who}_${r}.log"
            echo "$r" >>"$WORK/${name}_${who}_run"
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
# The run whose A/B is that median (the lower middle one for an even count).
medianrun() {  # medianrun NAME A B: prints the run number
    [ -s "$WORK/$2" ] && [ -s "$WORK/$3" ] || return
    paste "$WORK/${1}_prog_run" "$WORK/$2" "$WORK/$3" | awk '$3 > 0 {printf "%s %.6f\n", $1, $2/$3}' |
        sort -k2 -g | awk '{r[NR]=$1} END {if (NR) print r[int((NR+1)/2)]}'
}
med() { [ -s "$WORK/$1" ] && median <"$WORK/$1"; }

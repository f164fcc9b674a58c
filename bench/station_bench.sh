#!/usr/bin/env bash
# The production station's throughput: `orvel station` with 1, 4, 8 and 16 slots in one run,
# each slot its own simulated jig paced at 1200 bit/s, every unit programmed with a table of
# 100 objects half of which differ from the unit's memory. Prints one Markdown table: units
# per hour, the ratio to N times one slot, the station's CPU per slot, and the time of one
# unit against the line's floor (the bytes its commands must exchange, at 10 bits a byte).
#
# Usage: bench/station_bench.sh [BUILD]   (BUILD holds orvel and orvel-device-sim)
#   SLOTS="1 4 8 16"  the slot counts, in this order, one after another
#   UNITS=3           units per slot; a slot count's figure is all its units over the
#                     station's whole run (start to the last unit's end)
#   GONE_MS=800 GAP_MS=1200 AWAY_MS=1500   the station's --gone-after (above the device's
#                     500 ms time-out inside a command), the jig's --gap-ms (the next unit
#                     comes that long after one went: longer than --gone-after) and
#                     --away-after-ms (a unit goes once the station has left it idle that
#                     long: longer than the station may pause to recover from a stall on a
#                     busy machine, about a second, or a unit is taken away mid-step)
set -u
B=${1:-build-bench}
SLOTS=${SLOTS:-"1 4 8 16"}
UNITS=${UNITS:-3}
GONE_MS=${GONE_MS:-800}
GAP_MS=${GAP_MS:-1200}
AWAY_MS=${AWAY_MS:-1500}
SEED=7
OBJECTS=100
BAUD=1200
SIM=$B/orvel-device-sim
ORVEL=$B/orvel
for tool in "$SIM" "$ORVEL" /usr/bin/time; do
    [ -x "$tool" ] || { echo "missing $tool: build orvel and orvel-device-sim first" >&2; exit 2; }
done

WORK=$(mktemp -d)
export XDG_STATE_HOME=$WORK/state XDG_DATA_HOME=$WORK/data XDG_CONFIG_HOME=$WORK/config
JIGS=()
cleanup() {
    local pid
    for pid in "${JIGS[@]}"; do kill -TERM "$pid" 2>/dev/null; done
    for pid in "${JIGS[@]}"; do wait "$pid" 2>/dev/null; done
    if [ -n "${KEEP:-}" ]; then echo "kept $WORK" >&2; else rm -rf "$WORK"; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

wait_for() {  # a path to appear, up to 10 s
    local i
    for i in $(seq 1000); do [ -e "$1" ] && return 0; sleep 0.01; done
    echo "$1 did not appear" >&2
    return 1
}

# The table: objects 1..100 as a unit seeded $SEED holds them, every second one changed.
"$SIM" --fast --seed "$SEED" --link "$WORK/seeded" >/dev/null 2>&1 &
seeded=$!
wait_for "$WORK/seeded" || exit 1
"$ORVEL" read --port "$WORK/seeded" --objects 1-$OBJECTS -o "$WORK/read.csv" --quiet || exit 1
kill -TERM $seeded; wait $seeded 2>/dev/null
awk -F, '/^[0-9]/ && $1 % 2 == 0 {print $1 "," ($2 + 1) % 256; next} {print}' \
    "$WORK/read.csv" >"$WORK/table.csv"

# Every unit of every jig starts with the same memory, so each has the same 50 to write.
unit_opts=()
for k in $(seq "$UNITS"); do unit_opts+=(--unit "$k:seed=$SEED"); done

# The commands a unit's log shows, from a jig's --log: units apart where the station sent
# nothing for 1.5 s. Prints per unit "reads writes answering": each command's 3 or 4 bytes
# counted out, and the seconds the station took to answer the device's bytes (from a byte
# sent to the station's next byte).
commands() {
    awk -v gap=1500000 '
        $2 == "tx" {sent = $1; next}
        $2 != "rx" {next}
        last != "" && $1 - last > gap {print r, w, a / 1e6; r = 0; w = 0; a = 0}
        sent != "" {a += $1 - sent; sent = ""}
        {last = $1}
        need > 0 {need--; next}
        $3 == 85 {r++; need = 2; next}
        $3 == 170 {w++; need = 3; next}
        END {if (last != "") print r, w, a / 1e6}' "$1"
}

echo "$(date -u) uptime before: $(uptime)" >&2
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
started=$(date +%s)
echo "| Slots | Units (PASS) | Station's run (s) | Units per hour (PASS per hour) | Ratio to N × one slot | Station CPU (s) | CPU per slot (% of a core) | One unit (s, mean) | Line's floor (s) | Unit / floor | Station answering (s a unit) |"
echo "| --- | --- | --- | --- | --- | --- | --- | --- | --- | --- | --- |"
one_slot_rate=
ratio16=
NOTES=()
for n in $SLOTS; do
    dir=$WORK/n$n
    mkdir -p "$dir"
    JIGS=()
    ports=()
    for s in $(seq "$n"); do
        mkdir -p "$dir/out$s"
        "$SIM" --baud $BAUD --units "$UNITS" "${unit_opts[@]}" --link "$dir/com$s" \
            --units-out "$dir/out$s" --gap-ms "$GAP_MS" --away-after-ms "$AWAY_MS" \
            --log "$dir/log$s" --log-timestamps >"$dir/jig$s.out" 2>"$dir/jig$s.err" &
        JIGS+=($!)
        ports+=("$dir/com$s")
    done
    for p in "${ports[@]}"; do wait_for "$p" || exit 1; done
    echo "$n slots: $((n * UNITS)) units..." >&2
    rc=0
    timeout $((120 + UNITS * 180)) /usr/bin/time -f "%e %U %S" -o "$dir/time" \
        "$ORVEL" station --table "$WORK/table.csv" --ports "$(IFS=,; echo "${ports[*]}")" \
        --auto-labels "B$n-" --ledger "$dir/ledger.sqlite" --station bench \
        --gone-after "$GONE_MS" --units $((n * UNITS)) --json >"$dir/units.json" \
        2>"$dir/station.err" || rc=$?
    for pid in "${JIGS[@]}"; do kill -TERM "$pid" 2>/dev/null; done
    for pid in "${JIGS[@]}"; do wait "$pid" 2>/dev/null; done
    JIGS=()
    if [ $rc -ne 0 ]; then
        echo "the station ended with $rc: $(tail -n 5 "$dir/station.err")" >&2
    fi
    read -r wall user sys < <(tail -n 1 "$dir/time")
    done_units=$(grep -c '"result"' "$dir/units.json")
    passed=$(grep -c '"result":"pass"' "$dir/units.json")
    unit_s=$(sed -n 's/.*"seconds":\([0-9.]*\).*/\1/p' "$dir/units.json" |
        awk '{t += $1} END {if (NR) printf "%.2f", t / NR}')
    # The floor: a read is 8 bytes on the line (the ready pair, 85, 202, high, 202, low,
    # the value), a write 10 (the ready pair, 170, 202, high, 202, low, 202, value, 202);
    # its read-back is a read. Each byte takes 10 bits at 1200 bit/s.
    for s in $(seq "$n"); do commands "$dir/log$s"; done >"$dir/commands"
    floor_s=$(awk -v baud=$BAUD '{t += ($1 * 8 + $2 * 10) * 10 / baud; u++}
                                  END {if (u) printf "%.2f", t / u}' "$dir/commands")
    answering=$(awk '{t += $3; u++} END {if (u) printf "%.2f", t / u}' "$dir/commands")
    rate=$(awk -v u="$done_units" -v w="$wall" 'BEGIN {printf "%.0f", u * 3600 / w}')
    [ -z "$one_slot_rate" ] && [ "$n" = 1 ] && one_slot_rate=$rate
    ratio=$(awk -v r="$rate" -v o="${one_slot_rate:-0}" -v n="$n" \
        'BEGIN {if (o > 0) printf "%.3f", r / (n * o); else print "n/a"}')
    [ "$n" = 16 ] && ratio16=$ratio
    cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN {printf "%.2f", u + s}')
    per_slot=$(awk -v c="$cpu" -v w="$wall" -v n="$n" 'BEGIN {printf "%.2f", 100 * c / w / n}')
    per_floor=$(awk -v a="$unit_s" -v b="$floor_s" 'BEGIN {if (b > 0) printf "%.3f", a / b}')
    pass_rate=$(awk -v u="$passed" -v w="$wall" 'BEGIN {printf "%.0f", u * 3600 / w}')
    causes=$(grep -v '"result":"pass"' "$dir/units.json" | sed -n 's/.*"cause":"\([^"]*\)".*/\1/p' |
        sort | uniq -c | awk '{printf "%s%s %s", (NR > 1 ? ", " : ""), $2, $1}')
    [ -n "$causes" ] && NOTES+=("$n slots: $((done_units - passed)) not PASS ($causes)")
    echo "| $n | $done_units ($passed) | $wall | $rate ($pass_rate) | $ratio | $cpu | $per_slot | $unit_s | $floor_s | $per_floor | $answering |"
done
load_after=$(cut -d' ' -f1-3 /proc/loadavg)
echo "$(date -u) uptime after: $(uptime)" >&2
echo
echo "Each slot its own jig at $BAUD bit/s, $UNITS units a slot, every unit's memory the same" \
    "(seed $SEED) and $((OBJECTS / 2)) of the table's $OBJECTS objects differing;" \
    "--gone-after $GONE_MS, the jig's --away-after-ms $AWAY_MS and --gap-ms $GAP_MS" \
    "(a unit taken away and the next one in: part of each unit's turn in units per hour," \
    "not in one unit's time). Load average before: $load_before, after: $load_after;" \
    "$(nproc) CPUs; $(($(date +%s) - started)) s."
for note in "${NOTES[@]}"; do echo "$note."; done
if [ -n "$ratio16" ]; then
    echo "Goal: at 16 slots at least 0.95 × 16 one-slot rates: $ratio16," \
        "$(awk -v r="$ratio16" 'BEGIN {print (r >= 0.95 ? "met" : "**missed**")}')."
fi

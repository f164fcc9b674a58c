#!/usr/bin/env bash
# The station's truth under faults: simulated units pass through `orvel station` on several
# slots, many of them with a fault of their own drawn from a seed (noise, flipped bytes, a
# stuck cell, a unit that falls silent, one that hangs up mid-step, an adapter pulled out
# as the unit goes), while the station is killed with SIGKILL at random moments and started
# again on the same ledger, under the same name, with labels from one list, until every
# unit has come and gone. Then it counts, from the jigs' final memories and the ledger:
#   - units recorded PASS whose final memory differs from the table,
#   - units touched (memory changed, or our bytes reached them) without a record,
#   - list labels used twice,
#   - records changed after they were finished (each round's finished records kept and
#     compared with the ledger after every later round).
# Each should be 0; the script exits 1 otherwise.
#
# Usage: tools/station_soak.sh [BUILD]   (BUILD holds orvel and orvel-device-sim)
#   SLOTS=8 UNITS=25 (units a slot) SEED=1 (draws the faults and the kills)
#   KILL_MS="1000 6000" the station lives a random time in this range before each SIGKILL
#   KEEP=1              keeps the working folder (its path on standard error)
#   CHECK=DIR           only counts again over a folder kept before
set -u
B=${1:-build-dev}
SLOTS=${SLOTS:-8}
UNITS=${UNITS:-25}
SEED=${SEED:-1}
read -r KILL_MIN KILL_MAX <<<"${KILL_MS:-1000 6000}"
OBJECTS=60
# Above the device's time-out inside a command (500 ms): a command the station could not
# answer (a flipped byte) is dropped by the device, not taken for the unit's removal. The
# jig takes a unit away once the station has left it alone for 1200 ms, and brings the next
# 1300 ms later, once the station can have seen it gone.
GONE_MS=800
SIM=$B/orvel-device-sim
ORVEL=$B/orvel
for tool in "$SIM" "$ORVEL" python3; do
    command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 2; }
done

if [ -n "${CHECK:-}" ]; then
    WORK=$CHECK
    read -r round kills SLOTS UNITS <"$WORK/rounds.txt"
else
    WORK=$(mktemp -d)
    export XDG_STATE_HOME=$WORK/state XDG_DATA_HOME=$WORK/data XDG_CONFIG_HOME=$WORK/config
    JIGS=()
    STATION=
    cleanup() {
        local pid
        [ -n "$STATION" ] && kill -KILL "$STATION" 2>/dev/null
        for pid in "${JIGS[@]}"; do kill -TERM "$pid" 2>/dev/null; done
        for pid in "${JIGS[@]}"; do wait "$pid" 2>/dev/null; done
        if [ -n "${KEEP:-}" ]; then echo "kept $WORK" >&2; else rm -rf "$WORK"; fi
    }
    trap cleanup EXIT
    trap 'exit 130' INT TERM
    RANDOM=$SEED

    wait_for() {
        local i
        for i in $(seq 1000); do [ -e "$1" ] && return 0; sleep 0.01; done
        echo "$1 did not appear" >&2
        return 1
    }
    stamp() { while IFS= read -r line; do echo "$EPOCHREALTIME $line"; done; }

    # The table: objects 1..60 of a unit seeded 5, every second one changed; each unit of the
    # jigs is seeded on its own, so it differs in about half the objects or more.
    "$SIM" --fast --seed 5 --link "$WORK/seeded" >/dev/null 2>&1 &
    seeded=$!
    wait_for "$WORK/seeded" || exit 1
    "$ORVEL" read --port "$WORK/seeded" --objects 1-$OBJECTS -o "$WORK/read.csv" --quiet || exit 1
    kill -TERM $seeded; wait $seeded 2>/dev/null
    awk -F, '/^[0-9]/ && $1 % 2 == 0 {print $1 "," ($2 + 1) % 256; next} {print}' \
        "$WORK/read.csv" >"$WORK/table.csv"
    for i in $(seq $((SLOTS * UNITS * 3))); do printf 'L%05d\n' "$i"; done >"$WORK/labels.txt"

    # A fault for about seven units in nine: a unit's own options in $FAULT, drawn from the
    # seed (in this shell: a subshell's RANDOM is seeded afresh).
    fault() {
        local k=$1
        FAULT=
        case $((RANDOM % 9)) in
            0) FAULT="$k:noise=0.02,noise-seed=$RANDOM" ;;
            1) FAULT="$k:flip=0.005,noise-seed=$RANDOM" ;;
            2) FAULT="$k:stuck-cell=$((RANDOM % OBJECTS + 1))" ;;
            3) FAULT="$k:silent-after=$((RANDOM % 1500 + 20))" ;;
            4) FAULT="$k:hangup-after=$((RANDOM % 1500 + 20))" ;;
            5) FAULT="$k:away=hangup" ;;
            6) FAULT="$k:pause-after=$((RANDOM % 1000 + 20)),pause-ms=$((RANDOM % 600 + 100))" ;;
        esac
    }
    ports=()
    for s in $(seq "$SLOTS"); do
        opts=()
        for k in $(seq "$UNITS"); do
            fault "$k"
            [ -n "$FAULT" ] && opts+=(--unit "$FAULT")
        done
        echo "${opts[*]}" >"$WORK/faults$s"
        mkdir -p "$WORK/out$s"
        "$SIM" --fast --units "$UNITS" --seed $((s * 1000)) --link "$WORK/com$s" \
            --units-out "$WORK/out$s" --gap-ms 1300 --away-after-ms 1200 "${opts[@]}" \
            > >(stamp >"$WORK/jig$s.out") 2>"$WORK/jig$s.err" &
        JIGS+=($!)
        ports+=("$WORK/com$s")
    done
    for p in "${ports[@]}"; do wait_for "$p" || exit 1; done

    all_gone() {
        local s
        for s in $(seq "$SLOTS"); do
            [ "$(grep -c ' away$' "$WORK/jig$s.out")" -ge "$UNITS" ] || return 1
        done
    }

    # Rounds: a station, killed after a random time, started again; each round's finished
    # records kept to compare with later rounds.
    round=0
    kills=0
    mkdir -p "$WORK/rounds"
    while :; do
        round=$((round + 1))
        "$ORVEL" station --table "$WORK/table.csv" --ports "$(IFS=,; echo "${ports[*]}")" \
            --labels "$WORK/labels.txt" --ledger "$WORK/ledger.sqlite" --station soak \
            --gone-after $GONE_MS --json >>"$WORK/units.json" 2>>"$WORK/station.err" &
        STATION=$!
        life=$((KILL_MIN + (RANDOM * 32768 + RANDOM) % (KILL_MAX - KILL_MIN + 1)))
        waited=0
        while [ $waited -lt $life ] && kill -0 "$STATION" 2>/dev/null; do
            sleep 0.1
            waited=$((waited + 100))
        done
        if all_gone; then
            kill -TERM "$STATION" 2>/dev/null  # the last round ends as an operator ends it
            wait "$STATION" 2>/dev/null
            STATION=
            "$ORVEL" ledger --ledger "$WORK/ledger.sqlite" --json >"$WORK/rounds/$round.json"
            break
        fi
        if ! kill -KILL "$STATION" 2>/dev/null; then
            echo "round $round: the station ended by itself: $(tail -n 3 "$WORK/station.err")" >&2
        else
            kills=$((kills + 1))
        fi
        wait "$STATION" 2>/dev/null
        STATION=
        "$ORVEL" ledger --ledger "$WORK/ledger.sqlite" --json >"$WORK/rounds/$round.json"
        printf 'round %d: killed after %d ms; units gone: %s\n' "$round" "$life" \
            "$(cat "$WORK"/jig*.out | grep -c ' away$')" >&2
        sleep "0.$((RANDOM % 10))"
    done
    for pid in "${JIGS[@]}"; do kill -TERM "$pid" 2>/dev/null; done
    for pid in "${JIGS[@]}"; do wait "$pid" 2>/dev/null; done
    JIGS=()
    "$ORVEL" ledger --ledger "$WORK/ledger.sqlite" --json >"$WORK/ledger.json"
    echo "$round $kills $SLOTS $UNITS" >"$WORK/rounds.txt"
fi

python3 - "$WORK" "$SLOTS" "$UNITS" "$OBJECTS" "$round" "$kills" <<'EOF'
import json, os, re, sys
from datetime import datetime

work, slots, units, objects, rounds, kills = sys.argv[1], *map(int, sys.argv[2:])

def memory_of(seed):  # the simulator's seeding: the top byte of each state of an LCG
    state, cells = seed, bytearray(8192)
    for i in range(8192):
        state = (state * 6364136223846793005 + 1442695040888963407) % 2**64
        cells[i] = state >> 56
    return cells

table = {}
for line in open(f"{work}/table.csv"):
    if re.match(r"\d", line):
        o, v = line.strip().split(",")
        table[int(o)] = int(v)

def records(path):
    return [json.loads(l) for l in open(path) if l.strip()]

def when(text):
    return datetime.fromisoformat(text.replace("Z", "+00:00")).timestamp()

ledger = records(f"{work}/ledger.json")
problems = {"pass but differs": [], "touched without a record": [], "list label used twice": [],
            "changed after finished": [], "cell outside the table changed": [],
            "record of no unit": []}

# Each unit's presence on its slot, from the jig's stamped lines.
presence = {}  # (slot, unit) -> [here, away]
for s in range(1, slots + 1):
    for line in open(f"{work}/jig{s}.out"):
        m = re.match(r"([\d.]+) unit (\d+) (here|away)$", line.strip())
        if m:
            presence.setdefault((s, int(m[2])), [None, None])[m[3] == "away"] = float(m[1])
received = {}
for s in range(1, slots + 1):
    for line in open(f"{work}/jig{s}.err"):
        m = re.match(r"orvel-device-sim: unit (\d+): .*bytes received (\d+)", line)
        if m:
            received[(s, int(m[1]))] = int(m[2])

# A unit's lines are stamped as they are read, late by as much as the machine's load makes
# them (a few hundred ms were seen), and a unit comes 1300 ms after the last one went: a
# record belongs to the unit whose "here" is the last one stamped before the record began,
# give or take 800 ms.
slack = 0.8
by_unit = {}
for r in ledger:
    s, t = int(r["slot"]), when(r["started"])
    came = [(here, u) for (ss, u), (here, away) in presence.items()
            if ss == s and here is not None and here - slack <= t]
    if not came:
        problems["record of no unit"].append((r["id"], r["label"], s, r["started"]))
        continue
    by_unit.setdefault((s, max(came)[1]), []).append(r)
# Cross-check of that mapping: a unit's first record read the unit's memory as it came.
misread = 0
for (s, k), recs in by_unit.items():
    start = memory_of(s * 1000 + k - 1)
    misread += any(d.get("observed") is not None and d["observed"] != start[d["object"]]
                   for d in recs[0]["differed"])

for s in range(1, slots + 1):
    for k in range(1, units + 1):
        path = f"{work}/out{s}/{k}.bin"
        final = open(path, "rb").read() if os.path.exists(path) else None
        start = memory_of(s * 1000 + k - 1)
        recs = by_unit.get((s, k), [])
        changed = final is not None and final != bytes(start)
        if (changed or received.get((s, k), 0) > 0) and not recs:
            problems["touched without a record"].append((s, k, received.get((s, k))))
        if final is not None and any(final[i] != start[i] for i in range(8192)
                                     if i not in table):
            problems["cell outside the table changed"].append((s, k))
        for r in recs:
            if r["result"] == "pass" and (final is None or any(
                    final[o] != v for o, v in table.items())):
                problems["pass but differs"].append((s, k, r["label"]))

labels = {}
for r in ledger:
    labels.setdefault(r["label"], []).append(r["id"])
problems["list label used twice"] = [(l, ids) for l, ids in labels.items() if len(ids) > 1]

# A record finished in one round is the same in every later round's listing.
finished = {}
for n in range(1, rounds + 1):
    path = f"{work}/rounds/{n}.json"
    if not os.path.exists(path):
        continue
    now = {r["id"]: r for r in records(path)}
    for i, r in finished.items():
        if now.get(i) != r:
            problems["changed after finished"].append((n, i))
    for i, r in now.items():
        if r["result"] != "open":
            finished.setdefault(i, r)
final = {r["id"]: r for r in ledger}
for i, r in finished.items():
    if final.get(i) != r:
        problems["changed after finished"].append(("end", i))

results = {}
for r in ledger:
    results[r["result"]] = results.get(r["result"], 0) + 1
units_passed = sum(1 for recs in by_unit.values() if any(r["result"] == "pass" for r in recs))
faults = sum(len(open(f"{work}/faults{s}").read().split()) // 2 for s in range(1, slots + 1))
print(f"units: {slots * units} over {slots} slots ({faults} with a fault of their own); "
      f"units gone: {sum(1 for p in presence.values() if p[1] is not None)}; "
      f"station rounds: {rounds}, SIGKILLs: {kills}")
print(f"records: {len(ledger)} ({', '.join(f'{k} {v}' for k, v in sorted(results.items()))}); "
      f"units with a PASS record: {units_passed}; units with no record: "
      f"{slots * units - len(by_unit)}; first records whose first read disagrees with their "
      f"unit's memory (a check of the mapping): {misread}")
bad = 0
for name, found in problems.items():
    print(f"{name}: {len(found)}" + (f"  {found[:5]}" if found else ""))
    bad += len(found)
sys.exit(1 if bad else 0)
EOF

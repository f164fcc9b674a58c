#!/usr/bin/env bash
# The production-line script of README.md, taken from between its markers and run as
# written: a reference unit read once, then a unit that differs in a few objects (pass:
# afterwards it holds the reference's objects and still its own settings) and a unit that
# hangs up during the restore (fail), and one with a cell that ignores writes (fail).
#   production_line_test.sh BUILD_DIR README
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
sim_pid= script_pid=
trap 'kill -TERM $sim_pid $script_pid 2>/dev/null || true; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

sed -n '/<!-- production-line-script -->/,/<!-- end production-line-script -->/p' "$2" |
    sed '/^```/d; /^<!--/d' >"$work/line.sh"
grep -q 'orvel' "$work/line.sh" || fail "no script between the markers in $2"

export ORVEL=$build/orvel PORT=$work/com REFERENCE=$work/reference.csv
export XDG_STATE_HOME=$work/state XDG_CONFIG_HOME=$work/config
start_sim() {  # MEMORY [OPTION...]
    "$build/orvel-device-sim" --fast --link "$PORT" --memory "$@" >"$work/sim.out" &
    sim_pid=$!
    for _ in $(seq 500); do [ -s "$work/sim.out" ] && return; sleep 0.01; done
    fail "the simulator did not start"
}
stop_sim() {
    kill -TERM "$sim_pid" 2>/dev/null || true  # a unit that hung up has ended
    wait "$sim_pid" || true
    sim_pid=
}
wait_for_lines() {  # N: up to 60 s
    for _ in $(seq 600); do [ "$(wc -l <"$work/out")" -ge "$1" ] && return; sleep 0.1; done
    fail "timed out waiting for line $1 of the script"
}
poke() { printf "$2" | dd of="$1" bs=1 seek="$3" conv=notrunc status=none; }  # FILE BYTE CELL

mkfifo "$work/in"
start_sim "$work/reference.bin" --seed 1
bash "$work/line.sh" <"$work/in" >"$work/out" 2>"$work/err" &
script_pid=$!
exec 3>"$work/in"
echo >&3  # the reference unit is connected
for _ in $(seq 600); do [ -e "$REFERENCE" ] && break; sleep 0.1; done
sleep 0.5  # orvel lets go of the port
stop_sim

# A unit like the reference but for three objects and a setting of its own.
cp "$work/reference.bin" "$work/a.bin"
for poked in '\x01 1' '\x00 4000' '\xAC 8175' '\x05 8180'; do poke "$work/a.bin" $poked; done
cp "$work/a.bin" "$work/a-before.bin"
start_sim "$work/a.bin"
echo unit-a >&3
wait_for_lines 1
stop_sim
cmp -n 8176 "$work/a.bin" "$work/reference.bin" || fail "unit-a lacks the reference's objects"
cmp -i 8176 "$work/a.bin" "$work/a-before.bin" || fail "unit-a's settings were changed"

start_sim "$work/b.bin" --seed 2 --hangup-after 300
echo unit-b >&3
wait_for_lines 2
stop_sim

# A unit with a cell that ignores writes: its verify fails.
cp "$work/reference.bin" "$work/c.bin"
other=$(( ($(od -An -tu1 -j4000 -N1 "$work/c.bin") + 1) % 256 ))  # not the reference's
poke "$work/c.bin" "\\x$(printf %02x $other)" 4000
start_sim "$work/c.bin" --stuck-cell 4000
echo unit-c >&3
wait_for_lines 3
stop_sim

exec 3>&-  # end of the shift
wait "$script_pid" || fail "the script ended with $?: $(cat "$work/err")"
script_pid=
[ "$(cat "$work/out")" = $'unit-a: pass\nunit-b: FAIL\nunit-c: FAIL' ] ||
    fail "the script said: $(cat "$work/out"); on standard error: $(cat "$work/err")"
echo "production line: $(tr '\n' ';' <"$work/out")"

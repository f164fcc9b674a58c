#!/usr/bin/env bash
# The real program under Xvfb reads objects 1 to 8175 from the simulator at 9600 bit/s
# and is killed with SIGKILL part-way. Its journal must hold every value that the
# simulator's log says it sent, but the one perhaps still on its way, and no other.
#   journal_kill_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
XD_BUILD=$(cd "$1" && pwd)
# shellcheck source=tools/xdrive.sh
. "$2/tools/xdrive.sh"
work=$(mktemp -d)
trap 'xd_stop_all; rm -rf "$work"' EXIT

export XDG_STATE_HOME="$work/state"
xd_start_xvfb
xd_start_sim "$work/com1" "$work/sim" --baud 9600 --log "$work/sim.log"
xd_start_app "$work/com1"
xd_click "$XD_LAMP"
sleep 0.5
xd_type_into "$XD_TEXT2" 8175
xd_click "$XD_READ"
for _ in $(seq 100); do  # some tens of objects read
    [ "$(grep -c '^tx' "$work/sim.log" 2>/dev/null || true)" -gt 500 ] && break
    sleep 0.1
done
kill -KILL "$XD_APP_PID"
wait "$XD_APP_PID" 2>/dev/null || true
kill -TERM "$XD_SIM_PID"  # it writes out the rest of its log
wait "$XD_SIM_PID" 2>/dev/null || true

# "object value" for each read the simulator answered: a read command (85) when idle,
# the two address bytes, then the value it sent.
awk '$1 == "rx" && step == 0 && $2 == 85 { step = 1; next }
     $1 == "rx" && step == 1 { high = $2; step = 2; next }
     $1 == "rx" && step == 2 { low = $2; step = 3; next }
     $1 == "tx" && step == 3 { print high * 256 + low, $2; step = 0 }' \
    "$work/sim.log" >"$work/sent"
cat "$XDG_STATE_HOME"/orvel-programator/journal/journal-*.csv |
    awk -F, '$(NF-2) == "read" { print $(NF-1), $NF }' >"$work/journaled"
sent=$(wc -l <"$work/sent")
echo "values sent by the simulator: $sent, journaled: $(wc -l <"$work/journaled")"
if [ "$sent" -lt 50 ] || [ "$(tail -n 1 "$work/sent" | cut -d' ' -f1)" = 8175 ]; then
    echo "the program was not killed part-way through the read" >&2
    exit 1
fi
# The journal is the log's values in order, the last one perhaps missing.
if ! cmp -s "$work/journaled" "$work/sent" &&
    ! cmp -s "$work/journaled" <(head -n -1 "$work/sent"); then
    echo "the journal differs from what the simulator sent:" >&2
    diff "$work/sent" "$work/journaled" | head -n 20 >&2
    exit 1
fi

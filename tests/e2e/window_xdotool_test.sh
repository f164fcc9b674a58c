#!/usr/bin/env bash
# The real program in a real X window, clicked as an operator clicks: connect with the
# lamp, set the end of the Read range to 3, click "Read". The simulator must then have
# received exactly the three read exchanges, and nothing else.
#   window_xdotool_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
XD_BUILD=$(cd "$1" && pwd)
# shellcheck source=tools/xdrive.sh
. "$2/tools/xdrive.sh"
work=$(mktemp -d)
trap 'xd_stop_all; rm -rf "$work"' EXIT

export XDG_STATE_HOME="$work/state"  # the journal of this run stays here
xd_start_xvfb
xd_start_sim "$work/com1" "$work/sim" --fast --log "$work/sim.log"
xd_start_app "$work/com1"
xd_click "$XD_LAMP"
sleep 0.5
xd_type_into "$XD_TEXT2" 3
xd_click "$XD_READ"

expected="85 0 1 85 0 2 85 0 3"
received=""
for _ in $(seq 100); do
    received=$(awk '$1 == "rx" { printf "%s%s", sep, $2; sep = " " }' "$work/sim.log" 2>/dev/null || true)
    [ "$received" = "$expected" ] && break
    sleep 0.1
done
sleep 0.3  # nothing more may follow
received=$(awk '$1 == "rx" { printf "%s%s", sep, $2; sep = " " }' "$work/sim.log")
if [ "$received" != "$expected" ]; then
    echo "the simulator received: '$received', expected: '$expected'" >&2
    exit 1
fi
echo "the simulator received the three read exchanges: $received"

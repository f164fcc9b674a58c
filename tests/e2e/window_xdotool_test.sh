#!/usr/bin/env bash
# The real program in a real X window against the simulator, clicked as an operator clicks:
# read 1 to 20, the controls stand as in the window of old (client_area.png, XD_CLIENT_TOP
# lower); written 0 into 1 to 3, the simulator received exactly the reads and the writes,
# each read back. By keyboard only from start-up: Device ▸ Connect's shortcut, a range typed,
# Read, read. (When Compare with table is offered, the window test checks.)
#   window_xdotool_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
XD_BUILD=$(cd "$1" && pwd)
# shellcheck source=tools/xdrive.sh
. "$2/tools/xdrive.sh"
work=$(mktemp -d)
trap 'xd_stop_all; rm -rf "$work"' EXIT
XD_APP_LOG="$work/app.log"  # shown if the window does not appear
fail() { echo "$*" >&2; exit 1; }
received() { awk '$1 == "rx" { printf "%s%s", s, $2; s = " " }' "$work/sim.log" 2>/dev/null; }
expect() {  # waits for the simulator to have received $1, and then nothing more
    for _ in $(seq 100); do [ "$(received)" = "$1" ] && break; sleep 0.1; done
    sleep 0.3
    [ "$(received)" = "$1" ] || fail "the simulator received '$(received)', not '$1'"
}

export XDG_STATE_HOME="$work/state"  # the journal of this run stays here
xd_start_xvfb
xd_start_sim "$work/com1" "$work/sim" --baud 9600 --log "$work/sim.log"
xd_start_app "$work/com1"
xd_click "$XD_LAMP"
sleep 0.5
xd_type_into "$XD_TEXT2" 20
xd_click "$XD_READ"
reads=$(seq 20 | sed 's/^/85 0 /' | paste -sd ' ')
expect "$reads"
sleep 0.5
import -window "$XD_WINDOW" "$work/window.png"
read -r width height <<<"$(identify -format '%w %h' "$work/window.png")"
[ "$width" = 437 ] || fail "the window is $width pixels wide, not 437"
[ "$height" -gt $((XD_CLIENT_TOP + 277)) ] || fail "no status line below the client area"
convert "$work/window.png" -crop "437x277+0+$XD_CLIENT_TOP" +repage "$work/client.png"
differing=$(compare -metric AE "$work/client.png" "$2/tests/e2e/client_area.png" null: 2>&1 || true)
[ "$differing" = 0 ] || fail "the client area differs from client_area.png in $differing pixels"

xd_type_into "97 247" 3  # Text4, the end of the Write range
xd_click "150 214"       # Option3(1) "Write"
expect "$reads 170 0 1 0 85 0 1 170 0 2 0 85 0 2 170 0 3 0 85 0 3"
kill "$XD_APP_PID" && { wait "$XD_APP_PID" 2>/dev/null || true; }
prior=$(received)
xd_start_app "$work/com1"
xd_focus
xdotool sleep 0.3 key ctrl+o sleep 0.5 key Tab Tab Tab type 7  # past First Object, Stop: End
xdotool key Tab type 5  # Start Object
xdotool key shift+Tab shift+Tab sleep 0.2 key Up  # back to Stop; Up selects Read
expect "$prior 85 0 5 85 0 6 85 0 7"
echo "controls in place ($width x $height); as clicked and by keyboard"

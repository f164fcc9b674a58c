#!/usr/bin/env bash
# The real program in a real X window against the simulator, clicked as an operator
# clicks: connect with the lamp, read objects 1 to 3, then write 0 into 1 to 3. The
# simulator must have received exactly the three read exchanges, then the three writes,
# each read back, and nothing else.
#   window_xdotool_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
XD_BUILD=$(cd "$1" && pwd)
# shellcheck source=tools/xdrive.sh
. "$2/tools/xdrive.sh"
work=$(mktemp -d)
trap 'xd_stop_all; rm -rf "$work"' EXIT
received() { awk '$1 == "rx" { printf "%s%s", s, $2; s = " " }' "$work/sim.log" 2>/dev/null; }
expect() {  # waits for the simulator to have received $1, and then nothing more
    for _ in $(seq 100); do [ "$(received)" = "$1" ] && break; sleep 0.1; done
    sleep 0.3
    [ "$(received)" = "$1" ] && return
    echo "the simulator received '$(received)', not '$1'" >&2
    exit 1
}

export XDG_STATE_HOME="$work/state"  # the journal of this run stays here
xd_start_xvfb
xd_start_sim "$work/com1" "$work/sim" --fast --log "$work/sim.log"
xd_start_app "$work/com1"
xd_click "$XD_LAMP"
sleep 0.5
xd_type_into "$XD_TEXT2" 3
xd_click "$XD_READ"
reads="85 0 1 85 0 2 85 0 3"
expect "$reads"
xd_type_into "97 247" 3  # Text4, the end of the Write range
xd_click "150 214"       # Option3(1) "Write"
expect "$reads 170 0 1 0 85 0 1 170 0 2 0 85 0 2 170 0 3 0 85 0 3"
echo "the simulator received the reads and the writes, each read back: $(received)"

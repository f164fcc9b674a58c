#!/usr/bin/env bash
# The real window under Xvfb with its menu bar and status line: the controls stand where
# they stood before there was either (client_area.png, the window of old after reading
# objects 1 to 20, pixel for pixel, XD_CLIENT_TOP lower), and Compare with table is
# offered only with the device connected and free.
#   menu_layout_xvfb_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
XD_BUILD=$(cd "$1" && pwd)
here=$2/tests/e2e
# shellcheck source=tools/xdrive.sh
. "$2/tools/xdrive.sh"
work=$(mktemp -d)
trap 'xd_stop_all; rm -rf "$work"' EXIT

XD_READ_STOP="150 129"   # Option2(2) "Stop"
MENU_DEVICE="55 9"       # in the window, above the client area
MENU_COMPARE="80 28"     # the Device menu's first item

fail() { echo "$*" >&2; exit 1; }
# Clicks Device, Compare with table…; prints whether its file dialog opened (within 2 s).
compare_offered() {
    xdotool mousemove --window "$XD_WINDOW" ${MENU_DEVICE} click 1 sleep 0.5 \
        mousemove --window "$XD_WINDOW" ${MENU_COMPARE} click 1
    for _ in $(seq 20); do
        xdotool search --name '^Compare with table$' >/dev/null 2>&1 && { echo yes; return; }
        sleep 0.1
    done
    xdotool key Escape sleep 0.2  # the menu stays open over a greyed item
    echo no
}

export XDG_STATE_HOME="$work/state"
xd_start_xvfb
xd_start_sim "$work/com1" "$work/sim" --baud 9600
xd_start_app "$work/com1"
sleep 0.5
[ "$(compare_offered)" = no ] || fail "Compare with table is offered while not connected"

xd_click "$XD_LAMP"
sleep 0.5
xd_type_into "$XD_TEXT2" 20
xd_click "$XD_READ"
sleep 3
import -window "$XD_WINDOW" "$work/window.png"
read -r width height <<<"$(identify -format '%w %h' "$work/window.png")"
[ "$width" = 437 ] || fail "the window is $width pixels wide, not 437"
[ "$height" -gt $((XD_CLIENT_TOP + 277)) ] || fail "no status line below the client area"
convert "$work/window.png" -crop "437x277+0+$XD_CLIENT_TOP" +repage "$work/client.png"
differing=$(compare -metric AE "$work/client.png" "$here/client_area.png" null: 2>&1 || true)
[ "$differing" = 0 ] || fail "the client area differs from client_area.png in $differing pixels"

xd_type_into "$XD_TEXT2" 8175
xd_click "$XD_READ"
sleep 0.5
[ "$(compare_offered)" = no ] || fail "Compare with table is offered during a read"
xd_click "$XD_READ_STOP"
sleep 0.5
[ "$(compare_offered)" = yes ] || fail "Compare with table is not offered once the read stopped"
echo "controls in place ($width x $height); Compare offered only when free"

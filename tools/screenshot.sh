#!/usr/bin/env bash
# Runs the demo under Xvfb, connects, reads objects 1 to 20 and saves a picture.
#   tools/screenshot.sh BUILD_DIR OUTPUT.png
set -euo pipefail
XD_BUILD=$(cd "${1:-build}" && pwd)
out=${2:-docs/window.png}
here=$(dirname "$0")
# shellcheck source=tools/xdrive.sh
. "$here/xdrive.sh"
work=$(mktemp -d)
trap 'xd_stop_all; rm -rf "$work"' EXIT
xd_start_xvfb
xd_start_sim "$work/com1" "$work/sim" --baud 9600
xd_start_app "$work/com1"
xd_click "$XD_LAMP"
sleep 0.5
xd_type_into "$XD_TEXT2" 20
xd_click "$XD_READ"
sleep 3
mkdir -p "$(dirname "$out")"
import -window "$XD_WINDOW" "$out"
echo "saved $out"

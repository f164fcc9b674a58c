#!/usr/bin/env bash
# Reads objects 1 to LAST from the simulator at BAUD bit/s in the window and sets the
# status line's time left against the time the read really took (a full table at
# 1200 bit/s: about nine minutes). Exit status 1 when it was 10 % off or more while ten
# seconds or more remained, from 5 % of the objects on.
#   tools/check_time_left.sh [BUILD_DIR [BAUD [LAST]]]
set -euo pipefail
build=${1:-build}
cmake --build "$build" --target time_left_check >/dev/null
exec "$build/time_left_check" "${2:-1200}" "${3:-8175}"

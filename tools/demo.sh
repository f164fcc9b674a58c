#!/usr/bin/env bash
# The programmer with COM 1 wired to a simulated device. Closing the window stops it.
#   tools/demo.sh BUILD_DIR [simulator options...]   (default: paced at 1200 bit/s)
set -euo pipefail
build=$(cd "${1:-build}" && pwd); shift || true
link="$build/demo-com1"
"$build/orvel-device-sim" --link "$link" --memory "$build/demo-memory.bin" "$@" \
    >"$build/demo-sim.out" 2>"$build/demo-sim.log" &
sim=$!
trap 'kill $sim 2>/dev/null || true; wait $sim 2>/dev/null || true; tail -n 1 "$build/demo-sim.log"' EXIT
for _ in $(seq 100); do [ -e "$link" ] && break; sleep 0.05; done
echo "COM 1 is the simulated device ($link -> $(head -n 1 "$build/demo-sim.out"))."
echo "Click the red lamp to connect, then Read or Write."
ORVEL_COM1="$link" "$build/orvel-programator"

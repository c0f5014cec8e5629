#!/usr/bin/env bash
# Builds the prototype and starts it on the bundled course (assets/clobox.txt, assets/ball.tga).
# Without a display it runs the prototype under a virtual X server instead.
set -euo pipefail
cd "$(dirname "$0")"

tools/install-deps.sh >&2
cmake -S . -B build >/dev/null
# Build messages go to standard error: standard output is the program's console.
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target minigolf >&2

program="$(pwd)/build/app/minigolf"
cd assets
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    exec "$program"
fi
echo "No display found: running the prototype under a virtual X server (Xvfb); its window is not visible." >&2
exec xvfb-run -a -s "-screen 0 1024x768x24" "$program"

#!/usr/bin/env bash
# Builds everything and runs every test: unit, gl and e2e (the gl tests on a virtual X server
# that this script starts), then builds the unit tests again with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs them there with the fuzz corpora. Exits non-zero on any
# failure.
set -euo pipefail
cd "$(dirname "$0")"
root=$(pwd)

tools/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build -DBUILD_TESTING=ON -DMINIGOLF_WERROR=ON >/dev/null
cmake --build build -j "$jobs"
# The sanitizer tree holds only the unit tests, the tools they run and the fuzz corpus replays.
cmake -S . -B build-sanitize -DBUILD_TESTING=ON -DMINIGOLF_SANITIZE=ON -DMINIGOLF_WERROR=ON \
    >/dev/null
cmake --build build-sanitize -j "$jobs"

# A virtual X server of our own on the first free display number; Mesa renders in software.
# -noreset: the server must not reset when one gl test leaves while another connects.
display=99
while [ -e "/tmp/.X${display}-lock" ] || [ -e "/tmp/.X11-unix/X${display}" ]; do
    display=$((display + 1))
done
Xvfb ":${display}" -screen 0 1024x768x24 -nolisten tcp -noreset >"$root/build/xvfb.log" 2>&1 &
xvfb_pid=$!
trap 'kill "$xvfb_pid" 2>/dev/null || true' EXIT
for _ in $(seq 100); do
    [ -e "/tmp/.X11-unix/X${display}" ] && break
    sleep 0.1
done
if [ ! -e "/tmp/.X11-unix/X${display}" ]; then
    echo "error: the virtual X server did not start (see build/xvfb.log)" >&2
    exit 1
fi
export DISPLAY=":${display}"
export LIBGL_ALWAYS_SOFTWARE=1

status=0
echo "== unit, gl and e2e tests"
ctest --test-dir build --output-on-failure -j "$jobs" || status=1
echo "== unit tests and fuzz corpora under AddressSanitizer and UndefinedBehaviorSanitizer"
# The tests of that tree carry their sanitizer options themselves (ENVIRONMENT).
ctest --test-dir build-sanitize --output-on-failure -j "$jobs" || status=1
exit "$status"

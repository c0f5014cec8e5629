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

# A virtual X server of our own; Mesa renders in software. Xvfb picks a free display number
# itself and writes it once it accepts clients, so no other server starting beside it can take
# the number in between. -noreset: the server must not reset when one gl test leaves while
# another connects.
display_file=$(mktemp "${TMPDIR:-/tmp}/minigolf-test-display.XXXXXX")
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$display_file" \
    >"$root/build/xvfb.log" 2>&1 &
xvfb_pid=$!
trap 'kill "$xvfb_pid" 2>/dev/null || true; rm -f -- "$display_file"' EXIT
for _ in $(seq 100); do
    [ -s "$display_file" ] && break
    sleep 0.1
done
display=$(tr -dc '0-9' <"$display_file")
if [ -z "$display" ] || ! kill -0 "$xvfb_pid" 2>/dev/null; then
    echo "error: the virtual X server did not start (see build/xvfb.log)" >&2
    exit 1
fi
export DISPLAY=":${display}"
export LIBGL_ALWAYS_SOFTWARE=1

status=0
echo "== unit, gl and e2e tests"
ctest --test-dir build --output-on-failure -j "$jobs" 2>&1 | tee build/ctest.log || status=1
# A gl or e2e test skips itself without a display; here it has one, so a skip is a fault.
if grep -q -E '\*\*\*Skipped|Not Run' build/ctest.log; then
    echo "error: tests were skipped although this script provides their display (see above)" >&2
    status=1
fi
echo "== unit tests and fuzz corpora under AddressSanitizer and UndefinedBehaviorSanitizer"
# The tests of that tree carry their sanitizer options themselves (ENVIRONMENT).
ctest --test-dir build-sanitize --output-on-failure -j "$jobs" || status=1
exit "$status"

#!/usr/bin/env bash
# Tests that cannot run on this machine are skipped, saying why, rather than failing:
#  - a gl test without an X display;
#  - the e2e tests without Xvfb and without DISPLAY.
# The e2e tests start their own Xvfb, so DISPLAY alone being unset must not skip them.
# usage: check_skips.sh GL_TEST_PROGRAM E2E_FOLDER SKIPPED_STATUS
set -uo pipefail
export PYTHONDONTWRITEBYTECODE=1
gl_test=$1 e2e=$2 skipped=$3

status=0
fail() {
    echo "error: $*" >&2
    status=1
}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

env -u DISPLAY "$gl_test" >"$scratch/gl.out" 2>&1
code=$?
[ "$code" -eq "$skipped" ] || fail "a gl test without a display exited $code, not $skipped"
grep -q "skipped: no X display" "$scratch/gl.out" || fail "a gl test does not say why it skips"

# The interpreter itself, not a wrapper script that needs a PATH (as pyenv's shims do).
python=$(python3 -c 'import sys; print(sys.executable)')
# An empty PATH: no Xvfb, and none of the X tools.
env -u DISPLAY PATH="$scratch" "$python" "$e2e/test_startup.py" StartUpTest >"$scratch/e2e.out" 2>&1
code=$?
[ "$code" -eq "$skipped" ] || fail "the e2e tests without Xvfb or DISPLAY exited $code, not $skipped"
grep -q "skipped: no X server" "$scratch/e2e.out" || fail "the e2e tests do not say why they skip"

if command -v Xvfb >/dev/null; then
    why=$(cd "$e2e" && env -u DISPLAY "$python" -c \
        'import minigolf_driver; print(minigolf_driver.missing_requirements())')
    [ "$why" = "None" ] || fail "with Xvfb installed but DISPLAY unset, the e2e tests would skip: $why"
fi
if [ "$status" -ne 0 ]; then
    cat "$scratch"/*.out >&2
fi
exit "$status"

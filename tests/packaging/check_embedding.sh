#!/usr/bin/env bash
# Installs the build tree into a scratch prefix and builds examples/embed against it as another
# project would: find_package(QuellmoorMinigolf) with CMAKE_PREFIX_PATH the prefix and nothing
# else. Checks that
#  - every installed public header compiles alone against the installed include folder (one
#    that includes an internal header does not: internal headers are not installed), and none
#    includes a GL header;
#  - the example configures (the package finds every dependency its targets name), builds
#    without a warning and links no GL library;
#  - on the bundled course it reports what its sweep must find: the sweep runs straight down
#    from above every box onto the centre of a triangle facing up, so it touches something
#    facing up (time in [0, 1), normal with y > 0), and the step along the same move bounces
#    the ball at least once without changing its speed.
# usage: check_embedding.sh CMAKE BUILD_DIR SOURCE_DIR CXX_COMPILER DRAWING_PROGRAM BUILD_TYPE
#        [COMPILER_LAUNCHER]
set -euo pipefail
cmake_command=$1 build=$2 source=$3 compiler=$4 drawing=$5 build_type=$6 launcher=${7:-}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix
status=0
fail() {
    echo "error: $*" >&2
    status=1
}

"$cmake_command" --install "$build" --prefix "$prefix" >/dev/null
include=$prefix/include/QuellmoorMinigolf
[ -d "$include/physics" ] || {
    echo "error: no public headers installed in $include" >&2
    exit 1
}

# Each header alone, as the first line of a file of its user's.
mapfile -t headers < <(cd "$include" && find . -name '*.h' | sed 's|^\./||' | sort)
for header in "${headers[@]}"; do
    if ! "$compiler" -std=c++20 -fsyntax-only -Wall -Wextra -Wpedantic -Werror -I"$include" \
        -x c++ - <<<"#include \"$header\"" 2>"$scratch/header.log"; then
        cat "$scratch/header.log" >&2
        fail "the installed $header does not compile alone against $include"
    fi
    ! grep -qE '#[[:space:]]*include[[:space:]]*<(GL|GLFW|EGL)/' "$include/$header" ||
        fail "the installed $header includes a GL header"
done

# The example, configured with nothing from the environment that could find what the package
# forgot to name.
configured=(-S "$source/examples/embed" -B "$scratch/embed" -DCMAKE_PREFIX_PATH="$prefix"
    -DCMAKE_CXX_COMPILER="$compiler" -DCMAKE_BUILD_TYPE="$build_type"
    -DCMAKE_CXX_FLAGS="-Wall -Wextra -Wpedantic -Werror" -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF)
[ -z "$launcher" ] || configured+=(-DCMAKE_CXX_COMPILER_LAUNCHER="$launcher")
if ! env -u CMAKE_PREFIX_PATH -u CPATH -u CPLUS_INCLUDE_PATH -u LIBRARY_PATH \
    "$cmake_command" "${configured[@]}" >"$scratch/configure.log" 2>&1 ||
    ! "$cmake_command" --build "$scratch/embed" >"$scratch/build.log" 2>&1; then
    cat "$scratch/configure.log" "$scratch/build.log" >&2 2>/dev/null
    echo "error: examples/embed does not build against the installed package" >&2
    exit 1
fi
grep -qx "QuellmoorMinigolf_DIR:PATH=$prefix/.*" "$scratch/embed/CMakeCache.txt" ||
    fail "the example found the package elsewhere than in $prefix"
"$source/tests/packaging/check_no_gl.sh" "$drawing" "$scratch/embed/embed" >/dev/null || status=1

# The run, on the bundled course (the example's default: the package's course file).
output=$("$scratch/embed/embed") || fail "the example exits with status $?"
# line NAME: the example's line that begins with "NAME: " (empty when there is none).
line() { grep -E "^$1: " <<<"$output" || true; }
number='-?[0-9][-0-9.e+]*'
vector="\\(($number), ($number), ($number)\\)"
boxes=$(grep -ow start "$source/assets/clobox.txt" | wc -l)
[[ "$(line course)" =~ ^course:\ [1-9][0-9]*\ triangles\ in\ $boxes\ boxes$ ]] ||
    fail "not the bundled course's $boxes boxes: $(line course)"
[[ "$(line sweep)" =~ ^sweep:\ radius\ $number\ from\ $vector\ to\ $vector$ ]] ||
    fail "unexpected sweep line: $(line sweep)"
if [[ "$(line contact)" =~ ^contact:\ time\ ($number)\ at\ $vector\ normal\ $vector$ ]]; then
    time=${BASH_REMATCH[1]} normal_y=${BASH_REMATCH[6]}
    awk -v t="$time" -v y="$normal_y" 'BEGIN { exit !(t >= 0 && t < 1 && y > 0) }' ||
        fail "the sweep down must touch a face turned up: $(line contact)"
else
    fail "no contact where the sweep must touch the course: $(line contact)"
fi
[[ "$(line triangle)" =~ ^triangle:\ [0-9]+\ of\ box\ [0-9]+,\ corners\ $vector\ $vector\ $vector$ ]] ||
    fail "the touched triangle is not named: $(line triangle)"
if [[ "$(line step)" =~ ^step:\ bounces\ ([0-9]+),\ position\ $vector,\ velocity\ $vector,\ speed\ ($number)\ before\ and\ ($number)\ after$ ]]; then
    bounces=${BASH_REMATCH[1]} before=${BASH_REMATCH[8]} after=${BASH_REMATCH[9]}
    [ "$bounces" -ge 1 ] || fail "the step along the sweep's move does not bounce: $(line step)"
    awk -v a="$before" -v b="$after" 'BEGIN { d = a - b; exit !(a > 0 && d * d <= 1e-10 * a * a) }' ||
        fail "a bounce changed the ball's speed: $(line step)"
else
    fail "unexpected step line: $(line step)"
fi
[ "$status" -eq 0 ] && echo "examples/embed built against the installed package:" && echo "$output"
exit "$status"

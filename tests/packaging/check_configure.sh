#!/usr/bin/env bash
# Configures the source tree in a scratch folder (no build), twice, and reads what would be
# compiled from compile_commands.json:
#  - with -DBUILD_TESTING=OFF, where GoogleTest and Google Benchmark are made unfindable: the
#    program and the tools, no test and no benchmark;
#  - then again with testing on and GoogleTest findable, Google Benchmark still not: the tests,
#    and no benchmark.
# usage: check_configure.sh CMAKE SOURCE_DIR CXX_COMPILER
set -euo pipefail
cmake_command=$1 source=$2 compiler=$3

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

status=0
fail() {
    echo "error: $*" >&2
    status=1
}
# configure LOG OPTIONS...: configures $scratch/tree; fails the check when that fails.
configure() {
    local log=$scratch/$1.log
    shift
    if ! "$cmake_command" -S "$source" -B "$scratch/tree" -DCMAKE_CXX_COMPILER="$compiler" "$@" \
        >"$log" 2>&1; then
        cat "$log" >&2
        fail "configuring with $* failed"
        return 1
    fi
}
compiles() {
    grep -q "\"file\": \"$source/$1\"" "$scratch/tree/compile_commands.json"
}

if configure no-tests -DBUILD_TESTING=OFF -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON \
    -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON; then
    for built in app/main.cpp tools/minigolf_sim.cpp tools/make_course.cpp; do
        compiles "$built" || fail "without tests, $built is not compiled"
    done
    ! compiles "\(tests\|bench\)/.*" || fail "without tests, tests or benchmarks are still compiled"
fi

if configure no-benchmark -DBUILD_TESTING=ON -DCMAKE_DISABLE_FIND_PACKAGE_GTest=OFF; then
    compiles tests/geometry/Vector3Test.cpp || fail "with tests on, no test is compiled"
    ! compiles "bench/.*" || fail "without Google Benchmark, the benchmarks are still compiled"
    grep -q "Google Benchmark not found" "$scratch/no-benchmark.log" ||
        fail "configuring does not say that the benchmarks are left out"
fi
exit "$status"

#!/usr/bin/env bash
# Runs the fuzz targets of tests/fuzz under libFuzzer (with AddressSanitizer and
# UndefinedBehaviorSanitizer) for a given time each, starting from their committed corpus.
#
# usage: tools/run-fuzzers.sh [TARGET|all] [SECONDS]     (default: all targets, 60 seconds each)
#
# Builds the fuzzers first with clang in build-fuzz/ (-DMINIGOLF_FUZZ=ON). New inputs that reach
# new code go to build-fuzz/corpus/TARGET, never into the committed corpus; an input that breaks
# an invariant, crashes or hangs is saved in build-fuzz/findings/TARGET/ and the script exits 1.
# Such an input belongs in tests/fuzz/corpus/TARGET/ (named found-*) with the mend of its fault.
# Needs clang and libFuzzer: Debian's clang and libclang-rt-14-dev.
set -euo pipefail
cd "$(dirname "$0")/.."

all_targets=(tga menu course import)
usage="usage: tools/run-fuzzers.sh [TARGET|all] [SECONDS]   (targets: ${all_targets[*]})"
case "${1:-all}" in
-h | --help)
    echo "$usage"
    exit 0
    ;;
all) targets=("${all_targets[@]}") ;;
*)
    if [[ " ${all_targets[*]} " != *" $1 "* ]]; then
        echo "run-fuzzers.sh: unknown target $1" >&2
        echo "$usage" >&2
        exit 2
    fi
    targets=("$1")
    ;;
esac
seconds=${2:-60}
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
    echo "run-fuzzers.sh: SECONDS must be a whole number of seconds, not $seconds" >&2
    exit 2
fi
if ! command -v clang++ >/dev/null 2>&1; then
    echo "run-fuzzers.sh: clang++ is needed (apt-get install clang libclang-rt-14-dev)" >&2
    exit 2
fi

cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DMINIGOLF_FUZZ=ON >/dev/null
cmake --build build-fuzz -j "$(nproc 2>/dev/null || echo 2)" \
    --target "${targets[@]/#/fuzz-}" >/dev/null

# Seconds one input may take before it counts as a hang; the slowest corpus input takes
# milliseconds.
hang_seconds=10
status=0
for target in "${targets[@]}"; do
    work=build-fuzz/corpus/$target
    findings=build-fuzz/findings/$target
    mkdir -p "$work" "$findings"
    echo "== fuzz-$target for $seconds s (log: build-fuzz/fuzz-$target.log)"
    # The first folder receives the new inputs; the committed corpus is only read.
    if ! "build-fuzz/tests/fuzz/fuzz-$target" -max_total_time="$seconds" \
        -timeout="$hang_seconds" -print_final_stats=1 -artifact_prefix="$findings/" \
        "$work" "tests/fuzz/corpus/$target" >"build-fuzz/fuzz-$target.log" 2>&1; then
        echo "fuzz-$target found a fault; the input is in $findings/:" >&2
        ls "$findings" >&2
        status=1
    fi
    grep -E '^stat::(number_of_executed_units|average_exec_per_sec|new_units_added)' \
        "build-fuzz/fuzz-$target.log" || true
done
exit "$status"

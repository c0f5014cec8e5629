#!/usr/bin/env bash
# Loading a course, ours as a whole process against the peers' parse and build in one, in
# interleaved rounds: each round runs `minigolf-sim check COURSE --balls 1 --seconds 0` under
# /usr/bin/time (start-up, reading, frames, index, exit) and then the loading benchmark of
# minigolf-bullet-bench on the same room (ours, Bullet's and, when built with it, Jolt's, in
# process). Prints one line a round, real and processor times (all threads: user and system) in
# seconds and the peak resident memory, then the medians of the per-round ratios.
#
#   bench/peer_load_rounds.sh BUILD_TREE COURSE CELLS TILES [ROUNDS]
#
# COURSE must be the room that `minigolf-course generate room --cells CELLS --tiles TILES`
# writes, the one the benchmark generates for itself.
set -euo pipefail
if [ $# -lt 4 ]; then
    echo "usage: $0 BUILD_TREE COURSE CELLS TILES [ROUNDS]" >&2
    exit 2
fi
tree=$1 course=$2 cells=$3 tiles=$4 rounds=${5:-5}
sim="$tree/tools/minigolf-sim"
bench="$tree/bench/minigolf-bullet-bench"
scratch=$(mktemp -d "${TMPDIR:-/tmp}/peer-load.XXXXXX")
trap 'rm -rf -- "$scratch"' EXIT

counter() { # NAME FILE: the value of a benchmark counter, in plain units
    grep -o "$1=[0-9.]*[kmunM]\?" "$2" | head -1 | cut -d= -f2 |
        awk '{v=$1; s=substr(v,length(v)); if (s ~ /[kmunM]/) { v=substr(v,1,length(v)-1);
              v*= (s=="k"?1e3:s=="M"?1e6:s=="m"?1e-3:s=="u"?1e-6:1e-9) } print v}'
}

printf 'round process_s cpu_s peak_MiB | in process: ours_s bullet_s cpu_s jolt_s cpu_s'
printf ' | process/bullet process/jolt cpu/bullet_cpu cpu/jolt_cpu ours/bullet\n'
for round in $(seq "$rounds"); do
    /usr/bin/time -f '%e %U %S %M' -o "$scratch/time" \
        "$sim" check "$course" --balls 1 --seconds 0 --seed 1 >/dev/null
    read -r wall user sys peak <"$scratch/time"
    "$bench" --benchmark_filter="loadAgainstBullet/cells:$cells/tiles:$tiles/" >"$scratch/bench" \
        2>/dev/null
    ours=$(counter ours_s "$scratch/bench")
    bullet=$(counter bullet_s "$scratch/bench")
    bulletCpu=$(counter bullet_cpu_s "$scratch/bench")
    jolt=$(counter jolt_s "$scratch/bench")
    joltCpu=$(counter jolt_cpu_s "$scratch/bench")
    jolt=${jolt:-0} joltCpu=${joltCpu:-0} # not built with Jolt
    awk -v r="$round" -v w="$wall" -v c="$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')" \
        -v p="$peak" -v o="$ours" -v b="$bullet" -v bc="$bulletCpu" -v j="$jolt" -v jc="$joltCpu" \
        'BEGIN { printf "%5d %9.2f %5.2f %8.0f | %18.3f %8.3f %5.2f %6.3f %5.2f | %14.2f %12.2f %14.2f %12.2f %11.2f\n",
        r, w, c, p / 1024, o, b, bc, j, jc, w / b, (j > 0 ? w / j : 0), c / bc,
        (jc > 0 ? c / jc : 0), o / b }' | tee -a "$scratch/rounds"
done
median() { # COLUMN: the median of that column of the rounds
    awk -v c="$1" '{ print $c }' "$scratch/rounds" | sort -g |
        awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
printf 'medians of the per-round ratios: process/bullet %s process/jolt %s' "$(median 12)" "$(median 13)"
printf ' cpu/bullet_cpu %s cpu/jolt_cpu %s ours/bullet %s\n' "$(median 14)" "$(median 15)" "$(median 16)"

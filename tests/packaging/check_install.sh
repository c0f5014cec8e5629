#!/usr/bin/env bash
# Installs the build tree into a scratch prefix and checks what lands where: the program and
# the course tools in the binary folder, the bundled course and texture together in the data folder
# (the program reads both from its working directory), the README with its screenshot in the doc
# folder (with its pictures), and the asset generators nowhere.
# usage: check_install.sh CMAKE BUILD_DIR SOURCE_DIR BIN_DIR DATA_DIR DOC_DIR (the last three
# relative to the prefix)
set -euo pipefail
cmake_command=$1 build=$2 source=$3 bin=$4 data=$5 doc=$6

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
"$cmake_command" --install "$build" --prefix "$prefix" >/dev/null

status=0
fail() {
    echo "error: $*" >&2
    status=1
}
for program in minigolf minigolf-sim minigolf-course; do
    [ -x "$prefix/$bin/$program" ] || fail "$bin/$program is not installed"
done
for tool in make-course make-ball-texture; do
    [ ! -e "$prefix/$bin/$tool" ] || fail "$bin/$tool, a developer tool, is installed"
done
for file in assets/clobox.txt:"$data/clobox.txt" assets/ball.tga:"$data/ball.tga" \
    README.md:"$doc/README.md" docs/screenshot.png:"$doc/docs/screenshot.png" \
    docs/flight.svg:"$doc/docs/flight.svg"; do
    from=${file%%:*} to=${file#*:}
    cmp -s "$source/$from" "$prefix/$to" || fail "$to is not a copy of $from"
done
[ "$status" -eq 0 ] && echo "installed as the README says: $(cd "$prefix" && find . -type f | sort | tr '\n' ' ')"
exit "$status"

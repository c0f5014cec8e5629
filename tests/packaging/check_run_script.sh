#!/usr/bin/env bash
# run.sh given a course: the program's messages about it name the user's file, not the scratch
# copy clobox.txt; its standard output and exit status come through unchanged; a relative name
# is the user's (from the folder run.sh was started in) and a pipe is read as well as a file.
# run.sh runs here in a copy of the project of stand-ins: a program that reports on its
# clobox.txt as the reader does, and an install, a cmake and a display check that do nothing,
# so that no build is needed.
# usage: check_run_script.sh SOURCE_DIR
set -uo pipefail
source=$1

status=0
fail() {
    echo "error: $*" >&2
    status=1
}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

project="$scratch/project"
mkdir -p "$project/tools" "$project/build/app" "$project/assets" "$scratch/bin" "$scratch/user"
cp "$source/run.sh" "$project/run.sh"
printf 'texture\n' >"$project/assets/ball.tga"
printf '#!/bin/sh\nexit 0\n' >"$project/tools/install-deps.sh"
printf '#!/bin/sh\nexit 0\n' >"$scratch/bin/cmake"
printf '#!/bin/sh\nexit 0\n' >"$scratch/bin/xdpyinfo"
# The course's first line on standard output, a fault and an unrelated line on standard error.
cat >"$project/build/app/minigolf" <<'EOF'
#!/bin/sh
head -n 1 clobox.txt
echo "clobox.txt:3:1: error: expected a number, found \"start\"" >&2
echo "ball.tga: not a clobox.txt: message" >&2
exit 1
EOF
chmod +x "$project/tools/install-deps.sh" "$scratch/bin/"* "$project/build/app/minigolf"

# A name that sed would read as its own syntax, relative to the user's folder.
name='my course & co/v\1.txt'
mkdir -p "$scratch/user/my course & co"
printf 'start of the course\n' >"$scratch/user/$name"
run() {
    (cd "$scratch/user" && PATH="$scratch/bin:$PATH" DISPLAY=:0 "$project/run.sh" "$@") \
        >"$scratch/out" 2>"$scratch/err"
}

run "$name"
code=$?
[ "$code" -eq 1 ] || fail "run.sh exited $code, not the program's 1"
[ "$(cat "$scratch/out")" = "start of the course" ] || fail "standard output: $(cat "$scratch/out")"
expected="$name:3:1: error: expected a number, found \"start\"
ball.tga: not a clobox.txt: message"
[ "$(cat "$scratch/err")" = "$expected" ] || fail "standard error: $(cat "$scratch/err")"

run <(printf 'start from a pipe\n')
code=$?
[ "$code" -eq 1 ] || fail "run.sh on a pipe exited $code: $(cat "$scratch/err")"
[ "$(cat "$scratch/out")" = "start from a pipe" ] || fail "a pipe's course: $(cat "$scratch/out")"
grep -q '^/dev/fd/[0-9]*:3:1: error' "$scratch/err" || fail "a pipe's name: $(cat "$scratch/err")"

run "no such course.txt"
code=$?
[ "$code" -eq 2 ] || fail "run.sh on a missing course exited $code, not 2"
[ "$(cat "$scratch/err")" = "run.sh: cannot read the course file no such course.txt (No such file or directory)" ] ||
    fail "a missing course: $(cat "$scratch/err")"

[ "$status" -eq 0 ] && echo "run.sh names the user's course in the program's messages"
exit "$status"

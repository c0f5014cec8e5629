#!/usr/bin/env bash
# Builds the prototype and starts it: on the bundled course (assets/clobox.txt, assets/ball.tga),
# or, with a course file given, on that course. The program itself takes no options and reads
# clobox.txt and ball.tga from its working directory, so a given course (any readable file, a
# pipe as well) is copied as clobox.txt into a scratch folder beside the ball's texture, and the
# program runs there, its messages about the course naming the file given.
# Without a display it runs the prototype under a virtual X server of its own instead.
#
#   ./run.sh [COURSE]
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)

if [ $# -gt 1 ]; then
    echo "usage: ./run.sh [COURSE]" >&2
    exit 2
fi
course=${1-}

# Everything started here (the scratch folder, a virtual X server) goes when the script ends,
# however it ends: the program's window closed, Ctrl-C, or a failure.
scratch=""
xvfb_pid=""
cleanup() {
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
    fi
    if [ -n "$scratch" ]; then
        rm -rf -- "$scratch"
    fi
}
trap cleanup EXIT

# The largest course taken: above the largest room minigolf-course generates (3.6 GB), and a
# bound on what an endless input (/dev/zero) writes into the scratch folder.
max_course_bytes=$((4 * 1024 * 1024 * 1024))
if [ $# -eq 1 ]; then
    # Copied first, from the folder run.sh was started in (a relative name is the user's), and
    # read as a stream: a pipe (./run.sh <(make-course)) is read once and is no regular file.
    scratch=$(mktemp -d "${TMPDIR:-/tmp}/minigolf-run.XXXXXX")
    if ! reason=$(head -c "$((max_course_bytes + 1))" -- "$course" 2>&1 >"$scratch/clobox.txt"); then
        echo "run.sh: cannot read the course file $course (${reason##*: })" >&2
        exit 2
    fi
    if [ "$(stat -c %s -- "$scratch/clobox.txt")" -gt "$max_course_bytes" ]; then
        echo "run.sh: the course file $course is larger than 4 GiB" >&2
        exit 2
    fi
    cp -- "$root/assets/ball.tga" "$scratch/ball.tga"
fi

cd "$root"
tools/install-deps.sh >&2
cmake -S . -B build >/dev/null
# Build messages go to standard error: standard output is the program's console.
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target minigolf >&2
program="$root/build/app/minigolf"
cd "${scratch:-$root/assets}"

if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
    # Xvfb picks a free display number itself and writes it to the file once it accepts
    # clients, so there is no race with another server starting beside it.
    display_file=$(mktemp "${TMPDIR:-/tmp}/minigolf-display.XXXXXX")
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" 2>/dev/null &
    xvfb_pid=$!
    for _ in $(seq 100); do
        [ -s "$display_file" ] && break
        sleep 0.1
    done
    display=$(tr -dc '0-9' <"$display_file")
    rm -f -- "$display_file"
    if [ -z "$display" ]; then
        echo "run.sh: no display, and the virtual X server (Xvfb) did not start" >&2
        exit 1
    fi
    export DISPLAY=":$display"
    {
        echo "No display found: running the prototype under a virtual X server on display $DISPLAY;"
        echo "its window is not visible. To open the command menu, send it the space bar:"
        echo "  DISPLAY=$DISPLAY xdotool search --name 'Avast ye' key --window %1 space"
        echo "Ctrl-C here ends the program."
    } >&2
fi

# Not exec: the script stays to clean up after the program.
status=0
if [ -z "$scratch" ]; then
    "$program" || status=$?
    exit "$status"
fi
# The program names its course clobox.txt, the scratch copy: its messages that begin so (its
# errors and warnings about the course) are given the user's name for the file instead, as
# they come. Standard output goes to the console untouched, past the filter.
replacement=$(printf '%s\n' "$course" | sed -e 's/[\/&]/\\&/g' -e '$!s/$/\\/')
exec 3>&1
set +e
"$program" 2>&1 1>&3 3>&- | sed -u -e "s/^clobox\.txt:/$replacement:/" >&2 3>&-
statuses=("${PIPESTATUS[@]}")
set -e
exit "${statuses[0]}"

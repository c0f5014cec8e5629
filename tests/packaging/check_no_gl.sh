#!/usr/bin/env bash
# What only simulates links no GL library, directly or through another library: ldd of every
# program given after the first lists none. The first, the windowed program, must list one, or
# the pattern no longer matches what the GL libraries are called here and the check says nothing.
# usage: check_no_gl.sh DRAWING_PROGRAM HEADLESS_PROGRAM...
set -uo pipefail
drawing=$1
shift

gl_libraries='lib(GL|OpenGL|GLU|glut|GLX|GLdispatch|EGL)[._]'
status=0
fail() {
    echo "error: $*" >&2
    status=1
}
# gl_of PROGRAM: the GL libraries ldd lists for PROGRAM, one line each.
gl_of() {
    local listed
    listed=$(ldd "$1") || {
        fail "ldd cannot read $1"
        return
    }
    grep -oE "$gl_libraries" <<<"$listed" | sed "s/[._]$//" | sort -u
}

[ -n "$(gl_of "$drawing")" ] || fail "$drawing lists no GL library: the pattern finds nothing"
for program in "$@"; do
    found=$(gl_of "$program" | tr '\n' ' ')
    [ -z "$found" ] || fail "$(basename "$program") links GL: $found"
done
[ "$status" -eq 0 ] && echo "no GL library in: $(for p in "$@"; do basename "$p"; done | tr '\n' ' ')"
exit "$status"

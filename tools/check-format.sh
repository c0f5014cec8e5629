#!/usr/bin/env bash
# Lists every C++ file that does not follow the committed .clang-format and exits 1 when there
# is one (0 when all follow it, 2 on a usage error or without clang-format). With --fix it
# formats those files in place instead and lists them. Without FILE arguments it takes every
# tracked C++ file of the repository (every *.cpp and *.h under the source folders outside a git
# checkout).
#
# Formatting differs between clang-format releases; the committed files follow Debian 12's
# clang-format (release 14), which tools/install-deps.sh installs. CLANG_FORMAT names another
# binary.
set -euo pipefail

usage="usage: tools/check-format.sh [--fix] [FILE...]"
fix=0
files=()
for argument in "$@"; do
    case "$argument" in
    --fix) fix=1 ;;
    -h | --help)
        echo "$usage"
        exit 0
        ;;
    -*)
        echo "check-format.sh: unknown option $argument" >&2
        echo "$usage" >&2
        exit 2
        ;;
    *)
        if [ ! -f "$argument" ]; then
            echo "check-format.sh: $argument is not a file" >&2
            exit 2
        fi
        files+=("$(realpath "$argument")")
        ;;
    esac
done

clang_format=${CLANG_FORMAT:-clang-format}
if ! command -v "$clang_format" >/dev/null 2>&1; then
    echo "check-format.sh: $clang_format is not installed (Debian package clang-format;" \
        "tools/install-deps.sh installs it)" >&2
    exit 2
fi

cd "$(dirname "$0")/.."
if [ ${#files[@]} -eq 0 ]; then
    if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
        mapfile -t files < <(git ls-files -- '*.cpp' '*.h')
    else
        mapfile -t files < <(find . -path './build*' -prune -o -type f \( -name '*.cpp' -o -name '*.h' \) -print | sort)
    fi
fi

if [ ${#files[@]} -eq 0 ]; then
    echo "check-format.sh: no C++ file found" >&2
    exit 2
fi

# One clang-format process for all files (a process per file takes ten times as long): with
# --dry-run -Werror it names each place that formatting would change as
# "FILE:LINE:COLUMN: error: code should be clang-formatted", writes nothing, and fails.
if diagnostics=$("$clang_format" --style=file --dry-run -Werror "${files[@]}" 2>&1); then
    exit 0
fi
mapfile -t unformatted < <(grep -oE '^.+:[0-9]+:[0-9]+: (error|warning): code should be clang-formatted' \
    <<<"$diagnostics" | sed -E 's/:[0-9]+:[0-9]+: [a-z]+: code should be clang-formatted$//' | sort -u)
if [ ${#unformatted[@]} -eq 0 ]; then
    # It failed for another reason: a file it cannot read, a broken .clang-format.
    echo "$diagnostics" >&2
    echo "check-format.sh: $clang_format failed" >&2
    exit 2
fi

if [ "$fix" -eq 1 ]; then
    "$clang_format" --style=file -i "${unformatted[@]}"
    printf 'formatted %s\n' "${unformatted[@]}"
    exit 0
fi
printf '%s\n' "${unformatted[@]}"
echo "check-format.sh: ${#unformatted[@]} file(s) above do not follow .clang-format;" \
    "tools/check-format.sh --fix formats them" >&2
exit 1

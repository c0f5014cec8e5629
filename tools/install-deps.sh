#!/usr/bin/env bash
# Installs the Debian packages the build, the program and the tests need, if any is missing.
# Run by run.sh and test.sh; needs root, or sudo where that exists.
set -euo pipefail

packages=(
    cmake g++ make pkg-config
    libgl-dev libglu1-mesa-dev freeglut3-dev libgl1-mesa-dri # GL, GLU, GLUT, Mesa's software renderer
    libx11-dev                                               # Xlib: the gl tests' check for a display, bench/'s frame capture
    libgtest-dev libgmock-dev libbenchmark-dev               # tests and benchmarks
    libcli11-dev libtinyobjloader-dev                        # the tools' command lines, OBJ reading
    xvfb xauth x11-utils xdotool imagemagick                 # virtual X server, window queries, keys, screenshots
    python3                                                  # the end-to-end test driver
    clang-format                                             # tools/check-format.sh
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing missing packages: ${missing[*]}"
    as_root=()
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null 2>&1; then
            as_root=(sudo)
        else
            echo "error: packages ${missing[*]} are missing and this is not root (no sudo either)" >&2
            exit 1
        fi
    fi
    "${as_root[@]}" apt-get update -qq
    # Through env: sudo clears the caller's environment.
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

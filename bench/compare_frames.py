#!/usr/bin/env python3
"""Compares the pictures of two builds of the program at the same frames, pixel for pixel.

    compare_frames.py CAPTURE_LIBRARY PROGRAM_A PROGRAM_B COURSE FRAME[,FRAME...]

Runs each program in turn in a scratch directory holding COURSE as clobox.txt and the bundled
ball.tga, on the X display in DISPLAY (where no other window may carry the program's title), with CAPTURE_LIBRARY (the minigolf-frame-capture module)
preloaded: it freezes the clock, so that the picture of a frame depends on the frame number
alone, writes the finished back buffer of each listed frame, and stops the program after the
last one, when the window is also captured from the X server with ImageMagick's import. Prints
for each frame whether the two builds' pictures are byte-identical (and how many pixels differ
otherwise, and how many are not background), and exits 1 if any differ.
"""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

ASSETS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "assets")
WINDOW_TITLE = "Avast ye quellmoor, plunder yon landlubbers off the port beam"
# Seconds for a run to reach its last frame: a large course drawn the old way is slow.
RUN_TIMEOUT = 3600.0


def stopped(pid):
    with open(f"/proc/{pid}/stat") as stat:
        return stat.read().rsplit(")", 1)[1].split()[0] == "T"


def capture(library, program, course, frames, into):
    """Runs one build; returns {frame: PPM bytes} and the X screenshot of the last frame."""
    workdir = tempfile.mkdtemp(prefix="minigolf-frames-")
    shutil.copy(course, os.path.join(workdir, "clobox.txt"))
    shutil.copy(os.path.join(ASSETS, "ball.tga"), workdir)
    env = dict(os.environ)
    env.update(
        LD_PRELOAD=os.path.abspath(library),
        MINIGOLF_CAPTURE_FRAMES=",".join(str(f) for f in frames),
        MINIGOLF_CAPTURE_PREFIX=os.path.join(into, "frame"),
    )
    process = subprocess.Popen(
        [os.path.abspath(program)],
        cwd=workdir,
        env=env,
        stdin=subprocess.PIPE,
        stdout=subprocess.DEVNULL,
        stderr=subprocess.DEVNULL,
        start_new_session=True,
    )
    try:
        deadline = time.monotonic() + RUN_TIMEOUT
        while not stopped(process.pid):
            if process.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError(f"{program} did not reach frame {frames[-1]}")
            time.sleep(0.2)
        window = subprocess.run(
            ["xdotool", "search", "--onlyvisible", "--name", WINDOW_TITLE],
            capture_output=True, check=True, timeout=30,
        ).stdout.split()[0].decode()
        if os.environ.get("MINIGOLF_COMPARE_DEBUG"):
            subprocess.run(["xwininfo", "-id", window])
        screen = subprocess.run(
            ["import", "-window", window, "-depth", "8", "ppm:-"],
            capture_output=True, check=True, timeout=60,
        ).stdout
    finally:
        os.killpg(process.pid, signal.SIGKILL)
        process.wait()
        shutil.rmtree(workdir, ignore_errors=True)
    pictures = {}
    for frame in frames:
        with open(os.path.join(into, f"frame-{frame}.ppm"), "rb") as ppm:
            pictures[frame] = ppm.read()
    return pictures, screen


def pixels(ppm):
    """The RGB bytes of a binary PPM: after four header words and one white-space byte."""
    at = 0
    for _ in range(4):
        while ppm[at : at + 1].isspace():
            at += 1
        while not ppm[at : at + 1].isspace():
            at += 1
    return ppm[at + 1 :]


def differences(a, b):
    """(pixels that differ, pixels that are not black in a)."""
    rgb_a, rgb_b = pixels(a), pixels(b)
    if len(rgb_a) != len(rgb_b):
        return None, None
    differ = sum(1 for i in range(0, len(rgb_a), 3) if rgb_a[i : i + 3] != rgb_b[i : i + 3])
    lit = sum(1 for i in range(0, len(rgb_a), 3) if rgb_a[i : i + 3] != b"\0\0\0")
    return differ, lit


def report(name, a, b):
    differ, lit = differences(a, b)
    if differ is None:
        print(f"{name}: sizes differ")
        return False
    verdict = "identical" if a == b else f"{differ} pixels differ"
    print(f"{name}: {verdict} ({lit} of {len(pixels(a)) // 3} pixels not background)")
    return a == b


def main(argv):
    if len(argv) != 6:
        sys.stderr.write(
            "usage: compare_frames.py CAPTURE_LIBRARY PROGRAM_A PROGRAM_B COURSE FRAME[,FRAME...]\n"
        )
        return 2
    library, program_a, program_b, course = argv[1:5]
    frames = sorted({int(word) for word in argv[5].split(",")})
    scratch = tempfile.mkdtemp(prefix="minigolf-compare-")
    try:
        os.makedirs(os.path.join(scratch, "a"))
        os.makedirs(os.path.join(scratch, "b"))
        pictures_a, screen_a = capture(library, program_a, course, frames, os.path.join(scratch, "a"))
        pictures_b, screen_b = capture(library, program_b, course, frames, os.path.join(scratch, "b"))
        same = True
        for frame in frames:
            same &= report(f"frame {frame}, back buffer", pictures_a[frame], pictures_b[frame])
        same &= report(f"frame {frames[-1]}, X screenshot", screen_a, screen_b)
        # The screenshot is what the back buffer showed once swapped: a check of the capture.
        report("  (A's X screenshot against A's back buffer)", screen_a, pictures_a[frames[-1]])
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    return 0 if same else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))

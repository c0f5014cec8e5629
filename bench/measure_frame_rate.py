#!/usr/bin/env python3
"""Measures the program's frame rate on a course: frames drawn per second of wall time.

    measure_frame_rate.py PROGRAM COURSE [SECONDS]

Runs PROGRAM (the built minigolf) in a scratch directory holding COURSE as clobox.txt and the
bundled ball.tga, on the X display in DISPLAY, with standard output line-buffered (stdbuf) so
that every frame-rate line arrives when it is written. Loading is not measured: the clock starts
at the first frame-rate line after the loading-time line. It then counts the frame-rate lines
that arrive within SECONDS (20 by default) and prints the frames per second, the median of the
rates the program printed itself, the loading time, the resident memory at the end, and the processor time per frame of the
whole process (its rendering threads included) and of its main thread, which say more than the
wall time on a machine shared with other work. With LIBGL_ALWAYS_SOFTWARE=1 in the
environment Mesa renders in software.
"""

import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time

ASSETS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "assets")
BANNER_LINES = 6
DEFAULT_SECONDS = 20.0
# Seconds to wait for the first frame after loading; a course of a million triangles drawn the
# old way takes minutes per frame.
FIRST_FRAME_TIMEOUT = 900.0


def triangle_count(course_text):
    """Triangles of a course file: nine numbers each, after four colour numbers per box."""
    words = course_text.split()
    boxes = words.count("start")
    numbers = len(words) - boxes - words.count("end")
    return (numbers - 4 * boxes) // 9


def cpu_seconds(pid, thread=None):
    """User plus system time of a process, or of one of its threads, in seconds."""
    path = f"/proc/{pid}/stat" if thread is None else f"/proc/{pid}/task/{thread}/stat"
    with open(path) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def resident_mib(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024.0
    return float("nan")


def collect(stream, lines, condition):
    for raw in stream:
        with condition:
            lines.append((time.monotonic(), raw.decode(errors="replace").rstrip("\n")))
            condition.notify_all()
    with condition:
        lines.append((time.monotonic(), None))
        condition.notify_all()


def wait_for_line(lines, condition, index, deadline):
    """The (time, text) of line `index`, or None at the end of the stream or the deadline."""
    with condition:
        while len(lines) <= index:
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                return None
            condition.wait(remaining)
        return lines[index] if lines[index][1] is not None else None


def main(argv):
    if len(argv) not in (3, 4):
        sys.stderr.write("usage: measure_frame_rate.py PROGRAM COURSE [SECONDS]\n")
        return 2
    program, course = os.path.abspath(argv[1]), argv[2]
    seconds = float(argv[3]) if len(argv) == 4 else DEFAULT_SECONDS
    with open(course) as text:
        triangles = triangle_count(text.read())
    workdir = tempfile.mkdtemp(prefix="minigolf-fps-")
    shutil.copy(course, os.path.join(workdir, "clobox.txt"))
    shutil.copy(os.path.join(ASSETS, "ball.tga"), workdir)
    process = subprocess.Popen(
        ["stdbuf", "-oL", program],
        cwd=workdir,
        stdin=subprocess.PIPE,
        stdout=subprocess.PIPE,
        stderr=subprocess.DEVNULL,
        start_new_session=True,
    )
    lines = []
    condition = threading.Condition()
    threading.Thread(target=collect, args=(process.stdout, lines, condition), daemon=True).start()
    try:
        loading_index = BANNER_LINES + triangles
        loading = wait_for_line(lines, condition, loading_index, time.monotonic() + 3600)
        first = wait_for_line(
            lines, condition, loading_index + 1, time.monotonic() + FIRST_FRAME_TIMEOUT
        )
        if loading is None or first is None:
            sys.stderr.write("measure_frame_rate.py: no frame after loading\n")
            return 1
        started = first[0]
        cpu_started = (cpu_seconds(process.pid), cpu_seconds(process.pid, process.pid))
        with condition:
            frames_before = len(lines)
        time.sleep(max(0.0, started + seconds - time.monotonic()))
        cpu_used = [
            now - before
            for now, before in zip(
                (cpu_seconds(process.pid), cpu_seconds(process.pid, process.pid)), cpu_started
            )
        ]
        resident = resident_mib(process.pid)
        with condition:
            window = [text for when, text in lines[loading_index + 2 :] if text is not None]
            frames_timed = len(lines) - frames_before
            elapsed = time.monotonic() - started
    finally:
        os.killpg(process.pid, signal.SIGKILL)
        process.wait()
        shutil.rmtree(workdir, ignore_errors=True)
    rates = [int(text) for text in window if text.isdigit()]
    printed = statistics.median(rates) if rates else float("nan")
    per_frame = [1000.0 * used / max(frames_timed, 1) for used in cpu_used]
    print(
        f"triangles {triangles} loading {loading[1]} s frames {len(rates)} in {elapsed:.1f} s: "
        f"{len(rates) / elapsed:.2f} frames/s, median printed rate {printed}, "
        f"CPU per frame {per_frame[0]:.1f} ms (main thread {per_frame[1]:.1f} ms), "
        f"resident {resident:.0f} MiB"
    )
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

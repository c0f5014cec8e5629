"""End-to-end runs of the smallest courses: no boxes, a box of no triangles, a box of only
degenerate triangles, one triangle. The program starts and flies on each, and every command of
the tools that takes a course gives its ordinary result on each, through the contact index and
through the exhaustive search alike.

Needs MINIGOLF_PROGRAM, MINIGOLF_SIM, MINIGOLF_COURSE and MINIGOLF_ASSETS in the environment;
CTest sets them.
"""

import os
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from minigolf_driver import BANNER, Minigolf, course_boxes, exit_if_cannot_run  # noqa: E402

PROGRAM = os.environ.get("MINIGOLF_PROGRAM", "")
SIM = os.environ.get("MINIGOLF_SIM", "")
COURSE_TOOL = os.environ.get("MINIGOLF_COURSE", "")
ASSETS = os.environ.get("MINIGOLF_ASSETS", "")

# Seconds; every wait is bounded, generously for software GL on a loaded machine.
OUTPUT_TIMEOUT = 60.0
TOOL_TIMEOUT = 60.0
FRAME_LINES_WANTED = 20

# name, course file, triangles with an area, lint's status, lint --closed's status. The one
# triangle lies in the floor plane, course x and z from 0 to 10, facing up; a degenerate triangle
# is an error to lint, an open edge an error only with --closed.
SMALLEST_COURSES = (
    ("no boxes", "end\n", 0, 0, 0),
    ("a box of no triangles", "start 1 1 1 1\nend\n", 0, 0, 0),
    ("a box of only degenerate triangles",
     "start 1 1 1 1\n0 0 0  0 0 0  50 0 0\n0 0 0  5 5 5  10 10 10\nend\n", 0, 1, 1),
    ("one triangle", "start 0.2 0.8 0.2 1\n0 0 0  0 0 50  50 0 0\nend\n", 1, 0, 1),
)

# Dropped onto the triangle from above: ball position, then velocity.
DROP = "ball 2 5 2 0 -5 0\nexit\n"
# One sweep down onto the triangle, one through empty space (course units).
SWEEPS = "2 5 2 2 -1 2\n-30 5 -30 -30 -5 -30\n"
CHECKED_BALLS = 3


def tool(program, *arguments):
    done = subprocess.run([program, *arguments], capture_output=True, text=True,
                          timeout=TOOL_TIMEOUT, stdin=subprocess.DEVNULL)
    return done.returncode, done.stdout, done.stderr


class SmallestCoursesTest(unittest.TestCase):
    def setUp(self):
        for name, path in (("MINIGOLF_PROGRAM", PROGRAM), ("MINIGOLF_SIM", SIM),
                           ("MINIGOLF_COURSE", COURSE_TOOL)):
            if not path or not os.path.exists(path):
                self.fail(f"{name} does not name a built program: {path!r}")
        self.folder = tempfile.TemporaryDirectory(prefix="minigolf-smallest-")
        self.addCleanup(self.folder.cleanup)

    def test_program_and_every_tool_command(self):
        for name, course, struck, lint_status, closed_status in SMALLEST_COURSES:
            with self.subTest(course=name):
                self.run_program(course, struck)
                self.run_tools(course, struck, lint_status, closed_status)

    def run_program(self, course, struck):
        """Starts, draws frames and keeps running; the ball dropped onto the course from the
        menu bounces off a triangle that has an area."""
        with Minigolf(PROGRAM, ASSETS, files={"clobox.txt": course}) as run:
            window = run.window()
            triangles = sum(count for _, count in course_boxes(course))
            lines_wanted = BANNER.count("\n") + triangles + 1 + FRAME_LINES_WANTED
            run.stdout.wait_for(lambda t: t.count("\n") >= lines_wanted, OUTPUT_TIMEOUT)
            window.press("space")
            run.send(DROP)
            resumed = run.stdout.wait_for_text("Resuming Simulation...", OUTPUT_TIMEOUT)
            if struck:
                run.stdout.wait_for_text("collide!", OUTPUT_TIMEOUT, start=resumed)
            else:
                run.stdout.wait_for(lambda t: t.count("\n", resumed) >= FRAME_LINES_WANTED,
                                    OUTPUT_TIMEOUT)
            self.assertTrue(run.running(), f"stderr:\n{run.stderr.text()}")

    def run_tools(self, course, struck, lint_status, closed_status):
        folder = self.folder.name
        course_file = os.path.join(folder, "course.txt")
        sweeps_file = os.path.join(folder, "sweeps.txt")
        with open(course_file, "w") as out:
            out.write(course)
        with open(sweeps_file, "w") as out:
            out.write(SWEEPS)
        dumps = []
        for search in ((), ("--exhaustive",)):
            status, out, err = tool(SIM, "simulate", course_file, *search)
            self.assertEqual((status, out.split()[:4]), (0, ["steps", "600", "collides", "0"]),
                             err)
            # No ball can stay in a course that holds none: each leaves at its first step.
            status, out, err = tool(SIM, "check", course_file, "--balls", str(CHECKED_BALLS),
                                    "--seconds", "1", "--seed", "1", *search)
            self.assertEqual(status, 1, err)
            self.assertEqual(out.splitlines()[-1].split()[:2], ["left", str(CHECKED_BALLS)], out)
            plot = os.path.join(folder, "flight.svg")
            status, out, err = tool(SIM, "plot", course_file, "-o", plot, *search)
            self.assertEqual(status, 0, err)
            with open(plot) as picture:
                self.assertTrue(picture.read().rstrip().endswith("</svg>"))
            dump = os.path.join(folder, "dump.txt")
            status, out, err = tool(SIM, "sweep", course_file, sweeps_file, "--dump", dump,
                                    *search)
            self.assertEqual((status, out.split()[:4]), (0, ["sweeps", "2", "hits", str(struck)]),
                             err)
            with open(dump) as contacts:
                dumps.append(contacts.read())
        self.assertEqual(dumps[0], dumps[1], "the index and the exhaustive search differ")
        self.assertEqual(tool(COURSE_TOOL, "lint", course_file)[0], lint_status)
        self.assertEqual(tool(COURSE_TOOL, "lint", "--closed", course_file)[0], closed_status)
        status, out, err = tool(COURSE_TOOL, "export", course_file,
                                "-o", os.path.join(folder, "model.obj"))
        self.assertEqual(status, 0, err)


if __name__ == "__main__":
    exit_if_cannot_run()
    unittest.main()

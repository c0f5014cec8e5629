"""End-to-end tests of start-up: console output, the window, the first pictures, and a course
that cannot be read.

Needs MINIGOLF_PROGRAM (the built program) and MINIGOLF_ASSETS (the folder holding clobox.txt and
ball.tga) in the environment; CTest sets both.
"""

import os
import re
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from minigolf_driver import (  # noqa: E402
    BANNER,
    WINDOW_TITLE,
    Minigolf,
    course_boxes,
    exit_if_cannot_run,
)

PROGRAM = os.environ.get("MINIGOLF_PROGRAM", "")
ASSETS = os.environ.get("MINIGOLF_ASSETS", "")

# Seconds to wait for a block of buffered frame-rate lines, however slow the machine.
OUTPUT_TIMEOUT = 60.0
FRAME_LINES_WANTED = 20

# The shade of a flat-lit course face: its colour times (0.2 global ambient + 0.5 light ambient
# + 1.0 diffuse * cos of the light angle, 0 for faces turned away), so 0.7 to 1.7, each channel
# limited to 255. Mesa's software renderer gives a flat face its colour within rounding, hence a
# tolerance of one unit: wider, the textured ball's off-white would pass for the course's white.
SHADE_RANGE = (0.65, 1.75)
CHANNEL_TOLERANCE = 1.0

# The ball is white under the light and its texture is off-white with grey dimples and a red band:
# bright grey pixels that no course colour explains. It is small (about 7 pixels in radius at
# the orbit's distance) and may hide behind the course, so a dozen pixels in one of the
# screenshots suffice.
BALL_MIN_CHANNEL = 150
BALL_MAX_SPREAD = 40
BALL_PIXELS_WANTED = 12

# Pixels of a colour that count it as seen; screenshots taken while the camera circles.
COLOUR_PIXELS_WANTED = 10
SCREENSHOT_TIMES = (1.0, 1.5, 2.0, 2.5, 3.0)


def shade_interval(pixel, colour):
    """The shades k (see SHADE_RANGE) for which colour * k rounds to pixel, as (low, high), or
    None when no shade does."""
    low, high = SHADE_RANGE
    for value, channel in zip(pixel, colour):
        if channel <= 0.0:
            if value > CHANNEL_TOLERANCE:
                return None
            continue
        full = 255.0 * channel
        low = max(low, (value - CHANNEL_TOLERANCE) / full)
        if value + CHANNEL_TOLERANCE < 255:
            high = min(high, (value + CHANNEL_TOLERANCE) / full)
    return (low, high) if low <= high else None


def is_ball_white(pixel):
    return min(pixel) >= BALL_MIN_CHANNEL and max(pixel) - min(pixel) <= BALL_MAX_SPREAD


def count_colours(image, colours):
    """Pixels of the image per course colour (a pixel may fit several alike colours), and the
    white-ish pixels that fit none of them."""
    histogram = {}
    for pixel in image.pixels():
        histogram[pixel] = histogram.get(pixel, 0) + 1
    per_colour = [0] * len(colours)
    ball = 0
    for pixel, count in histogram.items():
        fits = [i for i, colour in enumerate(colours) if shade_interval(pixel, colour)]
        for i in fits:
            per_colour[i] += count
        if not fits and is_ball_white(pixel):
            ball += count
    return per_colour, ball


def need_program(test):
    if not PROGRAM or not os.path.exists(PROGRAM):
        test.fail(f"MINIGOLF_PROGRAM does not name the built program: {PROGRAM!r}")
    if not ASSETS or not os.path.exists(os.path.join(ASSETS, "clobox.txt")):
        test.fail(f"MINIGOLF_ASSETS holds no clobox.txt: {ASSETS!r}")


class ColourMatchTest(unittest.TestCase):
    """The screenshot check itself must tell the course's shades from the background."""

    def test_shades_of_a_colour_fit_and_others_do_not(self):
        green = (0.1, 0.6, 0.1, 1.0)
        self.assertIsNotNone(shade_interval((18, 107, 18), green))  # in shadow, 0.7
        self.assertIsNotNone(shade_interval((43, 255, 43), green))  # limited at 255
        self.assertIsNone(shade_interval((0, 0, 0), green))
        self.assertIsNone(shade_interval((107, 18, 18), green))
        self.assertIsNone(shade_interval((255, 255, 255), green))
        # The ball's main texel in full light against the course's white posts.
        self.assertIsNone(shade_interval((250, 250, 245), (0.95, 0.95, 0.92, 1.0)))
        self.assertIsNotNone(shade_interval((250, 250, 242), (0.95, 0.95, 0.92, 1.0)))
        self.assertTrue(is_ball_white((255, 255, 255)))
        self.assertTrue(is_ball_white((179, 179, 179)))
        self.assertFalse(is_ball_white((43, 255, 43)))


class StartUpTest(unittest.TestCase):
    def setUp(self):
        need_program(self)
        with open(os.path.join(ASSETS, "clobox.txt")) as course:
            self.boxes = course_boxes(course.read())
        self.triangle_count = sum(count for _, count in self.boxes)

    def test_console_window_and_picture(self):
        with Minigolf(PROGRAM, ASSETS) as run:
            # The banner is flushed line by line, so it comes before any frame is drawn.
            run.stdout.wait_for(lambda text: len(text) >= len(BANNER), OUTPUT_TIMEOUT)
            self.assertEqual(run.stdout.text()[: len(BANNER)], BANNER)

            window = run.window()
            self.assertEqual(window.title(), WINDOW_TITLE)
            self.assertEqual(window.size(), (600, 400))
            shots = []
            started = time.monotonic()
            for moment in SCREENSHOT_TIMES:
                time.sleep(max(0.0, started + moment - time.monotonic()))
                shots.append(window.screenshot())
            self.assertTrue(run.running(), "the program ended while it was being watched")

            lines_wanted = 6 + self.triangle_count + 1 + FRAME_LINES_WANTED
            text = run.stdout.wait_for(
                lambda t: t.count("\n") >= lines_wanted, OUTPUT_TIMEOUT
            )
        self.check_console(text)
        self.check_pictures(shots)

    def check_console(self, text):
        lines = text.split("\n")[6:]
        numbers = lines[: self.triangle_count]
        self.assertEqual(numbers, [str(n) for n in range(self.triangle_count)])
        loading = lines[self.triangle_count]
        self.assertRegex(loading, r"^[0-9]+(\.[0-9]+)?(e-?[0-9]+)?$", "the loading-time line")
        # Complete lines only: the last element may be a line still on its way.
        frames = lines[self.triangle_count + 1 : -1]
        self.assertGreaterEqual(len(frames), FRAME_LINES_WANTED)
        for line in frames:
            if line != "collide!":
                self.assertRegex(line, r"^[0-9]+$", "a frame-rate line")

    def check_pictures(self, shots):
        colours = [colour for colour, _ in self.boxes]
        seen = [0] * len(colours)
        ball_seen = 0
        for shot in shots:
            self.assertEqual((shot.width, shot.height), (600, 400))
            per_colour, ball = count_colours(shot, colours)
            seen = [max(a, b) for a, b in zip(seen, per_colour)]
            ball_seen = max(ball_seen, ball)
            # Black background and the course: no picture is empty.
            course_pixels = sum(per_colour)
            self.assertGreater(course_pixels, 0.02 * shot.width * shot.height)
        for colour, pixels in zip(colours, seen):
            self.assertGreaterEqual(pixels, COLOUR_PIXELS_WANTED, f"course colour {colour}")
        self.assertGreaterEqual(ball_seen, BALL_PIXELS_WANTED, "white pixels of the ball")


class UnreadableCourseTest(unittest.TestCase):
    """The process ends with status 1 after the banner, with the reader's complaint on standard
    error, and draws no frame: nothing but the triangle numbers read before the fault follows
    the banner."""

    def setUp(self):
        need_program(self)

    def expect_refused(self, course, numbers_before_fault):
        with Minigolf(PROGRAM, ASSETS, files={"clobox.txt": course}) as run:
            status = run.wait_exit()
            stdout, stderr = run.stdout.text(), run.stderr.text()
        self.assertEqual(status, 1, f"stderr:\n{stderr}")
        self.assertEqual(stdout, BANNER + numbers_before_fault)
        self.assertRegex(stderr, r"clobox\.txt", "the reader names the file")
        self.assertNotIn("ball.tga", stderr, "the texture was there and readable")
        return stderr

    def test_missing_file(self):
        stderr = self.expect_refused(None, "")
        # Started outside its assets folder: the message says how to start it on its course.
        self.assertIn("clobox.txt: note:", stderr)
        self.assertIn("./run.sh", stderr)

    def test_triangle_cut_short_by_the_end(self):
        self.expect_refused("start\n0.1 0.6 0.1 1\n0 0 0  0 0 50  50 0\nend\n", "")

    def test_text_where_a_number_is_expected_after_one_triangle(self):
        self.expect_refused(
            "start\n0.1 0.6 0.1 1\n0 0 0  0 0 50  50 0 0\n50 0 0  0 0 50  fifty 0 50\nend\n",
            "0\n",
        )

    def test_no_end_marker(self):
        self.expect_refused("start\n0.1 0.6 0.1 1\n0 0 0  0 0 50  50 0 0\n", "0\n")


if __name__ == "__main__":
    exit_if_cannot_run()
    unittest.main()

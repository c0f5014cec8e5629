"""End-to-end tests of the command menu in the running program: the dialogue opened with the space
bar and its transcript, the pause it makes, its effect on the ball and the camera, keys that do
nothing, and console input that ends while the menu is open.

Standard input is a pipe held by the test, so typed answers are not echoed: the transcript is the
prompts and the program's lines alone. Standard output is a pipe as well: the frame-rate lines
("\n", not flushed) arrive in blocks, with the next flushed line (a menu line or "collide!"), so
a frame line that arrives says nothing about when it was written, but a flushed line pins down
everything before it.

Needs MINIGOLF_PROGRAM and MINIGOLF_ASSETS in the environment; CTest sets both.
"""

import os
import re
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from minigolf_driver import Minigolf, exit_if_cannot_run  # noqa: E402

PROGRAM = os.environ.get("MINIGOLF_PROGRAM", "")
ASSETS = os.environ.get("MINIGOLF_ASSETS", "")

# Seconds. Every wait is bounded; these are generous for software GL on a loaded machine.
OUTPUT_TIMEOUT = 60.0
# How long the test watches for output that must not come, or for a picture that must not move.
QUIET_TIME = 1.5
# Seconds spent in the menu before "exit". A first frame that carried them would print 0 (the
# rate of any frame of a second or more), so this must stay above one second.
MENU_TIME = 2.0
# Between two screenshots of a running program: the camera turns 0.01 radian per frame, so even
# a few frames move the picture.
RUNNING_GAP = 0.5

INTRODUCTION = (
    "From here you may specify program parameters.  You may type\n"
    "'help' to see a list of commands or 'exit' to resume execution\n"
    "\n"
)
PROMPT = "Command: "
RESUMING = "\n\nResuming Simulation...\n\n\n"

# What the answers sent below make the menu write, prompts without line ends since the input is
# not echoed. The ball is put at rest in free space above the middle of the lane and the camera
# is aimed at it; the triangle's answers are the x value on the x axis, then x and z in the plane.
DIALOGUE_INPUT = "ball\n0\n5\n0\n0 0 0\ncamera 10 10 10 0 5 0\ntriangle\n5\n2\n3\nhelp\n"
DIALOGUE_TRANSCRIPT = (
    INTRODUCTION + "Command: \n\nBall position...\nx: y: z: Ball velocity...\nx: y: z: \n\n"
    "Command: \n\nCamera position...\nx: y: z: Camera target...\nx: y: z: \n\n"
    "Command: \n\nVertex on x axis...\nxValue: Vertex in positive xz plane...\n"
    "xValue: zValue: \n\nNew vertices...\nv0: 0, 0, 0\nv1: 2, 0, 3\nv2: 5, 0, 0\n\n\n"
    "Command: \n\n"
    "ball      -    This command allows you to reset the ball's position\n"
    "               and velocity.\n"
    "triangle  -    This command allows you to change the shape of the\n"
    "               triangle.  It must remain in standard orientation.\n"
    "camera    -    This command allows you to change the position and\n"
    "               target of the world camera.\n"
    "exit      -    Exits the command menu and resumes the simulation.\n"
    "\n"
    "Command: "
)

INPUT_ENDED = "console input has ended; leaving the command menu\n"
CANNOT_OPEN = "console input has ended; the command menu cannot be opened\n"

# The ball seen from the orbit, about 41 units away, is a disc of about 7 pixels in radius; aimed
# at, it sits on the middle of the 600 x 400 picture. Its texture is off-white with grey dimples
# and a red band, so most but not all of the middle disc is bright grey. The white flag pole, the
# only other bright grey thing, is a stripe of 2 or 3 pixels and cannot fill half of it.
PICTURE_MIDDLE = (300.0, 200.0)
BALL_DISC_RADIUS = 5.0
BALL_DISC_SHARE = 0.5
BALL_MIN_CHANNEL = 150
BALL_MAX_SPREAD = 40

FRAME_LINE = re.compile(r"[0-9]+")


def need_program(test):
    if not PROGRAM or not os.path.exists(PROGRAM):
        test.fail(f"MINIGOLF_PROGRAM does not name the built program: {PROGRAM!r}")
    if not ASSETS or not os.path.exists(os.path.join(ASSETS, "clobox.txt")):
        test.fail(f"MINIGOLF_ASSETS holds no clobox.txt: {ASSETS!r}")


def running_lines(test, text):
    """The complete lines of output written while the program runs (frame rates and "collide!"),
    as (rates, collisions); fails the test on any other line. A last line without its line end is
    still on its way and left out."""
    rates = []
    collisions = 0
    for line in text.split("\n")[:-1]:
        if line == "collide!":
            collisions += 1
        elif FRAME_LINE.fullmatch(line):
            rates.append(int(line))
        else:
            test.fail(f"{line!r} among the frame lines:\n{text}")
    return rates, collisions


def changed_pixels(first, second):
    return sum(a != b for a, b in zip(first.pixels(), second.pixels()))


def ball_share_in_middle(image):
    """The share of the picture's middle disc that looks like the ball."""
    centre_x, centre_y = PICTURE_MIDDLE
    reach = int(BALL_DISC_RADIUS) + 1
    inside = bright = 0
    for y in range(int(centre_y) - reach, int(centre_y) + reach):
        for x in range(int(centre_x) - reach, int(centre_x) + reach):
            if (x + 0.5 - centre_x) ** 2 + (y + 0.5 - centre_y) ** 2 > BALL_DISC_RADIUS**2:
                continue
            inside += 1
            pixel = image.pixel(x, y)
            if min(pixel) >= BALL_MIN_CHANNEL and max(pixel) - min(pixel) <= BALL_MAX_SPREAD:
                bright += 1
    return bright / inside


class MenuTestCase(unittest.TestCase):
    def setUp(self):
        need_program(self)

    def start(self):
        run = Minigolf(PROGRAM, ASSETS)
        self.addCleanup(run.close)
        run.start()
        return run, run.window()

    def assert_running_picture(self, window):
        """Two screenshots a moment apart differ: frames are being drawn. Returns both."""
        first = window.screenshot()
        time.sleep(RUNNING_GAP)
        second = window.screenshot()
        self.assertGreater(changed_pixels(first, second), 0, "the picture stands still")
        return first, second

    def open_menu(self, run, window, start):
        """Presses the space bar and waits for the introduction and the first prompt after
        character `start`; returns where the introduction begins."""
        window.press("space")
        run.stdout.wait_for_text(INTRODUCTION + PROMPT, OUTPUT_TIMEOUT, start)
        return run.stdout.text().index(INTRODUCTION, start)

    def wait_for_frames_between_bounces(self, run, start):
        """Waits for frame lines between two "collide!" lines that arrive after character
        `start`, and fails without them. Each "collide!" is flushed as it is written, so these
        frames were drawn after the first of the two had arrived. (Bounces in one frame, as in a
        corner, come without frame lines between them, so the wait goes on to a later one.)"""
        marker = "collide!\n"

        def between(text):
            first = text.find(marker, start)
            last = text.rfind(marker, start)
            if first < 0 or last == first:
                return ""
            return text[first + len(marker) : last]

        run.stdout.wait_for(lambda t: FRAME_LINE.search(between(t)) is not None, OUTPUT_TIMEOUT)


class MenuDialogueTest(MenuTestCase):
    """The space bar stops the program for the dialogue; "ball", "camera", "triangle" and "help"
    write exactly their texts and take effect; "exit" resumes without simulating the wait."""

    def test_dialogue_pauses_and_resumes(self):
        run, window = self.start()
        self.assert_running_picture(window)

        menu = self.open_menu(run, window, 0)
        before_menu = run.stdout.text()[:menu]
        self.assertTrue(before_menu.endswith("\n"), "frame lines flushed with the menu are whole")
        opened = window.screenshot()
        time.sleep(QUIET_TIME)
        # While the menu waits for a command nothing is drawn or written: a frame line written now
        # would come out with the next flushed prompt, so none may come at all.
        self.assertEqual(run.stdout.text()[menu:], INTRODUCTION + PROMPT)
        self.assertEqual(changed_pixels(opened, window.screenshot()), 0, "a frame while waiting")

        errors = run.stderr.text()
        self.assertTrue(run.send(DIALOGUE_INPUT))
        run.stdout.wait_for_text(DIALOGUE_TRANSCRIPT, OUTPUT_TIMEOUT, menu)
        time.sleep(MENU_TIME)
        # The prompts are flushed, so frames drawn between the commands would lie among them.
        self.assertEqual(run.stdout.text()[menu:], DIALOGUE_TRANSCRIPT)
        self.assertEqual(changed_pixels(opened, window.screenshot()), 0, "a frame in the menu")
        self.assertEqual(run.stderr.text(), errors, "every answer was readable")

        self.assertTrue(run.send("exit\n"))
        resumed = run.stdout.wait_for_text(RESUMING, OUTPUT_TIMEOUT, menu)
        self.assertEqual(run.stdout.text()[menu:resumed], DIALOGUE_TRANSCRIPT + RESUMING)

        # The ball rests at (0, 5, 0) and the camera, back on its orbit, looks at it: the picture
        # turns around the ball, which stays in its middle.
        for shot in self.assert_running_picture(window):
            self.assertGreaterEqual(ball_share_in_middle(shot), BALL_DISC_SHARE, "the ball")

        # The next menu flushes the frame lines written since "exit".
        again = self.open_menu(run, window, resumed)
        rates, collisions = running_lines(self, run.stdout.text()[resumed:again])
        self.assertGreater(len(rates), 0, "no frame after exit")
        self.assertEqual(collisions, 0, "a ball at rest in free space touches nothing")
        # A first frame that counted the seconds in the menu would be more than one second long.
        self.assertGreater(rates[0], 0, "the first frame after exit carried the time in the menu")


class OtherKeysTest(MenuTestCase):
    """Keys other than the space bar neither open the menu nor stop the frames."""

    KEYS = ("a", "x", "Return", "Escape", "h", "e")

    def test_other_keys_do_nothing(self):
        run, window = self.start()
        # A first bounce shows that the program is under way.
        before_keys = run.stdout.wait_for_text("collide!\n", OUTPUT_TIMEOUT)
        errors = run.stderr.text()
        for key in self.KEYS:
            window.press(key)
        # Still drawing half a second later, long after the keys were handled between frames.
        self.assert_running_picture(window)
        # The ball starts fast in a closed room, so it keeps bouncing; frame lines between two
        # bounces that arrive from now on were written after the keys.
        after_keys = len(run.stdout.text())
        self.wait_for_frames_between_bounces(run, after_keys)
        time.sleep(QUIET_TIME)
        # Nothing but frame lines and bounces: no menu text and no prompt.
        running_lines(self, run.stdout.text()[before_keys:])
        self.assertEqual(run.stderr.text(), errors)

        # The space bar still works, so the keys above did reach the window.
        self.open_menu(run, window, before_keys)
        self.assertTrue(run.send("exit\n"))
        run.stdout.wait_for_text(RESUMING, OUTPUT_TIMEOUT, before_keys)


class ClosedInputTest(MenuTestCase):
    """Console input that ends while the menu is open, even in the middle of a command, closes the
    menu and lets the program go on; the space bar then only says that the menu cannot open."""

    def test_input_ends_in_the_menu(self):
        run, window = self.start()
        menu = self.open_menu(run, window, 0)
        # Two of the ball's three coordinates, then the end of input: a command cut short.
        self.assertTrue(run.send("ball 0 5"))
        run.close_stdin()
        transcript = INTRODUCTION + PROMPT + "\n\nBall position...\nx: y: z: \n\n"
        left = run.stdout.wait_for_text(transcript, OUTPUT_TIMEOUT, menu)
        self.assertEqual(run.stdout.text()[menu:left], transcript)
        run.stderr.wait_for_text(INPUT_ENDED, OUTPUT_TIMEOUT)

        # Frames resume, and the ball, untouched by the cut-short command, still bounces.
        self.assert_running_picture(window)
        self.wait_for_frames_between_bounces(run, left)

        window.press("space")
        run.stderr.wait_for_text(CANNOT_OPEN, OUTPUT_TIMEOUT)
        self.assert_running_picture(window)
        # At most one bounce written before the press can still be on its way; two that arrive
        # from now on mean the ball went on moving after the press.
        self.wait_for_frames_between_bounces(run, len(run.stdout.text()))
        self.assertTrue(run.running())

        stdout = run.stdout.text()
        self.assertEqual(stdout.count(INTRODUCTION), 1, "the menu opened again")
        running_lines(self, stdout[left:])
        menu_complaints = [line for line in run.stderr.text().splitlines() if "console" in line]
        self.assertEqual(menu_complaints, [INPUT_ENDED.rstrip("\n"), CANNOT_OPEN.rstrip("\n")])


if __name__ == "__main__":
    exit_if_cannot_run()
    unittest.main()

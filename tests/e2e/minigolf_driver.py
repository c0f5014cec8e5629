"""Runs the real `minigolf` program for end-to-end tests.

A session gives the program a working directory of its own (a copy of the bundled assets, with
any file replaced or left out), its own virtual X server, a standard-input pipe held by the test,
and readers of standard output and standard error that collect everything in the background, so
that every wait has a timeout and nothing can block the test. The window is found by the
program's process id and its title, screenshots come from ImageMagick's `import`, and keys are
sent with xdotool.

Each session starts a private Xvfb (the display number is chosen by the server through
-displayfd), so tests that run in parallel never see, cover or type into each other's windows.
Setting MINIGOLF_E2E_SHARED_DISPLAY=1 uses the display in DISPLAY instead.

Standard output is a pipe, so the program's stdio buffers it: the flushed banner arrives at once,
the unflushed frame-rate lines in blocks of a few kilobytes. Wait for text with `wait_for`.
"""

import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

WINDOW_TITLE = "Avast ye quellmoor, plunder yon landlubbers off the port beam"
BANNER = (
    "Welcome to the Quellmoor minigolf collision\n"
    "prototype.  At any time during the execution of this prototype,\n"
    "press the space bar to stop execution and reset the program\n"
    "parameters.\n"
    "\n"
    "\n"
)
ASSET_FILES = ("clobox.txt", "ball.tga")

# Seconds. Generous, since software GL on a loaded machine is slow; every wait is bounded.
START_TIMEOUT = 20.0
EXIT_TIMEOUT = 20.0
TOOL_TIMEOUT = 20.0


# Exit status of a test script that cannot run here; CTest counts it as skipped (the e2e tests'
# SKIP_RETURN_CODE).
SKIPPED_STATUS = 77
# The X tools a session uses: window queries, key presses, screenshots.
X_TOOLS = (("xdotool", "xdotool"), ("xwininfo", "x11-utils"), ("import", "imagemagick"))


def missing_requirements():
    """Why the end-to-end tests cannot run on this machine, or None when they can. They need an
    X server binary for their private displays (or, with MINIGOLF_E2E_SHARED_DISPLAY=1 or no
    Xvfb, a display in DISPLAY) and the X tools, but no display of their own."""
    shared = os.environ.get("MINIGOLF_E2E_SHARED_DISPLAY") == "1"
    if (shared or not shutil.which("Xvfb")) and not os.environ.get("DISPLAY"):
        if shared:
            return "MINIGOLF_E2E_SHARED_DISPLAY=1 asks for the display in DISPLAY, which is not set"
        return "no X server: Xvfb (Debian package xvfb) is not installed and DISPLAY is not set"
    missing = [f"{tool} (Debian package {package})" for tool, package in X_TOOLS
               if not shutil.which(tool)]
    if missing:
        return "missing X tools: " + ", ".join(missing)
    return None


def exit_if_cannot_run():
    """Ends a test script with SKIPPED_STATUS, saying why, when the tests cannot run here."""
    why = missing_requirements()
    if why is not None:
        print(f"skipped: {why}. tools/install-deps.sh installs what the end-to-end tests need "
              "(./test.sh runs it).", file=sys.stderr)
        sys.exit(SKIPPED_STATUS)


class E2eError(AssertionError):
    """A wait that ran out or a tool that failed; carries what the program said so far."""


def _run_tool(args, env, timeout=TOOL_TIMEOUT, binary=False):
    """Runs an X tool to completion and returns its standard output (text unless binary)."""
    try:
        done = subprocess.run(
            args, env=env, stdin=subprocess.DEVNULL, capture_output=True, timeout=timeout
        )
    except subprocess.TimeoutExpired:
        raise E2eError(f"{args[0]} did not finish within {timeout} s") from None
    if done.returncode != 0:
        raise E2eError(
            f"{' '.join(args)} failed ({done.returncode}): "
            f"{done.stderr.decode(errors='replace').strip()}"
        )
    return done.stdout if binary else done.stdout.decode(errors="replace")


class StreamReader:
    """Collects one output stream of the program in a background thread."""

    def __init__(self, stream):
        self._stream = stream
        self._data = bytearray()
        self._closed = False
        self._condition = threading.Condition()
        self._thread = threading.Thread(target=self._collect, daemon=True)
        self._thread.start()

    def _collect(self):
        fd = self._stream.fileno()
        while True:
            try:
                chunk = os.read(fd, 65536)
            except OSError:
                chunk = b""
            with self._condition:
                if not chunk:
                    self._closed = True
                    self._condition.notify_all()
                    return
                self._data.extend(chunk)
                self._condition.notify_all()

    def text(self):
        """Everything received so far, decoded."""
        with self._condition:
            return self._data.decode(errors="replace")

    @property
    def closed(self):
        with self._condition:
            return self._closed

    def wait_for(self, condition, timeout):
        """Waits until condition(text so far) is true; returns that text. Raises E2eError when
        the time runs out or the stream ends first."""
        deadline = time.monotonic() + timeout
        with self._condition:
            while True:
                text = self._data.decode(errors="replace")
                if condition(text):
                    return text
                if self._closed:
                    raise E2eError(f"the stream ended before the awaited text; it held:\n{text}")
                remaining = deadline - time.monotonic()
                if remaining <= 0:
                    raise E2eError(f"no awaited text within {timeout} s; received:\n{text}")
                self._condition.wait(remaining)

    def wait_for_text(self, fragment, timeout, start=0):
        """Waits for `fragment` at or after character position `start`; returns the position
        just past it."""
        text = self.wait_for(lambda t: t.find(fragment, start) >= 0, timeout)
        return text.find(fragment, start) + len(fragment)

    def wait_closed(self, timeout):
        deadline = time.monotonic() + timeout
        with self._condition:
            while not self._closed:
                remaining = deadline - time.monotonic()
                if remaining <= 0:
                    return False
                self._condition.wait(remaining)
            return True


class XServer:
    """A private Xvfb, or the shared display from DISPLAY."""

    def __init__(self):
        self._process = None
        if os.environ.get("MINIGOLF_E2E_SHARED_DISPLAY") == "1" or not shutil.which("Xvfb"):
            if not os.environ.get("DISPLAY"):
                raise E2eError("no X server: Xvfb is not installed and DISPLAY is not set")
            self.display = os.environ["DISPLAY"]
            return
        read_end, write_end = os.pipe()
        # -noreset: a server whose last client leaves (the program, when a test ends it) resets
        # and re-creates its listening sockets. A display chosen through -displayfd has no lock
        # file, so that re-creation races with a server starting beside it, whose first client
        # then may fail to connect ("failed to open display"): about one start in eight with two
        # sessions side by side.
        try:
            self._process = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
                 "-nolisten", "tcp", "-noreset"],
                pass_fds=(write_end,),
                stdin=subprocess.DEVNULL,
                stdout=subprocess.DEVNULL,
                stderr=subprocess.DEVNULL,
                start_new_session=True,
            )
        finally:
            os.close(write_end)
        try:
            number = self._read_display_number(read_end)
        finally:
            os.close(read_end)
        if number is None:
            self.close()
            raise E2eError("the private Xvfb did not report a display number")
        self.display = f":{number}"

    @staticmethod
    def _read_display_number(fd):
        deadline = time.monotonic() + START_TIMEOUT
        received = b""
        while not received.endswith(b"\n"):
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                return None
            ready, _, _ = select.select([fd], [], [], remaining)
            if not ready:
                return None
            chunk = os.read(fd, 64)
            if not chunk:
                return None
            received += chunk
        text = received.decode().strip()
        return int(text) if text.isdigit() else None

    def environment(self):
        env = dict(os.environ)
        env["DISPLAY"] = self.display
        env.setdefault("LIBGL_ALWAYS_SOFTWARE", "1")
        return env

    def close(self):
        if self._process is not None:
            _stop(self._process)
            self._process = None


def _stop(process):
    """Ends a child and its process group: politely, then for sure; never waits unbounded."""
    if process.poll() is None:
        try:
            os.killpg(process.pid, signal.SIGTERM)
        except ProcessLookupError:
            pass
        try:
            process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            try:
                os.killpg(process.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            process.wait(timeout=5)


class Image:
    """An RGB screenshot: width, height and rows of (r, g, b) tuples, top row first."""

    def __init__(self, width, height, rgb):
        self.width = width
        self.height = height
        self._rgb = rgb

    def pixel(self, x, y):
        at = 3 * (y * self.width + x)
        return tuple(self._rgb[at : at + 3])

    def pixels(self):
        rgb = self._rgb
        return [tuple(rgb[at : at + 3]) for at in range(0, len(rgb), 3)]

    @staticmethod
    def from_ppm(data):
        """Parses a binary PPM (P6, maximum 255) as ImageMagick writes it."""
        fields = []
        at = 0
        while len(fields) < 4:
            while at < len(data) and data[at : at + 1].isspace():
                at += 1
            if data[at : at + 1] == b"#":
                at = data.index(b"\n", at) + 1
                continue
            end = at
            while end < len(data) and not data[end : end + 1].isspace():
                end += 1
            fields.append(data[at:end])
            at = end
        if fields[0] != b"P6" or fields[3] != b"255":
            raise E2eError(f"not an 8-bit binary PPM: {fields}")
        width, height = int(fields[1]), int(fields[2])
        rgb = data[at + 1 : at + 1 + 3 * width * height]
        if len(rgb) != 3 * width * height:
            raise E2eError("the PPM screenshot is cut short")
        return Image(width, height, rgb)


class Window:
    """The program's window on the session's X server."""

    def __init__(self, window_id, env):
        self.id = window_id
        self._env = env

    def title(self):
        return _run_tool(["xdotool", "getwindowname", self.id], self._env).rstrip("\n")

    def position(self):
        """(x, y) of the window's top-left corner on the screen."""
        info = _run_tool(["xwininfo", "-id", self.id], self._env)
        x = re.search(r"Absolute upper-left X:\s*(-?\d+)", info)
        y = re.search(r"Absolute upper-left Y:\s*(-?\d+)", info)
        if not x or not y:
            raise E2eError(f"xwininfo gave no position:\n{info}")
        return int(x.group(1)), int(y.group(1))

    def move_onto_screen(self, timeout=START_TIMEOUT):
        """Puts the window at the screen's top-left corner. Without a window manager GLUT's
        default position (-1, -1) is taken literally, and a screenshot would lose the edge
        pixels that lie off the screen."""
        _run_tool(["xdotool", "windowmove", self.id, "0", "0"], self._env)
        deadline = time.monotonic() + timeout
        while self.position() != (0, 0):
            if time.monotonic() > deadline:
                raise E2eError(f"the window stays at {self.position()}, not (0, 0)")
            time.sleep(0.05)

    def size(self):
        """(width, height) of the drawable area, in pixels."""
        info = _run_tool(["xwininfo", "-id", self.id], self._env)
        width = re.search(r"^\s*Width:\s*(\d+)", info, re.MULTILINE)
        height = re.search(r"^\s*Height:\s*(\d+)", info, re.MULTILINE)
        if not width or not height:
            raise E2eError(f"xwininfo gave no size:\n{info}")
        return int(width.group(1)), int(height.group(1))

    def screenshot(self, save_as=None):
        """The window's current contents; also written to `save_as` (any ImageMagick format)."""
        data = _run_tool(
            ["import", "-window", self.id, "-depth", "8", "ppm:-"], self._env, binary=True
        )
        if save_as is not None:
            _run_tool(["import", "-window", self.id, str(save_as)], self._env)
        return Image.from_ppm(data)

    def press(self, key):
        """Sends one key press and release (an X keysym name such as "space") to the window."""
        _run_tool(["xdotool", "key", "--window", self.id, key], self._env)


class Minigolf:
    """One run of the program; use as a context manager so that it is always ended.

    files: name -> content (str or bytes) to write into the working directory, or None to leave
    that file out; every other file of ASSET_FILES is copied from assets_dir.
    """

    def __init__(self, program, assets_dir, files=None):
        self.program = os.path.abspath(program)
        self.files = dict(files or {})
        self.assets_dir = assets_dir
        self.workdir = None
        self.process = None
        self.stdout = None
        self.stderr = None
        self._x = None

    def __enter__(self):
        try:
            self.start()
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, *exc):
        self.close()

    def start(self):
        self.workdir = tempfile.mkdtemp(prefix="minigolf-e2e-")
        for name in ASSET_FILES:
            source = os.path.join(self.assets_dir, name)
            if name not in self.files and os.path.exists(source):
                shutil.copy(source, self.workdir)
        for name, content in self.files.items():
            if content is None:
                continue
            mode = "wb" if isinstance(content, bytes) else "w"
            with open(os.path.join(self.workdir, name), mode) as out:
                out.write(content)
        self._x = XServer()
        self.env = self._x.environment()
        self.process = subprocess.Popen(
            [self.program],
            cwd=self.workdir,
            env=self.env,
            stdin=subprocess.PIPE,
            stdout=subprocess.PIPE,
            stderr=subprocess.PIPE,
            start_new_session=True,
        )
        self.stdout = StreamReader(self.process.stdout)
        self.stderr = StreamReader(self.process.stderr)

    def send(self, text):
        """Writes text to the program's standard input at once. False once the program has
        closed its end."""
        try:
            self.process.stdin.write(text.encode())
            self.process.stdin.flush()
            return True
        except (BrokenPipeError, ValueError):
            return False

    def close_stdin(self):
        try:
            self.process.stdin.close()
        except BrokenPipeError:
            pass

    def wait_exit(self, timeout=EXIT_TIMEOUT):
        """The exit status, after the output streams have been read to their end."""
        try:
            status = self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise E2eError(
                f"the program did not end within {timeout} s; stdout:\n{self.stdout.text()}"
            ) from None
        self.stdout.wait_closed(timeout)
        self.stderr.wait_closed(timeout)
        return status

    def running(self):
        return self.process.poll() is None

    def window(self, timeout=START_TIMEOUT):
        """The program's window, once it is mapped."""
        deadline = time.monotonic() + timeout
        pattern = "^" + re.escape(WINDOW_TITLE) + "$"
        while True:
            if not self.running():
                raise E2eError(
                    f"the program ended ({self.process.returncode}) before its window was "
                    f"found; stderr:\n{self.stderr.text()}"
                )
            found = subprocess.run(
                ["xdotool", "search", "--onlyvisible", "--name", pattern],
                env=self.env,
                stdin=subprocess.DEVNULL,
                capture_output=True,
                timeout=TOOL_TIMEOUT,
            )
            ids = found.stdout.decode().split()
            if len(ids) == 1:
                window = Window(ids[0], self.env)
                window.move_onto_screen()
                return window
            if len(ids) > 1:
                raise E2eError(f"several windows titled like the program's: {ids}")
            if time.monotonic() > deadline:
                raise E2eError(f"no window titled {WINDOW_TITLE!r} within {timeout} s")
            time.sleep(0.1)

    def close(self):
        """Ends the program and the X server and removes the working directory."""
        if self.process is not None:
            if self.process.stdin and not self.process.stdin.closed:
                try:
                    self.process.stdin.close()
                except BrokenPipeError:
                    pass
            _stop(self.process)
            # The readers see the end of their pipes once the program is gone.
            for reader in (self.stdout, self.stderr):
                if reader is not None:
                    reader.wait_closed(5)
            for stream in (self.process.stdout, self.process.stderr):
                if stream:
                    stream.close()
            self.process = None
        if self._x is not None:
            self._x.close()
            self._x = None
        if self.workdir is not None:
            shutil.rmtree(self.workdir, ignore_errors=True)
            self.workdir = None


def course_boxes(text):
    """The boxes of a course file as (colour, triangle count) pairs, read independently of the
    program: "start", four colour numbers, nine numbers per triangle, up to the first "end"."""
    words = text.split()
    boxes = []
    at = 0
    while at < len(words) and words[at] != "end":
        if words[at] != "start":
            raise ValueError(f"word {at} of the course is {words[at]!r}, not start or end")
        colour = tuple(float(word) for word in words[at + 1 : at + 5])
        at += 5
        numbers = 0
        while at < len(words) and words[at] not in ("start", "end"):
            numbers += 1
            at += 1
        if numbers % 9 != 0:
            raise ValueError(f"box {len(boxes)} holds {numbers} coordinates, not 9 per triangle")
        boxes.append((colour, numbers // 9))
    return boxes

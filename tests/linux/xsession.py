"""A virtual X display of its own for each Linux end-to-end test file, and the programs the
tests run on it. Python's standard library and the tests' shared support.

* Xvfb picks a free display number itself and tells it through -displayfd once it accepts
  connections; nothing guesses a number from lock files.
* The root window gets the Wine session's desktop colour, which is in neither picture and is
  not black, so "drawn here", "blackened here" and "untouched" can be told apart.
* Every process a test starts is ended at its clean-up, failed or not, and each program's
  standard error is kept in a log under the artifacts folder.
"""

import contextlib
import os
import queue
import signal
import subprocess
import tempfile
import threading
import time
import unittest

from frames import MEMORY_FRAME, blocks, differences, memory_frame  # noqa: F401  (the Linux tests' names)
from screen import BLACK, CORAVENDIA_BACKGROUND, DESKTOP_COLOUR, DESKTOP_RGB, Screenshot  # noqa: F401
from waiting import HarnessError, scaled, wait_until  # noqa: F401
from xserver import XDisplay, end_process  # noqa: F401  (the Linux tests' names)

PROGRAM = os.environ.get("ROLVANTA_PROGRAM", "")
XTOOL = os.environ.get("ROLVANTA_XTOOL", "")
BUILD_DIR = os.environ.get("ROLVANTA_BUILD_DIR", "")
ARTIFACTS = os.environ.get("ROLVANTA_ARTIFACTS") or os.path.join(tempfile.gettempdir(), "rolvanta-linux-artifacts")

CORAVENDIA_SIZE = (168, 110)
VALTORNE_SIZE = (179, 100)


class Program:
    """A program on the display, its standard output read line by line on a thread."""

    def __init__(self, display, argv, name, env=None):
        self.argv = [str(a) for a in argv]
        self.log_path = os.path.join(ARTIFACTS, name + ".log")
        self.log = open(self.log_path, "wb")
        self.process = subprocess.Popen(self.argv, env=env or display.env(), stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=self.log)
        self.lines = queue.Queue()
        self.seen = []
        threading.Thread(target=self._pump, daemon=True).start()

    def _pump(self):
        for raw in iter(self.process.stdout.readline, b""):
            self.lines.put(raw.decode("latin-1").rstrip("\n"))
        self.lines.put(None)

    def line(self, predicate, timeout, what):
        timeout = scaled(timeout)
        deadline = time.monotonic() + timeout
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                raise AssertionError("timed out after %.0f s waiting for %s (seen %r)" % (timeout, what, self.seen))
            try:
                line = self.lines.get(timeout=left)
            except queue.Empty:
                continue
            if line is None:
                self.lines.put(None)
                raise AssertionError("%s ended (%s) before %s (seen %r; log %s)"
                                     % (self.argv[0], self.process.poll(), what, self.seen, self.stderr()))
            self.seen.append(line)
            if predicate(line):
                return line

    def say(self, text):
        self.process.stdin.write((text + "\n").encode())
        self.process.stdin.flush()

    def running(self):
        return self.process.poll() is None

    def end(self, sig=signal.SIGTERM, timeout=30):
        """Sends the signal and returns the exit status."""
        if self.process.poll() is None:
            self.process.send_signal(sig)
        return self.process.wait(timeout=scaled(timeout))

    def stderr(self):
        self.log.flush()
        with open(self.log_path, "rb") as f:
            return f.read().decode(errors="replace")

    def close(self):
        """Ends the program whatever state it is in; idempotent."""
        if self.process.poll() is None:
            with contextlib.suppress(OSError):
                self.process.stdin.close()
            with contextlib.suppress(OSError):
                self.process.terminate()
            end_process(self.process)
        for pipe in (self.process.stdin, self.process.stdout):
            with contextlib.suppress(OSError):
                pipe.close()
        self.log.close()


class TestWindow(Program):
    """A plain window of one colour made by rolvanta_xtool, for the show to draw in."""

    def __init__(self, display, width, height, x, y, rgb=(200, 200, 200), name="window"):
        colour = "%02x%02x%02x" % rgb if rgb else "input-only"  # None: a window nothing can draw on
        super().__init__(display, [XTOOL, "window", width, height, x, y, colour], name)
        self.id = int(self.line(lambda l: l.startswith("window "), 30, "the test window").split()[1], 16)
        self.box = (x, y, x + width, y + height)

    def resize(self, width, height):
        self.say("resize %d %d" % (width, height))
        self.line(lambda l: l == "ok", 30, "the resize")
        self.box = (self.box[0], self.box[1], self.box[0] + width, self.box[1] + height)


class LinuxTestCase(unittest.TestCase):
    """A display per test class; programs started with start() are ended at each test's end."""

    WIDTH = 640
    HEIGHT = 480

    @classmethod
    def setUpClass(cls):
        cls.display = XDisplay(cls.WIDTH, cls.HEIGHT, ARTIFACTS).start()

    @classmethod
    def tearDownClass(cls):
        cls.display.stop()

    def start(self, argv, name="rolvanta", env=None):
        program = Program(self.display, argv, name, env=env)
        self.addCleanup(program.close)
        return program

    def rolvanta(self, *options, name="rolvanta", env=None):
        return self.start([PROGRAM] + list(options), name=name, env=env)

    def window(self, width, height, x, y, rgb=(200, 200, 200)):
        window = TestWindow(self.display, width, height, x, y, rgb)
        self.addCleanup(window.close)
        return window

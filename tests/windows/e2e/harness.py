"""The end-to-end harness: the real saver under Wine on a virtual X display.

A *session* is one Xvfb display, one Wine prefix with its persistent wineserver, and one HOME,
all under a folder of the build tree. CTest creates it once per run (`harness.py start`) and
removes it at the end (`harness.py stop`); every test in between attaches to it with
`Session.load()`. Python's standard library only.

Why the session is set up the way it is:

* Xvfb picks its own free display number and tells it through -displayfd, and only once it
  accepts connections. A number guessed from lock files can be taken by someone else between
  the guess and the start, and Wine started against a display that does not answer loads no
  graphics driver: its desktop process fails ("The explorer process failed to start") and
  every CreateWindowEx of that process fails.
* The wineserver is started with -p (persistent) before wineboot and lives until `stop`.
  Without it the server, and with it the desktop process (explorer), the services and their
  drivers, would shut down a few seconds after each test's last Wine process ended and start
  again with the next one, so every test would pay their start-up and race their shut-down.
* `wineboot -i` creates the prefix and is waited for; then the session checks that a Wine
  process sees the display's true size (which only the X11 driver reports) before any test
  runs, so no test is the first to bring the desktop up.
* Even with a persistent server, Wine closes its desktop process (explorer) about a second
  after the last program that used it has ended, and the next program starts it again. A
  program that starts while the desktop closes can get no display driver from it, and then
  its CreateWindowEx fails: the "window creation fails now and then" of a prefix that is still
  (or again) starting up. An idle probe with a hidden window runs for the whole session, so
  the desktop is started once and stays up.
* There is no window manager on the display. Wine's default "managed" mode then waits up to
  2 s for a window manager to acknowledge every window it unmaps (so a closing saver stays on
  screen 2 s after it decided to close) and never moves the X keyboard focus itself. The
  prefix is set to unmanaged windows ("Managed"="N"): Wine then maps and unmaps at once and
  gives the X focus to the window it activates.
* HOME holds an ~/.asoundrc whose default PCM is an ALSA "file" PCM over the "null" PCM, and
  the prefix names winealsa as its only audio driver, so whatever the saver plays lands in
  the session's sound file, where a test can read it.
* The root window gets a colour that appears in none of the saver's pictures, so that "the
  desktop stays visible behind the rides" and "a black band where the picture passed" can be
  told apart from a black screen.
* A session of two monitors (`start --monitors 2`) has its display made by Xephyr with two
  screens joined by Xinerama, nested in an Xvfb twice as wide: the first screen (the primary
  monitor, at 0,0) on the left, the second on its right. Wine's X11 driver is told not to use
  XRandR, which sees one output only there, and finds the two monitors through Xinerama
  instead; its 32-bit half needs the 32-bit Xinerama library for that, and without it sees one
  monitor. The session does not count as ready until Wine reports both.
* A process started with WINEDEBUG=+relay logs only the calls that RelayInclude names (the
  drawing and sound calls a test may want to see in order); no other process traces anything.
* No just-in-time debugger is configured (the AeDebug "Debugger" value names nothing that can
  start) and winedbg's crash dialog is off: an unhandled fault ends the faulting process
  instead of opening a dialog that would wait for a click nobody gives.
"""

import argparse
import contextlib
import errno
import fcntl
import json
import os
import queue
import shutil
import signal
import subprocess
import sys
import threading
import time
import unittest
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))

SCREEN_WIDTH = 640
SCREEN_HEIGHT = 480
# xsetroot's colour for the root window: in neither model's picture, neither black nor the
# Coravendia background.
DESKTOP_RGB = (46, 139, 87)
DESKTOP_COLOUR = "#2e8b57"

SAVER_CLASS = "WindowsScreenSaverClass"
SAVER_TITLE = "Screen Saver"
PREVIEW_TITLE = "Preview"

# The colour of the probe's window that stands in for whatever a desktop shows: in none of the
# saver's pictures and not the root window's.
STAND_IN_RGB = (70, 130, 180)

CORAVENDIA_BACKGROUND = (16, 16, 16)
BLACK = (0, 0, 0)

# Window messages the tests send.
WM_SETTEXT = 0x000C
WM_KEYDOWN = 0x0100
WM_SYSKEYDOWN = 0x0104
WM_MOUSEMOVE = 0x0200
WM_LBUTTONDOWN = 0x0201
WM_RBUTTONDOWN = 0x0204
WM_MBUTTONDOWN = 0x0207
WM_ACTIVATEAPP = 0x001C
WM_SYSCOMMAND = 0x0112
SC_SCREENSAVE = 0xF140
TEST_FAULT_MESSAGE = 0x8123

EXIT_BAD_COMMAND_LINE = 0xFFFFFFFF  # -1 as the platform's 32-bit exit code
EXCEPTION_ACCESS_VIOLATION = 0xC0000005
KILLED_BY_HARNESS = 0xDEAD  # what the probe passes to TerminateProcess

SESSION_ENV = "ROLVANTA_E2E_SESSION"
ARTIFACTS_ENV = "ROLVANTA_E2E_ARTIFACTS"


class HarnessError(Exception):
    pass


# ---------------------------------------------------------------------------------------------
# Waiting


def wait_until(predicate, timeout, what, interval=0.05):
    """Polls predicate until it returns a true value, which is returned. Fails the test with
    `what` when it has not come true within `timeout` seconds. Time-outs here are generous
    upper bounds on a slow machine, never a claim about speed."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise AssertionError("timed out after %.0f s waiting for %s" % (timeout, what))
        time.sleep(interval)


# ---------------------------------------------------------------------------------------------
# Probe output


def encode(text):
    """Percent-encodes a text for the probe, which decodes it byte for byte."""
    if isinstance(text, str):
        text = text.encode("latin-1")
    return urllib.parse.quote_from_bytes(text, safe="")


def parse_fields(line):
    """'tag k=v k=v' -> {'tag': 'tag', 'k': 'v', ...}; texts are percent-decoded."""
    words = line.split()
    fields = {}
    if words and "=" not in words[0]:
        fields["tag"] = words[0]
        words = words[1:]
    for word in words:
        key, _, value = word.partition("=")
        fields[key] = urllib.parse.unquote(value, encoding="latin-1")
    return fields


class Window:
    """A window as the probe described it."""

    def __init__(self, fields):
        self.fields = fields
        self.hwnd = int(fields["hwnd"], 16)
        self.class_name = fields["class"]
        self.title = fields["title"]
        self.style = int(fields["style"], 16)
        self.exstyle = int(fields["exstyle"], 16)
        self.rect = tuple(int(v) for v in fields["rect"].split(","))
        self.client = tuple(int(v) for v in fields["client"].split(","))
        self.visible = fields["visible"] == "1"
        self.parent = int(fields["parent"], 16)
        self.owner = int(fields["owner"], 16)
        self.pid = int(fields["pid"])
        self.foreground = fields["foreground"] == "1"

    def __repr__(self):
        return "<window 0x%x %r %r pid %d>" % (self.hwnd, self.class_name, self.title, self.pid)


# ---------------------------------------------------------------------------------------------
# Pictures of the screen


class Screenshot:
    """An RGB picture of the X root window."""

    def __init__(self, width, height, data, taken_at):
        self.width = width
        self.height = height
        self.data = data
        self.taken_at = taken_at

    @classmethod
    def from_ppm(cls, blob, taken_at):
        # P6 <w> <h> <max>\n<bytes>; header fields are separated by any whitespace.
        fields = []
        pos = 0
        while len(fields) < 4:
            while blob[pos:pos + 1].isspace():
                pos += 1
            start = pos
            while not blob[pos:pos + 1].isspace():
                pos += 1
            fields.append(blob[start:pos])
        if fields[0] != b"P6" or fields[3] != b"255":
            raise HarnessError("unexpected screenshot format %r" % fields)
        width, height = int(fields[1]), int(fields[2])
        data = blob[pos + 1:pos + 1 + width * height * 3]
        return cls(width, height, data, taken_at)

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.data[i:i + 3])

    def row(self, y, x0=0, x1=None):
        x1 = self.width if x1 is None else x1
        return self.data[(y * self.width + x0) * 3:(y * self.width + x1) * 3]

    def count(self, rgb, box=None):
        """How many pixels of exactly this colour lie in box (x0, y0, x1, y1), end exclusive."""
        x0, y0, x1, y1 = box or (0, 0, self.width, self.height)
        needle = bytes(rgb)
        total = 0
        for y in range(max(0, y0), min(self.height, y1)):
            row = self.row(y, max(0, x0), min(self.width, x1))
            total += sum(1 for i in range(0, len(row), 3) if row[i:i + 3] == needle)
        return total

    def count_matching(self, test, box=None, step=1):
        x0, y0, x1, y1 = box or (0, 0, self.width, self.height)
        total = 0
        for y in range(max(0, y0), min(self.height, y1), step):
            row = self.row(y, max(0, x0), min(self.width, x1))
            for i in range(0, len(row), 3 * step):
                if test(row[i], row[i + 1], row[i + 2]):
                    total += 1
        return total

    def bbox(self, rgb):
        """Bounding box (x0, y0, x1, y1), end exclusive, of the pixels of exactly this colour;
        None when there is none."""
        needle = bytes(rgb)
        x0 = y0 = None
        x1 = y1 = None
        for y in range(self.height):
            row = self.row(y)
            first = -1
            pos = row.find(needle)
            while pos != -1 and pos % 3:
                pos = row.find(needle, pos + 1)
            if pos == -1:
                continue
            first = pos // 3
            last = row.rfind(needle)
            while last != -1 and last % 3:
                last = row.rfind(needle, 0, last + 2)
            last //= 3
            x0 = first if x0 is None else min(x0, first)
            x1 = last + 1 if x1 is None else max(x1, last + 1)
            y0 = y if y0 is None else y0
            y1 = y + 1
        if x0 is None:
            return None
        return (x0, y0, x1, y1)

    def bbox_matching(self, test):
        x0 = y0 = x1 = y1 = None
        for y in range(self.height):
            row = self.row(y)
            for i in range(0, len(row), 3):
                if test(row[i], row[i + 1], row[i + 2]):
                    x = i // 3
                    x0 = x if x0 is None else min(x0, x)
                    x1 = x + 1 if x1 is None else max(x1, x + 1)
                    y0 = y if y0 is None else y0
                    y1 = y + 1
        if x0 is None:
            return None
        return (x0, y0, x1, y1)

    def save(self, path):
        """Saves as PNG (through ImageMagick) so a person can open it."""
        header = b"P6\n%d %d\n255\n" % (self.width, self.height)
        subprocess.run(["convert", "ppm:-", path], input=header + self.data, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=60)
        return path


def is_red(r, g, b):
    """The Valtorne model's paint; the Coravendia picture has almost none of it."""
    return r > 150 and g < 90 and b < 90


# ---------------------------------------------------------------------------------------------
# The session


def _win_path(path):
    """The Windows name of a Unix path under Wine's Z: drive (the whole Unix file system)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Session:
    """A running session, as `start` recorded it in session.json."""

    def __init__(self, info):
        self.info = info
        self.dir = info["dir"]
        self.display = info["display"]
        self.prefix = info["prefix"]
        self.home = info["home"]
        self.sound_file = info["sound_file"]
        self.win32_dir = info["win32_dir"]
        self.width = info["width"]
        self.height = info["height"]
        self.monitors = info.get("monitors", 1)
        # The whole X screen: the monitors side by side.
        self.screen_width = self.width * self.monitors
        self.scr = os.path.join(self.win32_dir, "rolvanta.scr")
        self.faulttest_scr = os.path.join(self.win32_dir, "rolvanta_faulttest.scr")
        self.probe_exe = os.path.join(self.win32_dir, "tests", "windows", "e2e", "win32", "rolvanta_probe.exe")
        self.artifacts = info.get("artifacts") or os.path.join(self.dir, "artifacts")
        self.log_dir = os.path.join(self.dir, "logs")

    # -- attaching

    @classmethod
    def load(cls, directory=None):
        directory = directory or os.environ.get(SESSION_ENV)
        if not directory:
            raise HarnessError("no session: set %s to the folder that `harness.py start` made" % SESSION_ENV)
        path = os.path.join(directory, "session.json")
        try:
            with open(path) as f:
                info = json.load(f)
        except OSError as error:
            raise HarnessError("no session at %s (%s); the setup test must run first" % (directory, error))
        session = cls(info)
        if ARTIFACTS_ENV in os.environ:
            session.artifacts = os.environ[ARTIFACTS_ENV]
        return session

    def env(self, **extra):
        env = dict(os.environ)
        env.update({
            "DISPLAY": ":%d" % self.display,
            "WINEPREFIX": self.prefix,
            "WINEARCH": "win32",
            "HOME": self.home,
            "WINEDEBUG": "-all",
            "WINEDLLOVERRIDES": "mscoree,mshtml=",
            "LANG": "C.UTF-8",
        })
        env.pop("XAUTHORITY", None)
        env.update(extra)
        return env

    def win_path(self, path):
        return _win_path(path)

    def log_path(self, name):
        os.makedirs(self.log_dir, exist_ok=True)
        return os.path.join(self.log_dir, name)

    # -- running things

    def run(self, argv, timeout=60, check=True, input=None):
        # Never the caller's standard input: a Wine console program started with a terminal or
        # an open pipe there was seen to hang.
        result = subprocess.run(argv, env=self.env(), stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                input=input, stdin=None if input is not None else subprocess.DEVNULL,
                                timeout=timeout)
        if check and result.returncode != 0:
            raise HarnessError("%s failed with %d: %s" % (" ".join(argv), result.returncode,
                                                          result.stderr.decode(errors="replace")[-2000:]))
        return result

    def probe(self, *args, timeout=60):
        """Runs one probe subcommand and returns its output lines as field dictionaries."""
        result = self.run(["wine", self.probe_exe] + [str(a) for a in args], timeout=timeout, check=False)
        lines = result.stdout.decode("latin-1").splitlines()
        return [parse_fields(line) for line in lines if line.strip()]

    def find_windows(self, class_name=SAVER_CLASS, title=SAVER_TITLE, timeout_ms=0):
        lines = self.probe("find", encode(class_name or "-"), encode(title or "-"), timeout_ms)
        return [Window(f) for f in lines if f.get("tag") == "window"]

    def window_info(self, hwnd):
        lines = self.probe("info", hex(hwnd))
        for fields in lines:
            if fields.get("tag") == "window":
                return Window(fields)
        return None

    def foreground(self):
        for fields in self.probe("foreground"):
            if fields.get("tag") == "window":
                return Window(fields)
        return None

    def send(self, hwnd, message, wparam=0, lparam=0):
        fields = self.probe("send", hex(hwnd), hex(message), wparam, lparam)[-1]
        if fields.get("ok") != "1":
            raise AssertionError("SendMessageTimeout to 0x%x failed: %r" % (hwnd, fields))
        return int(fields["result"])

    def post(self, hwnd, message, wparam=0, lparam=0):
        fields = self.probe("post", hex(hwnd), hex(message), wparam, lparam)[-1]
        return fields.get("posted") == "1"

    def monitor_rects(self):
        """The monitors as Wine reports them: [(left, top, right, bottom, primary), ...]."""
        return [tuple(int(v) for v in f["rect"].split(",")) + (f["primary"] == "1",)
                for f in self.probe("monitors") if f.get("tag") == "monitor"]

    def close_all_savers(self):
        """Ends every process that owns a saver window (whatever a failed test left)."""
        return self.probe("close-all", encode(SAVER_CLASS))

    def cursor(self):
        fields = self.probe("cursor")[-1]
        return int(fields["x"]), int(fields["y"]), int(fields["handle"], 16)

    # -- X input and output

    def xdotool(self, *args):
        self.run(["xdotool"] + [str(a) for a in args], timeout=30)

    def x_pointer(self):
        out = self.run(["xdotool", "getmouselocation", "--shell"], timeout=30).stdout.decode()
        values = dict(line.split("=", 1) for line in out.split() if "=" in line)
        return int(values["X"]), int(values["Y"])

    def place_pointer(self, x, y):
        """Puts the X pointer at (x, y) with a real motion, and waits until Wine reports it
        there too. Xvfb starts with the pointer in the middle of the screen, and a mousemove
        to where the pointer already is sends no event at all; moving away first makes sure
        the X server has moved the pointer (and told whichever Wine window is under it) before
        a saver reads its start position."""
        self.xdotool("mousemove", x + 37 if x + 37 < self.screen_width else x - 37, y)
        self.xdotool("mousemove", x, y)
        wait_until(lambda: self.x_pointer() == (x, y), 10, "the X pointer to reach %d,%d" % (x, y))
        wait_until(lambda: self.cursor()[:2] == (x, y), 20, "Wine's cursor position to read %d,%d" % (x, y))

    def screenshot(self):
        taken_at = time.monotonic()
        blob = self.run(["import", "-window", "root", "-depth", "8", "ppm:-"], timeout=60).stdout
        return Screenshot.from_ppm(blob, taken_at)

    def save_artifact(self, shot, name):
        os.makedirs(self.artifacts, exist_ok=True)
        path = os.path.join(self.artifacts, name)
        shot.save(path)
        print("screenshot: %s" % path, flush=True)
        return path

    # -- settings and sound

    @property
    def control_ini(self):
        return os.path.join(self.prefix, "drive_c", "windows", "control.ini")

    def write_settings(self, **values):
        """Writes control.ini with the section the saver reads and only the keys given
        (Sound=1, Speed=15, ...); None writes no settings file at all."""
        path = self.control_ini
        if not values:
            with contextlib.suppress(FileNotFoundError):
                os.remove(path)
            return
        lines = ["[ScreenSaver.Rolvanta]"] + ["%s=%s" % (k, v) for k, v in values.items()]
        with open(path, "w", newline="\r\n") as f:
            f.write("\n".join(lines) + "\n")

    def clear_sound(self):
        with contextlib.suppress(FileNotFoundError):
            os.remove(self.sound_file)

    def sound_bytes(self):
        """What the ALSA file PCM has received since clear_sound(): the audible part, i.e.
        the bytes that are not digital silence."""
        try:
            with open(self.sound_file, "rb") as f:
                data = f.read()
        except FileNotFoundError:
            return 0, 0
        # Silence is 0 in signed formats and 0x80 in 8-bit unsigned ones.
        return len(data), len(data) - data.count(0) - data.count(0x80)


# ---------------------------------------------------------------------------------------------
# Processes started through the probe


class _Lines:
    """Reads a pipe on a thread so that waiting for a line can time out."""

    def __init__(self, pipe):
        self.queue = queue.Queue()
        self.seen = []
        thread = threading.Thread(target=self._pump, args=(pipe,), daemon=True)
        thread.start()

    def _pump(self, pipe):
        for raw in iter(pipe.readline, b""):
            self.queue.put(raw.decode("latin-1").rstrip("\r\n"))
        self.queue.put(None)

    def next(self, timeout, what):
        try:
            line = self.queue.get(timeout=timeout)
        except queue.Empty:
            raise AssertionError("timed out after %.0f s waiting for %s (seen: %r)" % (timeout, what, self.seen))
        if line is None:
            self.queue.put(None)
            raise AssertionError("the probe ended before %s (seen: %r)" % (what, self.seen))
        self.seen.append(line)
        return line

    def until(self, predicate, timeout, what):
        deadline = time.monotonic() + timeout
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                raise AssertionError("timed out after %.0f s waiting for %s (seen: %r)" % (timeout, what, self.seen))
            fields = parse_fields(self.next(left, what))
            if predicate(fields):
                return fields


class ProbeProcess:
    """A long-running probe subcommand (run, host-preview) that talks through its standard
    input and output. Closing its input makes it end whatever it started."""

    def __init__(self, session, args, name, env=None):
        self.session = session
        self.log_file = session.log_path(name + ".log")
        self.log = open(self.log_file, "ab")
        # Runs of the same name share the session's log; this run's part starts here.
        self.log_start = self.log.tell()
        self.process = subprocess.Popen(["wine", session.probe_exe] + [str(a) for a in args],
                                        env=session.env(**(env or {})),
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=self.log)
        self.lines = _Lines(self.process.stdout)

    def log_text(self):
        """What this run wrote to its log, and nothing of earlier runs of the same name."""
        with open(self.log_file, "rb") as f:
            f.seek(self.log_start)
            return f.read().decode("latin-1")

    def say(self, line):
        self.process.stdin.write((line + "\n").encode())
        self.process.stdin.flush()

    def close(self):
        """Ends the probe and, through it, what it started; idempotent."""
        if self.process.poll() is None:
            with contextlib.suppress(OSError):
                self.process.stdin.close()
            try:
                self.process.wait(timeout=30)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(timeout=30)
        for pipe in (self.process.stdin, self.process.stdout):
            with contextlib.suppress(OSError):
                pipe.close()
        self.log.close()


class SaverRun(ProbeProcess):
    """The saver (or any program) started by the probe with an exact command line, so that
    its exit code arrives in full 32 bits; `wine` itself would only pass on the low byte."""

    def __init__(self, session, command_line, timeout_ms=600000, name="saver", env=None):
        super().__init__(session, ["run", timeout_ms, encode(command_line)], name, env=env)
        self.command_line = command_line
        fields = self.lines.until(lambda f: "pid" in f or "error" in f, 60, "the probe to start %r" % command_line)
        if "error" in fields:
            raise AssertionError("could not start %r: %r" % (command_line, fields))
        self.pid = int(fields["pid"])
        self._exit = None

    def exit_code(self, timeout=30):
        """Waits for the program to end; returns its exit code (unsigned 32 bits)."""
        if self._exit is None:
            fields = self.lines.until(lambda f: "exit" in f or f.get("tag") == "timeout", timeout,
                                      "%r to end" % self.command_line)
            if "exit" not in fields:
                raise AssertionError("%r did not end within the probe's time-out" % self.command_line)
            self._exit = int(fields["exit"])
        return self._exit

    def running(self):
        """True while the program has not ended (as far as the probe has said)."""
        if self._exit is not None:
            return False
        try:
            while True:
                line = self.lines.queue.get_nowait()
                if line is None:
                    self.lines.queue.put(None)
                    return False
                self.lines.seen.append(line)
                fields = parse_fields(line)
                if "exit" in fields:
                    self._exit = int(fields["exit"])
                    return False
        except queue.Empty:
            return True

    def window(self, timeout=60, title=SAVER_TITLE):
        """Waits for this process's saver window to be visible, foreground and mapped on the X
        display, the state in which it takes input; returns it."""
        def ready():
            if not self.running():
                raise AssertionError("%r ended with %s before its window appeared"
                                     % (self.command_line, self._exit))
            for window in self.session.find_windows(SAVER_CLASS, title):
                if window.pid == self.pid and window.visible and window.foreground and self._x_viewable(title):
                    return window
            return None
        return wait_until(ready, timeout, "the saver window of %r" % self.command_line, interval=0.1)

    def _x_viewable(self, title):
        return subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % title], env=self.session.env(),
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=30).stdout.strip() != b""


class StandIn(ProbeProcess):
    """A plain window of another program in STAND_IN_RGB over (x, y, width, height): what a
    desktop shows, on whichever monitors it spans."""

    def __init__(self, session, x, y, width, height, rgb=STAND_IN_RGB):
        super().__init__(session, ["colour", x, y, width, height] + list(rgb), "stand-in")
        fields = self.lines.until(lambda f: f.get("tag") == "colour" or "error" in f, 60, "the stand-in window")
        if "error" in fields:
            raise AssertionError("the stand-in window could not be made: %r" % fields)
        self.hwnd = int(fields["hwnd"], 16)


class PreviewHost(ProbeProcess):
    """A top-level window with a preview pane, hosted by the probe, and the saver in it."""

    def __init__(self, session, width, height, letter="p", exe=None, x=40, y=40):
        exe = exe or session.scr
        super().__init__(session, ["host-preview", width, height, letter, encode(session.win_path(exe)), x, y],
                         "preview")
        self.host = Window(self.lines.until(lambda f: f.get("tag") == "host", 60, "the preview host window"))
        self.pane = Window(self.lines.until(lambda f: f.get("tag") == "pane", 60, "the preview pane"))
        started = self.lines.until(lambda f: f.get("tag") == "started" or "error" in f, 60, "the saver to start")
        if "error" in started:
            raise AssertionError("the preview host could not start the saver: %r" % started)
        self.pid = int(started["pid"])
        fields = self.lines.until(lambda f: f.get("tag") in ("preview", "nopreview"), 60, "the preview window")
        self.preview = Window(fields) if fields.get("tag") == "preview" else None

    def command(self, line, expect, timeout=60):
        self.say(line)
        return self.lines.until(expect, timeout, "the answer to %r" % line)

    def info(self):
        fields = self.command("info", lambda f: f.get("tag") in ("preview", "gone"))
        return Window(fields) if fields.get("tag") == "preview" else None

    def post(self, message, wparam=0, lparam=0):
        return self.command("post %d %d %d" % (message, wparam, lparam), lambda f: "posted" in f)["posted"] == "1"

    def destroy_pane(self):
        return self.command("destroy", lambda f: "destroyed" in f)["destroyed"] == "1"

    def wait_exit(self, timeout=30):
        fields = self.command("wait %d" % int(timeout * 1000), lambda f: "exit" in f or f.get("tag") == "running",
                              timeout=timeout + 30)
        return int(fields["exit"]) if "exit" in fields else None


# ---------------------------------------------------------------------------------------------
# The base of every end-to-end test


class SaverTestCase(unittest.TestCase):
    """Attaches to the session, starts each test from a clean desktop, and ends whatever the
    test started, failed or not."""

    # Fast rides, only one model, no sound: what most tests want to see quickly. Tests that
    # need other settings write their own.
    FAST = dict(Sound=0, Blank=0, Coravendia=1, Valtorne=0, Speed=15, Rate=40, Volume=127)

    @classmethod
    def setUpClass(cls):
        cls.session = Session.load()

    def setUp(self):
        self.session.close_all_savers()
        self.session.write_settings(**self.FAST)
        self.session.clear_sound()
        self.session.place_pointer(self.session.width // 2, self.session.height // 2)

    def tearDown(self):
        self.session.close_all_savers()

    def start_saver(self, *switches, exe=None, command_line=None, timeout_ms=600000, env=None, name="saver"):
        """Starts the saver through the probe with "<path>" and the switches; ended at cleanup.
        `env` adds environment variables (WINEDEBUG=+relay for a trace of the calls that the
        session's RelayInclude names)."""
        if command_line is None:
            exe = exe or self.session.scr
            command_line = '"%s"' % self.session.win_path(exe)
            if switches:
                command_line += " " + " ".join(switches)
        run = SaverRun(self.session, command_line, timeout_ms=timeout_ms, env=env, name=name)
        self.addCleanup(run.close)
        return run

    def host_preview(self, width, height, letter="p", x=40, y=40):
        host = PreviewHost(self.session, width, height, letter, x=x, y=y)
        self.addCleanup(host.close)
        return host

    def stand_in(self, x, y, width, height):
        """A coloured window of another program (StandIn); closed at cleanup."""
        window = StandIn(self.session, x, y, width, height)
        self.addCleanup(window.close)
        return window

    def shot(self, name=None):
        shot = self.session.screenshot()
        if name:
            self.session.save_artifact(shot, name)
        return shot


# ---------------------------------------------------------------------------------------------
# Starting and stopping a session


def _alive(pid):
    try:
        os.kill(pid, 0)
    except OSError as error:
        return error.errno == errno.EPERM
    return True


def _start_x_server(argv, lock_fd, log, env=None):
    """Starts an X server (argv without -displayfd) on a display number of its own choosing;
    returns (process, display)."""
    name = argv[0]
    read_fd, write_fd = os.pipe()
    process = subprocess.Popen(
        [name, "-displayfd", str(write_fd)] + argv[1:],
        pass_fds=(write_fd, lock_fd), stdin=subprocess.DEVNULL, stdout=log, stderr=log, start_new_session=True,
        env=env)
    os.close(write_fd)
    number = b""
    deadline = time.monotonic() + 60
    while not number.endswith(b"\n"):
        if time.monotonic() > deadline or process.poll() is not None:
            process.kill()
            raise HarnessError("%s did not start (see %s)" % (name, log.name))
        chunk = os.read(read_fd, 16)
        if not chunk:
            break
        number += chunk
    os.close(read_fd)
    if not number.strip():
        process.kill()
        raise HarnessError("%s reported no display number (see %s)" % (name, log.name))
    return process, int(number.strip())


def _start_xvfb(width, height, lock_fd, log):
    return _start_x_server(["Xvfb", "-screen", "0", "%dx%dx24" % (width, height), "-nolisten", "tcp", "-noreset"],
                           lock_fd, log)


def _start_xephyr(host_display, width, height, monitors, lock_fd, log):
    """Xephyr on the Xvfb `host_display`, with one screen per monitor side by side, joined by
    Xinerama into one desktop."""
    screens = []
    for index in range(monitors):
        screens += ["-screen", "%dx%d+%d+0x24" % (width, height, index * width)]
    env = dict(os.environ, DISPLAY=":%d" % host_display)
    env.pop("XAUTHORITY", None)
    return _start_x_server(["Xephyr"] + screens + ["+xinerama", "-nolisten", "tcp", "-noreset"], lock_fd, log,
                           env=env)


REGISTRY_SETTINGS = r"""REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\Software\Wine\Drivers]
"Audio"="alsa"

[HKEY_CURRENT_USER\Software\Wine\Debug]
"RelayInclude"="user32.FillRect;gdi32.BitBlt;gdi32.DeleteObject;winmm.sndPlaySoundA;winmm.waveOutSetVolume;user32.RegisterPowerSettingNotification;user32.UnregisterPowerSettingNotification"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\AeDebug]
"Debugger"="rolvanta-no-debugger"
"Auto"="1"
"""


# XRandR in a nested X server reports one output; Xinerama reports the monitors.
REGISTRY_SEVERAL_MONITORS = r"""
[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"UseXRandR"="N"
"""


def start(directory, win32_dir, artifacts=None, width=SCREEN_WIDTH, height=SCREEN_HEIGHT, quiet=False, monitors=1):
    """Creates a fresh session in `directory`: display, HOME, prefix, wineserver; returns it.
    With monitors > 1, the display has that many monitors of width x height side by side."""
    def say(text):
        if not quiet:
            print("e2e session: " + text, flush=True)

    directory = os.path.abspath(directory)
    os.makedirs(directory, exist_ok=True)
    started = time.monotonic()

    # One session per folder at a time: the lock is held by the session's Xvfb (it inherits
    # the descriptor), so it lasts exactly as long as the session's display. A session that
    # still holds it was left by a run that never reached its clean-up (an interrupted
    # ctest): a new run in the same folder takes its place.
    lock_fd = os.open(os.path.join(directory, ".lock"), os.O_RDWR | os.O_CREAT, 0o644)
    try:
        fcntl.flock(lock_fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except OSError:
        say("stopping the session an earlier run left in %s" % directory)
        stop(directory, quiet=True)
        deadline = time.monotonic() + 60
        while True:
            try:
                fcntl.flock(lock_fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
                break
            except OSError:
                if time.monotonic() > deadline:
                    raise HarnessError("the session in %s cannot be stopped (its lock stays taken)" % directory)
                time.sleep(0.5)
    try:
        return _start_locked(directory, win32_dir, artifacts, width, height, lock_fd, say, started, monitors)
    except BaseException:
        stop(directory, quiet=True)
        raise
    finally:
        os.close(lock_fd)


def _start_locked(directory, win32_dir, artifacts, width, height, lock_fd, say, started, monitors=1):
    # Whatever an interrupted earlier run left behind in this folder goes first.
    stop(directory, quiet=True)
    for name in ("prefix", "home", "logs", "session.json", "sound.raw"):
        path = os.path.join(directory, name)
        if os.path.isdir(path):
            shutil.rmtree(path)
        elif os.path.exists(path):
            os.remove(path)
    prefix = os.path.join(directory, "prefix")
    home = os.path.join(directory, "home")
    logs = os.path.join(directory, "logs")
    os.makedirs(home)
    os.makedirs(logs)
    # The wineserver needs the prefix folder to exist; wineboot fills it.
    os.makedirs(prefix)
    sound_file = os.path.join(directory, "sound.raw")

    # The ALSA "file" PCM writes every frame it is given to the file and hands it on to the
    # "null" PCM, which discards it: a sound card that records.
    with open(os.path.join(home, ".asoundrc"), "w") as f:
        f.write('pcm.!default {\n    type file\n    slave.pcm "null"\n    file "%s"\n    format "raw"\n}\n'
                'ctl.!default {\n    type hw\n    card 0\n}\n' % sound_file)

    xlog = open(os.path.join(logs, "xvfb.log"), "ab")
    xvfb, display = _start_xvfb(width * monitors, height, lock_fd, xlog)
    say("Xvfb :%d (%dx%d)" % (display, width * monitors, height))

    info = {"dir": directory, "display": display, "prefix": prefix, "home": home, "sound_file": sound_file,
            "win32_dir": os.path.abspath(win32_dir), "width": width, "height": height, "xvfb_pid": xvfb.pid,
            "artifacts": os.path.abspath(artifacts) if artifacts else None, "monitors": monitors}
    # Recorded before anything else can fail, so that `stop` can always clean up.
    _write_info(directory, info)
    if monitors > 1:
        xephyr, nested = _start_xephyr(display, width, height, monitors, lock_fd, xlog)
        info.update({"host_display": display, "display": nested, "xephyr_pid": xephyr.pid})
        _write_info(directory, info)
        say("Xephyr :%d inside it: %d monitors of %dx%d" % (nested, monitors, width, height))
    session = Session(info)

    wlog = open(os.path.join(logs, "wine.log"), "ab")
    _boot_prefix(session, wlog, say, started)
    say("ready in %.0f s: DISPLAY=:%d WINEPREFIX=%s" % (time.monotonic() - started, display, prefix))
    return session


def _boot_prefix(session, wlog, say, started, registry=""):
    """Creates the session's prefix with its persistent wineserver, sets the prefix up and
    waits until its desktop runs with the X11 driver. `registry` adds REGEDIT4 lines."""
    width, height, display = session.width, session.height, session.display
    monitors = session.info.get("monitors", 1)
    env = session.env()
    # The server's descriptors must not be the caller's pipes: CTest waits for a test's
    # output to close, and a daemon holding it would keep the setup test open for ever.
    subprocess.run(["wineserver", "-p"], env=env, stdin=subprocess.DEVNULL, stdout=wlog, stderr=wlog, check=True,
                   timeout=60)
    subprocess.run(["wine", "wineboot", "-i"], env=env, stdin=subprocess.DEVNULL, stdout=wlog, stderr=wlog,
                   check=True, timeout=600)
    say("prefix created in %.0f s" % (time.monotonic() - started))

    reg = os.path.join(os.path.dirname(session.prefix), "settings.reg")
    with open(reg, "w", newline="\r\n") as f:
        f.write(REGISTRY_SETTINGS + registry)
        if monitors > 1:
            f.write(REGISTRY_SEVERAL_MONITORS)
    subprocess.run(["wine", "regedit", "/S", session.win_path(reg)], env=env, stdin=subprocess.DEVNULL,
                   stdout=wlog, stderr=wlog, check=True, timeout=120)
    subprocess.run(["xsetroot", "-solid", DESKTOP_COLOUR], env=env, check=True, timeout=30)

    # Wine's server closes the desktop process about a second after the last program that used
    # it has ended, and the next program starts it again. A program that starts while it closes
    # finds the old desktop window, gets no display driver from it, and its CreateWindowEx fails
    # (or it hangs). One idle program for the whole session keeps the desktop up between tests.
    idle = subprocess.Popen(["wine", session.probe_exe, "idle", "keep"], env=env, stdin=subprocess.DEVNULL,
                            stdout=wlog, stderr=wlog, start_new_session=True)

    # The desktop must be up, with the X11 driver, before the first test: only that driver
    # reports the display's true size.
    def desktop_ready():
        lines = session.probe("screen", timeout=120)
        return any(f.get("tag") == "screen" and f.get("width") == str(width) and f.get("height") == str(height)
                   for f in lines)
    wait_until(desktop_ready, 120, "Wine's desktop on display :%d" % display, interval=1)
    if monitors > 1:
        found = session.monitor_rects()
        if len(found) != monitors:
            raise HarnessError("Wine reports %d monitors instead of %d: %r (is libxinerama1:i386 installed?)"
                               % (len(found), monitors, found))
        say("Wine reports the monitors %r" % (found,))
    return idle


def fresh_prefix(session, name, registry=""):
    """A second, fresh Wine prefix (with HOME) in the session's folder, on the session's
    display, set up as the session's own; returns it as a Session. `registry` adds REGEDIT4
    lines. Whatever it held before goes; stop_prefix() ends it."""
    directory = os.path.join(session.dir, name)
    info = dict(session.info, prefix=os.path.join(directory, "prefix"), home=os.path.join(directory, "home"),
                sound_file=os.path.join(directory, "sound.raw"))
    fresh = Session(info)
    fresh.log_dir = os.path.join(directory, "logs")
    if os.path.isdir(fresh.prefix):
        stop_prefix(fresh)
    shutil.rmtree(directory, ignore_errors=True)
    os.makedirs(fresh.prefix)
    os.makedirs(fresh.home)
    shutil.copyfile(os.path.join(session.home, ".asoundrc"), os.path.join(fresh.home, ".asoundrc"))
    with open(fresh.log_path("wine.log"), "ab") as wlog:
        fresh.idle = _boot_prefix(fresh, wlog, lambda text: None, time.monotonic(), registry)
    return fresh


def stop_prefix(session):
    """Ends every process of a prefix that fresh_prefix() made, and its wineserver."""
    env = session.env()
    subprocess.run(["wineserver", "-k"], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=60)
    with contextlib.suppress(subprocess.TimeoutExpired):
        subprocess.run(["wineserver", "-w"], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=30)
    idle = getattr(session, "idle", None)
    if idle is not None:
        with contextlib.suppress(subprocess.TimeoutExpired):
            idle.wait(timeout=30)


def _write_info(directory, info):
    path = os.path.join(directory, "session.json")
    with open(path + ".new", "w") as f:
        json.dump(info, f, indent=1)
    os.replace(path + ".new", path)


def stop(directory, quiet=False):
    """Stops the session recorded in `directory`: every Wine process of its prefix, its
    wineserver and its Xvfb. Safe to call when nothing runs."""
    directory = os.path.abspath(directory)
    path = os.path.join(directory, "session.json")
    try:
        with open(path) as f:
            info = json.load(f)
    except (OSError, ValueError):
        return
    env = Session(info).env()
    # The fresh prefixes a test made on this display (fresh_prefix) end first.
    for name in sorted(os.listdir(directory)):
        prefix = os.path.join(directory, name, "prefix")
        if os.path.isdir(prefix) and prefix != info["prefix"]:
            stop_prefix(Session(dict(info, prefix=prefix)))
    if os.path.isdir(info["prefix"]):
        # -k ends the server of this prefix and with it every process of the prefix.
        subprocess.run(["wineserver", "-k"], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)
        with contextlib.suppress(subprocess.TimeoutExpired):
            subprocess.run(["wineserver", "-w"], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=30)
    # The nested server first: it is a client of the outer one.
    for key, name in (("xephyr_pid", b"Xephyr"), ("xvfb_pid", b"Xvfb")):
        pid = info.get(key)
        if pid and _alive(pid) and _is_our_x_server(pid, name):
            os.kill(pid, signal.SIGTERM)
            deadline = time.monotonic() + 20
            while _alive(pid) and time.monotonic() < deadline:
                time.sleep(0.1)
                with contextlib.suppress(ChildProcessError):
                    os.waitpid(pid, os.WNOHANG)
            if _alive(pid):
                os.kill(pid, signal.SIGKILL)
    os.remove(path)
    if not quiet:
        print("e2e session: stopped display :%d and the prefix's wineserver" % info["display"], flush=True)
        artifacts = info.get("artifacts")
        if artifacts and os.path.isdir(artifacts):
            shots = sorted(n for n in os.listdir(artifacts) if n.endswith(".png"))
            print("e2e session: %d screenshots in %s" % (len(shots), artifacts), flush=True)
            for name in shots:
                print("  " + os.path.join(artifacts, name), flush=True)


def _is_our_x_server(pid, name):
    try:
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            argv = f.read().split(b"\0")
    except OSError:
        return False
    return bool(argv) and os.path.basename(argv[0]) == name and b"-displayfd" in argv


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    sub = parser.add_subparsers(dest="command", required=True)
    start_parser = sub.add_parser("start", help="create a fresh session")
    start_parser.add_argument("--dir", required=True)
    start_parser.add_argument("--win32-dir", required=True)
    start_parser.add_argument("--artifacts")
    start_parser.add_argument("--monitors", type=int, default=1, help="monitors side by side (default 1)")
    stop_parser = sub.add_parser("stop", help="stop the session")
    stop_parser.add_argument("--dir", required=True)
    args = parser.parse_args(argv)
    if args.command == "start":
        start(args.dir, args.win32_dir, args.artifacts, monitors=args.monitors)
    else:
        stop(args.dir)
    return 0


if __name__ == "__main__":
    sys.exit(main())

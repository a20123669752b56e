"""The Win32 probe (rolvanta_probe.exe) seen from Python: what it prints, parsed into fields
and windows, and its long-running subcommands as processes that talk through their standard
input and output: the saver started with an exact command line, a window of another program,
and a host of the preview pane."""

import contextlib
import queue
import subprocess
import threading
import time
import urllib.parse

from waiting import scaled, wait_until

SAVER_CLASS = "WindowsScreenSaverClass"
SAVER_TITLE = "Screen Saver"
PREVIEW_TITLE = "Preview"

# The colour of the probe's window that stands in for whatever a desktop shows: in none of the
# saver's pictures and not the root window's.
STAND_IN_RGB = (70, 130, 180)


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
        timeout = scaled(timeout)
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


class Cued(ProbeProcess):
    """A probe subcommand started ahead and run by go(): it acts within moments of an event
    the test sees, however long Wine takes to start a process on a busy machine."""

    def __init__(self, session, *args):
        super().__init__(session, ["cued"] + list(args), "cued")
        self.lines.until(lambda f: f.get("tag") == "cued", 60, "the cued probe")

    def go(self):
        """Runs the subcommand; returns its first answer's fields."""
        self.say("go")
        return self.lines.until(lambda f: True, 60, "the cued probe's answer")


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

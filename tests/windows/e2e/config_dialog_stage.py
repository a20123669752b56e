"""What the settings-dialog tests share: the dialog as the template lays it out, a reader for
what dialog_probe sees of the running dialog, the pixel geometry of its scroll bars for real
mouse input, and the settings file of the prefix.
"""

import json
import os
import subprocess
import time

import harness

TITLE = "Rolvanta"
DIALOG_CLASS = "#32770"
SECTION = "ScreenSaver.Rolvanta"
KEYS = ["Sound", "Blank", "Coravendia", "Valtorne", "Speed", "Rate", "Volume"]
DEFAULTS = {"Sound": 0, "Blank": 0, "Coravendia": 1, "Valtorne": 1, "Speed": 6, "Rate": 10, "Volume": 127}

IDOK = 1
IDCANCEL = 2
IDC_BLANK = 100
IDC_SOUND = 110
IDC_CORAVENDIA = 111
IDC_VALTORNE = 112
IDC_SPEED = 1005
IDC_RATE = 1006
IDC_VOLUME = 1007
NO_ID = 0xFFFF

CHECK_BOXES = {"Sound": IDC_SOUND, "Blank": IDC_BLANK, "Coravendia": IDC_CORAVENDIA, "Valtorne": IDC_VALTORNE}

# Each bar: its id, the settings key, its range, its page step.
BARS = {
    "speed": {"id": IDC_SPEED, "key": "Speed", "min": 1, "max": 15, "page": 4},
    "rate": {"id": IDC_RATE, "key": "Rate", "min": 1, "max": 40, "page": 4},
    "volume": {"id": IDC_VOLUME, "key": "Volume", "min": 0, "max": 255, "page": 11},
}

DIALOG_STYLE = 0x90C800C0
DIALOG_POS = (34, 32)
DIALOG_SIZE = (229, 101)

# Template 2003, control by control, in tab order: class, id, style, x, y, w, h, text.
# The credit line's text is the implementer's choice (None: any non-empty text); the icon's
# "text" is the icon it shows.
CONTROLS = [
    ("Button", IDOK, 0x50030001, 150, 6, 67, 16, "OK"),
    ("Button", IDCANCEL, 0x50010000, 150, 25, 67, 16, "Cancel"),
    ("Button", IDC_SOUND, 0x50010003, 27, 56, 37, 10, "&Sound"),
    ("Button", IDC_BLANK, 0x50010003, 78, 57, 57, 10, "&Blank screen"),
    ("Static", NO_ID, 0x50020000, 9, 37, 14, 8, "Fast"),
    ("Static", NO_ID, 0x50020000, 7, 7, 16, 8, "Slow"),
    ("Static", NO_ID, 0x50020000, 102, 85, 100, 8, "Another complete waste of time"),
    ("Static", NO_ID, 0x50020000, 101, 92, 53, 8, None),
    ("ScrollBar", IDC_SPEED, 0x50010001, 27, 6, 10, 40, ""),
    ("Static", NO_ID, 0x50020000, 59, 38, 18, 8, "Often"),
    ("Static", NO_ID, 0x50020000, 53, 7, 24, 8, "Seldom"),
    ("ScrollBar", IDC_RATE, 0x50010001, 79, 6, 10, 40, ""),
    ("Static", NO_ID, 0x50020000, 24, 92, 58, 8, "Rolvanta rev 2.2"),
    ("Static", NO_ID, 0x50020000, 108, 39, 18, 8, "Quiet"),
    ("Static", NO_ID, 0x50020000, 108, 6, 17, 8, "Loud"),
    ("ScrollBar", IDC_VOLUME, 0x50010001, 128, 7, 10, 40, ""),
    ("Static", NO_ID, 0x50000003, 170, 49, 20, 20, "icon"),
    ("Button", IDC_CORAVENDIA, 0x50010003, 27, 68, 45, 10, "Co&ravendia"),
    ("Button", IDC_VALTORNE, 0x50010003, 78, 68, 45, 10, "Valtor&ne"),
]


def muldiv(a, b, c):
    """The platform's MulDiv for the non-negative values of a dialog template: a*b/c rounded
    half away from zero, which is how the dialog manager turns dialog units into pixels."""
    return (2 * a * b + c) // (2 * c)


def to_pixels(base, x, y, w, h):
    bx, by = base
    return [muldiv(x, bx, 4), muldiv(y, by, 8), muldiv(w, bx, 4), muldiv(h, by, 8)]


# --- the settings file ---------------------------------------------------------------------

def write_control_ini(session, text):
    """Writes the settings file with the platform's line ends."""
    release_read_only(session.control_ini)
    with open(session.control_ini, "w", newline="\r\n") as f:
        f.write(text)


def read_control_ini(session):
    try:
        with open(session.control_ini, "rb") as f:
            return f.read()
    except FileNotFoundError:
        return None


def remove_control_ini(session):
    release_read_only(session.control_ini)
    if os.path.exists(session.control_ini):
        os.remove(session.control_ini)


def section_lines(raw, section=SECTION):
    """The key=value lines of one section, in file order, as (key, value) pairs."""
    lines = raw.decode("latin-1").replace("\r\n", "\n").split("\n")
    inside = False
    pairs = []
    for line in lines:
        stripped = line.strip()
        if stripped.startswith("[") and stripped.endswith("]"):
            inside = stripped[1:-1].lower() == section.lower()
            continue
        if inside and "=" in stripped:
            key, value = stripped.split("=", 1)
            pairs.append((key, value))
    return pairs


def make_read_only(path):
    """Makes the file read-only for Windows programs (the read-only attribute is the missing
    write bits) and, when we run as root, whose writes the missing bits do not stop, also
    immutable, so that the write really is refused. Returns False where that cannot be done."""
    os.chmod(path, 0o444)
    if os.geteuid() != 0:
        return True
    done = subprocess.run(["chattr", "+i", path], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return done.returncode == 0


def release_read_only(path):
    if not os.path.exists(path):
        return
    if os.geteuid() == 0:
        subprocess.run(["chattr", "-i", path], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.chmod(path, 0o644)


# --- what the probe sees -------------------------------------------------------------------

class Seen:
    """One look at the running dialog: the system line, the dialog line and its controls."""

    def __init__(self, lines):
        self.system = None
        self.dialog = None
        self.controls = []
        for line in lines:
            item = json.loads(line)
            if item["kind"] == "system":
                self.system = item
            elif item["kind"] == "dialog":
                self.dialog = item
            elif item["kind"] == "control":
                self.controls.append(item)

    def control(self, ident):
        for c in self.controls:
            if c["id"] == ident:
                return c
        raise KeyError(ident)

    def check(self, key):
        return self.control(CHECK_BOXES[key])["check"]

    def pos(self, bar):
        return self.control(BARS[bar]["id"])["pos"]

    def track(self, bar):
        return self.control(BARS[bar]["id"])["info"]["track"]

    def focus_id(self):
        return self.dialog["focus_id"]

    def screen_rect(self, ident):
        """A control's rectangle in screen pixels: x, y, w, h."""
        x, y, w, h = self.control(ident)["rect"]
        ox, oy = self.dialog["client_origin"]
        return x + ox, y + oy, w, h

    def center(self, ident):
        x, y, w, h = self.screen_rect(ident)
        return x + w // 2, y + h // 2


class DialogProbe:
    """Runs dialog_probe in the session."""

    def __init__(self, session):
        self.session = session
        self.exe = os.path.join(session.win32_dir, "tests", "windows", "e2e", "win32", "dialog", "dialog_probe.exe")

    def lines(self, *args, timeout=60):
        # The probe's error output goes to a file, not a pipe: when the probe is the first
        # program to need Wine's desktop, the desktop process Wine starts for it inherits that
        # descriptor and lives on, and a pipe would then not close before the desktop ends.
        with open(self.session.log_path("dialog-probe.log"), "ab") as log:
            result = subprocess.run(["wine", self.exe] + [str(a) for a in args], env=self.session.env(),
                                    stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=log, timeout=timeout)
        return [line for line in result.stdout.decode("latin-1").splitlines() if line.strip()]

    def look(self, timeout_ms=30000):
        """What the probe sees of the dialog, waiting up to timeout_ms for it to be up."""
        return Seen(self.lines("dump", "--timeout-ms", timeout_ms, timeout=timeout_ms / 1000 + 60))

    def wait_for(self, condition, what, timeout=30.0):
        """Looks at the dialog until condition(seen) holds; returns that look."""
        deadline = time.monotonic() + timeout
        while True:
            seen = self.look()
            if seen.dialog is not None and condition(seen):
                return seen
            if time.monotonic() > deadline:
                raise AssertionError("timed out after %.0f s waiting for %s; last seen: %s"
                                     % (timeout, what, describe(seen)))
            time.sleep(0.05)


def describe(seen):
    if seen is None or seen.dialog is None:
        return "no dialog"
    parts = ["focus=%s" % seen.focus_id()]
    for name, bar in BARS.items():
        c = seen.control(bar["id"])
        parts.append("%s=%s(track %s)" % (name, c["pos"], c.get("info", {}).get("track")))
    for key in CHECK_BOXES:
        parts.append("%s=%s" % (key, seen.check(key)))
    return " ".join(parts)


# --- scroll-bar geometry, for real mouse input ----------------------------------------------

class BarGeometry:
    """Where on the screen a vertical scroll bar's arrows, shaft and thumb are now, as the
    probe learnt them from the platform's own layout of a bar of that size, range and
    position."""

    def __init__(self, seen, bar):
        control = seen.control(BARS[bar]["id"])
        self.x, self.y, self.w, self.h = seen.screen_rect(BARS[bar]["id"])
        self.arrow = control["arrow"]
        self.top, self.bottom = control["thumb"]  # the thumb's rows, bottom one excluded

    def column(self):
        return self.x + self.w // 2

    def up_arrow(self):
        return self.column(), self.y + self.arrow // 2

    def down_arrow(self):
        return self.column(), self.y + self.h - 1 - self.arrow // 2

    def thumb(self):
        return self.column(), self.y + (self.top + self.bottom) // 2

    def shaft_above(self):
        """The middle of the shaft between the up arrow and the thumb, or None when fewer
        than three rows lie there (too narrow to hit for certain)."""
        if self.top - self.arrow < 3:
            return None
        return self.column(), self.y + (self.arrow + self.top) // 2

    def shaft_below(self):
        end = self.h - self.arrow
        if end - self.bottom < 3:
            return None
        return self.column(), self.y + (self.bottom + end) // 2


# --- a dialog under test --------------------------------------------------------------------

# Generous: Wine can be slow to start a process on a loaded machine.
TIMEOUT = 60.0


class OwnerWindow:
    """A plain window of another process that takes the foreground, as the display
    settings would be when they start the saver with "/c"."""

    def __init__(self, test, probe):
        self.probe = probe
        self.log = open(probe.session.log_path("dialog-owner.log"), "ab")
        # The probe's error output goes to a file: a pipe would stay open as long as any
        # process Wine starts on its behalf lives.
        self.process = subprocess.Popen(["wine", probe.exe, "owner", "--title", "Display settings stand-in",
                                         "--timeout-ms", "300000"], env=probe.session.env(),
                                        stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=self.log)
        test.addCleanup(self.stop)
        line = self.process.stdout.readline().decode("latin-1")
        test.assertIn('"owner"', line, "the owner window did not come up")
        item = json.loads(line)
        self.window = item["hwnd"]
        self.client_origin = item["client_origin"]

    def stop(self):
        if self.process.poll() is None:
            self.probe.lines("close", self.window)
            try:
                self.process.wait(timeout=TIMEOUT)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process.stdout.close()
        self.log.close()


class DialogCase(harness.SaverTestCase):
    """Runs the saver in its configure mode, and looks at and drives its dialog with real
    input. Every test starts without a settings file and without a dialog open."""

    def setUp(self):
        super().setUp()
        self.probe = DialogProbe(self.session)
        self.close_dialogs()
        self.addCleanup(self.close_dialogs)
        remove_control_ini(self.session)
        self.addCleanup(remove_control_ini, self.session)

    def close_dialogs(self):
        """Ends whatever process a failed test left with a dialog open."""
        self.session.probe("close-all", harness.encode(DIALOG_CLASS))

    def look(self, timeout_ms=30000):
        return self.probe.look(timeout_ms)

    def wait_for(self, condition, what, timeout=30.0):
        return self.probe.wait_for(condition, what, timeout)

    def open_dialog(self, *switches):
        """Starts the saver with the given switches (none: an empty argument text) and waits for
        its dialog; returns the running saver and the first look at the dialog."""
        run = self.start_saver(*switches)
        seen = self.look(timeout_ms=int(TIMEOUT * 1000))
        if seen.dialog is None:
            state = "still runs" if run.running() else "ended with %s" % run.exit_code()
            self.fail("the settings dialog of %s did not open; the saver %s"
                      % (" ".join(switches) or "an empty command line", state))
        self.assertEqual(seen.dialog["pid"], run.pid, "the dialog belongs to another process")
        return run, seen

    def ended(self, run):
        """Waits for the saver to end and returns its exit code as a signed 32-bit value."""
        code = run.exit_code(timeout=TIMEOUT)
        return code - (1 << 32) if code >= 1 << 31 else code

    def click(self, point):
        self.session.xdotool("mousemove", point[0], point[1])
        self.session.xdotool("click", 1)

    def keyboard_to(self, seen):
        """Gives the dialog the keyboard the way a user does: a click on a spot of its client
        area that no control covers, which changes no control."""
        self.click(free_spot(seen))

    def key(self, *names):
        for name in names:
            self.session.xdotool("key", name)

    def tab_to(self, ident):
        """Moves the focus with Tab until the control `ident` has it; returns that look."""
        seen = self.look()
        for _ in range(len(CONTROLS) + 1):
            if seen.focus_id() == ident:
                return seen
            before = seen.focus_id()
            self.key("Tab")
            seen = self.wait_for(lambda s: s.focus_id() != before, "the focus to leave control %d" % before)
        self.fail("Tab never reached control %d" % ident)


def free_spot(seen):
    """A point of the dialog's client area, in screen pixels, at least 4 pixels away from
    every control."""
    w, h = seen.dialog["client_size"]
    ox, oy = seen.dialog["client_origin"]
    rects = [c["rect"] for c in seen.controls]
    for y in range(h - 6, 4, -2):
        for x in range(w - 6, 4, -2):
            if all(not (r[0] - 4 <= x < r[0] + r[2] + 4 and r[1] - 4 <= y < r[1] + r[3] + 4) for r in rects):
                return ox + x, oy + y
    raise AssertionError("no free spot in the dialog")

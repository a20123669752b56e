"""The Wine session of the end-to-end tests: the real saver under Wine on a virtual X display.

A *session* is one Xvfb display, one Wine prefix with its persistent wineserver, and one HOME,
all under a folder of the build tree. CTest creates it once per run (`harness.py start`) and
removes it at the end (`harness.py stop`); every test in between attaches to it with
`Session.load()`. Python's standard library only.

Why the session is set up the way it is:

* Xvfb picks its own free display number (xserver.py): Wine started against a display that
  does not answer loads no graphics driver, its desktop process fails ("The explorer process
  failed to start") and every CreateWindowEx of that process fails.
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

import contextlib
import fcntl
import json
import os
import shutil
import signal
import subprocess
import time

from probe_client import SAVER_CLASS, SAVER_TITLE, Window, encode, parse_fields
from screen import DESKTOP_COLOUR, Screenshot
from sound_sink import FILE_SINK
from waiting import HarnessError, wait_until
from xserver import alive, is_our_x_server, start_xephyr, start_xvfb

SCREEN_WIDTH = 640
SCREEN_HEIGHT = 480

SESSION_ENV = "ROLVANTA_E2E_SESSION"
ARTIFACTS_ENV = "ROLVANTA_E2E_ARTIFACTS"


def windows_path(path):
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
        return windows_path(path)

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

    # A sound card that records (sound_sink.py).
    with open(os.path.join(home, ".asoundrc"), "w") as f:
        f.write(FILE_SINK % sound_file + 'ctl.!default {\n    type hw\n    card 0\n}\n')

    xlog = open(os.path.join(logs, "xvfb.log"), "ab")
    xvfb, display = start_xvfb(width * monitors, height, xlog, (lock_fd,))
    say("Xvfb :%d (%dx%d)" % (display, width * monitors, height))

    info = {"dir": directory, "display": display, "prefix": prefix, "home": home, "sound_file": sound_file,
            "win32_dir": os.path.abspath(win32_dir), "width": width, "height": height, "xvfb_pid": xvfb.pid,
            "artifacts": os.path.abspath(artifacts) if artifacts else None, "monitors": monitors}
    # Recorded before anything else can fail, so that `stop` can always clean up.
    _write_info(directory, info)
    if monitors > 1:
        xephyr, nested = start_xephyr(display, width, height, monitors, xlog, (lock_fd,))
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
        if pid and alive(pid) and is_our_x_server(pid, name):
            os.kill(pid, signal.SIGTERM)
            deadline = time.monotonic() + 20
            while alive(pid) and time.monotonic() < deadline:
                time.sleep(0.1)
                with contextlib.suppress(ChildProcessError):
                    os.waitpid(pid, os.WNOHANG)
            if alive(pid):
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

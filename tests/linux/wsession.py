"""Sway for the Wayland tests (headless unless told another backend): sway refuses root, so it
runs as a throwaway user (named with this process's id) in a runtime folder of its own, which a
nested sway shares; the tests talk to it as root through that folder. stop() ends sway and
removes the user and the folder, failed or not. Weston runs as root."""

import json
import os
import re
import shutil
import signal
import subprocess
import tempfile

from screen import Screenshot
from waiting import HarnessError, wait_until
from xsession import ARTIFACTS, end_process

USER = "rolvwl%d" % (os.getpid() % 100000)


class Sway:

    def __init__(self, parent=None, command=("sway", "-c", "/dev/null"), **backend):
        self.parent = parent
        self.folder = parent.folder if parent else tempfile.mkdtemp(prefix="rolvanta-wayland-")
        self.process = None
        if not parent:
            subprocess.run(["useradd", "--no-create-home", "--home-dir", self.folder, "--shell", "/bin/sh", USER],
                           check=True, timeout=60)
        backend = backend or dict(WLR_BACKENDS="headless", WLR_LIBINPUT_NO_DEVICES="1")
        if parent:
            backend["WAYLAND_DISPLAY"] = parent.wayland
        try:
            shutil.chown(self.folder, USER)
            os.chmod(self.folder, 0o700)
            before = set(os.listdir(self.folder))
            with open(os.path.join(ARTIFACTS, "sway-%d.log" % os.getpid()), "ab") as log:
                self.process = subprocess.Popen(
                    ["runuser", "-u", USER, "--", "env", "-i", "XDG_RUNTIME_DIR=" + self.folder, "PATH=/usr/bin:/bin",
                     "WLR_RENDERER=pixman"] + ["%s=%s" % kv for kv in backend.items()] + list(command),
                    stdin=subprocess.DEVNULL, stdout=log, stderr=log, start_new_session=True)
            def named(prefix):
                return next((n for n in set(os.listdir(self.folder)) - before
                             if n.startswith(prefix) and "lock" not in n), None)
            self.socket = command[0] == "sway" and wait_until(lambda: named("sway-ipc."), 60, "sway's IPC socket")
            self.wayland = wait_until(lambda: named("wayland-"), 60, "sway's Wayland socket")
        except BaseException:
            self.stop()
            raise

    def env(self, **extra):
        return dict(os.environ, XDG_RUNTIME_DIR=self.folder, WAYLAND_DISPLAY=self.wayland,
                    SWAYSOCK=os.path.join(self.folder, self.socket or ""), **extra)

    def run(self, *argv, timeout=60):
        result = subprocess.run(list(argv), env=self.env(), stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, timeout=timeout)
        if result.returncode != 0:
            raise HarnessError("%s failed: %s" % (argv[0], result.stderr.decode(errors="replace")))
        return result.stdout

    def outputs(self):
        """{name: (width, height)} of the outputs, in screen pixels."""
        return {o["name"]: (o["current_mode"]["width"], o["current_mode"]["height"])
                for o in json.loads(self.run("swaymsg", "-r", "-t", "get_outputs"))}

    def screenshot(self, output):
        return Screenshot.from_ppm(self.run("grim", "-t", "ppm", "-o", output, "-"), 0)

    def stop(self):
        if self.process is not None and self.process.poll() is None:
            self.process.terminate()
            end_process(self.process)
        self.process = None
        if self.parent:
            return
        # Whatever the user still runs goes with it.
        subprocess.run(["pkill", "-KILL", "-U", USER], timeout=60)
        # userdel refuses a user whose processes are still going.
        wait_until(lambda: subprocess.run(["pgrep", "-U", USER], stdout=subprocess.DEVNULL).returncode, 30, USER)
        subprocess.run(["userdel", USER], timeout=60)
        shutil.rmtree(self.folder, ignore_errors=True)


class Weston:
    """Headless weston with the pixman renderer and its desktop shell, as root."""

    def __init__(self, width, height):
        self.folder = tempfile.mkdtemp(prefix="rolvanta-weston-")
        self.env = dict(os.environ, XDG_RUNTIME_DIR=self.folder, WAYLAND_DISPLAY="wayland-1")
        with open(os.path.join(ARTIFACTS, "weston-%d.log" % os.getpid()), "ab") as log:
            self.process = subprocess.Popen(
                ["weston", "--backend=headless-backend.so", "--use-pixman", "--debug", "--idle-time=0",
                 "--socket=wayland-1", "--width=%d" % width, "--height=%d" % height], env=self.env,
                stdin=subprocess.DEVNULL, stdout=log, stderr=log, start_new_session=True)
        wait_until(lambda: os.path.exists(os.path.join(self.folder, "wayland-1")), 60, "weston's socket")

    def screenshot(self):
        """The output, through the screenshooter that --debug lets any client use."""
        subprocess.run(["weston-screenshooter"], env=self.env, cwd=self.folder, check=True, timeout=60)
        (name,) = [os.path.join(self.folder, n) for n in os.listdir(self.folder) if n.endswith(".png")]
        blob = subprocess.run(["convert", name, "ppm:-"], stdout=subprocess.PIPE, check=True, timeout=60).stdout
        os.remove(name)
        return Screenshot.from_ppm(blob, 0)

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            end_process(self.process)
        shutil.rmtree(self.folder, ignore_errors=True)


# Headless mutter's input: a session of its remote-desktop interface, which lives as long as the
# connection that made it, makes each call a line names ("METHOD SIGNATURE ARGUMENTS") and says
# "done"; its first key makes its keyboard.
REMOTE_DESKTOP = r'''
import ast, sys
from gi.repository import Gio, GLib
bus, name = Gio.bus_get_sync(Gio.BusType.SESSION), "org.gnome.Mutter.RemoteDesktop"
call = lambda path, method, args=None, interface=name + ".Session": bus.call_sync(
    name, path, interface, method, args, None, 0, -1, None)
session = call("/org/gnome/Mutter/RemoteDesktop", "CreateSession", interface=name)[0]
call(session, "Start")
for method, signature, args in (line.split(" ", 2) for line in sys.stdin):
    print("done", call(session, method, GLib.Variant(signature, ast.literal_eval(args))), flush=True)
'''
MUTTER_INPUT = {name: ["%s %s (%d, %s)" % (method, signature, code, pressed) for pressed in (True, False)]
                for name, method, signature, code in (("key", "NotifyKeyboardKeycode", "(ub)", 57),
                                                      ("shift", "NotifyKeyboardKeycode", "(ub)", 42),
                                                      ("click", "NotifyPointerButton", "(ib)", 272))}
MUTTER_INPUT["move"] = ["NotifyPointerMotionRelative (dd) (%d.0, 0.0)"]
X_INPUT = {"key": ["key", "space"], "click": ["click", "1"], "move": ["mousemove_relative", "--", "%d", "0"]}


class Desktop:
    """A desktop the saver is tried on, with two outputs of SIZE. Sway, weston, KWin and cage run
    on their X11 backends, each output a window on the test's X display, where xdotool's input
    reaches them as a hand's would and `import` sees them; mutter runs headless. Cage, like sway,
    refuses root; the others run as root on a session bus of their own (KWin from a copy, which
    drops the file capabilities a container refuses)."""

    KINDS = ("sway", "weston", "kwin", "cage", "mutter")
    SIZE = (1024, 768)
    ROOT = {"weston": "weston --backend=x11-backend.so --use-pixman --output-count=2 --socket=wayland-rolv "
                      "--width=1024 --height=768",
            "kwin": "./kwin_wayland --output-count 2 --socket wayland-rolv --width 1024 --height 768 --x11-display {}",
            "mutter": "mutter --headless --wayland --no-x11 --wayland-display=wayland-rolv "
                      "--virtual-monitor 1024x768 --virtual-monitor 1024x768"}

    def __init__(self, kind, display):
        self.display, self.user, self.process, self.remote, self.windows = display, None, None, None, []
        self.folder = tempfile.mkdtemp(prefix="rolvanta-%s-" % kind)
        try:
            if kind in ("sway", "cage"):
                self.user = Sway(command=("cage", "--", "sleep", "86400") if kind == "cage" else ("sway", "-c", "/dev/null"),
                                 WLR_BACKENDS="x11", WLR_X11_OUTPUTS="2", DISPLAY=display.name)
            else:
                shutil.copy("/usr/bin/kwin_wayland", self.folder)
                with open(os.path.join(ARTIFACTS, "%s-%d.log" % (kind, os.getpid())), "ab") as log:
                    self.process = subprocess.Popen(
                        ["dbus-run-session", "--", "sh", "-c", 'echo "$DBUS_SESSION_BUS_ADDRESS" >bus && exec "$@"', "-"]
                        + self.ROOT[kind].format(display.name).split(), cwd=self.folder, stdin=subprocess.DEVNULL,
                        env=dict(os.environ, XDG_RUNTIME_DIR=self.folder, DISPLAY=display.name), stdout=log,
                        stderr=log, start_new_session=True)
                wait_until(lambda: os.path.exists(os.path.join(self.folder, "wayland-rolv")), 60, kind)
            if kind == "mutter":
                with open(os.path.join(self.folder, "bus")) as bus:
                    self.remote = subprocess.Popen(["/usr/bin/python3", "-c", REMOTE_DESKTOP], stdin=subprocess.PIPE,
                                                   env=dict(os.environ, DBUS_SESSION_BUS_ADDRESS=bus.read().strip()),
                                                   stdout=subprocess.PIPE, universal_newlines=True)
                self.act("shift")
            else:
                tree = lambda: display.run(["xwininfo", "-root", "-children"]).stdout.decode()  # noqa: E731
                self.windows = wait_until(lambda: len(w := re.findall(r"^\s+(0x[0-9a-f]+) .*\s1024x768\+", tree(),
                                                                      re.M)) == 2 and w, 60, kind)
            for i, window in enumerate(self.windows):
                display.run(["xdotool", "windowmove", window, str(i * self.SIZE[0]), "0"])
        except BaseException:
            self.stop()
            raise

    def env(self, **extra):
        if self.user:
            return self.user.env(**extra)
        with open(os.path.join(self.folder, "bus")) as bus:  # its session bus: idle monitor, locker, screenshots
            extra.setdefault("DBUS_SESSION_BUS_ADDRESS", bus.read().strip())
        return dict(os.environ, XDG_RUNTIME_DIR=self.folder, WAYLAND_DISPLAY="wayland-rolv", **extra)

    def act(self, what, dx=0):
        """A key, a click or a pointer move of dx pixels, as a hand on the desktop's devices."""
        if not self.remote:
            return self.display.run(["xdotool"] + [a.replace("%d", str(dx)) for a in X_INPUT[what]])
        for line in MUTTER_INPUT[what]:
            self.remote.stdin.write(line.replace("%d", str(dx)) + "\n")
            self.remote.stdin.flush()
            assert self.remote.stdout.readline().startswith("done"), "mutter's remote desktop"

    def stop(self):
        if self.remote:
            self.remote.stdin.close()
            end_process(self.remote)
            self.remote.stdout.close()
        if self.user:
            self.user.stop()
        if self.process and self.process.poll() is None:
            os.killpg(self.process.pid, signal.SIGTERM)
            end_process(self.process)
            subprocess.run(["pkill", "-KILL", "-g", str(self.process.pid)])
        self.process = self.user = self.remote = None
        shutil.rmtree(self.folder, ignore_errors=True)

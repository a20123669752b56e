"""The compositors of the Wayland tests. Sway (headless unless told another backend) and cage
refuse root, so they run as a throwaway user (named with this process's id) in a runtime folder
of their own, which a nested sway shares; the tests talk to them as root through that folder.
stop() ends the compositor and removes the user and the folder, failed or not. The others run
as root, each on a session bus of its own."""

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


# Keys and the pointer for headless mutter, through a session of its remote-desktop interface,
# which lives as long as the connection that made it: a process reading "key", "click" or
# "move DX" a line, and saying "done" after each. Its keyboard is made by its first key, which
# no client could take: a shift, said done before the first line is read. GLib's bindings are
# the system Python's.
REMOTE_DESKTOP = r'''
import itertools, sys
from gi.repository import Gio, GLib
bus = Gio.bus_get_sync(Gio.BusType.SESSION)
def call(path, method, signature=None, *args, interface="org.gnome.Mutter.RemoteDesktop.Session"):
    return bus.call_sync("org.gnome.Mutter.RemoteDesktop", path, interface, method,
                         GLib.Variant(signature, args) if signature else None, None, 0, -1, None)
session = call("/org/gnome/Mutter/RemoteDesktop", "CreateSession", interface="org.gnome.Mutter.RemoteDesktop")[0]
call(session, "Start")
presses = {"shift": ("NotifyKeyboardKeycode", "(ub)", 42), "key": ("NotifyKeyboardKeycode", "(ub)", 57),
           "click": ("NotifyPointerButton", "(ib)", 0x110)}
for line in itertools.chain(["shift 0"], sys.stdin):
    what, dx = line.split()
    if what == "move":
        call(session, "NotifyPointerMotionRelative", "(dd)", float(dx), 0.0)
    for pressed in (True, False) if what != "move" else ():
        call(session, *presses[what], pressed)
    print("done", flush=True)
'''


class Desktop:
    """A desktop the saver is tried on, with two outputs of SIZE. Sway, weston, KWin and cage run
    on their X11 backends, each output a window on the test's X display: xdotool's keys and
    pointer reach the compositor through them as a hand's would, and `import` sees them. Mutter
    runs headless; its input comes through its remote-desktop interface."""

    KINDS = ("sway", "weston", "kwin", "cage", "mutter")
    SIZE = (1024, 768)

    def __init__(self, kind, display):
        self.kind, self.display, self.user, self.process, self.remote = kind, display, None, None, None
        self.folder = tempfile.mkdtemp(prefix="rolvanta-%s-" % kind)
        width, height = self.SIZE
        x11 = dict(WLR_BACKENDS="x11", WLR_X11_OUTPUTS="2", DISPLAY=display.name)
        try:
            if kind in ("sway", "cage"):
                command = ("cage", "--", "sleep", "86400") if kind == "cage" else ("sway", "-c", "/dev/null")
                self.user = Sway(command=command, **x11)
            else:
                self.start_root(width, height)
            self.windows = self.kind != "mutter" and wait_until(self.output_windows, 60, "%s's outputs" % kind)
            for i, window in enumerate(self.windows or ()):
                display.run(["xdotool", "windowmove", window, str(i * width), "0"])
        except BaseException:
            self.stop()
            raise

    def start_root(self, width, height):
        shutil.copy("/usr/bin/kwin_wayland", self.folder)  # the copy drops file capabilities a container refuses
        argv = {"weston": ["weston", "--backend=x11-backend.so", "--use-pixman", "--output-count=2",
                           "--width=%d" % width, "--height=%d" % height, "--socket=wayland-rolv"],
                "kwin": ["./kwin_wayland", "--x11-display", self.display.name, "--output-count", "2",
                         "--width", str(width), "--height", str(height), "--socket", "wayland-rolv"],
                "mutter": ["mutter", "--headless", "--wayland", "--no-x11", "--wayland-display=wayland-rolv"] +
                          ["--virtual-monitor", "%dx%d" % (width, height)] * 2}[self.kind]
        with open(os.path.join(ARTIFACTS, "%s-%d.log" % (self.kind, os.getpid())), "ab") as log:
            self.process = subprocess.Popen(
                ["dbus-run-session", "--", "sh", "-c", 'echo "$DBUS_SESSION_BUS_ADDRESS" >bus && exec "$@"', "-"] + argv,
                env=dict(os.environ, XDG_RUNTIME_DIR=self.folder, DISPLAY=self.display.name), cwd=self.folder,
                stdin=subprocess.DEVNULL, stdout=log, stderr=log, start_new_session=True)
        wait_until(lambda: os.path.exists(os.path.join(self.folder, "wayland-rolv")), 60, "%s's socket" % self.kind)
        if self.kind == "mutter":
            with open(os.path.join(self.folder, "bus")) as bus:
                env = dict(os.environ, DBUS_SESSION_BUS_ADDRESS=bus.read().strip())
            self.remote = subprocess.Popen(["/usr/bin/python3", "-c", REMOTE_DESKTOP], env=env, stdin=subprocess.PIPE,
                                           stdout=subprocess.PIPE, universal_newlines=True)
            if self.remote.stdout.readline() != "done\n":
                raise HarnessError("mutter's remote desktop did not start")

    def output_windows(self):
        """The X windows the compositor shows its outputs in, once both are there."""
        tree = self.display.run(["xwininfo", "-root", "-children"]).stdout.decode()
        found = re.findall(r"^\s+(0x[0-9a-f]+) .*\s%dx%d\+" % self.SIZE, tree, re.M)
        return found if len(found) == 2 else None

    def env(self, **extra):
        if self.user:
            return self.user.env(**extra)
        with open(os.path.join(self.folder, "bus")) as bus:  # its session bus: idle monitor, locker, screenshots
            extra.setdefault("DBUS_SESSION_BUS_ADDRESS", bus.read().strip())
        return dict(os.environ, XDG_RUNTIME_DIR=self.folder, WAYLAND_DISPLAY="wayland-rolv", **extra)

    def act(self, what, dx=0):
        """A key, a click or a pointer move of dx pixels, as a hand on the desktop's devices."""
        if self.remote:
            self.remote.stdin.write("%s %d\n" % (what, dx))
            self.remote.stdin.flush()
            self.remote.stdout.readline()
            return
        xdotool = {"key": ["key", "space"], "click": ["click", "1"], "move": ["mousemove_relative", "--", str(dx), "0"]}
        self.display.run(["xdotool"] + xdotool[what])

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

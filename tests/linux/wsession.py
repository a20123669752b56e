"""Sway for the Wayland tests (headless unless told another backend): sway refuses root, so it
runs as a throwaway user (named with this process's id) in a runtime folder of its own, which a
nested sway shares; the tests talk to it as root through that folder. stop() ends sway and
removes the user and the folder, failed or not. Weston runs as root."""

import json
import os
import shutil
import subprocess
import tempfile

from screen import Screenshot
from waiting import HarnessError, wait_until
from xsession import ARTIFACTS, end_process

USER = "rolvwl%d" % (os.getpid() % 100000)


class Sway:

    def __init__(self, parent=None, **backend):
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
                     "WLR_RENDERER=pixman"] + ["%s=%s" % kv for kv in backend.items()] + ["sway", "-c", "/dev/null"],
                    stdin=subprocess.DEVNULL, stdout=log, stderr=log, start_new_session=True)
            def named(prefix):
                return next((n for n in set(os.listdir(self.folder)) - before
                             if n.startswith(prefix) and "lock" not in n), None)
            self.socket = wait_until(lambda: named("sway-ipc."), 60, "sway's IPC socket")
            self.wayland = wait_until(lambda: named("wayland-"), 60, "sway's Wayland socket")
        except BaseException:
            self.stop()
            raise

    def env(self, **extra):
        return dict(os.environ, XDG_RUNTIME_DIR=self.folder, WAYLAND_DISPLAY=self.wayland,
                    SWAYSOCK=os.path.join(self.folder, self.socket), **extra)

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

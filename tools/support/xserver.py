"""X servers for the end-to-end tests of every platform: started on a display number of their
own choosing, and told from other processes when the time comes to end them.

Xvfb picks its own free display number and tells it through -displayfd, and only once it
accepts connections. A number guessed from lock files can be taken by someone else between the
guess and the start, and a client started against a display that does not answer fails in ways
far from the cause."""

import errno
import os
import subprocess
import tempfile
import time

from screen import DESKTOP_COLOUR, Screenshot
from waiting import HarnessError, scaled


def alive(pid):
    try:
        os.kill(pid, 0)
    except OSError as error:
        return error.errno == errno.EPERM
    return True


def start_x_server(argv, log, keep_fds=(), env=None):
    """Starts an X server (argv without -displayfd) on a display number of its own choosing;
    returns (process, display)."""
    name = argv[0]
    read_fd, write_fd = os.pipe()
    process = subprocess.Popen(
        [name, "-displayfd", str(write_fd)] + argv[1:],
        pass_fds=(write_fd,) + tuple(keep_fds), stdin=subprocess.DEVNULL, stdout=log, stderr=log,
        start_new_session=True, env=env)
    os.close(write_fd)
    number = b""
    deadline = time.monotonic() + scaled(60)
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


def start_xvfb(width, height, log, keep_fds=()):
    return start_x_server(["Xvfb", "-screen", "0", "%dx%dx24" % (width, height), "-nolisten", "tcp", "-noreset"],
                          log, keep_fds)


def start_xephyr(host_display, width, height, monitors, log, keep_fds=()):
    """Xephyr on the Xvfb `host_display`, with one screen per monitor side by side, joined by
    Xinerama into one desktop."""
    screens = []
    for index in range(monitors):
        screens += ["-screen", "%dx%d+%d+0x24" % (width, height, index * width)]
    env = dict(os.environ, DISPLAY=":%d" % host_display)
    env.pop("XAUTHORITY", None)
    return start_x_server(["Xephyr"] + screens + ["+xinerama", "-nolisten", "tcp", "-noreset"], log,
                          keep_fds, env=env)


def is_our_x_server(pid, name):
    try:
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            argv = f.read().split(b"\0")
    except OSError:
        return False
    return bool(argv) and os.path.basename(argv[0]) == name and b"-displayfd" in argv


def end_process(process):
    """Waits for a process told to end; one that does not is killed."""
    try:
        process.wait(timeout=20)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait(timeout=20)


class XDisplay:
    """One Xvfb with the desktop colour on its root, started by start() and ended by stop();
    its log and saved screenshots go into `logs`."""

    def __init__(self, width=640, height=480, logs=None):
        self.width = width
        self.height = height
        self.process = None
        self.number = None
        self.logs = logs or os.path.join(tempfile.gettempdir(), "rolvanta-linux-artifacts")
        os.makedirs(self.logs, exist_ok=True)

    def start(self):
        with open(os.path.join(self.logs, "xvfb-%d.log" % os.getpid()), "ab") as log:
            self.process, self.number = start_xvfb(self.width, self.height, log)
        self.run(["xsetroot", "-solid", DESKTOP_COLOUR])
        return self

    def stop(self):
        if self.process is not None and self.process.poll() is None:
            self.process.terminate()
            end_process(self.process)
        self.process = None

    @property
    def name(self):
        return ":%d" % self.number

    def env(self, **extra):
        env = dict(os.environ, DISPLAY=self.name, LANG="C.UTF-8")
        for key in ("XAUTHORITY", "XSCREENSAVER_WINDOW"):
            env.pop(key, None)
        env.update({k: v for k, v in extra.items() if v is not None})
        for key, value in extra.items():
            if value is None:
                env.pop(key, None)
        return env

    def run(self, argv, timeout=60, check=True):
        result = subprocess.run(argv, env=self.env(), stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, timeout=timeout)
        if check and result.returncode != 0:
            raise HarnessError("%s failed with %d: %s" % (" ".join(argv), result.returncode,
                                                          result.stderr.decode(errors="replace")))
        return result

    def screenshot(self, window="root"):
        taken_at = time.monotonic()
        target = window if isinstance(window, str) else hex(window)
        blob = self.run(["import", "-window", target, "-depth", "8", "ppm:-"]).stdout
        return Screenshot.from_ppm(blob, taken_at)

    def save(self, shot, name):
        path = os.path.join(self.logs, name)
        shot.save(path)
        print("screenshot: %s" % path, flush=True)
        return path

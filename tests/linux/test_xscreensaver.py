"""The real XScreenSaver daemon runs the built module: a user with no ~/.xscreensaver runs
rolvanta-xscreensaver, and activated, the daemon shows a Coravendia or a Valtorne moving;
deactivated, the module's process ends and nothing of it is left. The same entry with the
options other modules' entries carry, -delay and -fps, rides with the frame-rate box.

The daemon refuses to launch modules as root, so it runs as a throwaway user made for this
test (useradd) and removed with its home at the end, whatever happened. The module is
copied into the user's home, which leads the user's PATH, so that the entry's bare name
finds it wherever the build tree lies, as the daemon finds an installed one."""

import contextlib
import os
import pwd
import re
import shutil
import signal
import subprocess
import tempfile
import unittest

from xsession import (BLACK, CORAVENDIA_BACKGROUND, CORAVENDIA_SIZE, PROGRAM, VALTORNE_SIZE, LinuxTestCase,
                      wait_until)

USER = "rolvxss%d" % (os.getpid() % 100000)
SETUP = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "linux", "rolvanta-xscreensaver")
WHITE = (255, 255, 255)


def is_red(r, g, b):
    return r > 150 and g < 90 and b < 90


def alive(pid):
    """False once the process has ended, reaped or not."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().rsplit(")", 1)[1].split()[0] not in ("Z", "X")
    except OSError:
        return False


def processes_of(uid):
    """pid -> command line of every process the user runs."""
    found = {}
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            if os.stat("/proc/" + name).st_uid != uid:
                continue
            with open("/proc/%s/cmdline" % name, "rb") as f:
                found[int(name)] = f.read().replace(b"\0", b" ").decode(errors="replace").strip()
        except OSError:
            continue
    return found


@unittest.skipUnless(shutil.which("xscreensaver") and shutil.which("xscreensaver-command"),
                     "XScreenSaver is not installed (tools/setup-machine installs it)")
@unittest.skipUnless(os.geteuid() == 0, "making the daemon's user needs root")
class Daemon(LinuxTestCase):

    def setUp(self):
        # Users an interrupted earlier run of this test left behind go first.
        for entry in pwd.getpwall():
            if re.fullmatch(r"rolvxss\d+", entry.pw_name):
                for pid in processes_of(entry.pw_uid):
                    with contextlib.suppress(ProcessLookupError):
                        os.kill(pid, signal.SIGKILL)
                subprocess.run(["userdel", entry.pw_name], timeout=60)
        self.home = tempfile.mkdtemp(prefix="rolvanta-xscreensaver-")
        os.chmod(self.home, 0o755)
        self.addCleanup(shutil.rmtree, self.home, True)
        subprocess.run(["useradd", "--no-create-home", "--home-dir", self.home, "--shell", "/bin/sh", USER],
                       check=True, timeout=60)
        self.addCleanup(subprocess.run, ["userdel", USER], timeout=60)
        self.uid = pwd.getpwnam(USER).pw_uid
        self.addCleanup(self.end_everything_of_the_user)
        self.module = os.path.join(self.home, "rolvanta")
        shutil.copy(PROGRAM, self.module)
        subprocess.run(["chown", "-R", "%s:" % USER, self.home], check=True, timeout=60)

    def end_everything_of_the_user(self):
        for pid in processes_of(self.uid):
            with contextlib.suppress(ProcessLookupError):
                os.kill(pid, signal.SIGKILL)
        wait_until(lambda: not processes_of(self.uid), 30, "the test user's processes to end")

    def as_user(self, *argv):
        return ["runuser", "-u", USER, "--", "env", "-i", "DISPLAY=" + self.display.name, "HOME=" + self.home,
                "PATH=%s:/usr/bin:/bin" % self.home, "LANG=C.UTF-8"] + list(argv)

    def command(self, *args):
        return subprocess.run(self.as_user("xscreensaver-command", *args), stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)

    def module_pids(self):
        def runs_module(pid):
            with contextlib.suppress(OSError):
                return os.readlink("/proc/%d/exe" % pid) == self.module
        return [pid for pid in processes_of(self.uid) if runs_module(pid)]

    def test_set_up_in_one_step_and_the_daemon_shows_the_module_and_ends_it(self):
        result = subprocess.run(self.as_user(SETUP), stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, timeout=60)
        self.assertEqual(result.returncode, 0, result.stdout.decode())
        settings = os.path.join(self.home, ".xscreensaver")
        with open(settings) as f:
            made = f.read()
        # Every module of the system's list is still there.
        self.assertGreater(made.count("\\n\\"), 100)
        self.assertEqual(subprocess.run(self.as_user(SETUP), stdout=subprocess.DEVNULL, timeout=60).returncode, 0)
        with open(settings) as f:
            self.assertEqual(f.read(), made)
        # In one run the daemon's fade stalled for over a minute on the virtual display, before
        # any module started; neither fading nor locking is under test here.
        with open(settings, "a") as f:
            f.write("fade: False\nunfade: False\nlock: False\n")
        daemon = self.start(self.as_user("xscreensaver", "--no-splash", "--verbose"), name="xscreensaver")
        wait_until(lambda: self.command("-version").returncode == 0, 60, "the daemon to answer")
        self.rides(daemon, "xscreensaver-activated.png")
        self.assertTrue(daemon.running())

        # The entry as another module's would read.
        with open(settings) as f:
            made = f.read()
        with open(settings, "w") as f:
            f.write(made.replace("rolvanta -root", "rolvanta -root -delay 20000 -fps"))

        def fps_box():
            shot = self.display.screenshot()
            box = (0, shot.height - 20, 48, shot.height)
            white = shot.count(WHITE, box)
            return white > 20 and white + shot.count(BLACK, box) == 48 * 20 and shot
        self.display.save(self.rides(daemon, "xscreensaver-fps.png", fps_box), "xscreensaver-fps-box.png")
        self.assertTrue(daemon.running())

    def rides(self, daemon, name, also=lambda: True):
        """Activates the daemon and sees the module ride, then deactivates it."""
        self.assertEqual(self.command("-activate").returncode, 0)
        try:
            wait_until(self.module_pids, 60, "the daemon to launch the module")
        except AssertionError as error:
            raise AssertionError("%s; the daemon said:\n%s" % (error, "".join(daemon.stderr().splitlines(True)[-20:])))

        # A model's picture, seen twice at different places: it rides.
        def model_box():
            shot = self.display.screenshot()
            box = shot.bbox(CORAVENDIA_BACKGROUND)
            if box and (box[2] - box[0], box[3] - box[1]) == CORAVENDIA_SIZE:
                return ("coravendia", box, shot)
            box = shot.bbox_matching(is_red)
            if box and box[2] - box[0] > VALTORNE_SIZE[0] // 2 and box[3] - box[1] > VALTORNE_SIZE[1] // 2:
                return ("valtorne", box, shot)
            return None
        first = wait_until(model_box, 60, "a whole Coravendia or a Valtorne on the saver's window", interval=0.02)
        self.display.save(first[2], name)

        # The same ride further on: the same model at the same height, elsewhere across. A
        # busy machine may have caught a ride's last picture; then the next ride's first counts.
        def moved():
            nonlocal first
            now = model_box()
            if now and (now[0], now[1][1::2]) != (first[0], first[1][1::2]):
                first = now
            elif now and now[1][0] != first[1][0]:
                return now
            return None
        wait_until(moved, 30, "the %s to move" % first[0], interval=0.02)
        seen = wait_until(also, 30, "the frame-rate box in the corner")

        pids = self.module_pids()
        self.assertEqual(self.command("-deactivate").returncode, 0)
        wait_until(lambda: not any(alive(pid) for pid in pids), 30, "the module's process %r to end" % pids)
        # Only the daemon itself stays; no helper of the module's is left behind, nor its own
        # helper that ran the module, which must be gone before the daemon is activated again.
        wait_until(lambda: all(line.startswith("xscreensaver --") for line in processes_of(self.uid).values()), 30,
                   "nothing but the daemon running as the user")
        return seen


class SetUpCommand(unittest.TestCase):
    """rolvanta-xscreensaver on a user's own file: the rest of it kept, the selection moved
    with the list, and a file it cannot take answered in one line."""

    def setup(self, home, *args):
        result = subprocess.run([SETUP] + list(args), env={"HOME": home, "PATH": "/usr/bin:/bin"},
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
        return result.returncode, result.stderr.decode()

    def test_adds_and_removes_keeping_the_rest(self):
        own = "timeout: 0:05:00\nmode: random\nprograms: \\\n  maze -root \\n\\\n  - qix -root \\n\\\n\n"
        off = ('mode: one\nselected: 1\nprograms: \\\n - "Rolvanta" /usr/libexec/xscreensaver/rolvanta --speed 3\\n\\\n'
               ' maze\n')
        cases = [  # before, arguments, lines then in the file, texts then not in it
            (own, [], ["timeout: 0:05:00", "mode:\tone", "selected:\t2", '  "Rolvanta"  rolvanta -root \\n\\',
                       "  - qix -root \\n\\"], ["random"]),
            (own, ["--remove"], [], []),
            (off, [], ["selected:\t0", '  "Rolvanta" /usr/libexec/xscreensaver/rolvanta --speed 3 \\n\\'], []),
            (off, ["--remove"], ["mode: one", "selected:\t0", "  maze \\n\\"], ["olvanta"]),
            # A list that runs to the end of the file, backslash and all.
            ("programs: \\\n maze \\n\\", [], ["  maze \\n\\", "selected:\t1", ""], ["\\ \\n"]),
        ]
        for before, args, present, absent in cases:
            with tempfile.TemporaryDirectory() as home, self.subTest(before=before, args=args):
                path = os.path.join(home, ".xscreensaver")
                with open(path, "w") as f:
                    f.write(before)
                self.assertEqual(self.setup(home, *args), (0, ""))
                with open(path) as f:
                    after = f.read()
                if not present:
                    self.assertEqual(after, before)
                for line in present:
                    self.assertIn(line, after.splitlines())
                for text in absent:
                    self.assertNotIn(text, after)
                # Taken out again, it leaves the list as it was without it.
                self.assertEqual(self.setup(home, "--remove"), (0, ""))
                with open(path) as f:
                    self.assertNotIn("olvanta", f.read())

    def test_a_file_it_cannot_take_is_one_line_and_left_alone(self):
        with tempfile.TemporaryDirectory() as home:
            os.mkdir(os.path.join(home, ".xscreensaver"))
            status, message = self.setup(home)
            self.assertEqual((status, message.count("\n")), (1, 1), message)
            self.assertIn("Is a directory", message)
            self.assertEqual(self.setup(home, "--bogus")[0], 1)

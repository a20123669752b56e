"""The Wayland saver on each desktop of wsession.Desktop: every output covered, a tremor of the
pointer ignored, a click, a move or a key ending it with 0, a full-screen window kept full
screen, and a compositor that goes away said in one line. --idle shows it after the idle time
and again after the key that ends it, with one waiting on a display and none shown under KDE's
locker, or says in one line that the desktop has no idle source."""

import os
import re
import shutil
import signal
import subprocess
import time
import unittest

import wsession

from test_windows import SEED, SETTLE, STEPS
from xsession import BLACK, PROGRAM, LinuxTestCase, memory_frame, wait_until

WIDTH, HEIGHT = wsession.Desktop.SIZE


@unittest.skipUnless(os.geteuid() == 0 and shutil.which("weston-terminal"), "root and weston's clients are needed")
class Desktops(LinuxTestCase):

    WIDTH, HEIGHT = 2 * WIDTH, HEIGHT

    def each(self, case):
        """case(desktop, kind) on each desktop there is, from a pointer resting on the first output."""
        for kind in wsession.Desktop.KINDS:
            if shutil.which({"kwin": "kwin_wayland"}.get(kind, kind)):
                with self.subTest(kind):
                    desktop = wsession.Desktop(kind, self.display)
                    try:
                        self.display.run(["xdotool", "mousemove", "100", "100"])
                        case(desktop, kind)
                    finally:
                        self.doCleanups()
                        desktop.stop()

    def saver(self, desktop, name, **env):
        program = self.rolvanta("--seed", SEED, "--steps", STEPS, name=name, env=desktop.env(**env))
        program.line(lambda l: l.startswith("rolvanta: held after"), 60, "the saver to hold")
        return program

    def test_covered_ended_by_hand_alone_and_full_screen_kept(self):
        def case(desktop, kind):
            spans = 2 if kind == "cage" else 1  # a kiosk's full-screen windows span its outputs
            full, top = "configure(%d, %d" % (WIDTH * spans, HEIGHT), (0, 0, 2 * WIDTH, 50)
            window = self.start(["weston-terminal", "-f"], name=kind + "-terminal", env=desktop.env(WAYLAND_DEBUG="1"))
            wait_until(lambda: full in window.stderr() and (spans == 1 or self.display.screenshot().count(BLACK, top)
                                                            < 2 * WIDTH * 50), 60, "the window full screen")
            program = self.saver(desktop, kind, WAYLAND_DEBUG="1")
            if spans == 2:  # the ride, resized as the kiosk spanned it, shows, and the terminal's prompt is gone
                wait_until(lambda: (lambda shot: shot.count(BLACK, top) == 2 * WIDTH * 50 and shot.count(BLACK) < 2 * WIDTH
                                    * HEIGHT)(self.display.screenshot()), 60, "the ride and no prompt")
            elif desktop.windows:  # the core's frame on one output, the other black
                frame, black = memory_frame(WIDTH, HEIGHT, SEED, STEPS, 6)[0], b"\0" * 3 * WIDTH
                screens = [b"".join(black[:i] + frame.row(y) + black[i:] for y in range(HEIGHT)) for i in (0, len(black))]
                last = []  # kept for the log: a screen that never matched says more than the time-out

                def shown():
                    last[:] = [self.display.screenshot()]
                    return last[0].data in screens
                try:
                    wait_until(shown, 60, "the show and black")
                except AssertionError:
                    self.display.save(last[0], kind + "-not-shown.png")
                    raise
            else:
                trace, size = program.stderr(), "%d, %d, " % (WIDTH, HEIGHT)
                configured = set(re.findall(r"(xdg_toplevel@\d+)\.configure\(" + size, trace))
                self.assertEqual(len(configured), len(re.findall(r"wl_output@\d+\.mode\(\d+, " + size, trace)))
            # Cage gives a surface mapped under a resting pointer the pointer only once it moves.
            desktop.act("move", 2)
            time.sleep(SETTLE)
            self.assertTrue(program.running(), "a tremor of 2 pixels ended it")
            desktop.act("click")
            self.assertEqual(program.process.wait(timeout=30), 0)
            for acts in ((("move", 2), ("move", 10)), (("key",),)):
                program = self.saver(desktop, kind + "-" + acts[-1][0])
                for act in acts:
                    desktop.act(*act)
                self.assertEqual(program.process.wait(timeout=30), 0)
            time.sleep(SETTLE)  # what would take the window out of full screen is given this long
            self.assertEqual(re.findall(r"configure\(\d+, \d+", window.stderr())[-1], full)
            self.idle_start(desktop, kind)
            program = self.saver(desktop, kind + "-gone")
            desktop.stop()
            self.assertEqual((program.process.wait(timeout=30), program.stderr()),
                             (1, "rolvanta: the Wayland compositor went away\n"))
        self.each(case)

    def idle_start(self, desktop, kind):
        program = self.rolvanta("--idle", "0.02", "--steps", STEPS, name=kind + "-idle", env=desktop.env())
        if kind == "weston":  # no idle protocol, no bus monitor
            self.assertEqual(program.process.wait(timeout=30), 1)
            self.assertRegex(program.stderr(), r"\Arolvanta: the desktop offers no idle source[^\n]*\n\Z")
            return
        for show in range(2):
            program.line(lambda l: l.startswith("rolvanta: held after"), 60, "show %d after 1.2 s idle" % show)
            second = subprocess.run([PROGRAM, "--idle", "0.02"], env=desktop.env(), stderr=subprocess.PIPE,
                                    timeout=30)
            self.assertEqual((second.returncode, second.stderr.decode().count("already waits")), (0, 1))
            desktop.act("key")
        self.assertEqual(program.end(signal.SIGTERM), 0, program.stderr())

    @unittest.skipUnless(shutil.which("kwin_wayland"), "KWin is needed")
    def test_no_idle_start_under_kdes_locker_which_kwin_says_on_the_bus_it_holds(self):
        desktop = wsession.Desktop("kwin", self.display)
        self.addCleanup(desktop.stop)
        monitor = self.start(["dbus-monitor", "--session", "member=GetActive"], "bus", desktop.env())
        ask = ["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.ScreenSaver", "/ScreenSaver"]
        wait_until(lambda: subprocess.run(ask + ["org.freedesktop.ScreenSaver.Lock"], capture_output=True,
                                          env=desktop.env(), timeout=30).returncode == 0, 60, "KWin's locker on the bus")
        wait_until(lambda: b"true" in subprocess.run(ask + ["org.freedesktop.ScreenSaver.GetActive"],
                                                     stdout=subprocess.PIPE, env=desktop.env()).stdout,
                   60, "the screen locked")
        monitor.line(lambda l: "member=GetActive" in l, 60, "the bus watched")
        program = self.rolvanta("--idle", "0.02", name="kwin-locked", env=desktop.env())
        for question in range(2):  # only the idle start asks GNOME's locker; a key between two idles
            monitor.line(lambda l: "destination=org.gnome.ScreenSaver" in l, 60, "idle %d" % question)
            desktop.act("key")
        self.assertEqual(program.end(signal.SIGTERM), 0, program.stderr())
        self.assertEqual(list(iter(program.lines.get, None)), [], "shown under the locker")

"""The Wayland saver on every desktop tried, each case run on each: sway, weston, KWin and cage
on their X11 backends (seen in the windows of their two outputs), mutter headless (seen in what
the saver configured and committed against the outputs' modes). It covers every output, a key,
a click or a real pointer move ends it with 0 and a tremor does not, a full-screen window is
still full screen afterwards, and a compositor that goes away gets one line. --idle shows it
after the idle time and again after the key that ends it, one waiting on a display, or says
in one line that the desktop has no idle source."""

import collections
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


def sizes(trace, pattern):
    return collections.Counter(re.findall(pattern + r"\((?:\d+, )?(\d+), (\d+)", trace))


@unittest.skipUnless(os.geteuid() == 0 and shutil.which("weston-terminal"), "root and weston's clients are needed")
class Desktops(LinuxTestCase):

    WIDTH, HEIGHT = 2 * WIDTH, HEIGHT

    def each(self, case):
        for kind in wsession.Desktop.KINDS:
            if not shutil.which({"kwin": "kwin_wayland"}.get(kind, kind)):
                continue
            with self.subTest(kind):
                desktop = wsession.Desktop(kind, self.display)
                try:
                    self.display.run(["xdotool", "mousemove", "100", "100"])
                    case(desktop, kind)
                finally:
                    self.doCleanups()
                    desktop.stop()

    def saver(self, desktop, name, *options, **env):
        program = self.rolvanta("--seed", SEED, "--steps", STEPS, *options, name=name, env=desktop.env(**env))
        program.line(lambda l: l.startswith("rolvanta: held after"), 60, "the saver to hold")
        return program

    def test_every_output_covered_a_key_ends_it_and_a_full_screen_window_stays(self):
        def case(desktop, kind):
            spans = 2 if kind == "cage" else 1  # a kiosk's full-screen windows span its outputs
            full = ("%d" % (WIDTH * spans), "%d" % HEIGHT)
            window = self.start(["weston-terminal", "-f"], name=kind + "-terminal", env=desktop.env(WAYLAND_DEBUG="1"))
            wait_until(lambda: "configure(%s, %s" % full in window.stderr(), 60, "the window full screen")
            top = (0, 0, 2 * WIDTH, 50)  # where cage shows the terminal's prompt
            if kind == "cage":
                wait_until(lambda: self.display.screenshot().count(BLACK, top) < 2 * WIDTH * 50, 60, "a prompt")
            program = self.saver(desktop, kind, WAYLAND_DEBUG="1")
            trace = program.stderr()
            if desktop.windows and spans == 2:  # a ride resized as the kiosk spans it: the prompt is gone
                wait_until(lambda: self.display.screenshot().count(BLACK, top) == 2 * WIDTH * 50, 60, "no prompt")
            elif desktop.windows:  # the core's frame on one output, the other black
                frame, black = memory_frame(WIDTH, HEIGHT, SEED, STEPS, 6)[0], b"\0" * 3 * WIDTH
                screens = [b"".join(black[:i] + frame.row(y) + black[i:] for y in range(HEIGHT)) for i in (0, len(black))]
                wait_until(lambda: self.display.screenshot().data in screens, 60, "the show and black")
            else:
                self.assertEqual(sizes(trace, r"wl_output@\d+\.mode") - sizes(trace, r"-> wp_viewport@\d+.set_destination"),
                                 collections.Counter(), "an output left uncovered")
            desktop.act("key")
            self.assertEqual(program.process.wait(timeout=30), 0)
            time.sleep(SETTLE)  # what would take the window out of full screen is given this long
            last = re.findall(r"xdg_toplevel@\d+\.configure\((\d+), (\d+)", window.stderr())[-1]
            self.assertEqual(last, full)
        self.each(case)

    def test_a_tremor_does_not_end_it_a_move_or_a_click_does_and_a_lost_compositor_is_one_line(self):
        def case(desktop, kind):
            # Cage gives a surface mapped under a resting pointer the pointer only once it moves.
            program = self.saver(desktop, kind + "-click")
            desktop.act("move", 2)
            time.sleep(SETTLE)
            self.assertTrue(program.running(), "a tremor of 2 pixels ended it")
            desktop.act("click")
            self.assertEqual(program.process.wait(timeout=30), 0)
            program = self.saver(desktop, kind + "-move")
            desktop.act("move", 2)
            desktop.act("move", 10)
            self.assertEqual(program.process.wait(timeout=30), 0)
            program = self.saver(desktop, kind + "-gone")
            desktop.stop()
            self.assertEqual((program.process.wait(timeout=30), program.stderr()),
                             (1, "rolvanta: the Wayland compositor went away\n"))
        self.each(case)

    def test_an_idle_start_shows_after_the_idle_time_and_again_after_the_key_that_ends_it(self):
        def case(desktop, kind):
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
            if kind == "kwin":  # KDE's locker, which KWin says on the bus it holds: each idle asks, none shows
                monitor = self.start(["dbus-monitor", "--session", "member=GetActive"], "bus", desktop.env())
                ask = ["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.ScreenSaver", "/ScreenSaver"]
                subprocess.run(ask + ["org.freedesktop.ScreenSaver.Lock"], check=True, timeout=30, env=desktop.env())
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
        self.each(case)

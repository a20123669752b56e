"""The Wayland saver on each desktop of wsession.Desktop: every output covered, a tremor of the
pointer ignored, a click, a move or a key ending it with 0, a full-screen window kept full
screen, and a compositor that goes away said in one line."""

import os
import re
import shutil
import time
import unittest

import wsession

from test_windows import SEED, SETTLE, STEPS
from xsession import BLACK, LinuxTestCase, memory_frame, wait_until

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
                wait_until(lambda: self.display.screenshot().data in screens, 60, "the show and black")
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
            program = self.saver(desktop, kind + "-gone")
            desktop.stop()
            self.assertEqual((program.process.wait(timeout=30), program.stderr()),
                             (1, "rolvanta: the Wayland compositor went away\n"))
        self.each(case)

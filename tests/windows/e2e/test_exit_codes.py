"""Exit codes of the real saver: command lines that name no usable mode or window end with
-1, and a second full-screen start while one runs ends with 0 and leaves the first in front."""

import subprocess

import harness
from harness import EXIT_BAD_COMMAND_LINE


class BadCommandLines(harness.SaverTestCase):

    def test_unusable_command_lines_end_with_minus_one(self):
        # A window handle that names no window: one the probe confirms is not a window.
        absent = 0x7FFF0
        self.assertIsNone(self.session.window_info(absent))
        cases = {
            "a letter that is no switch": "/x",
            "a tab before the letter": "/\ts",
            "preview without a handle": "/p",
            "preview with a colon before the handle": "/p:123",
            "preview with handle 0": "/p 0",
            "preview into a handle that names no window": "/p %d" % absent,
            "change password, not on Windows 9x": "/a 5",
        }
        for what, switches in cases.items():
            with self.subTest(what, switches=switches):
                run = self.start_saver(switches)
                self.assertEqual(run.exit_code(60), EXIT_BAD_COMMAND_LINE)
        # None of them may have left a window behind.
        self.assertEqual(self.session.find_windows(harness.SAVER_CLASS, None), [])

    def test_wine_itself_passes_on_only_the_low_byte(self):
        # Started through `wine` rather than the probe, -1 reaches Linux as 255: why the other
        # tests read exit codes through the probe.
        result = subprocess.run(["wine", self.session.scr, "/x"], env=self.session.env(), stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
        self.assertEqual(result.returncode, 255)


class SecondStart(harness.SaverTestCase):

    def test_second_start_ends_with_zero_and_the_first_stays_in_front(self):
        first = self.start_saver("/s")
        window = first.window()
        second = self.start_saver("/s")
        self.assertEqual(second.exit_code(60), 0)
        self.assertTrue(first.running())
        windows = self.session.find_windows(harness.SAVER_CLASS, None)
        self.assertEqual([w.hwnd for w in windows], [window.hwnd])
        foreground = self.session.foreground()
        self.assertIsNotNone(foreground)
        self.assertEqual(foreground.hwnd, window.hwnd)
        # The first one is untouched: it still closes on a key, with 0.
        self.session.xdotool("key", "a")
        self.assertEqual(first.exit_code(60), 0)

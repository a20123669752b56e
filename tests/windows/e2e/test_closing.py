"""What closes the full-screen saver when no password guards it, with real input: a key, a
mouse button, the pointer travelling more than 4 pixels (city-block) from where it was when the
saver started, or a posted WM_CLOSE. On NT, and under the Windows 98 emulation where
"ScreenSaveUsePassword" is 0 or absent or PASSWORD.CPL lacks the verify entry point, the first
such input closes it without any prompt. The pointer is placed, and read back through Wine,
before every start."""

import unittest

import harness
import password_stage
import rides
from password_session import TIMEOUT, PasswordSession
from password_stage import PBT_POWERSETTINGCHANGE, WM_CLOSE, WM_POWERBROADCAST, Stage, count

START = (320, 240)


class Closing(PasswordSession):

    def setUp(self):
        super().setUp()
        # Long rides, so that the picture is on the move when a test needs a sign of life.
        self.session.write_settings(Sound=0, Blank=0, Coravendia=1, Valtorne=0, Speed=4, Rate=40)

    def start(self, name, win98=False, use_password=None, cpl="cpl"):
        password_stage.reset_saver_running_flag(self.session)
        self.session.place_pointer(*START)
        stage = Stage(self.session, name, cpl=cpl)
        run = self.start_protected(stage, win98=win98, use_password=use_password)
        self.assertEqual(run.window().foreground, True)
        return stage, run

    def handled_all_input(self, run):
        """Waits until the saver has taken ticks after the input sent so far. Wine hands a
        thread its input before its timer messages, so a ride that moved on screen after the
        input reached Wine was moved by ticks that came after that input was handled."""
        first = rides.wait_for_rider(self.session, 60, "a ride on screen")
        harness.wait_until(lambda: (lambda s: s is not None and s.x != first.x)(rides.coravendia(self.session.screenshot())),
                           60, "the ride to move on")
        self.assertTrue(run.running(), "the saver closed")

    def test_the_first_input_closes_with_zero_when_no_password_guards_the_saver(self):
        key = lambda: self.session.xdotool("key", "a")
        button = lambda: self.session.xdotool("click", "1")
        travel = lambda: self.session.xdotool("mousemove", START[0] + 3, START[1] + 2)
        posted_close = lambda: self.post(WM_CLOSE)
        # name, first input, Windows 98, "ScreenSaveUsePassword", PASSWORD.CPL in the folder
        cases = [
            ("key", key, False, None, "cpl"),
            ("button", button, False, None, "cpl"),
            ("travel", travel, False, None, "cpl"),
            ("notwin9x", posted_close, False, 1, "cpl"),
            ("value0", key, True, 0, "cpl"),
            ("absent", button, True, None, "cpl"),
            ("noentry", travel, True, 1, "cpl_noentry"),
        ]
        for name, first_input, win98, use_password, cpl in cases:
            with self.subTest(name):
                stage, run = self.start(name, win98, use_password, cpl)
                if name == "key":  # first a forged power notice, which the saver outlives
                    self.assertTrue(self.post(WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE, 16))
                    self.handled_all_input(run)
                if cpl == "cpl_noentry":
                    # It was looked at: loaded, found wanting, freed again before the first input.
                    self.wait_event("attach")
                    self.wait_event("detach")
                self.assertIn(password_stage.saver_running_flag(self.session), (None, "0"),
                              "the platform is never told that a saver runs")
                first_input()
                self.assert_exits_with(0)
                self.assertEqual(count(self.events(), "open"), 0, "no prompt opened")
                if cpl == "cpl":
                    self.assertEqual(stage.events(), [], "PASSWORD.CPL was never loaded")

    def test_four_pixels_do_not_close_and_small_moves_add_up(self):
        _, run = self.start("four")
        self.session.xdotool("mousemove", START[0] + 3, START[1] + 1)
        harness.wait_until(lambda: self.session.cursor()[:2] == (START[0] + 3, START[1] + 1), 30,
                           "Wine to see the 4-pixel move")
        self.handled_all_input(run)
        # One more pixel in the same direction: 5 from the start, though 1 from the last move.
        self.session.xdotool("mousemove", START[0] + 4, START[1] + 1)
        self.assert_exits_with(0)

    def test_not_windows_9x_the_change_password_switch_ends_with_minus_1(self):
        stage = Stage(self.session, "notwin9x_a", mpr=True)
        stage.configure(win98=False, use_password=1, override_mpr=True)
        self.assertIsNone(self.session.window_info(1234), "1234 must name no window")
        run = self.start_saver(command_line=stage.command_line("/a 1234"))
        self.assertEqual(run.exit_code(TIMEOUT), 0xFFFFFFFF)
        self.assertEqual(stage.mpr_calls(), [], "no password-change dialog was asked for")


if __name__ == "__main__":
    unittest.main()

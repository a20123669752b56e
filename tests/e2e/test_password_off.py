"""When no password is in force the saver closes on the first input without any prompt:
"ScreenSaveUsePassword" 0 or absent, a PASSWORD.CPL without the verify entry point, or a
platform that is not Windows 9x (where the change-password switch is not even a mode)."""

import unittest

import password_stage
from password_session import TIMEOUT, PasswordSession
from password_stage import WM_CLOSE, Stage, count


class NoPasswordTest(PasswordSession):

    def closes_on_first_input(self, name, first_input, cpl="cpl", **registry):
        password_stage.reset_saver_running_flag(self.session)
        stage = Stage(self.session, name, cpl=cpl)
        self.start_protected(stage, **registry)
        return stage, first_input

    def finish(self, first_input):
        self.assertIn(password_stage.saver_running_flag(self.session), (None, "0"),
                      "the platform is never told that a saver runs")
        first_input()
        self.assert_exits_with(0)
        self.assertEqual(count(self.events(), "open"), 0, "no prompt opened")

    def test_use_password_0_closes_on_a_key_press_and_never_loads_the_module(self):
        stage, first_input = self.closes_on_first_input(
            "value0", lambda: self.session.xdotool("key", "a"), win98=True, use_password=0)
        self.finish(first_input)
        self.assertEqual(stage.events(), [], "PASSWORD.CPL was never loaded")

    def test_use_password_absent_closes_on_a_mouse_button(self):
        stage, first_input = self.closes_on_first_input(
            "absent", lambda: self.session.xdotool("click", 1), win98=True, use_password=None)
        self.finish(first_input)
        self.assertEqual(stage.events(), [], "PASSWORD.CPL was never loaded")

    def test_module_without_the_entry_point_is_let_go_and_a_5_pixel_move_closes(self):
        stage, first_input = self.closes_on_first_input(
            "noentry", lambda: self.session.xdotool("mousemove_relative", "--", 5, 0), cpl="cpl_noentry",
            win98=True, use_password=1)
        # It was looked at: loaded, found wanting, freed again before the first input.
        self.wait_event("attach")
        self.wait_event("detach")
        self.finish(first_input)

    def test_not_windows_9x_closes_on_a_posted_wm_close_without_any_prompt(self):
        stage, first_input = self.closes_on_first_input(
            "notwin9x", lambda: self.post(WM_CLOSE), win98=False, use_password=1)
        self.finish(first_input)
        self.assertEqual(stage.events(), [], "PASSWORD.CPL was never loaded")

    def test_not_windows_9x_the_change_password_switch_ends_with_minus_1(self):
        stage = Stage(self.session, "notwin9x_a", mpr=True)
        stage.configure(win98=False, use_password=1, override_mpr=True)
        self.assertIsNone(self.session.window_info(1234), "1234 must name no window")
        run = self.start_saver(command_line=stage.command_line("/a 1234"))
        self.assertEqual(run.exit_code(TIMEOUT), 0xFFFFFFFF)
        self.assertEqual(stage.mpr_calls(), [], "no password-change dialog was asked for")

if __name__ == "__main__":
    unittest.main()

"""The change-password switch under Windows 98 emulation: "/a <handle>" asks the platform's
password library (the stand-in MPR.DLL next to the saver) for its dialog with "SCRSAVE", the
owner window, 0 and 0, and the process ends with 0. A handle that names no window, or none at
all, makes the foreground window the owner."""

import unittest

from password_session import TIMEOUT, PasswordSession
from password_stage import OtherApplication, Stage


class ChangePasswordTest(PasswordSession):

    def setUp(self):
        super().setUp()
        self.stage = Stage(self.session, "change", mpr=True)
        self.stage.configure(win98=True, use_password=1, override_mpr=True)
        # Two windows of another program: the first is not the foreground, the second is.
        self.background = OtherApplication(self, "Owner in the background")
        self.foreground = OtherApplication(self, "Owner in the foreground")
        foreground = self.session.foreground()
        self.assertIsNotNone(foreground)
        self.assertEqual(foreground.hwnd, self.foreground.window)

    def change(self, arguments):
        run = self.start_saver(command_line=self.stage.command_line(arguments))
        self.assertEqual(run.exit_code(TIMEOUT), 0)
        return self.stage.mpr_calls()

    def test_the_window_named_on_the_command_line_owns_the_dialog(self):
        calls = self.change("/a %d" % self.background.window)
        self.assertEqual(calls, [["SCRSAVE", str(self.background.window), "0", "0"]])

    def test_a_handle_naming_no_window_gives_the_dialog_to_the_foreground_window(self):
        self.assertIsNone(self.session.window_info(1234), "1234 must name no window")
        calls = self.change("/a 1234")
        self.assertEqual(calls, [["SCRSAVE", str(self.foreground.window), "0", "0"]])

    def test_no_handle_gives_the_dialog_to_the_foreground_window(self):
        calls = self.change("-A")
        self.assertEqual(calls, [["SCRSAVE", str(self.foreground.window), "0", "0"]])


if __name__ == "__main__":
    unittest.main()

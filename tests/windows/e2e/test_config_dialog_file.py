"""The settings dialog and "control.ini": OK writes all seven keys of [ScreenSaver.Rolvanta],
in their order, as decimal text, leaves every other section and key as it was, and ends with
1; the next full-screen run rides with what was saved. Cancel, Escape and the close box write
nothing and end with 0, and the next opening shows the file's values again. A read-only file
is left as it was: OK then says that the settings could not be saved and keeps the dialog,
and Cancel ends it with 0."""

import unittest

import harness
import saver_frames
from config_dialog_stage import (BARS, IDC_BLANK, IDC_CORAVENDIA, IDC_SOUND, IDCANCEL, IDOK, KEYS, SECTION,
                                 BarGeometry, DialogCase, make_read_only, read_control_ini, release_read_only,
                                 section_lines, write_control_ini)

STORED = {"Sound": 1, "Blank": 0, "Coravendia": 1, "Valtorne": 0, "Speed": 3, "Rate": 20, "Volume": 200}

STORED_FILE = """[Desktop]
Pattern=(None)
[ScreenSaver.Rolvanta]
Sound=1
Blank=0
Coravendia=1
Valtorne=0
Speed=3
Rate=20
Volume=200
"""


class ConfigDialogFileTest(DialogCase):

    def shows(self, seen, values):
        shown = {key: seen.check(key) for key in ("Sound", "Blank", "Coravendia", "Valtorne")}
        shown["Speed"] = seen.pos("speed")
        shown["Rate"] = seen.pos("rate")
        shown["Volume"] = 255 - seen.pos("volume")
        self.assertEqual(shown, values)

    def toggle(self, seen, ident):
        before = seen.control(ident)["check"]
        self.click(seen.center(ident))
        return self.wait_for(lambda s: s.control(ident)["check"] != before, "check box %d to toggle" % ident)

    def scroll_a_little(self, seen):
        """Clicks the Speed bar's down arrow and toggles Sound: changes a Cancel must drop."""
        before = seen.pos("speed")
        self.click(BarGeometry(seen, "speed").down_arrow())
        seen = self.wait_for(lambda s: s.pos("speed") != before, "the Speed bar to move")
        return self.toggle(seen, IDC_SOUND)

    def test_ok_writes_the_seven_keys_in_order_and_the_saver_rides_with_them(self):
        program, seen = self.open_dialog("/c")
        seen = self.toggle(seen, IDC_BLANK)
        seen = self.toggle(seen, IDC_CORAVENDIA)
        seen = self.toggle(seen, IDC_SOUND)
        self.tab_to(BARS["rate"]["id"])
        self.key("Home")
        seen = self.wait_for(lambda s: s.pos("rate") == 40, "Home to take Rate to 40")
        # Sound back off: a test run must not depend on a sound device.
        seen = self.toggle(seen, IDC_SOUND)
        self.click(seen.center(IDOK))
        self.assertEqual(self.ended(program), 1)

        raw = read_control_ini(self.session)
        self.assertIsNotNone(raw, "OK wrote no settings file")
        text = raw.decode("latin-1").replace("\r\n", "\n")
        self.assertEqual(text.split("\n")[0], "[%s]" % SECTION)
        self.assertEqual(section_lines(raw), [("Sound", "0"), ("Blank", "1"), ("Coravendia", "0"), ("Valtorne", "1"),
                                              ("Speed", "6"), ("Rate", "40"), ("Volume", "127")])

        program, seen = self.open_dialog("/c")
        self.shows(seen, {"Sound": 0, "Blank": 1, "Coravendia": 0, "Valtorne": 1, "Speed": 6, "Rate": 40,
                          "Volume": 127})
        self.click(seen.center(IDCANCEL))
        self.assertEqual(self.ended(program), 0)

        # Only the Valtorne, on a blanked screen: only the red machine rides, on black.
        saver = self.start_saver("/s")
        report = saver_frames.watch_rides(self.session, rides=3, timeout=120)
        self.assertGreaterEqual(report.rides, 3, report.summary())
        self.assertEqual(report.blue_frames, 0, report.summary())
        self.assertEqual(report.stray_frames, 0, report.summary())
        # A mouse movement ends the saver.
        self.session.xdotool("mousemove_relative", "--", 40, 40)
        self.assertEqual(self.ended(saver), 0)

    def test_cancel_escape_and_the_close_box_write_nothing(self):
        write_control_ini(self.session, STORED_FILE)
        original = read_control_ini(self.session)
        for ending in ("Cancel", "Escape", "close box"):
            with self.subTest(ending=ending):
                program, seen = self.open_dialog("/c")
                self.shows(seen, STORED)
                seen = self.scroll_a_little(seen)
                if ending == "Cancel":
                    self.click(seen.center(IDCANCEL))
                elif ending == "Escape":
                    self.keyboard_to(seen)
                    self.key("Escape")
                else:
                    box = seen.dialog["close_box"]
                    self.assertNotEqual(box, [-1, -1], "the dialog's frame has no close box")
                    self.click(box)
                self.assertEqual(self.ended(program), 0)
                self.assertEqual(read_control_ini(self.session), original)
        program, seen = self.open_dialog("/c")
        self.shows(seen, STORED)
        self.click(seen.center(IDCANCEL))
        self.assertEqual(self.ended(program), 0)

    def test_other_sections_and_keys_survive_an_ok(self):
        write_control_ini(self.session, """; the platform's own settings
[Desktop]
Pattern=(None)
Wallpaper=(None)
[ScreenSaver.Rolvanta]
Foreign=kept as is
Speed=9
[ScreenSaver.Other]
Speed=2
Sound=1
""")
        before = read_control_ini(self.session)
        program, seen = self.open_dialog("/c")
        self.click(seen.center(IDOK))
        self.assertEqual(self.ended(program), 1)
        after = read_control_ini(self.session)
        for section in ("Desktop", "ScreenSaver.Other"):
            self.assertEqual(section_lines(after, section), section_lines(before, section), section)
        self.assertIn(b"; the platform's own settings", after)
        ours = section_lines(after)
        self.assertIn(("Foreign", "kept as is"), ours)
        self.assertEqual(sorted(key for key, _ in ours), sorted(KEYS + ["Foreign"]))
        self.assertEqual(dict(ours)["Speed"], "9")

    def test_a_read_only_file_is_left_as_it_was_ok_says_so_and_keeps_the_dialog(self):
        write_control_ini(self.session, STORED_FILE)
        original = read_control_ini(self.session)
        path = self.session.control_ini
        self.addCleanup(release_read_only, path)
        if not make_read_only(path):
            self.skipTest("cannot make the settings file refuse writes here (root without chattr +i)")
        program, seen = self.open_dialog("/c")
        self.shows(seen, STORED)
        seen = self.scroll_a_little(seen)
        self.click(seen.center(IDOK))
        notices = lambda: self.session.find_windows("#32770", "Settings not saved")
        self.assertEqual(harness.wait_until(notices, 30, "the notice")[0].owner, seen.dialog["hwnd"])
        self.key("Return")
        harness.wait_until(lambda: not notices(), 30, "the notice to close, the dialog staying")
        self.click(self.look().center(IDCANCEL))
        self.assertEqual(self.ended(program), 0)
        self.assertEqual(read_control_ini(self.session), original)


if __name__ == "__main__":
    unittest.main()

"""The settings dialog opens from every configure command line, owned by the foreground
window or by none, shows the default settings when there is no settings file, and lays out
its nineteen controls where its template puts them; the process's exit code is the
dialog's result. Saves a screenshot of the dialog for a person to look at."""

import unittest

import harness
from config_dialog_stage import (CONTROLS, DIALOG_POS, DIALOG_SIZE, DIALOG_STYLE, IDC_RATE, IDC_SPEED, IDC_VOLUME,
                                 IDCANCEL, IDOK, TITLE, DialogCase, OwnerWindow, muldiv, read_control_ini,
                                 to_pixels)

SCREENSHOT = "config-dialog.png"


class ConfigDialogOpenTest(DialogCase):

    def save_dialog_picture(self, seen):
        """The dialog cut out of a screenshot, for a person to look at, once the dialog has
        covered the desktop's colour everywhere in its rectangle."""
        x, y, w, h = seen.dialog["window"]

        def painted():
            shot = self.session.screenshot()
            dialog = harness.Screenshot(w, h, b"".join(shot.row(row, x, x + w) for row in range(y, y + h)),
                                        shot.taken_at)
            return dialog if dialog.count(harness.DESKTOP_RGB) == 0 else None
        dialog = harness.wait_until(painted, 30, "the dialog to be painted over the desktop")
        self.session.save_artifact(dialog, SCREENSHOT)

    def check_defaults(self, seen):
        self.assertEqual([seen.check(k) for k in ("Sound", "Blank", "Coravendia", "Valtorne")], [0, 0, 1, 1])
        self.assertEqual(seen.control(IDC_SPEED)["range"], [1, 15])
        self.assertEqual(seen.control(IDC_SPEED)["pos"], 6)
        self.assertEqual(seen.control(IDC_RATE)["range"], [1, 40])
        self.assertEqual(seen.control(IDC_RATE)["pos"], 10)
        self.assertEqual(seen.control(IDC_VOLUME)["range"], [0, 255])
        self.assertEqual(seen.control(IDC_VOLUME)["pos"], 128, "volume 127 is shown as 255 - 127")

    def test_default_settings_and_the_templates_layout(self):
        program, seen = self.open_dialog("/c")
        dialog = seen.dialog
        base = seen.system["base_units"]

        self.assertEqual(dialog["title"], TITLE)
        self.assertEqual(dialog["class"], "#32770")
        self.assertEqual(dialog["style"] & DIALOG_STYLE, DIALOG_STYLE,
                         "style 0x%08X lacks some of 0x%08X" % (dialog["style"], DIALOG_STYLE))
        self.assertEqual(dialog["client_size"], [muldiv(DIALOG_SIZE[0], base[0], 4),
                                                 muldiv(DIALOG_SIZE[1], base[1], 8)])
        self.assertEqual(dialog["focus_id"], IDOK, "the first tab stop, OK, has the focus")
        self.assertEqual(dialog["default_id"], IDOK)

        self.assertEqual(len(seen.controls), len(CONTROLS))
        for seen_control, (cls, ident, style, x, y, w, h, text) in zip(seen.controls, CONTROLS):
            where = "control %d (%s %d)" % (seen_control["index"], cls, ident)
            self.assertEqual(seen_control["class"].lower(), cls.lower(), where)
            self.assertEqual(seen_control["id"], ident, where)
            self.assertEqual(seen_control["style"], style, where)
            self.assertTrue(seen_control["visible"], where)
            expected = to_pixels(base, x, y, w, h)
            if text == "icon":
                # An icon control takes the size of the icon it shows.
                expected[2:] = seen.system["icon_size"]
                self.assertTrue(seen_control["has_icon"], where)
            elif text is None:
                self.assertNotEqual(seen_control["text"], "", where)
            else:
                self.assertEqual(seen_control["text"], text, where)
            self.assertEqual(seen_control["rect"], expected, where)
            if text != "icon":
                self.assertEqual(seen_control["dlu"], [x, y, w, h], where)
            if text is None:
                # The credit line is the one text chosen here, so it is chosen to fit: a label
                # wider than its box wraps, and its second line falls outside the box.
                self.assertLessEqual(seen_control["text_width"], seen_control["rect"][2],
                                     "%s: %r does not fit its box" % (where, seen_control["text"]))

        self.check_defaults(seen)

        self.save_dialog_picture(seen)

        self.click(seen.center(IDCANCEL))
        self.assertEqual(self.ended(program), 0)
        self.assertIsNone(read_control_ini(self.session), "opening and cancelling wrote a settings file")

    def test_configure_switches_open_the_dialog_owned_by_the_foreground_window(self):
        # Each run ends another way, so that the exit code is seen to be the dialog's result.
        for switch, ending, code in (("/c", "Return", 1), ("/C", "Escape", 0), ("/c:1234", "Return", 1)):
            with self.subTest(switch=switch):
                owner = OwnerWindow(self, self.probe)
                program, seen = self.open_dialog(switch)
                self.assertEqual(seen.dialog["owner"], owner.window)
                base = seen.system["base_units"]
                # The template's position counts from the owner's client area.
                self.assertEqual(seen.dialog["client_origin"],
                                 [owner.client_origin[0] + muldiv(DIALOG_POS[0], base[0], 4),
                                  owner.client_origin[1] + muldiv(DIALOG_POS[1], base[1], 8)])
                self.keyboard_to(seen)
                self.key(ending)
                self.assertEqual(self.ended(program), code)
                owner.stop()

    def test_an_empty_command_line_opens_the_dialog_without_an_owner(self):
        program, seen = self.open_dialog()
        self.assertEqual(seen.dialog["owner"], 0)
        base = seen.system["base_units"]
        self.assertEqual(seen.dialog["client_origin"], [muldiv(DIALOG_POS[0], base[0], 4),
                                                        muldiv(DIALOG_POS[1], base[1], 8)])
        self.check_defaults(seen)
        self.click(seen.center(IDOK))
        self.assertEqual(self.ended(program), 1)


if __name__ == "__main__":
    unittest.main()

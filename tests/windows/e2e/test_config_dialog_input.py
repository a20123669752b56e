"""Real input on the settings dialog's three scroll bars: mouse clicks on the arrows and the
shaft, the keys of a focused bar, and thumb drags move the bars by the dialog's steps (line 1,
page 4 on Speed and Rate and 11 on Volume, Home to the bottom end, End to the top end),
clamped at both ends, and OK saves where they stand (the volume as 255 minus the position).

A clamp is seen in what follows it: a bar held at its end whose value had gone past it
would not move back by one step. Every step waits until the bar shows a change (or, for a
drag, until the platform reports the thumb being tracked); nothing waits a fixed time."""

import unittest

from config_dialog_stage import BARS, IDOK, BarGeometry, DialogCase, read_control_ini, section_lines


class ConfigDialogInputTest(DialogCase):

    def step(self, bar, action, expected, what):
        """Does `action` and waits until the bar shows a position other than before; that
        position must be `expected`."""
        before = self.look().pos(bar)
        action()
        seen = self.wait_for(lambda s: s.pos(bar) != before, "%s to move the %s bar from %d" % (what, bar, before))
        self.assertEqual(seen.pos(bar), expected, "%s on the %s bar at %d" % (what, bar, before))
        return seen

    def click_at(self, bar, part):
        def action():
            geometry = BarGeometry(self.look(), bar)
            point = getattr(geometry, part)()
            self.assertIsNotNone(point, "no room to click the %s of the %s bar" % (part, bar))
            self.click(point)
        return action

    def keys(self, *names):
        return lambda: self.key(*names)

    def saved(self):
        raw = read_control_ini(self.session)
        self.assertIsNotNone(raw, "OK wrote no settings file")
        return dict(section_lines(raw))

    def test_clicks_on_the_arrows_and_the_shaft(self):
        program, seen = self.open_dialog("/c")
        self.assertEqual((seen.pos("speed"), seen.pos("rate"), seen.pos("volume")), (6, 10, 128))

        s = lambda part: self.click_at("speed", part)
        self.step("speed", s("up_arrow"), 5, "the up arrow")
        self.step("speed", s("down_arrow"), 6, "the down arrow")
        self.step("speed", s("shaft_below"), 10, "the shaft below the thumb")
        self.step("speed", s("shaft_above"), 6, "the shaft above the thumb")
        self.step("speed", s("up_arrow"), 5, "the up arrow")
        self.step("speed", s("up_arrow"), 4, "the up arrow")
        self.step("speed", s("shaft_above"), 1, "a page up from 4 (clamped)")
        self.step("speed", s("down_arrow"), 2, "the down arrow after the clamp")
        self.step("speed", s("up_arrow"), 1, "the up arrow")
        # At the top: the up arrow must leave the value at 1, so the down arrow then gives 2.
        self.step("speed", lambda: (s("up_arrow")(), s("down_arrow")()), 2, "the up arrow at the top, then down")
        self.step("speed", s("shaft_below"), 6, "the shaft below the thumb")
        self.step("speed", s("shaft_below"), 10, "the shaft below the thumb")
        self.step("speed", s("down_arrow"), 11, "the down arrow")
        self.step("speed", s("down_arrow"), 12, "the down arrow")
        self.step("speed", s("shaft_below"), 15, "a page down from 12 (clamped)")
        self.step("speed", s("up_arrow"), 14, "the up arrow after the clamp")
        self.step("speed", s("down_arrow"), 15, "the down arrow")
        self.step("speed", lambda: (s("down_arrow")(), s("up_arrow")()), 14, "the down arrow at the bottom, then up")

        r = lambda part: self.click_at("rate", part)
        self.step("rate", r("shaft_below"), 14, "the shaft below the thumb")
        self.step("rate", r("shaft_above"), 10, "the shaft above the thumb")
        self.step("rate", r("up_arrow"), 9, "the up arrow")
        self.step("rate", r("down_arrow"), 10, "the down arrow")
        self.step("rate", r("down_arrow"), 11, "the down arrow")

        v = lambda part: self.click_at("volume", part)
        self.step("volume", v("shaft_above"), 117, "the shaft above the thumb")
        self.step("volume", v("shaft_below"), 128, "the shaft below the thumb")
        self.step("volume", v("up_arrow"), 127, "the up arrow")
        self.step("volume", v("down_arrow"), 128, "the down arrow")
        self.step("volume", v("shaft_above"), 117, "the shaft above the thumb")

        self.click(self.look().center(IDOK))
        self.assertEqual(self.ended(program), 1)
        saved = self.saved()
        self.assertEqual((saved["Speed"], saved["Rate"], saved["Volume"]), ("14", "11", "138"))

    def keyboard_walk(self, bar):
        """The six keys on the focused bar, with a clamp at each end for each way of moving."""
        info = BARS[bar]
        lo, hi, page = info["min"], info["max"], info["page"]
        start = self.look().pos(bar)
        k = self.keys
        self.step(bar, k("Down"), start + 1, "Down")
        self.step(bar, k("Up"), start, "Up")
        self.step(bar, k("Next"), start + page, "Page Down")
        self.step(bar, k("Prior"), start, "Page Up")
        self.step(bar, k("Home"), hi, "Home")
        self.step(bar, k("Next", "Up"), hi - 1, "Page Down at the bottom (clamped), then Up")
        self.step(bar, k("Down"), hi, "Down")
        self.step(bar, k("Down", "Up"), hi - 1, "Down at the bottom (clamped), then Up")
        self.step(bar, k("End"), lo, "End")
        self.step(bar, k("Prior", "Down"), lo + 1, "Page Up at the top (clamped), then Down")
        self.step(bar, k("Up"), lo, "Up")
        self.step(bar, k("Up", "Down"), lo + 1, "Up at the top (clamped), then Down")

    def test_keys_on_a_focused_bar(self):
        program, seen = self.open_dialog("/c")
        self.keyboard_to(seen)
        for bar in ("speed", "rate", "volume"):
            with self.subTest(bar=bar):
                self.tab_to(BARS[bar]["id"])
                self.keyboard_walk(bar)
        # Enter on a bar is the default button's: OK.
        self.key("Return")
        self.assertEqual(self.ended(program), 1)
        saved = self.saved()
        self.assertEqual((saved["Speed"], saved["Rate"], saved["Volume"]), ("2", "2", "254"))

    def drag(self, bar, to_y, expected_track):
        """Drags the bar's thumb to the row to_y (screen pixels): while the button is held the
        platform tracks the thumb but the bar keeps its position; at the release the bar takes
        the tracked position. Returns that position."""
        seen = self.look()
        before = seen.pos(bar)
        x, y = BarGeometry(seen, bar).thumb()
        self.session.xdotool("mousemove", x, y)
        self.session.xdotool("mousedown", 1)
        try:
            for fraction in (0.25, 0.5, 0.75, 1.0):
                self.session.xdotool("mousemove", x, int(y + (to_y - y) * fraction))
            tracking = self.wait_for(lambda s: s.track(bar) != before and
                                (expected_track is None or s.track(bar) == expected_track),
                                "the %s thumb to be tracked%s" % (
                                    bar, "" if expected_track is None else " at %d" % expected_track))
            self.assertEqual(tracking.pos(bar), before, "the %s bar moved while its thumb was tracked" % bar)
        finally:
            self.session.xdotool("mouseup", 1)
        tracked = tracking.track(bar)
        seen = self.wait_for(lambda s: s.pos(bar) != before, "the %s bar to take the dragged position" % bar)
        self.assertEqual(seen.pos(bar), tracked)
        return tracked

    def test_thumb_drags(self):
        program, seen = self.open_dialog("/c")
        geometry = BarGeometry(seen, "speed")
        # Past the far end, yet near enough that the platform still tracks the thumb.
        self.drag("speed", geometry.y + geometry.h + geometry.w // 2, 15)
        geometry = BarGeometry(self.look(), "volume")
        self.drag("volume", geometry.y - geometry.w // 2, 0)
        geometry = BarGeometry(self.look(), "rate")
        middle = self.drag("rate", geometry.y + geometry.h // 2 + 3, None)
        self.assertTrue(10 < middle < 40, "a drag to just below the middle gave %d" % middle)
        # And back to the top end.
        geometry = BarGeometry(self.look(), "speed")
        self.drag("speed", geometry.y - geometry.w // 2, 1)

        self.click(self.look().center(IDOK))
        self.assertEqual(self.ended(program), 1)
        saved = self.saved()
        self.assertEqual((saved["Speed"], saved["Rate"], saved["Volume"]), ("1", str(middle), "255"))


if __name__ == "__main__":
    unittest.main()

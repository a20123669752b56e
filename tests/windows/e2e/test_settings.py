"""The settings in control.ini (section ScreenSaver.Rolvanta of the prefix's Windows folder)
change what the full-screen saver shows and plays; values out of range are repaired."""

import re

import harness
import rides


def read_calls(run):
    """The run's relay trace's calls, in order: (name, arguments) for each "Call dll.Name(...)"."""
    text = run.log_text()
    return [(m.group(1), m.group(2)) for m in re.finditer(r"Call \w+\.(\w+)\(([^)]*)\)", text)]


class Speed(harness.SaverTestCase):

    def assert_step(self, speed_setting, step):
        self.session.write_settings(Sound=0, Blank=0, Coravendia=1, Valtorne=0, Speed=speed_setting, Rate=40)
        run = self.start_saver("/s")
        run.window()
        # Several places of one ride: a step of another size (15 for a clamped 99, say) would
        # put them on whole steps of 6 only by a long run of chances.
        sightings = rides.follow_ride(self.session, 5, 60)
        right_edge = self.session.width - rides.CORAVENDIA_WIDTH
        toward_right = sightings[-1].x > sightings[0].x
        start = 0 if toward_right else right_edge
        xs = [s.x for s in sightings]
        self.assertTrue(all((x - start) % step == 0 for x in xs),
                        "Speed=%s: places %r are whole steps of %d from %d" % (speed_setting, xs, step, start))
        run.close()

    def test_speed_sets_the_step_of_each_tick(self):
        self.assert_step(12, 12)

    def test_speed_out_of_range_rides_like_six(self):
        self.assert_step(99, 6)


class Models(harness.SaverTestCase):

    def test_coravendia_only(self):
        self.session.write_settings(Sound=0, Blank=0, Coravendia=1, Valtorne=0, Speed=6, Rate=40)
        self.start_saver("/s").window()
        for _ in range(3):
            sighting = rides.wait_for_rider(self.session, 60, "a Coravendia ride")
            self.assertLess(rides.valtorne_red(sighting.shot), rides.VALTORNE_RED_PIXELS)
            rides.wait_for_empty(self.session, 60)
        self.session.save_artifact(sighting.shot, "settings_coravendia_only.png")

    def test_valtorne_only(self):
        self.session.write_settings(Sound=0, Blank=0, Coravendia=0, Valtorne=1, Speed=6, Rate=40)
        self.start_saver("/s").window()
        shots = []
        for _ in range(3):
            shot = harness.wait_until(
                lambda: (lambda s: s if rides.valtorne_red(s) >= rides.VALTORNE_RED_PIXELS else None)(
                    self.session.screenshot()), 60, "a red Valtorne ride", interval=0.02)
            self.assertEqual(shot.count(harness.CORAVENDIA_BACKGROUND), 0)
            shots.append(shot)
            harness.wait_until(lambda: rides.valtorne_red(self.session.screenshot()) == 0, 60,
                               "the Valtorne to leave the screen", interval=0.02)
        self.session.save_artifact(shots[-1], "settings_valtorne_only.png")


class Blank(harness.SaverTestCase):
    """Under Wine a new window's pixels start out black, so the desktop never shows behind the
    saver and a blanked screen looks the same as an unblanked one. What differs is what the
    saver does: with Blank on, the background erase fills the window black before the first
    picture is copied; with Blank off, the first fill is the first ride's strip, after it."""

    def first_fill_and_copy(self, blank):
        self.session.write_settings(Sound=0, Blank=blank, Coravendia=1, Valtorne=0, Speed=15, Rate=40)
        run = self.start_saver("/s", env={"WINEDEBUG": "+relay"}, name="blank%d" % blank)
        run.window()
        rides.wait_for_rider(self.session, 60, "the first ride", whole=False)
        self.session.xdotool("key", "a")
        self.assertEqual(run.exit_code(60), 0)
        run.close()
        names = [name for name, _ in read_calls(run)]
        # Where the platform offers display-state notices the saver asks for them, rides and
        # still closes as before; and it gives the request back at the end.
        self.assertEqual([n for n in names if n.endswith("PowerSettingNotification")],
                         ["RegisterPowerSettingNotification", "UnregisterPowerSettingNotification"])
        self.assertIn("FillRect", names)
        self.assertIn("BitBlt", names)
        return names.index("FillRect"), names.index("BitBlt")

    def test_blank_on_fills_the_window_before_the_first_picture(self):
        fill, copy = self.first_fill_and_copy(1)
        self.assertLess(fill, copy)

    def test_blank_off_draws_the_first_picture_before_any_fill(self):
        fill, copy = self.first_fill_and_copy(0)
        self.assertLess(copy, fill)

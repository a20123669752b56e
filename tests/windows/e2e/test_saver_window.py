"""The full-screen saver as the desktop sees it: its window, its cursor, the rides on it, and
the messages from other programs that it refuses."""

import os

import harness
import rides
from harness import SAVER_CLASS, SAVER_TITLE

WS_POPUP = 0x80000000
WS_VISIBLE = 0x10000000
WS_CLIPSIBLINGS = 0x04000000
WS_CLIPCHILDREN = 0x02000000
WS_EX_TOPMOST = 0x00000008


class SaverWindow(harness.SaverTestCase):

    def test_a_topmost_popup_over_exactly_the_screen(self):
        run = self.start_saver("/s")
        window = run.window()
        self.assertEqual(window.class_name, SAVER_CLASS)
        self.assertEqual(window.title, SAVER_TITLE)
        self.assertEqual(window.style, WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN)
        self.assertEqual(window.exstyle, WS_EX_TOPMOST)
        screen = self.session.probe("screen")[-1]
        self.assertEqual(window.rect, (0, 0, int(screen["width"]), int(screen["height"])))
        self.assertEqual(window.rect, (0, 0, self.session.width, self.session.height))
        self.assertEqual((window.parent, window.owner), (0, 0))
        self.assertTrue(window.foreground)

    def test_cursor_is_hidden_while_it_runs(self):
        # The measure first: over the probe's own window the foreground thread shows an arrow.
        host = self.host_preview(200, 150, x=100, y=100)
        self.session.place_pointer(103, 103)
        harness.wait_until(lambda: self.session.cursor()[2] != 0, 30, "the probe's arrow cursor")
        host.close()
        self.session.place_pointer(self.session.width // 2, self.session.height // 2)
        run = self.start_saver("/s")
        run.window()
        harness.wait_until(lambda: self.session.cursor()[2] == 0, 30, "the saver to hide the cursor")


class ScaledScreens(harness.SaverTestCase):

    def test_at_each_logpixels_pictures_are_whole_blocks_of_the_nearest_whole_scale(self):
        # Wine reads LogPixels as each process starts. Slow rides: at 288 dpi a picture is wholly
        # on screen in one ride of four or five, and there for a few steps only.
        logpixels = ["wine", "reg", "add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels", "/t", "REG_DWORD", "/d"]
        self.addCleanup(self.session.run, logpixels + ["96", "/f"])
        self.session.write_settings(**dict(self.FAST, Speed=2))
        w, h = self.session.width, self.session.height
        for dpi, s in ((96, 1), (120, 1), (144, 2), (192, 2), (288, 3)):
            with self.subTest(dpi=dpi):
                self.session.close_all_savers()  # a run a failed row left would keep the next from starting
                self.session.run(logpixels + [str(dpi), "/f"])
                self.assertEqual(self.start_saver("/s").window().rect, (0, 0, w, h), "the window covers the screen")

                def inside():
                    shot = self.session.screenshot()
                    box = shot.bbox(harness.CORAVENDIA_BACKGROUND)
                    return (shot, box) if box and box[0] > 0 and box[1] > 0 and box[2] < w and box[3] < h else None
                shot, (left, top, right, bottom) = harness.wait_until(inside, 120, "a picture wholly on screen")
                self.assertEqual((right - left, bottom - top, left % s, top % s), (168 * s, 110 * s, 0, 0))
                uneven = [(x, y) for y in range(top, bottom) for x in range(left, right)
                          if shot.pixel(x, y) != shot.pixel(x - x % s, y - y % s)]
                self.assertEqual(uneven[:5], [], "pixels unlike the rest of their s x s block")


class Rides(harness.SaverTestCase):

    def test_first_ride_starts_at_an_edge_and_moves_step_by_step_leaving_black(self):
        # With sound on, the Coravendia's start sound holds the first picture still at its
        # starting edge for its 3 s; then the ride moves `Speed` pixels a step.
        speed = 4
        self.session.write_settings(Sound=1, Blank=0, Coravendia=1, Valtorne=0, Speed=speed, Rate=40)
        run = self.start_saver("/s")
        first = rides.wait_for_rider(self.session, 60, "the first picture")
        right_edge = self.session.width - rides.CORAVENDIA_WIDTH
        self.assertIn(first.x, (0, right_edge), "the first picture stands at an edge: %r" % first)
        self.session.save_artifact(first.shot, "saver_first_picture.png")
        run.window()

        sightings = rides.follow_ride(self.session, 4, 60)
        toward_right = sightings[0].x == 0 or sightings[-1].x > sightings[0].x
        start = 0 if toward_right else right_edge
        xs = [s.x for s in sightings]
        self.assertEqual(xs, sorted(xs, reverse=not toward_right), "one direction: %r" % xs)
        for x in xs:
            self.assertEqual((x - start) % speed, 0, "whole steps of %d from %d: %r" % (speed, start, xs))
        last = sightings[-1]
        self.session.save_artifact(last.shot, "saver_ride_under_way.png")
        # For the record, not a claim: the ticks Wine delivered for the 1 ms timer (it raises
        # every interval to its 10 ms minimum).
        # The first place may be the picture standing through the start sound: measured from
        # the second one on.
        moving = sightings[1]
        seconds = last.shot.taken_at - moving.shot.taken_at
        if seconds > 0:
            print("ticks per second seen: %.0f" % (abs(last.x - moving.x) / speed / seconds), flush=True)
        # Between the starting edge and the picture, the rows it covers are black: its trail
        # was painted out and nothing of it stays behind.
        top, bottom = max(0, last.top), last.box[3]
        band = (0, top, last.x, bottom) if toward_right else (last.box[2], top, self.session.width, bottom)
        band_pixels = (band[2] - band[0]) * (band[3] - band[1])
        self.assertGreater(band_pixels, 0)
        self.assertEqual(last.shot.count(harness.BLACK, band), band_pixels)

    def test_later_rides_follow_after_a_pause(self):
        run = self.start_saver("/s")
        run.window()
        first = rides.wait_for_rider(self.session, 60, "a first ride", whole=False)
        empty = rides.wait_for_empty(self.session, 60, "the first ride to leave the screen")
        # Nothing of the ride stays: the screen is all black between rides.
        self.assertEqual(empty.count(harness.BLACK), empty.width * empty.height)
        self.session.save_artifact(empty, "saver_between_rides.png")
        again = rides.wait_for_rider(self.session, 60, "the next ride", whole=False)
        self.assertIsNotNone(first)
        self.assertIsNotNone(again)
        self.assertTrue(run.running())

    def test_on_a_screen_5200_wide_rides_go_both_ways_edge_to_edge_and_leave_nothing(self):
        # A display of its own (a few seconds to make); rides both ways (a coin toss a ride) are
        # each seen on their way and then gone, picture and all.
        wide = harness.start(os.path.join(self.session.dir, "wide"), self.session.win32_dir, width=5200, height=240)
        self.addCleanup(harness.stop, wide.dir, True)
        wide.write_settings(**self.FAST)
        self.addCleanup((run := harness.SaverRun(wide, '"%s" /s' % wide.win_path(wide.scr))).close)
        directions = set()
        while len(directions) < 2:
            seen = rides.follow_ride(wide, 2, 60)
            directions.add(seen[1].x > seen[0].x)
            empty = rides.wait_for_empty(wide, 60, "the ride from %d to leave the screen" % seen[1].x)
            self.assertEqual(empty.count(harness.BLACK), empty.width * empty.height)


class RefusedMessages(harness.SaverTestCase):

    def test_settext_from_another_program_returns_zero_and_the_title_stays(self):
        run = self.start_saver("/s")
        window = run.window()
        fields = self.session.probe("settext", hex(window.hwnd), harness.encode("Changed by another program"))[-1]
        self.assertEqual(fields["ok"], "1")
        self.assertEqual(fields["result"], "0")
        self.assertEqual(fields["title"], SAVER_TITLE)
        self.assertEqual(self.session.window_info(window.hwnd).title, SAVER_TITLE)
        self.assertEqual(len(self.session.find_windows()), 1)

    def test_sc_screensave_returns_zero_and_the_saver_goes_on(self):
        run = self.start_saver("/s")
        window = run.window()
        self.assertEqual(self.session.send(window.hwnd, harness.WM_SYSCOMMAND, harness.SC_SCREENSAVE), 0)
        # Still riding: a ride moves after the message was handled.
        rides.follow_ride(self.session, 2, 60)
        self.assertTrue(run.running())
        self.assertEqual(self.session.find_windows()[0].hwnd, window.hwnd)

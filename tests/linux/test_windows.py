"""The Linux program on the windows XScreenSaver gives it, and on its own: the picture the
Windows show's core draws for the same seed lands in the right window and nowhere else;
a grown window is ridden at its new size; closing its own window or a signal ends it
cleanly."""

import json
import os
import shutil
import signal
import subprocess
import time
import unittest

import wsession

from xsession import (PROGRAM, XTOOL, BLACK, CORAVENDIA_BACKGROUND, DESKTOP_RGB, LinuxTestCase, blocks, differences,
                      memory_frame, wait_until)

SETTLE = 1.5  # what must not end the saver is given this long to: input ends it within a frame
SWAY_DESKTOP = (63, 63, 63)  # what an output of sway shows where nothing covers it
NEEDS = ("sway", "grim", "wtype", "xdotool", "weston", "weston-flower")

SEED = 20261208
STEPS = 40  # the first ride is under way at any speed and seed


class WindowTargets(LinuxTestCase):

    def held_frame_matches_core(self, target_options, window, speed_option, speed, env=None, name="held", scale=1):
        """Runs a seeded show held after STEPS steps on `window` and compares the window's
        pixels with the memory port's frame, and the rest of the screen with the desktop."""
        x0, y0, x1, y1 = window.box
        width, height = x1 - x0, y1 - y0
        reference, copy = memory_frame(-(-width // scale), -(-height // scale), SEED, STEPS, speed)
        reference = blocks(reference, scale, width, height)
        program = self.rolvanta(*target_options, "--blank", "--seed", SEED, "--steps", STEPS,
                                "--speed", speed_option, env=env, name=name)
        program.line(lambda l: l.startswith("rolvanta: held after"), 60, "the show to hold at step %d" % STEPS)
        shot = self.display.screenshot()
        self.display.save(shot, name + ".png")
        count, examples = differences(shot, window.box, reference)
        self.assertEqual(count, 0, "%d pixels differ from the core's frame (last copy %r): %r"
                         % (count, copy, examples))
        # The frame holds a picture, and nothing was drawn outside the window.
        self.assertGreater(shot.count_matching(lambda r, g, b: (r, g, b) != BLACK, window.box), 1000)
        outside = self.WIDTH * self.HEIGHT - width * height
        self.assertEqual(shot.count(DESKTOP_RGB), outside)
        self.assertEqual(program.end(signal.SIGTERM), 0, program.stderr())
        self.assertEqual(program.stderr(), "")

    def test_window_id_and_xscreensaver_window_show_the_cores_frame(self):
        window = self.window(400, 300, 120, 90)
        self.held_frame_matches_core(["--window-id", hex(window.id)], window, 6, 6, name="window-id")
        window.close()
        # The daemon's way: --root with the window in XSCREENSAVER_WINDOW, here in decimal, and
        # a speed out of range that must ride as the default, 6.
        window = self.window(360, 250, 30, 200)
        env = self.display.env(XSCREENSAVER_WINDOW=str(window.id))
        self.held_frame_matches_core(["--root"], window, 99, 6, env=env, name="xscreensaver-window")

    def test_xft_dpi_192_and_scale_3_draw_whole_blocks_of_2_and_3(self):
        subprocess.run(["xrdb", "-nocpp", "-merge"], input=b"Xft.dpi: 192\n", env=self.display.env(), check=True)
        self.addCleanup(self.display.run, ["xrdb", "-remove"])
        window = self.window(621, 461, 10, 10)  # odd: part of a block at the edges
        # 5 as Xft.dpi 480 would give: the Coravendia is 840 x 550, cut by the window.
        for options, scale in (([], 2), (["--scale", 3], 3), (["--scale", 5], 5)):
            self.held_frame_matches_core(["--window-id", hex(window.id)] + options, window, 3, 3,
                                         name="scale-%d" % scale, scale=scale)

    def test_the_frame_rate_box_is_in_blocks_and_a_shorter_number_leaves_nothing_of_a_longer(self):
        window = self.window(400, 301, 0, 0)  # odd: a box flush with the bottom would sit between blocks
        program = self.rolvanta("--window-id", hex(window.id), "--blank", "-fps", "--scale", 2, "--speed", 1,
                                "--steps", 150, name="fps")
        program.line(lambda l: l.startswith("rolvanta: held after"), 60, "the show to hold")
        riding = self.display.screenshot().bbox((255, 255, 255))  # white: in no picture; held, the count falls to 0.0
        wait_until(lambda: self.display.screenshot().bbox((255, 255, 255))[2] < riding[2], 30, "a shorter box")
        shot = self.display.screenshot()
        lit = {(x, y) for y in range(200, 301) for x in range(200) if shot.pixel(x, y) == (255, 255, 255)}
        self.assertEqual(lit, {(x ^ i, y ^ j) for x, y in lit for i in (0, 1) for j in (0, 1)}, "2 x 2 blocks")

    def test_a_window_it_cannot_draw_on_is_refused_in_one_line(self):
        input_only = self.window(200, 100, 0, 0, rgb=None)
        for options, env, words in ((["--window-id", hex(input_only.id)], {}, "input-only"),
                                    (["--root"], {"XSCREENSAVER_WINDOW": str(input_only.id)}, "input-only"),
                                    (["--root"], {"XSCREENSAVER_WINDOW": "0x400001 "}, "'0x400001 '"),
                                    (["--root"], {"XSCREENSAVER_WINDOW": "garbage"}, "not a window id"),
                                    (["--root"], {"XSCREENSAVER_WINDOW": "0"}, "not a window id"),
                                    (["--scale", "9"], {}, "0 to 8, not '9'"), (["--scale", "-1"], {}, "not '-1'")):
            with self.subTest(options=options, env=env):
                result = subprocess.run([PROGRAM, "--blank"] + options, env=self.display.env(**env),
                                        stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                        timeout=10)
                stderr = result.stderr.decode()
                self.assertEqual((result.returncode, stderr.count("\n")), (1, 1), stderr)
                self.assertIn(words, stderr)
        # The root window, which an unreadable variable used to fall back to, was never blackened.
        self.assertEqual(self.display.screenshot().count(DESKTOP_RGB), self.WIDTH * self.HEIGHT)

    def test_two_modules_started_in_the_same_second_ride_differently(self):
        # As XScreenSaver starts one per monitor: no --seed, equal windows, held at the same step.
        windows = [self.window(300, 220, 10 + 320 * i, 10) for i in range(2)]
        programs = [self.rolvanta("--window-id", hex(w.id), "--blank", "--speed", 3, "--steps", STEPS,
                                  name="twin-%d" % i) for i, w in enumerate(windows)]
        for program in programs:
            program.line(lambda l: l.startswith("rolvanta: held after"), 60, "the show to hold")
        shot = self.display.screenshot()
        frames = [b"".join(shot.row(y, x0, x1) for y in range(y0, y1)) for x0, y0, x1, y1 in (w.box for w in windows)]
        self.assertTrue(all(frame.strip(b"\0") for frame in frames), "a ride in each window")
        self.assertNotEqual(frames[0], frames[1], "both monitors hold the same ride")
        for program in programs:
            self.assertEqual(program.end(signal.SIGTERM), 0, program.stderr())

    def test_a_grown_window_is_ridden_at_its_new_size(self):
        window = self.window(300, 200, 0, 0)
        program = self.rolvanta("--window-id", hex(window.id), "--blank", "--speed", 15, "--rate", 40,
                                "--no-valtorne", name="grown")
        x0, y0, _, _ = window.box

        def coravendia_in(box):
            return lambda: self.display.screenshot().count(CORAVENDIA_BACKGROUND, box) > 500
        wait_until(coravendia_in(window.box), 60, "a ride in the small window")
        window.resize(640, 480)
        # Every ride at the new width passes right of x = 500; none at the old one can.
        wait_until(coravendia_in((500, 0, 640, 480)), 60, "a ride at the new size", interval=0.02)
        self.assertTrue(program.running())
        self.assertEqual(program.end(signal.SIGINT), 0, program.stderr())

    def test_own_window_ends_when_closed(self):
        program = self.rolvanta("--blank", "--no-coravendia", "--speed", 15, name="own-window")

        def window_id():
            result = self.display.run(["xwininfo", "-name", "Rolvanta"], check=False)
            for line in result.stdout.decode().splitlines():
                if "Window id:" in line:
                    return int(line.split()[3], 16)
            return None
        window = wait_until(window_id, 30, "the program's own window")
        red = lambda r, g, b: r > 150 and g < 90 and b < 90  # noqa: E731 the Valtorne's paint
        wait_until(lambda: self.display.screenshot(window).count_matching(red) > 200, 60, "a Valtorne ride")
        self.display.run([XTOOL, "close", hex(window)])
        self.assertEqual(program.process.wait(timeout=30), 0, program.stderr())


class GrownWindow(LinuxTestCase):
    """The program's own window, 800 x 600, grown on a larger screen while a ride crosses it."""

    WIDTH = 1000
    HEIGHT = 700

    def test_a_ride_under_way_leaves_by_the_new_edge_and_nothing_of_it_stays(self):
        # The first ride goes right, caught in its first half; grown, it is last drawn at x = 1002, step 502.
        program = self.rolvanta("-window", "--blank", "--seed", 20264380, "--speed", 2, "--delay", 20000,
                                "--no-valtorne", "--steps", 502, name="grown-own-window")
        wait_until(lambda: self.display.screenshot().count(CORAVENDIA_BACKGROUND, (0, 0, 400, 600)) > 500, 60,
                   "the first ride in the window's left half")
        self.display.run(["xdotool", "search", "--name", "^Rolvanta$", "windowsize", "1000", "700"])
        program.line(lambda l: l.startswith("rolvanta: held after"), 60, "the ride's end")
        self.assertEqual(self.display.screenshot().count_matching(lambda *rgb: any(rgb)), 0, "pixels left of the ride")


class WideScreen(LinuxTestCase):
    """A screen wider than 5000 pixels, as --root gets across three monitors."""

    WIDTH = 5200
    HEIGHT = 200

    def test_rides_cross_a_wide_screen_and_leave_it_black(self):
        program = self.rolvanta("--root", "--blank", "--no-valtorne", "--speed", 15, "--rate", 40, name="wide")
        seen = {"far": False, "near": False, "rides": 0}

        def two_rides():
            shot = self.display.screenshot()

            def drawn(x0, x1):
                return any(shot.row(y, x0, x1).strip(b"\0") for y in range(self.HEIGHT))
            seen["far"] = seen["far"] or drawn(self.WIDTH - 200, self.WIDTH)
            seen["near"] = seen["near"] or drawn(0, 200)
            # A ride reached both edges, and then the pause after it left the screen black.
            if seen["far"] and seen["near"] and not shot.data.strip(b"\0"):
                seen.update(far=False, near=False, rides=seen["rides"] + 1)
            return seen["rides"] >= 2
        wait_until(two_rides, 120, "two rides across %d pixels, each followed by a black pause" % self.WIDTH)
        self.assertEqual(program.end(signal.SIGTERM), 0, program.stderr())


@unittest.skipUnless(shutil.which("sway") and shutil.which("grim") and shutil.which("wtype") and os.geteuid() == 0,
                     "headless sway, grim and wtype as root are needed (tools/setup-machine installs them)")
class WaylandScreens(LinuxTestCase):
    """The Wayland client under headless sway with two outputs, DISPLAY set too: the held
    frame is the core's on one output and the others are black, at scale 1 and in whole 2x2
    blocks at scale 2; an output that comes is covered; a key or SIGTERM ends it with 0."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.sway = wsession.Sway()
        cls.sway.run("swaymsg", "create_output")

    @classmethod
    def tearDownClass(cls):
        cls.sway.stop()
        super().tearDownClass()

    def held(self, name, steps=STEPS):
        program = self.rolvanta("--blank", "--seed", SEED, "--steps", steps, name=name,
                                env=self.sway.env(DISPLAY=self.display.name))
        program.line(lambda l: l.startswith("rolvanta: held after"), 60, "the show to hold at step %d" % steps)
        return program

    def test_held_frame_on_one_output_black_on_the_others_at_scales_1_and_2(self):
        outputs = sorted(self.sway.outputs())
        for scale in (1, 2):
            self.sway.run("swaymsg", "output", outputs[0], "scale", str(scale))
            width, height = self.sway.outputs()[outputs[0]]
            program = self.held("wayland-scale-%d" % scale)
            reference, _ = memory_frame(width // scale, height // scale, SEED, STEPS, 6)
            shot = self.sway.screenshot(outputs[0])
            self.display.save(shot, "wayland-scale-%d.png" % scale)
            # Each picture pixel is a whole scale-by-scale block of its colour.
            rows = [b"".join(row[i:i + 3] * scale for i in range(0, len(row), 3))
                    for row in (reference.row(y) for y in range(reference.height))]
            wrong = [y for y in range(height) if shot.row(y) != rows[y // scale]]
            self.assertEqual(wrong, [], "rows differ from the core's frame at scale %d" % scale)
            for other in outputs[1:]:
                self.assertTrue(self.black(other), other)
            self.assertEqual(program.end(signal.SIGTERM, timeout=1), 0, program.stderr())
            self.assertEqual(program.stderr(), "")

    def black(self, output):
        shot = self.sway.screenshot(output)
        return shot.count(BLACK) == shot.width * shot.height

    def test_an_output_that_comes_is_covered_and_a_key_ends_it_with_0(self):
        program = self.held("wayland-key", steps=5)
        self.sway.run("swaymsg", "create_output")
        new = max(self.sway.outputs(), key=lambda name: int(name.rsplit("-", 1)[1]))
        wait_until(lambda: self.black(new), 60, "the new output %s to be covered" % new)
        for turn in ("90", "180", "flipped-90"):  # a stretched cover was placed a pixel off there
            self.sway.run("swaymsg", "output", new, "mode", "800x600", "transform", turn)
            wait_until(lambda: self.black(new), 60, "%s covered, turned %s" % (new, turn))
        # A headless seat has no keyboard until wtype makes one; typed before the client has
        # taken it, the key is lost, so it types until the client ends.
        wait_until(lambda: self.sway.run("wtype", "-k", "space") is not None and not program.running(), 60,
                   "a typed key to end the client", interval=0.2)
        self.assertEqual(program.process.wait(timeout=30), 0, program.stderr())


@unittest.skipUnless(all(map(shutil.which, NEEDS)) and os.geteuid() == 0, "%s as root are needed" % ", ".join(NEEDS))
class WaylandDesktops(LinuxTestCase):
    """Under sway an overlay that outlives an unplugged output, leaves a full-screen window full
    screen, runs once at a time and ends on one key, even one held as it starts; the compositor
    moving the pointer does not end it, a hand does. Weston's software renderer shows the ride."""

    WIDTH, HEIGHT = 1280, 800

    def sway(self, *nested, **backend):
        sway = wsession.Sway(*nested, **backend)
        self.addCleanup(sway.stop)
        return sway

    def typist(self, sway, *keys):  # wtype's keyboard (and keys) in the seat while the test runs
        keyboard = subprocess.Popen(["wtype"] + list(keys) + ["-s", "600000"], env=sway.env())
        self.addCleanup(lambda: (keyboard.kill(), keyboard.wait()))

    def saver(self, sway, name):
        program = self.rolvanta("--steps", 5, name=name, env=sway.env())
        program.line(lambda l: l.startswith("rolvanta: held after"), 60, "the saver to hold")
        return program

    def ends(self, program, sway=None):
        if sway:
            sway.run("wtype", "-k", "space")
        self.assertEqual(program.process.wait(timeout=30), 0, program.stderr())

    def test_one_key_ends_each_of_five_fresh_starts_and_a_second_start_leaves_the_first(self):
        sway = self.sway()
        self.typist(sway)
        for i in range(5):
            self.ends(self.saver(sway, "key-%d" % i), sway)
        first = self.saver(sway, "first")
        second = self.rolvanta(name="second", env=sway.env())
        self.assertEqual(second.process.wait(timeout=10), 0, second.stderr())
        self.assertTrue(first.running())
        self.ends(first, sway)
        self.typist(sway, "-P", "space")
        self.ends(self.rolvanta(name="held-key", env=sway.env()))

    def test_a_full_screen_window_is_still_full_screen_after_the_saver(self):
        sway = self.sway()
        self.typist(sway)
        pid = self.start(["weston-flower"], name="flower", env=sway.env()).process.pid
        def mode():
            nodes = [json.loads(sway.run("swaymsg", "-r", "-t", "get_tree"))]
            while nodes and nodes[0].get("pid") != pid:
                nodes = nodes[1:] + nodes[0]["nodes"] + nodes[0]["floating_nodes"]
            return nodes[0]["fullscreen_mode"] if nodes else None
        wait_until(lambda: mode() is not None, 60, "the window")
        sway.run("swaymsg", "[pid=%d] fullscreen enable" % pid)
        wait_until(lambda: mode() == 1, 60, "the window to be full screen")
        self.ends(self.saver(sway, "over-window"), sway)
        self.assertEqual(mode(), 1)

    def test_unplugging_the_focused_output_leaves_the_other_covered_and_a_key_ends_it(self):
        outer = self.sway()
        sway = self.sway(outer, WLR_BACKENDS="wayland", WLR_WL_OUTPUTS="2")
        self.typist(sway)
        whole = list(outer.outputs().values())[0][0]
        wait_until(lambda: [w < whole for w, _ in sway.outputs().values()] == [True] * 2, 60, "two outputs side by side")
        outputs = json.loads(sway.run("swaymsg", "-r", "-t", "get_outputs"))
        focused, other = (next(o["name"] for o in outputs if o["focused"] == f) for f in (True, False))
        program = self.saver(sway, "nested")
        width = sway.outputs()[other][0]
        outer.run("swaymsg", '[title="wlroots - %s"] kill' % focused)
        # The outer sway then gives the other output's window the room the first one had.
        wait_until(lambda: list(sway.outputs()) == [other] and sway.outputs()[other][0] > width, 60, "the unplug")
        wait_until(lambda: sway.screenshot(other).count(SWAY_DESKTOP) == 0, 60, "%s covered" % other)
        self.assertTrue(program.running())
        self.ends(program, sway)

    def test_a_real_pointer_ends_it_by_hand_not_by_a_change_of_scale_or_mode(self):
        sway = self.sway(WLR_BACKENDS="x11", DISPLAY=self.display.name)
        output = list(sway.outputs())[0]
        def act(*argv):
            subprocess.run([str(a) for a in argv], env=sway.env(DISPLAY=self.display.name), check=True, timeout=60,
                           stdout=subprocess.DEVNULL)
        act("xdotool", "mousemove", 500, 400)
        program = self.saver(sway, "pointer")
        # After a change sway reports the pointer where it no longer is (outside the surface after
        # the scale doubles), and the next report of a 2 px move lands far from there; a moved
        # output moves the pointer in the frame that leaves and enters the surface again.
        nudge = ("xdotool", "mousemove_relative", 2, 0)
        for change in (nudge, ("swaymsg", "output", output, "scale", 2), nudge,
                       ("swaymsg", "output", output, "mode", "800x600"), nudge,
                       ("swaymsg", "output", output, "pos", 0, 200), nudge):
            act(*change)
            time.sleep(SETTLE)
            self.assertTrue(program.running(), change)
        act("xdotool", "mousemove_relative", 10, 0)
        self.ends(program)
        program = self.saver(sway, "click")
        act("xdotool", "click", 1)
        self.ends(program)

    def test_headless_weston_with_pixman_shows_the_riding_motorcycle(self):
        weston = wsession.Weston(800, 600)
        self.addCleanup(weston.stop)
        program = self.rolvanta("--seed", SEED, "--steps", STEPS, name="weston", env=weston.env)
        program.line(lambda l: l.startswith("rolvanta: held after"), 60, "the show to hold")
        reference, _ = memory_frame(800, 600, SEED, STEPS, 6)
        wait_until(lambda: weston.screenshot().data == reference.data, 60, "the core's frame on weston's output")
        self.assertEqual(program.end(signal.SIGTERM), 0, program.stderr())

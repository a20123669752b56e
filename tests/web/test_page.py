"""The web page in Debian's headless Chromium, driven over the DevTools protocol: held frames
match the core's frame on the memory port pixel for pixel; a live ride keeps the core's
schedule; sound is logged but silent until a gesture and heard after one; a hidden page
stops its ticks and sound; a setting survives a reload; with the server gone, the worker's
copy still rides."""

import base64
import os
import subprocess
import time
import unittest

from chromium import Chromium, serve
from harness import Screenshot
from xsession import blocks, differences, memory_frame

SITE = os.environ.get("ROLVANTA_SITE", "")
WIDTH, HEIGHT = 480, 320
CANVAS_RGB = """(() => { const c = document.getElementById("show");
    const d = c.getContext("2d").getImageData(0, 0, c.width, c.height).data; let s = "";
    for (let i = 0; i < d.length; i += 4) s += String.fromCharCode(d[i], d[i + 1], d[i + 2]);
    return [c.width, c.height, btoa(s)]; })()"""


class Page(unittest.TestCase):

    def setUp(self):
        self.server = serve(SITE)
        self.addCleanup(self.server.stop)
        self.browser = Chromium(WIDTH + 160, HEIGHT + 160)
        self.addCleanup(self.browser.close)
        self.browser.call("Emulation.setDeviceMetricsOverride", width=WIDTH, height=HEIGHT, deviceScaleFactor=1,
                          mobile=False)

    def open(self, query):
        self.browser.open(self.server.url + "?" + query)

    def click(self, x, y):
        for kind in ("mouseMoved", "mousePressed", "mouseReleased"):
            self.browser.call("Input.dispatchMouseEvent", type=kind, x=x, y=y, button="left", clickCount=1)

    def set_hidden(self, hidden):
        window = self.browser.call("Browser.getWindowForTarget")["windowId"]
        self.browser.call("Browser.setWindowBounds", windowId=window, bounds={"windowState": "normal"})
        if hidden:
            self.browser.call("Browser.setWindowBounds", windowId=window, bounds={"windowState": "minimized"})
        self.browser.wait_for("document.hidden === %s" % ("true" if hidden else "false"), 30)

    def test_held_frames_match_the_cores_frame(self):
        for seed in (20261208, 4242, 77):
            with self.subTest(seed=seed):
                reference, copy = memory_frame(WIDTH, HEIGHT, seed, 40, 6)
                self.open("seed=%d&steps=40&blank=1&sound=0&speed=6&coravendia=1&valtorne=1" % seed)
                self.browser.wait_for("rolvanta.ticks() === 40", 60, "the hold at step 40")
                width, height, rgb = self.browser.evaluate(CANVAS_RGB)
                self.assertEqual((width, height), (WIDTH, HEIGHT))
                shot = Screenshot(width, height, base64.b64decode(rgb), time.monotonic())
                count, examples = differences(shot, (0, 0, WIDTH, HEIGHT), reference)
                self.assertEqual(count, 0, "%d pixels differ (last copy %r): %r" % (count, copy, examples))
                self.assertGreater(shot.count_matching(lambda r, g, b: (r, g, b) != (0, 0, 0)), 1000)

    def test_fractional_device_pixel_ratios_draw_whole_blocks_unsmoothed(self):
        for width, height, ratio, s in ((1707, 960, 1.5, 2), (1422, 800, 2.25, 2), (1280, 720, 2.5, 3)):
            with self.subTest(ratio=ratio):
                self.browser.call("Emulation.setDeviceMetricsOverride", width=width, height=height,
                                  deviceScaleFactor=ratio, mobile=False)
                self.open("seed=4242&steps=40&blank=1&sound=0&speed=6&coravendia=1&valtorne=1")
                self.browser.wait_for("rolvanta.ticks() === 40 && !!document.querySelector('#gear.resting')", 60)
                png = base64.b64decode(self.browser.call("Page.captureScreenshot", format="png")["data"])
                ppm = subprocess.run(["convert", "png:-", "ppm:-"], input=png, capture_output=True).stdout
                shot = Screenshot.from_ppm(ppm, 0)
                size = self.browser.evaluate("[show.width, show.height]")  # must be the screen's, to the pixel
                logical, copy = memory_frame(-(-size[0] // s), -(-size[1] // s), 4242, 40, 6)
                count, examples = differences(shot, (0, 0, shot.width, shot.height), blocks(logical, s, *size))
                self.assertEqual(count, 0, "%d pixels smoothed or astray (copy %r): %r" % (count, copy, examples))

    def test_a_page_grown_mid_ride_is_all_black_once_the_ride_is_over(self):
        self.browser.call("Emulation.setDeviceMetricsOverride", width=1000, height=600, deviceScaleFactor=1,
                          mobile=False)
        self.open("seed=20264380&blank=1&sound=0&speed=6&rate=40")  # the first ride goes right
        self.browser.wait_for("rolvanta.ticks() > 20", 30, "the first ride under way")
        self.browser.call("Emulation.setDeviceMetricsOverride", width=1280, height=720, deviceScaleFactor=1,
                          mobile=False)
        # In the pause after the ride: no tick for 600 ms, where a ride ticks every 10 ms.
        ticks, size, lit = self.browser.evaluate("""new Promise((done) => { let last, idle = 0; const poll = () => {
            const ticks = rolvanta.ticks(), rgba = show.getContext("2d").getImageData(0, 0, 1280, 720).data;
            if ((idle = ticks === last ? idle + 1 : 0) < 2 || ticks <= %d) return setTimeout(poll, 300, last = ticks);
            done([ticks, [show.width, show.height], rgba.filter((v, i) => i %% 4 !== 3 && v).length]); };
            poll(); })""" % (self.browser.evaluate("rolvanta.ticks()") + 5))
        self.assertEqual((size, lit), ([1280, 720], 0), "colour left after the ride ended at tick %d" % ticks)

    def test_a_live_ride_keeps_the_schedule_and_a_hidden_page_stops(self):
        # At speed 1 the first ride lasts over 480 ticks of 10 ms: three seconds of it are all
        # riding ticks.
        self.open("speed=1&sound=0&blank=1")
        ticks, ms = self.browser.evaluate("""new Promise((done) => setTimeout(() => {
            const ticks = rolvanta.ticks(), at = performance.now();
            setTimeout(() => done([rolvanta.ticks() - ticks, performance.now() - at]), 3000); }, 300))""")
        self.assertAlmostEqual(ticks / (ms / 10), 1.0, delta=0.05, msg="%d ticks in %.0f ms" % (ticks, ms))
        self.set_hidden(True)
        held = self.browser.evaluate("rolvanta.ticks()")
        time.sleep(1)
        self.assertEqual(self.browser.evaluate("rolvanta.ticks()"), held)
        self.set_hidden(False)
        self.browser.wait_for("rolvanta.ticks() > %d" % (held + 20), 30, "ticks after showing again")

    def test_sound_waits_for_a_gesture_and_stops_when_hidden(self):
        self.open("sound=1&volume=255&speed=15&rate=40&valtorne=0")
        self.browser.wait_for("rolvanta.cues.length >= 2", 30, "the first ride's cues")
        time.sleep(0.3)
        self.assertEqual(self.browser.evaluate("rolvanta.cues.filter((c) => c.heard).length"), 0)
        self.assertEqual(self.browser.evaluate("rolvanta.level()"), 0)
        self.click(WIDTH // 2, HEIGHT // 2)
        self.browser.wait_for("rolvanta.level() > 0.02", 30, "sound in the analyser after a click")
        self.browser.wait_for("rolvanta.sounding()", 30, "a sound playing")
        self.set_hidden(True)
        self.browser.wait_for("!rolvanta.sounding()", 30, "silence while hidden")
        self.set_hidden(False)
        self.browser.wait_for("rolvanta.sounding()", 30, "sound again once shown")

    def test_a_setting_survives_a_reload_and_the_page_rides_offline(self):
        self.open("rate=99")
        self.click(WIDTH - 28, HEIGHT - 28)  # the corner's settings button
        self.browser.wait_for("!document.getElementById('panel').hidden", 10, "the settings panel")
        # Out of range in the link, Rate is repaired to its default, as control.ini's would be.
        self.assertEqual(self.browser.evaluate("document.querySelector('[name=Rate]').value"), "10")
        self.browser.evaluate("""(() => { const speed = document.querySelector("[name=Speed]");
            speed.value = "12"; speed.dispatchEvent(new Event("change")); })()""")
        for kind in ("keyDown", "keyUp"):
            self.browser.call("Input.dispatchKeyEvent", type=kind, key="Escape", code="Escape",
                              windowsVirtualKeyCode=27)
        self.browser.wait_for("document.getElementById('panel').hidden", 10, "the panel closed by Escape")
        self.browser.wait_for("caches.match('rolvanta.wasm').then((hit) => !!hit)", 30, "the worker's copy")
        self.server.stop()
        self.browser.call("Page.reload")
        self.browser.wait_for("typeof rolvanta === 'object' && document.readyState === 'complete'", 30)
        self.browser.evaluate("rolvanta.ready")
        self.assertEqual(self.browser.evaluate("document.querySelector('[name=Speed]').value"), "12")
        self.browser.wait_for("rolvanta.ticks() > 20", 30, "a ride with the server stopped")


if __name__ == "__main__":
    unittest.main()

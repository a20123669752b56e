"""The full-screen saver on two monitors (the session made with `harness.py start --monitors 2`):
the primary monitor shows the rides in the saver window as on one monitor, the second monitor
goes black, and input over the second monitor ends the run, or on Windows 98 with a password
in force opens the prompt. A window of another program spanning both monitors stands in for
the desktop: nothing of it may show while the saver runs, and all of it once the saver has
ended."""

import time

import harness
import rides
from password_session import RECHECK_WAIT, TIMEOUT, PasswordSession
from password_stage import PBT_POWERSETTINGCHANGE, SC_MINIMIZE, SC_MOVE, WM_POWERBROADCAST, WM_SYSCOMMAND, Stage

DARK_CLASS = "RolvantaOtherMonitorClass"


class TwoMonitorChecks:
    """What both test classes below check of the session and of a finished run."""

    def setUp(self):
        super().setUp()
        self.assertEqual(self.session.monitors, 2, "this file runs in the two-monitor session")
        w, h = self.session.width, self.session.height
        self.primary = (0, 0, w, h)
        self.second = (w, 0, 2 * w, h)
        self.over_second = (w + w // 2, h // 2)
        self.desktop = self.stand_in(0, 0, 2 * w, h)
        self.wait_desktop_shows("the stand-in on both monitors")

    def wait_desktop_shows(self, what):
        w, h = self.session.width, self.session.height

        def whole():
            shot = self.session.screenshot()
            return all(shot.count(harness.STAND_IN_RGB, box) == w * h for box in (self.primary, self.second))
        harness.wait_until(whole, 30, what)

    def dark_windows(self):
        return self.session.find_windows(DARK_CLASS, None)

    def assert_second_monitor_dark(self, pid, what):
        dark = self.dark_windows()
        self.assertEqual([(d.pid, d.rect, d.visible, d.title) for d in dark], [(pid, self.second, True, "")], what)
        self.assertTrue(dark[0].exstyle & 0x8, "%s: topmost" % what)
        # A window just shown may not have reached the X screen yet: the picture is waited for.
        area = self.session.width * self.session.height

        def dark_everywhere():
            shot = self.session.screenshot()
            if shot.count(harness.STAND_IN_RGB) == 0 and shot.count(harness.BLACK, self.second) == area:
                return shot
            return None
        return harness.wait_until(dark_everywhere, 30, "%s: the desktop hidden and the second monitor black" % what)

    def assert_nothing_left(self, pid):
        self.assertEqual([w for w in self.session.find_windows(None, None) if w.pid == pid], [],
                         "no window of the saver remains")
        # The stand-in repaints what the saver's windows uncovered in its own time.
        self.wait_desktop_shows("the desktop back on both monitors")


class TwoMonitors(TwoMonitorChecks, harness.SaverTestCase):

    def start(self):
        self.session.place_pointer(*self.over_second)
        run = self.start_saver("/s")
        window = run.window()
        harness.wait_until(lambda: any(d.visible for d in self.dark_windows()), 60, "the second monitor's window")
        return run, window

    def test_the_saver_window_is_as_on_one_monitor_and_the_second_monitor_is_dark(self):
        run, window = self.start()
        self.assertEqual((window.class_name, window.title, window.style, window.exstyle, window.rect),
                         (harness.SAVER_CLASS, harness.SAVER_TITLE, 0x96000000, 0x8, self.primary))
        self.assertEqual([w.hwnd for w in self.session.find_windows()], [window.hwnd],
                         "one window with the saver's class and title")
        rider = rides.wait_for_rider(self.session, 60)
        self.assertLessEqual(rider.box[2], self.session.width, "the ride is on the primary monitor")
        shot = self.assert_second_monitor_dark(run.pid, "riding")
        self.session.save_artifact(shot, "two-monitors.png")
        self.assertTrue(run.running())

    def test_a_click_a_key_or_a_move_over_the_second_monitor_ends_the_run_with_0(self):
        x, y = self.over_second
        inputs = [
            ("a click", lambda: self.session.xdotool("click", 1)),
            ("a key", lambda: self.session.xdotool("key", "a")),
            ("a 5-pixel move", lambda: self.session.xdotool("mousemove", x + 3, y + 2)),
        ]
        for what, give in inputs:
            with self.subTest(input=what):
                # A run that a failed round left must not be the one the next round finds.
                self.session.close_all_savers()
                run, _ = self.start()
                self.assert_second_monitor_dark(run.pid, what)
                give()
                self.assertEqual(run.exit_code(60), 0)
                self.assert_nothing_left(run.pid)
                run.close()


class TwoMonitorsWithPassword(TwoMonitorChecks, PasswordSession):

    def test_input_over_the_second_monitor_opens_the_prompt_of_the_saver_window(self):
        self.session.place_pointer(*self.over_second)
        self.start_protected(Stage(self.session, "two_monitors", cpl="cpl"))
        pid = self.run_.pid
        harness.wait_until(lambda: any(d.visible for d in self.dark_windows()), 60, "the second monitor's window")
        self.wait_event("attach")
        x, y = self.over_second

        # Other programs' minimise and move, to either window, and a forged power notice.
        for window in (self.window, self.dark_windows()[0].hwnd):
            self.post(WM_SYSCOMMAND, SC_MINIMIZE, window=window)
            self.post(WM_SYSCOMMAND, SC_MOVE, window=window)
        for what in ("setwindowpos", "hide", "minimize", "notopmost", "unannounced", "restyle"):  # direct calls
            self.session.probe("call", hex(window), what)
        self.post(WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE, 16)
        self.settle()
        self.assert_saver_runs("forged messages")
        self.assert_second_monitor_dark(pid, "forged messages")

        # Refused without touching the pointer, which stays over the second monitor.
        self.session.xdotool("click", 1)
        shown = self.wait_prompt(1)
        self.assertEqual(self.wait_event("open", n=1)["owner"], self.window, "the prompt belongs to the saver window")
        self.assert_saver_runs("a click, prompt up")
        self.assert_second_monitor_dark(pid, "a click, prompt up")
        self.refuse(shown, "cancel-posted")
        refused_at = time.monotonic()
        self.settle()
        self.assert_saver_runs("refused")
        self.assert_second_monitor_dark(pid, "refused")
        self.assertEqual(self.prompts_opened(), 1)
        harness.wait_until(lambda: self.elapsed_since(refused_at) >= RECHECK_WAIT, TIMEOUT, "200 ms to pass")

        self.session.xdotool("mousemove", x + 3, y + 2)
        shown = self.wait_prompt(2)
        self.assert_second_monitor_dark(pid, "a move, prompt up")
        self.accept(shown)
        self.assert_exits_with(0)
        self.assert_nothing_left(pid)

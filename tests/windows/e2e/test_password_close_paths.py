"""Every way of ending the saver that the tests could think of, tried one after the other on
one protected saver (Windows 98 emulation, "ScreenSaveUsePassword" 1, the stand-in prompt),
first with no prompt up and then while the prompt is up. Each path either opens the prompt
(which is then refused) or changes nothing; a bypass is any path after which the saver window
is gone, hidden, moved, resized, clipped, disabled or another window's child, or its process
has ended; a saver window destroyed from outside must be made again at once. The test prints how many paths it tried and how
many bypassed the prompt, and fails on any bypass or on any path that did not do what it should.
"""

import sys
import time
import unittest

import harness
from password_session import RECHECK_WAIT, TIMEOUT, PasswordSession
from password_stage import (IDCANCEL, SC_CLOSE, SC_NEXTWINDOW, SC_PREVWINDOW, SC_SCREENSAVE, WM_ACTIVATEAPP, WM_CLOSE,
                            WM_COMMAND, WM_DESTROY, WM_ENDSESSION, WM_KEYDOWN, WM_LBUTTONDOWN, WM_MOUSEMOVE,
                            WM_MOUSEWHEEL, WM_NCDESTROY, WM_QUERYENDSESSION, WM_QUIT, WM_SYSCOMMAND,
                            WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE, SC_MINIMIZE, SC_MOVE, OtherApplication, Stage,
                            count)

PROMPT = "opens the prompt"
NOTHING = "changes nothing"
# While the prompt is up: it stays up, or its modal loop ends without an answer (a WM_QUIT
# reached it), which must count as a refusal.
STAYS = "prompt stays up"
ENDS_REFUSED = "prompt ends refused"
WM_SETREDRAW = 0x000B


class ClosePathsTest(PasswordSession):

    def setUp(self):
        super().setUp()
        self.results = []  # (phase, path, expected, observed, bypass)
        self.last_close = None

    def key(self, *keys):
        return lambda: self.session.xdotool("key", *keys)

    def click(self, button, repeat=1):
        return lambda: self.session.xdotool("click", "--repeat", repeat, button)

    def move_by(self, dx, dy):
        return lambda: self.session.xdotool("mousemove_relative", "--", dx, dy)

    def saver_still_there(self):
        """Also whole, enabled and nobody's child: a region, a disabled window or a parent lets
        the desktop show, or input pass, or the password no longer be typed."""
        if not super().saver_still_there():
            return False
        fields = self.session.window_info(self.window).fields
        # An open prompt rightly disables its owner.
        prompt_up = count(self.events(), "open") > count(self.events(), "close")
        # Nor a child's style, nor one that lets clicks through (layered and transparent).
        return (fields["region"] == "0" and fields["parent"] == "0x0" and (prompt_up or fields["enabled"] == "1")
                and int(fields["style"], 16) & 0x40000000 == 0 and int(fields["exstyle"], 16) & 0x80020 == 0)

    def covered_within(self, seconds, what):
        # The guard hears of these changes, or sees them on a tick of the show's timer.
        def covered():
            windows = [w for w in self.session.find_windows() if w.pid == self.run_.pid]
            if windows:
                self.window = windows[0].hwnd
            return windows and self.saver_still_there()
        harness.wait_until(covered, seconds, "the screen covered again after " + what, interval=0.1)

    def timer_exit(self):
        self.assertEqual(self.session.probe("timer-exit", hex(self.window))[-1], {"posted": "1"})
        self.settle()
        deadline = time.monotonic() + 2
        while time.monotonic() < deadline:
            self.assertTrue(self.saver_still_there(), "a posted timer message ended or uncovered the saver")
            time.sleep(0.2)

    def adopt(self):
        # Another program's window takes the saver as its child, and is then destroyed.
        # Made a child, the saver is no longer active, and rightly asks for the password.
        self.session.probe("adopt", hex(self.window), 300)
        self.covered_within(3, "the parent's destruction")

    def call_and_cover(self, what, seconds):
        return lambda: (self.call(what)(), self.covered_within(seconds, what))

    def raise_other_window(self):
        self.raised = OtherApplication(self, "Another application, held up")
        self.raised_at = time.monotonic()

    def key_after_other_window(self):
        harness.wait_until(lambda: time.monotonic() - self.raised_at >= 4, 10, "4 s with the other window up")
        self.raised.stop()
        self.session.xdotool("key", "a")

    def prompt_hidden_by_owner(self):
        shown = [e for e in self.events() if e["kind"] == "shown"][-1]
        self.call("hide-popups")()
        harness.wait_until(lambda: self.session.window_info(shown["dialog"]).visible, 5,
                           "the prompt shown again after its owner's pop-ups were hidden", interval=0.1)

    def then_keys(self, attack):
        """An attack, then keys until one opens the prompt: the first may come before the guard's next look."""

        def action():
            opened = count(self.events(), "open")
            held = attack()
            harness.wait_until(lambda: count(self.events(), "open") > opened or self.session.xdotool("key", "a"),
                               TIMEOUT, "a prompt", interval=0.5)
            if held is not None:
                held.close()

        return action

    def hold(self, what):
        """Another program holds the keyboard (the probe's Hold); with "attach", its program then ends."""
        holder = harness.ProbeProcess(self.session, ["hold", what, hex(self.window)], "hold")
        self.addCleanup(holder.close)
        holder.lines.until(lambda f: f.get("tag") == "held", TIMEOUT, "the keyboard held")
        if what == "attach":
            holder.close()
        return holder

    def cover(self):
        """Another program's top-most window that never becomes active goes beneath the saver."""
        x, y = self.session.width // 4, self.session.height // 4
        cover = harness.ProbeProcess(self.session, ["colour", x, y, x, y, 255, 0, 0, "top"], "cover")
        self.addCleanup(cover.close)
        cover.lines.until(lambda f: f.get("tag") == "colour", TIMEOUT, "the top-most window")
        harness.wait_until(lambda: self.session.probe("pixel", x + 9, y + 9)[-1]["rgb"] != "255,0,0", 5,
                           "the saver over another program's top-most window", interval=0.1)
        cover.close()

    def prompt_attacked(self, what):
        """Another program's call on the open prompt, which is soon whole and in view again."""

        def whole(dialog):
            prompt = self.session.window_info(dialog)
            return (prompt.visible and prompt.fields["region"] == "0" and min(prompt.rect) >= 0
                    and prompt.rect[2] <= self.session.width and prompt.rect[3] <= self.session.height)

        def action():
            dialog = [e for e in self.events() if e["kind"] == "shown"][-1]["dialog"]
            self.assertEqual(self.session.probe("call", hex(dialog), what)[-1], {"called": "1"})
            harness.wait_until(lambda: whole(dialog), 5, "the prompt whole after " + what, interval=0.1)

        return action

    # --- trying one path ------------------------------------------------------------------------

    def post_later(self, message, wparam=0, lparam=0):
        return lambda: self.assertTrue(self.post(message, wparam, lparam))

    def send(self, message, wparam=0, lparam=0):
        """SendMessage from another process; collected once the path has been answered."""

        def action():
            self.pending_senders.append(self.send_in_background(message, wparam, lparam))

        return action

    def call(self, what):
        return lambda: self.assertEqual(self.session.probe("call", hex(self.window), what)[-1], {"called": "1"})

    def forge_creates(self):
        # Wine gives the commit charge, the private bytes, only as the page-file use.
        used = lambda: int(self.session.probe("resources", self.run_.pid)[-1]["pagefile"])
        before = used()
        self.assertEqual(self.session.probe("create", hex(self.window), 1000, timeout=600)[-1], {"sent": "1000"})
        self.assertLess(used() - before, 10 << 20, "1,000 forged WM_CREATE leaked")
        self.assertEqual(self.session.window_info(self.window).title, "Screen Saver")

    def other_application(self):
        OtherApplication(self, "Another application").stop()

    def cancel_prompt(self, number):
        """Refuses prompt `number` unless it has already ended by itself."""
        shown = self.wait_event("shown", n=number)
        if count(self.events(), "close", n=number) == 0:
            # The prompt may end on its own at the same moment (Alt+F4 reaching it): a post to a
            # window that is gone is no error here.
            self.session.post(shown["dialog"], WM_COMMAND, IDCANCEL, 0)
        closed = self.wait_event("close", n=number)
        self.last_close = time.monotonic()
        return closed

    def wait_for_recheck(self):
        if self.last_close is not None:
            harness.wait_until(lambda: self.elapsed_since(self.last_close) >= RECHECK_WAIT, TIMEOUT,
                               "200 ms to pass")

    def try_path(self, name, action, expected, retrieved=None):
        """With no prompt up: does `action`, then finds out whether it opened the prompt."""
        self.wait_for_recheck()
        self.pending_senders = []
        before = len(self.events())
        opened = count(self.events(), "open")
        action()
        observed = NOTHING
        if expected == PROMPT:
            try:
                self.wait_event("open", n=opened + 1)
                observed = PROMPT
            except AssertionError:
                pass
        else:
            if retrieved is not None:
                # Input from the device is queued apart from posted messages: first see it taken.
                self.wait_retrieved(retrieved, before, window=self.window)
            if self.saver_still_there():
                self.settle()
            if count(self.events(), "open") > opened:
                observed = PROMPT
        if observed == PROMPT:
            closed = self.cancel_prompt(opened + 1)
            self.assertEqual(closed["result"], 0)
        for sender in self.pending_senders:
            sender.communicate(timeout=TIMEOUT)
        bypass = not self.saver_still_there()
        if not bypass:
            self.settle()
            bypass = not self.saver_still_there()
        self.results.append(("no prompt up", name, expected, observed, bypass))
        return not bypass

    def try_path_under_prompt(self, name, action, expected):
        """With a prompt up (opened first when there is none): does `action`, then looks at what
        became of the prompt."""
        events = self.events()
        opened = count(events, "open")
        if opened == count(events, "close"):
            self.wait_for_recheck()
            self.assertTrue(self.post(WM_CLOSE))
            opened += 1
            self.wait_event("shown", n=opened)
        self.pending_senders = []
        action()
        if self.saver_still_there():
            self.settle()
        events = self.events()
        closes = [e for e in events if e["kind"] == "close" and e["n"] == opened]
        nested = count(events, "open") > opened or any(e.get("depth", 1) != 1 for e in events if e["kind"] == "open")
        if nested:
            observed = "second prompt"
        elif not closes:
            observed = STAYS
        elif closes[0]["result"] == 0:
            observed = ENDS_REFUSED
            self.last_close = time.monotonic()
        else:
            observed = "prompt accepted"
        for sender in self.pending_senders:
            sender.communicate(timeout=TIMEOUT)
        bypass = not self.saver_still_there() or observed == "prompt accepted"
        self.results.append(("prompt up", name, expected, observed, bypass))
        return not bypass

    # --- the census -------------------------------------------------------------------------------

    def test_no_close_path_gets_past_the_prompt(self):
        self.addCleanup(harness.ProbeProcess(self.session, ["idle", "decoy"], "decoy").close)
        harness.wait_until(self.session.find_windows, TIMEOUT, "the decoy window")
        self.start_protected(Stage(self.session, "census", cpl="cpl"), env={"WINEDEBUG": "-all,err+seh"})
        self.wait_event("attach")

        without_prompt = [
            ("key press (a)", self.key("a"), PROMPT, None),
            ("Escape", self.key("Escape"), PROMPT, None),
            ("Return", self.key("Return"), PROMPT, None),
            ("space", self.key("space"), PROMPT, None),
            ("F1", self.key("F1"), PROMPT, None),
            ("Alt alone", self.key("alt"), PROMPT, None),
            ("Alt+F4", self.key("alt+F4"), PROMPT, None),
            ("Alt+Tab", self.key("alt+Tab"), PROMPT, None),
            ("Ctrl+Escape", self.key("ctrl+Escape"), PROMPT, None),
            ("left button", self.click(1), PROMPT, None),
            ("right button", self.click(3), PROMPT, None),
            ("middle button", self.click(2), PROMPT, None),
            ("double click", self.click(1, 2), PROMPT, None),
            ("mouse wheel", self.click(4), NOTHING, WM_MOUSEWHEEL),
            ("4-pixel move (3 across, 1 down)", self.move_by(3, 1), NOTHING, WM_MOUSEMOVE),
            ("1 pixel more: 5 from where the saver last looked", self.move_by(1, 0), PROMPT, None),
            ("2-pixel move", self.move_by(2, 0), NOTHING, WM_MOUSEMOVE),
            ("2 pixels more (4 in all)", self.move_by(0, 2), NOTHING, WM_MOUSEMOVE),
            ("2 pixels more (6 in all)", self.move_by(2, 0), PROMPT, None),
            ("5-pixel move", self.move_by(-3, -2), PROMPT, None),
            ("another application becoming active", self.other_application, PROMPT, None),
            ("WM_CLOSE posted", self.post_later(WM_CLOSE), PROMPT, None),
            ("WM_CLOSE sent", self.send(WM_CLOSE), PROMPT, None),
            ("WM_SYSCOMMAND SC_CLOSE posted", self.post_later(WM_SYSCOMMAND, SC_CLOSE), PROMPT, None),
            ("WM_SYSCOMMAND SC_CLOSE sent", self.send(WM_SYSCOMMAND, SC_CLOSE), PROMPT, None),
            ("WM_SYSCOMMAND SC_CLOSE with a low bit set, posted", self.post_later(WM_SYSCOMMAND, SC_CLOSE | 1), PROMPT,
             None),
            ("WM_ACTIVATEAPP 0 posted", self.post_later(WM_ACTIVATEAPP, 0), PROMPT, None),
            ("WM_KEYDOWN posted", self.post_later(WM_KEYDOWN, 0x41), PROMPT, None),
            ("WM_LBUTTONDOWN posted", self.post_later(WM_LBUTTONDOWN, 1), PROMPT, None),
            ("WM_QUIT posted", self.post_later(WM_QUIT), NOTHING, None),
            ("WM_QUIT sent", self.send(WM_QUIT), NOTHING, None),
            ("WM_DESTROY posted", self.post_later(WM_DESTROY), NOTHING, None),
            ("WM_DESTROY sent", self.send(WM_DESTROY), NOTHING, None),
            ("WM_NCDESTROY posted", self.post_later(WM_NCDESTROY), NOTHING, None),
            ("WM_QUERYENDSESSION sent", self.send(WM_QUERYENDSESSION), NOTHING, None),
            ("WM_ENDSESSION posted", self.post_later(WM_ENDSESSION, 1), NOTHING, None),
            ("WM_SYSCOMMAND SC_SCREENSAVE posted", self.post_later(WM_SYSCOMMAND, SC_SCREENSAVE), NOTHING, None),
            ("WM_SYSCOMMAND SC_NEXTWINDOW posted", self.post_later(WM_SYSCOMMAND, SC_NEXTWINDOW), NOTHING, None),
            ("WM_SYSCOMMAND SC_PREVWINDOW posted", self.post_later(WM_SYSCOMMAND, SC_PREVWINDOW), NOTHING, None),
            ("WM_POWERBROADCAST, lParam no record", self.post_later(WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE, 16),
             NOTHING, None),
            ("WM_SYSCOMMAND SC_MINIMIZE posted", self.post_later(WM_SYSCOMMAND, SC_MINIMIZE), NOTHING, None),
            ("WM_SYSCOMMAND SC_MOVE posted, then a move", lambda: (self.post(WM_SYSCOMMAND, SC_MOVE), self.settle(),
                                                                  self.move_by(30, 20)()), PROMPT, None),
            ("WM_APP sent", self.send(0x8000), NOTHING, None),
            ("1,000 WM_NCCREATE and WM_CREATE sent with a valid record", self.forge_creates, NOTHING, None),
            ("WM_TIMER and WM_SYSTIMER posted with ExitProcess as lParam", self.timer_exit, NOTHING, None),
            ("an empty window region set", self.call_and_cover("region", 1), NOTHING, None),
            ("WM_SETREDRAW FALSE sent", self.send(WM_SETREDRAW, 0), NOTHING, None),
            ("key press after WM_SETREDRAW FALSE", self.key("a"), PROMPT, None),
            ("a second key after the refusal", self.key("b"), PROMPT, None),
            ("EnableWindow FALSE called", self.call("disable"), NOTHING, None),
            ("key press after EnableWindow FALSE", self.key("a"), PROMPT, None),
            ("a second key after the refusal", self.key("b"), PROMPT, None),
            ("WS_DISABLED set with SetWindowLong", self.call("disable-style"), NOTHING, None),
            ("key press after WS_DISABLED", self.key("a"), PROMPT, None),
            ("another program's window held up for 4 s", self.raise_other_window, PROMPT, None),
            ("key press once it has come and gone", self.key_after_other_window, PROMPT, None),
            ("SetParent to a window that is then destroyed", self.adopt, PROMPT, None),
            ("key press on the saver made again", self.key("a"), PROMPT, None),
            ("WS_EX_LAYERED and WS_EX_TRANSPARENT set", self.call("layered"), NOTHING, None),
            ("WS_CHILD in place of WS_POPUP, then keys", self.then_keys(self.call("child-style")), PROMPT, None),
            ("SWP_NOSENDCHANGING moves and hides, then keys", self.then_keys(self.call("nosend-loop")), PROMPT, None),
            ("a focused child of another's, then keys", self.then_keys(lambda: self.hold("child")), PROMPT, None),
            ("attached focus, its program gone, then keys", self.then_keys(lambda: self.hold("attach")), PROMPT, None),
            ("another program's top-most window, never active", self.cover, NOTHING, None),
        ] + [("WM_POWERBROADCAST sent, lParam %#x" % p, self.send(WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE, p),
              NOTHING, None) for p in (0x10, 0xDEADBEEF)
        ] + [(what + " called", self.call(what), PROMPT if what.startswith("hide") else NOTHING, None) for what in
             ("setwindowpos", "movewindow", "hide", "minimize", "hide-async", "closewindow", "notopmost", "bottom",
              "unannounced", "restyle")]
        for name, action, expected, retrieved in without_prompt:
            if not self.try_path(name, action, expected, retrieved):
                break

        under_prompt = [
            ("key press", self.key("F5"), STAYS),
            ("click on the saver beside the prompt", lambda: self.session.xdotool("mousemove", 40, 40, "click", 1),
             STAYS),
            ("long mouse move", lambda: self.session.xdotool("mousemove", 560, 420), STAYS),
            ("another application becoming active", self.other_application, STAYS),
            ("WM_CLOSE posted", self.post_later(WM_CLOSE), STAYS),
            ("WM_CLOSE sent", self.send(WM_CLOSE), STAYS),
            ("WM_SYSCOMMAND SC_CLOSE posted", self.post_later(WM_SYSCOMMAND, SC_CLOSE), STAYS),
            ("WM_ACTIVATEAPP 0 posted", self.post_later(WM_ACTIVATEAPP, 0), STAYS),
            ("WM_KEYDOWN posted to the saver", self.post_later(WM_KEYDOWN, 0x41), STAYS),
            ("WM_SYSCOMMAND SC_SCREENSAVE posted", self.post_later(WM_SYSCOMMAND, SC_SCREENSAVE), STAYS),
            ("WM_QUIT posted", self.post_later(WM_QUIT), ENDS_REFUSED),
            ("WM_DESTROY posted", self.post_later(WM_DESTROY), STAYS),
            ("WM_DESTROY sent", self.send(WM_DESTROY), STAYS),
            ("ShowOwnedPopups FALSE on the saver", self.prompt_hidden_by_owner, STAYS),
            ("SetWindowPos not top-most, unannounced", self.call("unannounced"), STAYS),
            ("an empty window region set", self.call_and_cover("region", 1), STAYS),
            ("WM_SETREDRAW FALSE sent", self.send(WM_SETREDRAW, 0), STAYS),
            ("WM_TIMER and WM_SYSTIMER posted with ExitProcess as lParam", self.timer_exit, STAYS),
            ("the prompt hidden", self.prompt_attacked("hide"), STAYS),
            ("the prompt moved off screen", self.prompt_attacked("offscreen"), STAYS),
            ("the prompt given an empty region", self.prompt_attacked("region"), STAYS),
            ("WM_ENDSESSION TRUE sent, then the prompt hidden",
             lambda: (self.send(WM_ENDSESSION, 1)(), self.prompt_attacked("hide")()), STAYS),
            ("SetParent to a window that is then destroyed", self.adopt, STAYS),
        ]
        if self.saver_still_there():
            for name, action, expected in under_prompt:
                if not self.try_path_under_prompt(name, action, expected):
                    break

        tried = len(self.results)
        bypasses = sum(1 for row in self.results if row[4])
        wrong = [row for row in self.results if row[2] != row[3]]
        report = ["close paths tried with a password in force:"]
        for phase, name, expected, observed, bypass in self.results:
            report.append("  [%s] %-52s %-18s %s%s" % (phase, name, observed,
                                                        "" if observed == expected else "(expected: %s) " % expected,
                                                        "BYPASS" if bypass else ""))
        report.append("close paths tried: %d, bypasses: %d" % (tried, bypasses))
        print("\n".join(report), file=sys.stderr)

        self.assertEqual(bypasses, 0, "\n".join(report))
        self.assertEqual(tried, len(without_prompt) + len(under_prompt), "\n".join(report))
        self.assertEqual(wrong, [], "\n".join(report))
        self.assertNotIn("exception", self.run_.log_text())  # Wine's word of a fault it ignored

        # And the one way out: the right password.
        events = self.events()
        opened = count(events, "open")
        if opened == count(events, "close"):
            self.wait_for_recheck()
            self.session.xdotool("key", "a")
            opened += 1
        self.accept(self.wait_event("shown", n=opened))
        self.assert_exits_with(0)


if __name__ == "__main__":
    unittest.main()

"""A base for the password tests: one protected saver run at a time, driven with real input,
watched through the stand-in prompt's log, and always taken down at the end."""

import subprocess
import time

import harness
import password_stage
from password_stage import IDCANCEL, MARKER, WM_COMMAND, WM_NULL, count

# Generous: Wine on a loaded machine can be slow to start a program or to show a window.
TIMEOUT = 60
# Long enough for Wine's tick count to have moved 200 ms past the end of a refused prompt;
# the wait starts only after the test has read that end from the log.
RECHECK_WAIT = 0.25


class PasswordSession(harness.SaverTestCase):
    """Starts the saver copy of a stage and offers the steps the tests are made of."""

    def setUp(self):
        super().setUp()
        self.addCleanup(password_stage.forget_desktop_password, self.session)

    def start_protected(self, stage, win98=True, use_password=1, override_mpr=False, env=None):
        self.stage = stage
        stage.configure(win98=win98, use_password=use_password, override_mpr=override_mpr)
        self.run_ = self.start_saver(command_line=stage.command_line("/s"), env=env)
        self.window = self.run_.window(timeout=TIMEOUT).hwnd
        return self.run_

    # --- reading the log ------------------------------------------------------------------------

    def events(self):
        return self.stage.events()

    def wait_event(self, kind, timeout=TIMEOUT, **fields):
        def found():
            for event in self.events():
                if event["kind"] == kind and all(event.get(k) == v for k, v in fields.items()):
                    return event
            return None

        return harness.wait_until(found, timeout, "%s %r in the prompt's log" % (kind, fields))

    def prompts_opened(self):
        return count(self.events(), "open")

    def post(self, message, wparam=0, lparam=0, window=None):
        return self.session.post(window or self.window, message, wparam, lparam)

    def send_in_background(self, message, wparam=0, lparam=0):
        """SendMessage from another process; it returns once the saver has handled it."""
        return subprocess.Popen(["wine", self.session.probe_exe, "send", hex(self.window), hex(message), str(wparam),
                                 str(lparam)], env=self.session.env(), stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)

    def sync(self):
        """Returns once the saver's thread has taken from its queue everything posted to its
        window before now: a marker posted behind it has come out."""
        markers = count(self.events(), "msg", message=WM_NULL, wparam=MARKER)
        self.assertTrue(self.post(WM_NULL, MARKER), "the saver window is gone")
        harness.wait_until(lambda: count(self.events(), "msg", message=WM_NULL, wparam=MARKER) > markers, TIMEOUT,
                           "the saver's thread to take the marker from its queue")

    def settle(self):
        """Like sync, and also covers what handling those messages posted in turn: the first
        marker comes out only after the messages ahead of it were handled, so whatever they
        posted lies in the queue ahead of the second."""
        self.sync()
        self.sync()

    def wait_retrieved(self, message, after, window=None):
        """Waits until the saver's thread took `message` from its queue at a log index past
        `after`; returns the index past it."""

        def found():
            events = self.events()
            for index in range(after, len(events)):
                event = events[index]
                if (event["kind"] == "msg" and event.get("message") == message
                        and (window is None or event.get("hwnd") == window)):
                    return index + 1
            return None

        return harness.wait_until(found, TIMEOUT, "message 0x%X to be taken from the queue" % message)

    # --- the prompt -----------------------------------------------------------------------------

    def wait_prompt(self, number):
        """Waits until prompt `number` is up and returns its "shown" event."""
        return self.wait_event("shown", n=number)

    def refuse(self, shown, how):
        number = shown["n"]
        if how == "cancel-click":
            self.session.xdotool("mousemove", *shown["cancel"])
            self.session.xdotool("click", 1)
        elif how == "wrong-password":
            self.session.xdotool("mousemove", *shown["edit"])
            self.session.xdotool("click", 1)
            self.session.xdotool("type", "--delay", 20, "not-" + self.stage.password)
            self.session.xdotool("key", "Return")
        elif how == "cancel-posted":
            self.post(WM_COMMAND, IDCANCEL, 0, window=shown["dialog"])
        else:
            raise ValueError(how)
        closed = self.wait_event("close", n=number)
        self.assertEqual(closed["result"], 0, "a refused prompt answers 0")
        return closed

    def accept(self, shown):
        self.session.xdotool("mousemove", *shown["edit"])
        self.session.xdotool("click", 1)
        self.session.xdotool("type", "--delay", 20, self.stage.password)
        self.session.xdotool("key", "Return")
        closed = self.wait_event("close", n=shown["n"])
        self.assertEqual(closed["result"], 1, "the right password is accepted")
        return closed

    # --- the saver ------------------------------------------------------------------------------

    def saver_still_there(self):
        """The process runs and its window is shown, top-most, covering the primary monitor."""
        if not self.run_.running():
            return False
        window = self.session.window_info(self.window)
        return (window is not None and window.visible and window.exstyle & 0x8 != 0
                and window.rect == (0, 0, self.session.width, self.session.height))

    def assert_saver_runs(self, what):
        self.assertTrue(self.run_.running(), "%s: the saver process ended" % what)
        self.assertTrue(self.saver_still_there(), "%s: the saver window is gone or hidden" % what)

    def cursor_handle(self):
        return self.session.cursor()[2]

    def assert_exits_with(self, code):
        self.assertEqual(self.run_.exit_code(TIMEOUT), code)

    @staticmethod
    def elapsed_since(moment):
        return time.monotonic() - moment

"""The end-to-end harness of the real saver under Wine: what every test file imports.

It gathers the parts (the Wine session of wine_session.py, the probe's processes of
probe_client.py, the screen and waiting, all in tools/support where the runners use them too) with the window messages and exit codes the tests name, and the base of every
test, SaverTestCase. `harness.py start` and `harness.py stop` make and end a session for CTest.
"""

import argparse
import sys
import unittest

from probe_client import (PREVIEW_TITLE, SAVER_CLASS, SAVER_TITLE, STAND_IN_RGB, Cued, PreviewHost,  # noqa: F401
                          ProbeProcess, SaverRun, StandIn, Window, encode, parse_fields)
from screen import BLACK, CORAVENDIA_BACKGROUND, DESKTOP_COLOUR, DESKTOP_RGB, Screenshot, is_red  # noqa: F401
from waiting import HarnessError, wait_until  # noqa: F401
from wine_session import (ARTIFACTS_ENV, SCREEN_HEIGHT, SCREEN_WIDTH, SESSION_ENV, Session,  # noqa: F401
                          fresh_prefix, start, stop, stop_prefix, windows_path)

# Window messages the tests send.
WM_SETTEXT = 0x000C
WM_KEYDOWN = 0x0100
WM_SYSKEYDOWN = 0x0104
WM_MOUSEMOVE = 0x0200
WM_LBUTTONDOWN = 0x0201
WM_RBUTTONDOWN = 0x0204
WM_MBUTTONDOWN = 0x0207
WM_ACTIVATEAPP = 0x001C
WM_SYSCOMMAND = 0x0112
SC_SCREENSAVE = 0xF140
TEST_FAULT_MESSAGE = 0x8123

EXIT_BAD_COMMAND_LINE = 0xFFFFFFFF  # -1 as the platform's 32-bit exit code
EXCEPTION_ACCESS_VIOLATION = 0xC0000005
KILLED_BY_HARNESS = 0xDEAD  # what the probe passes to TerminateProcess


class SaverTestCase(unittest.TestCase):
    """Attaches to the session, starts each test from a clean desktop, and ends whatever the
    test started, failed or not."""

    # Fast rides, only one model, no sound: what most tests want to see quickly. Tests that
    # need other settings write their own.
    FAST = dict(Sound=0, Blank=0, Coravendia=1, Valtorne=0, Speed=15, Rate=40, Volume=127)

    @classmethod
    def setUpClass(cls):
        cls.session = Session.load()

    def setUp(self):
        self.session.close_all_savers()
        self.session.write_settings(**self.FAST)
        self.session.clear_sound()
        self.session.place_pointer(self.session.width // 2, self.session.height // 2)

    def tearDown(self):
        self.session.close_all_savers()

    def start_saver(self, *switches, exe=None, command_line=None, timeout_ms=600000, env=None, name="saver"):
        """Starts the saver through the probe with "<path>" and the switches; ended at cleanup.
        `env` adds environment variables (WINEDEBUG=+relay for a trace of the calls that the
        session's RelayInclude names)."""
        if command_line is None:
            exe = exe or self.session.scr
            command_line = '"%s"' % self.session.win_path(exe)
            if switches:
                command_line += " " + " ".join(switches)
        run = SaverRun(self.session, command_line, timeout_ms=timeout_ms, env=env, name=name)
        self.addCleanup(run.close)
        return run

    def host_preview(self, width, height, letter="p", x=40, y=40):
        host = PreviewHost(self.session, width, height, letter, x=x, y=y)
        self.addCleanup(host.close)
        return host

    def stand_in(self, x, y, width, height):
        """A coloured window of another program (StandIn); closed at cleanup."""
        window = StandIn(self.session, x, y, width, height)
        self.addCleanup(window.close)
        return window

    def shot(self, name=None):
        shot = self.session.screenshot()
        if name:
            self.session.save_artifact(shot, name)
        return shot


def main(argv=None):
    parser = argparse.ArgumentParser(description="Makes or ends the Wine session of the end-to-end tests.")
    sub = parser.add_subparsers(dest="command", required=True)
    start_parser = sub.add_parser("start", help="create a fresh session")
    start_parser.add_argument("--dir", required=True)
    start_parser.add_argument("--win32-dir", required=True)
    start_parser.add_argument("--artifacts")
    start_parser.add_argument("--monitors", type=int, default=1, help="monitors side by side (default 1)")
    stop_parser = sub.add_parser("stop", help="stop the session")
    stop_parser.add_argument("--dir", required=True)
    args = parser.parse_args(argv)
    if args.command == "start":
        start(args.dir, args.win32_dir, args.artifacts, monitors=args.monitors)
    else:
        stop(args.dir)
    return 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Runs a Windows program (the saver) under Wine: run_under_wine.py PROGRAM [switch ...]

With $DISPLAY set, the program shows on that display, in the project's own Wine prefix under
build/ (created on first use), and this waits until it ends.

Without $DISPLAY, a session of the end-to-end harness is made under build/run-session (a
virtual display, its own prefix and HOME), the program runs there and screenshots are saved into
build/screenshots/, then a key press closes the program; the screenshots' folder and the exit
code are printed. Full screen (/s), the show's pauses between rides would leave most of the
screenshots black, so there they are taken only while a ride is on screen, a second apart at
least, for up to two minutes; the other modes are shot once a second for ten seconds.

The exit code is judged by the mode: the settings dialog (/c) ends with 1 after OK and 0 after
Cancel, every other mode with 0.
"""

import os
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tools", "support"))

import rides  # noqa: E402
import wine_session  # noqa: E402
from probe_client import SaverRun  # noqa: E402

BUILD = os.path.join(ROOT, "build")
SCREENSHOTS = 10
RIDE_WAIT_SECONDS = 120


def mode_letter(switches):
    """The saver picks its mode by the first switch's letter, after any / or -."""
    text = " ".join(switches).lstrip(" /-")
    return text[:1].lower()


def ride_on_screen(shot):
    """A whole Coravendia picture, or most of the Valtorne's red body, is on screen."""
    sighting = rides.coravendia(shot)
    return (sighting is not None and sighting.whole) or rides.valtorne_red(shot) >= rides.VALTORNE_RED_PIXELS


def exit_verdict(letter, code):
    """(success, what it means) for a mode's exit code."""
    if letter == "c" and code in (0, 1):
        return True, "the settings dialog was closed with %s" % ("OK" if code == 1 else "Cancel")
    return code == 0, "success" if code == 0 else "failure"


def windows_command_line(program, switches):
    return " ".join(['"%s"' % wine_session.windows_path(program)] + list(switches))


def run_on_display(program, switches):
    """Shows the program on the caller's display, in the project's prefix under build/."""
    prefix = os.path.join(BUILD, "wine-prefix")
    env = dict(os.environ, WINEPREFIX=prefix, WINEARCH="win32", WINEDEBUG=os.environ.get("WINEDEBUG", "-all"),
               WINEDLLOVERRIDES="mscoree,mshtml=")
    if not os.path.isdir(os.path.join(prefix, "drive_c")):
        print("run: creating the Wine prefix %s" % prefix, flush=True)
        os.makedirs(prefix, exist_ok=True)
        subprocess.run(["wine", "wineboot", "-i"], env=env, check=True)
    result = subprocess.run(["wine", program] + switches, env=env)
    # wine passes on the low byte of the 32-bit exit code: 255 for -1.
    code = -1 if result.returncode == 255 else result.returncode
    ok, meaning = exit_verdict(mode_letter(switches), code)
    print("run: %s ended with exit code %d: %s" % (os.path.basename(program), code, meaning))
    return ok


def run_headless(program, switches):
    session_dir = os.path.join(BUILD, "run-session")
    shots_dir = os.path.join(BUILD, "screenshots")
    os.makedirs(shots_dir, exist_ok=True)
    for name in os.listdir(shots_dir):
        if name.endswith(".png"):
            os.remove(os.path.join(shots_dir, name))
    session = wine_session.start(session_dir, os.path.join(BUILD, "win32"), artifacts=shots_dir)
    try:
        width, height = session.width, session.height
        # The pointer where the saver will find it, so that only a real move closes it.
        session.place_pointer(width // 2, height // 2)
        run = SaverRun(session, windows_command_line(program, switches), name="run")
        try:
            rides_only = mode_letter(switches) == "s"
            started = time.monotonic()
            deadline = started + (RIDE_WAIT_SECONDS if rides_only else SCREENSHOTS + 0.5)
            saved, last = 0, (None if rides_only else started)
            while saved < SCREENSHOTS and time.monotonic() < deadline and run.running():
                shot = session.screenshot()
                spaced = last is None or shot.taken_at - last >= 1.0
                if spaced and (not rides_only or ride_on_screen(shot)):
                    saved += 1
                    last = shot.taken_at
                    shot.save(os.path.join(shots_dir, "screen-%02d.png" % saved))
                time.sleep(0.05 if rides_only else max(0.0, last + 1.0 - time.monotonic()))
            if rides_only:
                print("run: %d screenshots, each taken while a ride was on screen%s" % (
                    saved, "" if saved == SCREENSHOTS else " (no more came within %d s)" % RIDE_WAIT_SECONDS),
                    flush=True)
            if run.running():
                session.xdotool("key", "space")
            try:
                code = run.exit_code(30)
            except AssertionError:
                print("run: the program did not end after a key press; ending it", flush=True)
                code = None
        finally:
            run.close()
    finally:
        wine_session.stop(session_dir, quiet=True)
    shots = sorted(n for n in os.listdir(shots_dir) if n.endswith(".png"))
    print("run: %d screenshots in %s" % (len(shots), shots_dir))
    if code is None:
        print("run: no exit code")
        return 1
    signed = code - (1 << 32) if code >= 1 << 31 else code
    ok, meaning = exit_verdict(mode_letter(switches), signed)
    print("run: %s ended with exit code %d (0x%08X): %s" % (os.path.basename(program), signed, code, meaning))
    return 0 if ok else 1


def main(argv):
    # Not argparse: the switches ("-s", "/p 123") are the program's, passed on untouched.
    if len(argv) < 2 or argv[1] in ("-h", "--help"):
        print(__doc__)
        return 2
    program = os.path.abspath(argv[1])
    switches = argv[2:]
    if os.environ.get("DISPLAY"):
        return 0 if run_on_display(program, switches) else 1
    return run_headless(program, switches)


if __name__ == "__main__":
    sys.exit(main(sys.argv))

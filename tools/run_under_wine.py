#!/usr/bin/env python3
"""Runs a Windows program (the saver) under Wine: run_under_wine.py PROGRAM [switch ...]

With $DISPLAY set, the program shows on that display, in the project's own Wine prefix under
build/ (created on first use), and this waits until it ends.

Without $DISPLAY, a session of the end-to-end harness is made under build/run-session (a
virtual display, its own prefix and HOME), the program runs there, a screenshot is saved every
second for about ten seconds into build/screenshots/, then a key press closes the program; the
screenshots' folder and the exit code are printed.
"""

import os
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "windows", "e2e"))

import harness  # noqa: E402

BUILD = os.path.join(ROOT, "build")
SCREENSHOT_SECONDS = 10


def windows_command_line(program, switches):
    return " ".join(['"%s"' % harness._win_path(program)] + list(switches))


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
    print("run: %s ended with exit code %d" % (os.path.basename(program), result.returncode))
    return result.returncode


def run_headless(program, switches):
    session_dir = os.path.join(BUILD, "run-session")
    shots_dir = os.path.join(BUILD, "screenshots")
    os.makedirs(shots_dir, exist_ok=True)
    for name in os.listdir(shots_dir):
        if name.endswith(".png"):
            os.remove(os.path.join(shots_dir, name))
    session = harness.start(session_dir, os.path.join(BUILD, "win32"), artifacts=shots_dir)
    try:
        width, height = session.width, session.height
        # The pointer where the saver will find it, so that only a real move closes it.
        session.place_pointer(width // 2, height // 2)
        run = harness.SaverRun(session, windows_command_line(program, switches), name="run")
        try:
            started = time.monotonic()
            for second in range(SCREENSHOT_SECONDS):
                time.sleep(max(0.0, started + second + 1 - time.monotonic()))
                if not run.running():
                    break
                path = os.path.join(shots_dir, "screen-%02d.png" % (second + 1))
                session.screenshot().save(path)
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
        harness.stop(session_dir, quiet=True)
    shots = sorted(n for n in os.listdir(shots_dir) if n.endswith(".png"))
    print("run: %d screenshots in %s" % (len(shots), shots_dir))
    if code is None:
        print("run: no exit code")
        return 1
    signed = code - (1 << 32) if code >= 1 << 31 else code
    print("run: %s ended with exit code %d (0x%08X)" % (os.path.basename(program), signed, code))
    return 0 if signed == 0 else 1


def main(argv):
    # Not argparse: the switches ("-s", "/p 123") are the program's, passed on untouched.
    if len(argv) < 2 or argv[1] in ("-h", "--help"):
        print(__doc__)
        return 2
    program = os.path.abspath(argv[1])
    switches = argv[2:]
    if os.environ.get("DISPLAY"):
        code = run_on_display(program, switches)
        return 0 if code == 0 else 1
    return run_headless(program, switches)


if __name__ == "__main__":
    sys.exit(main(sys.argv))

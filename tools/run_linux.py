#!/usr/bin/env python3
"""Shows the Linux program in a window: run_linux.py PROGRAM [option ...]

With $DISPLAY set, the program opens its own window there (or draws where --root or
--window-id says) and this waits until it ends: close the window or press Ctrl-C.

Without $DISPLAY, a virtual display of its own is started, the program runs there, a
screenshot is saved every second for about ten seconds into build/screenshots/, then SIGTERM
ends the program; the screenshots' folder and the exit status are printed.
"""

import os
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tools", "support"))

import xserver  # noqa: E402

SCREENSHOT_SECONDS = 10


def run_on_display(program, options):
    process = subprocess.Popen([program] + options)
    try:
        code = process.wait()
    except KeyboardInterrupt:
        # The terminal sent SIGINT to the program too; it ends by itself.
        code = process.wait()
    print("run: %s ended with status %d" % (os.path.basename(program), code))
    return code


def run_headless(program, options):
    shots_dir = os.path.join(ROOT, "build", "screenshots")
    os.makedirs(shots_dir, exist_ok=True)
    for name in os.listdir(shots_dir):
        if name.startswith("linux-") and name.endswith(".png"):
            os.remove(os.path.join(shots_dir, name))
    display = xserver.XDisplay(1024, 768).start()
    try:
        process = subprocess.Popen([program] + options, env=display.env(), stdin=subprocess.DEVNULL)
        try:
            started = time.monotonic()
            for second in range(SCREENSHOT_SECONDS):
                time.sleep(max(0.0, started + second + 1 - time.monotonic()))
                if process.poll() is not None:
                    break
                display.screenshot().save(os.path.join(shots_dir, "linux-screen-%02d.png" % (second + 1)))
            if process.poll() is None:
                process.send_signal(signal.SIGTERM)
            try:
                code = process.wait(timeout=30)
            except subprocess.TimeoutExpired:
                print("run: the program did not end on SIGTERM; killing it", flush=True)
                process.kill()
                process.wait()
                code = None
        finally:
            if process.poll() is None:
                process.kill()
                process.wait()
    finally:
        display.stop()
    shots = sorted(n for n in os.listdir(shots_dir) if n.startswith("linux-") and n.endswith(".png"))
    print("run: %d screenshots in %s" % (len(shots), shots_dir))
    if code is None:
        return 1
    print("run: %s ended with status %d" % (os.path.basename(program), code))
    return 0 if code == 0 else 1


def main(argv):
    if len(argv) < 2 or argv[1] in ("-h", "--help"):
        print(__doc__)
        return 2
    program = os.path.abspath(argv[1])
    options = argv[2:]
    if os.environ.get("DISPLAY"):
        return 0 if run_on_display(program, options) == 0 else 1
    return run_headless(program, options)


if __name__ == "__main__":
    sys.exit(main(sys.argv))

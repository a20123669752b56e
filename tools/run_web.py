#!/usr/bin/env python3
"""Serves the web page: run_web.py SITE [name=value ...]

Serves the static folder SITE on 127.0.0.1 and prints the address, with the given settings as
URL parameters (speed=12 sound=1 seed=7 ...). With $DISPLAY set it serves until Ctrl-C;
without, headless Chromium opens the page, a screenshot is saved every second for about ten
seconds into build/screenshots/web-screen-NN.png, and the folder is printed.
"""

import os
import sys
import time
import urllib.parse

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "support"))

from chromium import Chromium, serve  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SCREENSHOT_SECONDS = 10


def main(argv):
    if len(argv) < 2 or argv[1] in ("-h", "--help"):
        print(__doc__)
        return 2
    site, settings = argv[1], argv[2:]
    if not os.path.isfile(os.path.join(site, "index.html")):
        print("run: %s holds no built page" % site, file=sys.stderr)
        return 1
    pairs = [s.partition("=") for s in settings]
    bad = [s for s, (name, eq, value) in zip(settings, pairs) if not (name and eq)]
    if bad:
        print("run: '%s' is not a setting of the form name=value" % bad[0], file=sys.stderr)
        return 2
    query = urllib.parse.urlencode([(name.lstrip("-"), value) for name, _, value in pairs])
    server = serve(site, port=int(os.environ.get("ROLVANTA_WEB_PORT", "0")))
    address = server.url + ("?" + query if query else "")
    print("run: the page is at %s" % address, flush=True)
    try:
        if os.environ.get("DISPLAY"):
            print("run: open it in a browser; Ctrl-C ends the server", flush=True)
            while True:
                time.sleep(3600)
        shots = os.path.join(ROOT, "build", "screenshots")
        os.makedirs(shots, exist_ok=True)
        for name in os.listdir(shots):
            if name.startswith("web-") and name.endswith(".png"):
                os.remove(os.path.join(shots, name))
        with Chromium(1024, 768) as browser:
            browser.call("Emulation.setDeviceMetricsOverride", width=1024, height=768, deviceScaleFactor=1,
                         mobile=False)
            browser.open(address)
            started = time.monotonic()
            for second in range(SCREENSHOT_SECONDS):
                time.sleep(max(0.0, started + second + 1 - time.monotonic()))
                browser.screenshot(os.path.join(shots, "web-screen-%02d.png" % (second + 1)))
        print("run: %d screenshots in %s" % (SCREENSHOT_SECONDS, shots))
        return 0
    except KeyboardInterrupt:
        return 0
    finally:
        server.stop()


if __name__ == "__main__":
    sys.exit(main(sys.argv))

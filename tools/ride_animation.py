#!/usr/bin/env python3
"""Renders a ride of the real show into an animated PNG, for the README:
ride_animation.py SITE OUT.png [--width W] [--height H] [--seed S] [--speed N] [--every K]

The built web page (the core in wasm) runs in headless Chromium, held after 1, 1+K, 1+2K ...
ticks of one seeded ride of the Coravendia; each held canvas is a frame, shown for K ticks' time (10 ms each),
and the last stays a while. Frames after the first carry only the rectangle that changed.
"""

import argparse
import base64
import os
import struct
import sys
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "support"))

from chromium import Chromium, serve  # noqa: E402

CANVAS_RGB = """(() => { const c = document.getElementById("show");
    const d = c.getContext("2d").getImageData(0, 0, c.width, c.height).data; let s = "";
    for (let i = 0; i < d.length; i += 4) s += String.fromCharCode(d[i], d[i + 1], d[i + 2]);
    return btoa(s); })()"""


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def changed_box(frame, previous, width, height):
    """(x, y, w, h) of the pixels that differ, at least one pixel."""
    rows = [y for y in range(height) if frame[y * width * 3:(y + 1) * width * 3] !=
            previous[y * width * 3:(y + 1) * width * 3]]
    if not rows:
        return 0, 0, 1, 1
    columns = [x for x in range(width) if any(frame[(y * width + x) * 3:(y * width + x) * 3 + 3] !=
                                              previous[(y * width + x) * 3:(y * width + x) * 3 + 3]
                                              for y in range(rows[0], rows[-1] + 1))]
    return columns[0], rows[0], columns[-1] - columns[0] + 1, rows[-1] - rows[0] + 1


def write_apng(path, frames, width, height, delays_ms):
    colours = sorted({frame[i:i + 3] for frame in frames for i in range(0, len(frame), 3)})
    if len(colours) > 256:
        raise SystemExit("ride_animation: %d colours do not fit a palette" % len(colours))
    index = {c: i for i, c in enumerate(colours)}
    out = [b"\x89PNG\r\n\x1a\n", chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 3, 0, 0, 0)),
           chunk(b"PLTE", b"".join(colours)), chunk(b"acTL", struct.pack(">II", len(frames), 0))]
    sequence = 0
    previous = None
    for number, (frame, delay) in enumerate(zip(frames, delays_ms)):
        x, y, w, h = (0, 0, width, height) if previous is None else changed_box(frame, previous, width, height)
        out.append(chunk(b"fcTL", struct.pack(">IIIIIHHBB", sequence, w, h, x, y, delay, 1000, 0, 0)))
        sequence += 1
        rows = b"".join(b"\0" + bytes(index[frame[((y + r) * width + c) * 3:((y + r) * width + c) * 3 + 3]]
                                      for c in range(x, x + w)) for r in range(h))
        data = zlib.compress(rows, 9)
        if number == 0:
            out.append(chunk(b"IDAT", data))
        else:
            out.append(chunk(b"fdAT", struct.pack(">I", sequence) + data))
            sequence += 1
        previous = frame
    out.append(chunk(b"IEND", b""))
    with open(path, "wb") as f:
        f.write(b"".join(out))


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("site")
    parser.add_argument("out")
    parser.add_argument("--width", type=int, default=480)
    parser.add_argument("--height", type=int, default=150)
    parser.add_argument("--seed", type=int, default=3)
    parser.add_argument("--speed", type=int, default=6)
    parser.add_argument("--every", type=int, default=3)
    args = parser.parse_args(argv[1:])
    if not os.path.isfile(os.path.join(args.site, "index.html")):
        print("ride_animation: %s holds no built page" % args.site, file=sys.stderr)
        return 1
    frames, delays = [], []
    with serve(args.site) as url, Chromium(args.width + 200, args.height + 200) as browser:
        browser.call("Emulation.setDeviceMetricsOverride", width=args.width, height=args.height,
                     deviceScaleFactor=1, mobile=False)
        steps = 1
        while True:
            browser.open(url + "?blank=1&sound=1&rate=40&coravendia=1&valtorne=0&seed=%d&speed=%d&steps=%d"
                         % (args.seed, args.speed, steps))
            browser.wait_for("rolvanta.ticks() === %d" % steps, 60, "the hold at tick %d" % steps)
            frames.append(base64.b64decode(browser.evaluate(CANVAS_RGB)))
            delays.append(10 * args.every)
            steps += args.every
            # Silent before any gesture, the cues are still logged: the engine's fading sound
            # says the ride is over.
            if browser.evaluate("rolvanta.cues.some((c) => c.cue === 1)"):
                break
    delays[-1] = 1200
    write_apng(args.out, frames, args.width, args.height, delays)
    print("ride_animation: %d frames in %s" % (len(frames), args.out))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

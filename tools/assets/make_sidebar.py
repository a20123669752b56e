#!/usr/bin/env python3
"""Draws the installer's welcome and finish picture from the motorcycles'
own drawings: the Valtorne riding left above the Coravendia riding right,
each on its road with the trail it leaves, on a night sky.

    make_sidebar.py OUT.bmp [PREVIEW.png]

164 x 314 pixels, 24 bits, as the installer's welcome and finish pages show
it.  Rendered by rsvg-convert from assets/src, so the picture follows the
drawings; the same sources always give the same bytes."""

import os
import re
import struct
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import assetlib  # noqa: E402
import make_picture  # noqa: E402

SRC = os.path.join(HERE, "..", "..", "assets", "src")
WIDTH, HEIGHT = 164, 314
SKY_TOP, SKY_BOTTOM = (28, 34, 58), (4, 4, 8)
ROAD = (46, 48, 54)
TRAIL = (150, 160, 180)
# (drawing, width, height, left edge, ground line, faces right)
RIDES = (("valtorne.svg", 154, 86, 6, 150, False),
         ("coravendia.svg", 148, 97, 10, 274, True))


def sky():
    rows = []
    for y in range(HEIGHT):
        t = y / float(HEIGHT - 1)
        colour = tuple(int(round(a + (b - a) * t)) for a, b in zip(SKY_TOP, SKY_BOTTOM))
        rows.append([colour] * WIDTH)
    return rows


def blend(under, over, alpha):
    return tuple((o * alpha + u * (255 - alpha) + 127) // 255 for u, o in zip(under, over))


def road_and_trail(rows, ground, x0, x1, faces_right):
    """The road under the wheels and, behind the motorcycle, streaks that
    fade the farther they are from it: the show's trail, in light."""
    for y in range(ground, min(HEIGHT, ground + 3)):
        rows[y] = [ROAD] * WIDTH
    behind = range(0, x0) if faces_right else range(x1, WIDTH)
    near = x0 if faces_right else x1
    for y in (ground - 40, ground - 28, ground - 16):
        for x in behind:
            alpha = max(0, 220 - 3 * abs(near - x))
            rows[y][x] = blend(rows[y][x], TRAIL, alpha)


def render_without_background(name, width, height):
    """The drawing alone: its full-frame background rectangle (the first one
    with no position) is left out, so that the sky shows around it."""
    with open(os.path.join(SRC, name), encoding="utf-8") as f:
        svg, found = re.subn(r'<rect width="[0-9.]+" height="[0-9.]+" fill="#[0-9a-fA-F]+"/>', "", f.read(), 1)
    if not found:
        sys.exit("%s has no background rectangle to leave out" % name)
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, name)
        with open(path, "w", encoding="utf-8") as f:
            f.write(svg)
        return make_picture.render(path, width, height)


def ride(rows, name, width, height, left, ground, faces_right):
    drawing = render_without_background(name, width, height)
    top = ground - height + 1
    road_and_trail(rows, ground + 1, left, left + width, faces_right)
    for dy, line in enumerate(drawing):
        if faces_right:
            line = line[::-1]
        target = rows[top + dy]
        for dx, (r, g, b, a) in enumerate(line):
            if a:
                target[left + dx] = blend(target[left + dx], (r, g, b), a)


def write_bmp24(path, rows):
    stride = (WIDTH * 3 + 3) & ~3
    pixels = bytearray()
    for row in reversed(rows):
        line = bytearray(b"".join(bytes((b, g, r)) for (r, g, b) in row))
        pixels += line + bytes(stride - len(line))
    header = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", 14 + len(header) + len(pixels), 0, 0, 54) + header + pixels)


def main(argv):
    if len(argv) not in (2, 3):
        sys.exit(__doc__)
    rows = sky()
    for placing in RIDES:
        ride(rows, *placing)
    write_bmp24(argv[1], rows)
    if len(argv) == 3:
        assetlib.write_png(argv[2], WIDTH, HEIGHT, rows)


if __name__ == "__main__":
    main(sys.argv)

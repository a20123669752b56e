#!/usr/bin/env python3
"""Turns one SVG drawing of a motorcycle facing left into the two 8-bit
bitmaps the saver carries: NAMEL as drawn and NAMER its exact mirror.

    make_picture.py SRC.svg WIDTH HEIGHT R,G,B OUT_L.bmp OUT_R.bmp [PREVIEW.png]

The drawing is rendered by rsvg-convert at exactly WIDTH x HEIGHT (its
anti-aliasing blends the edges into the background), laid over the
background colour, reduced to 256 colours with entry 0 forced to that
background, and written bottom-up and uncompressed.  The mirror reuses the
same palette and indices, so the two pictures match pixel for pixel."""

import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import assetlib  # noqa: E402
import quantise  # noqa: E402


def render(svg, width, height):
    with tempfile.TemporaryDirectory() as tmp:
        png = os.path.join(tmp, "render.png")
        try:
            subprocess.run(["rsvg-convert", "--width", str(width), "--height", str(height),
                            "--format", "png", "--output", png, svg], check=True)
        except FileNotFoundError:
            sys.exit("rsvg-convert is missing: run tools/assets/install-deps")
        w, h, rows = assetlib.read_png(png)
    if (w, h) != (width, height):
        sys.exit("%s rendered at %dx%d, wanted %dx%d" % (svg, w, h, width, height))
    return rows


def over(rows, background):
    out = []
    for row in rows:
        line = []
        for (r, g, b, a) in row:
            line.append(tuple((c * a + bg * (255 - a) + 127) // 255
                              for c, bg in zip((r, g, b), background)))
        out.append(line)
    return out


def main(argv):
    if len(argv) not in (7, 8):
        sys.exit(__doc__)
    svg, width, height, bg, out_l, out_r = argv[1:7]
    width, height = int(width), int(height)
    background = tuple(int(v) for v in bg.split(","))
    rgb = over(render(svg, width, height), background)
    palette, rows = quantise.quantise(rgb, background)
    assetlib.write_bmp8(out_l, width, height, palette, rows)
    assetlib.write_bmp8(out_r, width, height, palette, [row[::-1] for row in rows])
    if len(argv) == 8:
        assetlib.write_png(argv[7], width, height, [[palette[i] for i in row] for row in rows])


if __name__ == "__main__":
    main(sys.argv)

#!/usr/bin/env python3
"""Makes the program's icon: one 32 x 32 image in 16 colours.

    make_icon.py SRC.svg OUT.ico [PREVIEW.png]

The drawing is rendered by rsvg-convert; each pixel that is more than half
covered becomes opaque and takes the nearest colour of the standard
16-colour palette, every other pixel is transparent (set in the AND mask,
black in the colour image, as the platform expects)."""

import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import assetlib  # noqa: E402

SIZE = 32

# The standard 16-colour palette in its usual order.
PALETTE16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]


def nearest(col):
    return min(range(16), key=lambda i: (sum((col[k] - PALETTE16[i][k]) ** 2 for k in range(3)), i))


def main(argv):
    if len(argv) not in (3, 4):
        sys.exit(__doc__)
    svg, out = argv[1], argv[2]
    with tempfile.TemporaryDirectory() as tmp:
        png = os.path.join(tmp, "icon.png")
        try:
            subprocess.run(["rsvg-convert", "--width", str(SIZE), "--height", str(SIZE),
                            "--format", "png", "--output", png, svg], check=True)
        except FileNotFoundError:
            sys.exit("rsvg-convert is missing: run tools/assets/install-deps")
        w, h, rgba = assetlib.read_png(png)
    if (w, h) != (SIZE, SIZE):
        sys.exit("icon rendered at %dx%d" % (w, h))
    rows, mask = [], []
    for row in rgba:
        line, mline = [], []
        for (r, g, b, a) in row:
            if a >= 128:
                # rsvg writes straight (not premultiplied) colour.
                line.append(nearest((r, g, b)))
                mline.append(0)
            else:
                line.append(0)
                mline.append(1)
        rows.append(line)
        mask.append(mline)
    assetlib.write_ico(out, [(SIZE, SIZE, 4, PALETTE16, rows, mask)])
    if len(argv) == 4:
        preview = [[PALETTE16[i] if m == 0 else (0, 96, 96) for i, m in zip(r, mr)]
                   for r, mr in zip(rows, mask)]
        assetlib.write_png(argv[3], SIZE, SIZE, preview)


if __name__ == "__main__":
    main(sys.argv)

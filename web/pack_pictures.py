#!/usr/bin/env python3
"""Writes the pictures' pack as the page fetches it: pack_pictures.py RAW OUT MIRRORED

RAW holds the pictures' .bmp files end to end, as the module attaches them. OUT is the same,
gzipped, except that an 8-bit picture which is the mirror image of an earlier one (the same
headers and palette, each row reversed) is stored with its rows reversed: gzip then finds it
whole in the earlier one, and the pack loses a third of its bytes. MIRRORED gets the numbers
of those pictures, comma-separated, for the page to turn them back after unpacking.
"""

import gzip
import struct
import sys


def pictures(raw):
    at = 0
    while at < len(raw):
        size = struct.unpack_from("<I", raw, at + 2)[0]
        if raw[at:at + 2] != b"BM" or size < 54 or at + size > len(raw):
            sys.exit("pack_pictures: the pack holds something else than whole .bmp files at byte %d" % at)
        yield raw[at:at + size]
        at += size


def reversed_rows(bmp):
    """The picture with each row reversed, or None if it is not an uncompressed 8-bit one."""
    pixels, = struct.unpack_from("<I", bmp, 10)
    width, height, _, depth, compression = struct.unpack_from("<iiHHI", bmp, 18)
    stride = (width + 3) & ~3
    if depth != 8 or compression != 0 or width <= 0 or pixels + stride * abs(height) > len(bmp):
        return None
    out = bytearray(bmp)
    for row in range(abs(height)):
        start = pixels + row * stride
        out[start:start + width] = bmp[start:start + width][::-1]
    return bytes(out)


def main(raw_path, out_path, mirrored_path):
    with open(raw_path, "rb") as f:
        raw = f.read()
    stored, mirrored = [], []
    for index, bmp in enumerate(pictures(raw)):
        turned = reversed_rows(bmp)
        if turned is not None and turned in stored:
            mirrored.append(index)
            bmp = turned
        stored.append(bmp)
    with open(out_path, "wb") as f:
        f.write(gzip.compress(b"".join(stored), 9, mtime=0))
    with open(mirrored_path, "w") as f:
        f.write(",".join(map(str, mirrored)))


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__.strip().splitlines()[0])
    main(*sys.argv[1:])

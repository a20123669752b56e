"""File formats the asset generators read and write: PNG (read, write),
8-bit and 4-bit Windows bitmaps, icons and RIFF WAVE images.

Standard library only, so the generators run on any stock Python 3."""

import struct
import zlib


# ---------------------------------------------------------------- PNG

def read_png(path):
    """Returns (width, height, rows) with rows a list of lists of (r, g, b, a).
    Handles 8-bit RGB and RGBA, non-interlaced: what rsvg-convert writes."""
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("%s is not a PNG file" % path)
    off = 8
    idat = []
    width = height = None
    while off < len(data):
        (length,) = struct.unpack_from(">I", data, off)
        ctype = data[off + 4: off + 8]
        body = data[off + 8: off + 8 + length]
        off += 12 + length
        if ctype == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            if depth != 8 or colour not in (2, 6) or interlace:
                raise ValueError("unsupported PNG layout in %s" % path)
            channels = 4 if colour == 6 else 3
        elif ctype == b"IDAT":
            idat.append(body)
        elif ctype == b"IEND":
            break
    raw = zlib.decompress(b"".join(idat))
    stride = width * channels
    prev = bytearray(stride)
    rows = []
    pos = 0
    for _ in range(height):
        ftype = raw[pos]
        line = bytearray(raw[pos + 1: pos + 1 + stride])
        pos += 1 + stride
        if ftype == 1:
            for i in range(channels, stride):
                line[i] = (line[i] + line[i - channels]) & 255
        elif ftype == 2:
            for i in range(stride):
                line[i] = (line[i] + prev[i]) & 255
        elif ftype == 3:
            for i in range(stride):
                left = line[i - channels] if i >= channels else 0
                line[i] = (line[i] + ((left + prev[i]) >> 1)) & 255
        elif ftype == 4:
            for i in range(stride):
                a = line[i - channels] if i >= channels else 0
                b = prev[i]
                c = prev[i - channels] if i >= channels else 0
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[i] = (line[i] + pred) & 255
        elif ftype != 0:
            raise ValueError("bad PNG filter %d" % ftype)
        prev = line
        if channels == 4:
            rows.append([tuple(line[i:i + 4]) for i in range(0, stride, 4)])
        else:
            rows.append([tuple(line[i:i + 3]) + (255,) for i in range(0, stride, 3)])
    return width, height, rows


def write_png(path, width, height, rows):
    """rows: list of lists of (r, g, b); writes an 8-bit RGB PNG."""
    raw = bytearray()
    for row in rows:
        raw.append(0)
        for (r, g, b) in row:
            raw += bytes((r, g, b))

    def chunk(ctype, body):
        return (struct.pack(">I", len(body)) + ctype + body +
                struct.pack(">I", zlib.crc32(ctype + body) & 0xFFFFFFFF))

    png = (b"\x89PNG\r\n\x1a\n" +
           chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
           chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))
    with open(path, "wb") as f:
        f.write(png)


# ---------------------------------------------------------------- bitmaps

def dib_bytes(width, height, bpp, palette, rows, ppm=2835):
    """A packed DIB (BITMAPINFOHEADER, palette, bottom-up pixels), the form a
    bitmap resource holds.  rows: top row first, palette indices."""
    stride = ((width * bpp + 31) // 32) * 4
    pixels = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for x, v in enumerate(row):
            if bpp == 8:
                line[x] = v
            elif bpp == 4:
                line[x // 2] |= v << (4 if x % 2 == 0 else 0)
            else:
                line[x // 8] |= v << (7 - x % 8)
        pixels += line
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bpp, 0, len(pixels),
                         ppm, ppm, len(palette), 0)
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    return header + pal + bytes(pixels)


def write_bmp8(path, width, height, palette, rows):
    if len(palette) != 256:
        raise ValueError("an 8-bit picture carries all 256 palette entries")
    dib = dib_bytes(width, height, 8, palette, rows)
    offset = 14 + 40 + 4 * len(palette)
    with open(path, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", 14 + len(dib), 0, 0, offset) + dib)


def read_bmp8(path):
    """Returns (width, height, palette, rows top-down) of an 8-bit BMP file."""
    data = open(path, "rb").read()
    if data[:2] != b"BM":
        raise ValueError("%s is not a BMP file" % path)
    (offset,) = struct.unpack_from("<I", data, 10)
    size, w, h, _, bpp, comp = struct.unpack_from("<IiiHHI", data, 14)
    if bpp != 8 or comp != 0:
        raise ValueError("%s is not an uncompressed 8-bit BMP" % path)
    palette = [(data[54 + 4 * i + 2], data[54 + 4 * i + 1], data[54 + 4 * i]) for i in range(256)]
    stride = (w + 3) & ~3
    rows = [list(data[offset + y * stride: offset + y * stride + w]) for y in range(abs(h))]
    if h > 0:
        rows.reverse()
    return w, abs(h), palette, rows


# ---------------------------------------------------------------- icons

def write_ico(path, images):
    """images: list of (width, height, bpp, palette, rows, mask) with mask a
    list of lists of 0 (opaque) / 1 (transparent)."""
    blobs = []
    for (w, h, bpp, palette, rows, mask) in images:
        colour = dib_bytes(w, h, bpp, palette, rows, ppm=0)
        # The icon form of a DIB: the height field covers colour and mask.
        colour = colour[:8] + struct.pack("<i", 2 * h) + colour[12:]
        mask_stride = ((w + 31) // 32) * 4
        andbits = bytearray()
        for row in reversed(mask):
            line = bytearray(mask_stride)
            for x, v in enumerate(row):
                line[x // 8] |= (v & 1) << (7 - x % 8)
            andbits += line
        # The image size field counts the colour and the mask bits.
        size_image = len(colour) - 40 - 4 * len(palette) + len(andbits)
        colour = colour[:20] + struct.pack("<I", size_image) + colour[24:]
        blobs.append((w, h, bpp, len(palette), colour + bytes(andbits)))
    out = struct.pack("<HHH", 0, 1, len(blobs))
    offset = 6 + 16 * len(blobs)
    for (w, h, bpp, ncol, blob) in blobs:
        out += struct.pack("<BBBBHHII", w & 255, h & 255, ncol if ncol < 256 else 0, 0, 1, bpp,
                           len(blob), offset)
        offset += len(blob)
    for blob in blobs:
        out += blob[4]
    with open(path, "wb") as f:
        f.write(out)


# ---------------------------------------------------------------- sounds

def wave_bytes(channels, rate, samples):
    """A complete RIFF WAVE image of 8-bit unsigned PCM; samples are ints
    0..255, interleaved for stereo."""
    data = bytes(samples)
    fmt = struct.pack("<HHIIHH", 1, channels, rate, rate * channels, channels, 8)
    return (b"RIFF" + struct.pack("<I", 4 + 8 + len(fmt) + 8 + len(data)) + b"WAVE" +
            b"fmt " + struct.pack("<I", len(fmt)) + fmt +
            b"data" + struct.pack("<I", len(data)) + data)

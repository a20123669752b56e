"""Decoders for the resource formats the saver carries: dialog templates,
string-table blocks, bitmaps, WAVE images, icons and the version block.
Each raises FormatError on malformed input rather than an index error."""

import struct


class FormatError(Exception):
    pass


def _utf16(raw):
    try:
        return bytes(raw).decode("utf-16-le")
    except UnicodeDecodeError as e:
        raise FormatError("bad UTF-16 text: %s" % e)


def _need(data, off, n):
    if off < 0 or off + n > len(data):
        raise FormatError("truncated at %d (+%d of %d)" % (off, n, len(data)))


def _unpack(fmt, data, off):
    _need(data, off, struct.calcsize(fmt))
    return struct.unpack_from(fmt, data, off)


# ---------------------------------------------------------------- dialogs

def _sz_or_ord(data, off):
    """Returns (value, next offset); value is an int for 0xFFFF ordinals,
    a str otherwise ('' for the empty string)."""
    (first,) = _unpack("<H", data, off)
    if first == 0xFFFF:
        (num,) = _unpack("<H", data, off + 2)
        return num, off + 4
    chars = []
    while True:
        (c,) = _unpack("<H", data, off)
        off += 2
        if c == 0:
            break
        chars.append(c)
    return _utf16(struct.pack("<%dH" % len(chars), *chars)), off


def parse_dialog(data):
    """Parses a classic DLGTEMPLATE (not the extended form)."""
    style, exstyle, count, x, y, cx, cy = _unpack("<IIHhhhh", data, 0)
    if (style >> 16) == 0xFFFF and (style & 0xFFFF) == 1:
        raise FormatError("extended dialog template, expected the classic form")
    off = 18
    menu, off = _sz_or_ord(data, off)
    wclass, off = _sz_or_ord(data, off)
    title, off = _sz_or_ord(data, off)
    font = None
    if style & 0x40:
        (points,) = _unpack("<H", data, off)
        face, off = _sz_or_ord(data, off + 2)
        font = (points, face)
    items = []
    for _ in range(count):
        off = (off + 3) & ~3
        istyle, iexstyle, ix, iy, icx, icy, iid = _unpack("<IIhhhhH", data, off)
        off += 18
        iclass, off = _sz_or_ord(data, off)
        ititle, off = _sz_or_ord(data, off)
        (extra,) = _unpack("<H", data, off)
        off += 2 + extra
        items.append(dict(style=istyle, exstyle=iexstyle, rect=(ix, iy, icx, icy), id=iid,
                          cls=iclass, text=ititle, extra=extra))
    if off > len(data):
        raise FormatError("dialog runs past its resource")
    return dict(style=style, exstyle=exstyle, rect=(x, y, cx, cy), menu=menu, cls=wclass,
                title=title, font=font, items=items)


# ---------------------------------------------------------------- strings

def parse_string_block(block_id, data):
    """Returns {string number: text} for one RT_STRING block (16 strings)."""
    out = {}
    off = 0
    for i in range(16):
        (n,) = _unpack("<H", data, off)
        off += 2
        _need(data, off, 2 * n)
        if n:
            out[(block_id - 1) * 16 + i] = _utf16(data[off:off + 2 * n])
        off += 2 * n
    return out


# ---------------------------------------------------------------- bitmaps

class Bitmap:
    def __init__(self, width, height, bpp, palette, rows, info):
        self.width = width
        self.height = height        # always positive; rows are top-down here
        self.bpp = bpp
        self.palette = palette      # list of (r, g, b)
        self.rows = rows            # list of lists of palette indices, top row first
        self.info = info            # dict of the header fields

    def rgb(self, x, y):
        return self.palette[self.rows[y][x]]


def parse_dib(data, allow_and_mask=False):
    """Parses a packed DIB (BITMAPINFOHEADER, palette, pixels) of 1/4/8 bpp.
    With allow_and_mask the header height may be twice the image height,
    as in icon images, and the AND mask after the colour rows is ignored."""
    (size, w, h, planes, bpp, comp, sizeimg, xppm, yppm, used, important) = \
        _unpack("<IiiHHIIiiII", data, 0)
    if size != 40:
        raise FormatError("header size %d, expected 40" % size)
    if bpp not in (1, 4, 8):
        raise FormatError("unsupported depth %d" % bpp)
    if comp != 0:
        raise FormatError("compressed bitmap (compression %d)" % comp)
    if w <= 0 or w > 4096 or h == 0 or abs(h) > 8192:
        raise FormatError("implausible size %dx%d" % (w, h))
    bottom_up = h > 0
    height = abs(h)
    if allow_and_mask:
        height //= 2
    ncolors = used if used else (1 << bpp)
    if ncolors > (1 << bpp):
        raise FormatError("palette of %d entries for %d bpp" % (ncolors, bpp))
    _need(data, 40, 4 * ncolors)
    palette = []
    for i in range(ncolors):
        b, g, r, _ = _unpack("<BBBB", data, 40 + 4 * i)
        palette.append((r, g, b))
    stride = ((w * bpp + 31) // 32) * 4
    pix = 40 + 4 * ncolors
    _need(data, pix, stride * height)
    rows = []
    for row in range(height):
        line = data[pix + row * stride: pix + (row + 1) * stride]
        if bpp == 8:
            idx = list(line[:w])
        elif bpp == 4:
            idx = [(line[x // 2] >> (4 if x % 2 == 0 else 0)) & 15 for x in range(w)]
        else:
            idx = [(line[x // 8] >> (7 - x % 8)) & 1 for x in range(w)]
        if max(idx) >= ncolors:
            raise FormatError("pixel index beyond the palette")
        rows.append(idx)
    if bottom_up:
        rows.reverse()
    info = dict(header_size=size, width=w, height_field=h, planes=planes, bpp=bpp,
                compression=comp, size_image=sizeimg, colors_used=used,
                pixel_offset=pix, stride=stride, bottom_up=bottom_up,
                total=pix + stride * height)
    return Bitmap(w, height, bpp, palette, rows, info)


# ---------------------------------------------------------------- sounds

def parse_wave(data):
    """Returns a dict with the header fields and the raw sample bytes.
    Demands the plain 44-byte layout: RIFF, WAVE, a 16-byte fmt chunk, data."""
    _need(data, 0, 44)
    if data[0:4] != b"RIFF" or data[8:12] != b"WAVE":
        raise FormatError("not a RIFF WAVE image")
    (riff_len,) = _unpack("<I", data, 4)
    if data[12:16] != b"fmt ":
        raise FormatError("fmt chunk not first")
    (fmt_len, tag, channels, rate, byte_rate, align, bits) = _unpack("<IHHIIHH", data, 16)
    if data[36:40] != b"data":
        raise FormatError("data chunk does not follow a 16-byte fmt chunk")
    (data_len,) = _unpack("<I", data, 40)
    return dict(riff_len=riff_len, fmt_len=fmt_len, tag=tag, channels=channels, rate=rate,
                byte_rate=byte_rate, align=align, bits=bits, data_len=data_len,
                samples=bytes(data[44:44 + data_len]), trailing=len(data) - 44 - data_len)


def channel(samples, channels, which):
    return samples[which::channels]


def steps(seq):
    """Absolute differences of neighbouring samples."""
    return [abs(seq[i + 1] - seq[i]) for i in range(len(seq) - 1)]


# ---------------------------------------------------------------- icons

def parse_group_icon(data):
    reserved, rtype, count = _unpack("<HHH", data, 0)
    if reserved != 0 or rtype != 1:
        raise FormatError("not an icon group")
    entries = []
    for i in range(count):
        w, h, colors, res, planes, bpp, size, nid = _unpack("<BBBBHHIH", data, 6 + 14 * i)
        entries.append(dict(width=w or 256, height=h or 256, colors=colors, planes=planes,
                            bpp=bpp, size=size, id=nid))
    return entries


# ---------------------------------------------------------------- version

def parse_version_strings(data):
    """Returns the string values of a VS_VERSIONINFO block as a dict, and the
    fixed file info's file version as a 4-tuple."""
    out = {}
    fixed = None

    def node(off, end, depth=0):
        nonlocal fixed
        if depth > 16:
            raise FormatError("version blocks nested too deeply")
        length, vlen, vtype = _unpack("<HHH", data, off)
        if length < 6 or off + length > end:
            raise FormatError("bad version node at %d" % off)
        key, p = _sz_or_ord(data, off + 6)
        p = (p + 3) & ~3
        if key == "VS_VERSION_INFO" and vlen == 52:
            sig, sver, ms, ls = _unpack("<IIII", data, p)
            if sig != 0xFEEF04BD:
                raise FormatError("fixed file info signature")
            fixed = (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
        if vtype == 1 and vlen:
            raw = data[p:p + 2 * vlen]
            out[key] = _utf16(raw).rstrip("\0")
            vbytes = 2 * vlen
        else:
            vbytes = vlen
        child = (p + vbytes + 3) & ~3
        while child < off + length:
            (clen,) = _unpack("<H", data, child)
            if clen == 0:
                break
            node(child, off + length, depth + 1)
            child = (child + clen + 3) & ~3

    node(0, len(data))
    return out, fixed

"""Draws a contact sheet of the saver's pictures and icon, as read back from
the built program: the four motorcycles enlarged three times, each on its
own background, and the icon enlarged eight times over a chequerboard that
shows its transparent pixels.  Each is labelled with its resource name in
a small built-in pixel font.  Written as an 8-bit RGB PNG."""

import struct
import zlib

import formats

RT_BITMAP, RT_ICON, RT_GROUP_ICON = 2, 3, 14

# 5 x 7 glyphs for the few characters the labels use.
GLYPHS = {
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "C": ["01110", "10001", "10000", "10000", "10000", "10001", "01110"],
    "I": ["01110", "00100", "00100", "00100", "00100", "00100", "01110"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "M": ["10001", "11011", "10101", "10101", "10001", "10001", "10001"],
    "N": ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "P": ["11110", "10001", "10001", "11110", "10000", "10000", "10000"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    "V": ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    "0": ["01110", "10011", "10101", "10101", "11001", "10001", "01110"],
    "1": ["00100", "01100", "00100", "00100", "00100", "00100", "01110"],
    " ": ["00000"] * 7,
}


class Canvas:
    def __init__(self, width, height, colour):
        self.width = width
        self.height = height
        self.px = [[colour] * width for _ in range(height)]

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.px[y][x] = colour

    def block(self, x, y, k, colour):
        for dy in range(k):
            row = self.px[y + dy] if 0 <= y + dy < self.height else None
            if row is None:
                continue
            for dx in range(k):
                if 0 <= x + dx < self.width:
                    row[x + dx] = colour

    def text(self, x, y, s, colour, k=2):
        for ch in s:
            g = GLYPHS.get(ch, GLYPHS[" "])
            for gy, line in enumerate(g):
                for gx, bit in enumerate(line):
                    if bit == "1":
                        self.block(x + gx * k, y + gy * k, k, colour)
            x += 6 * k

    def png(self):
        raw = bytearray()
        for row in self.px:
            raw.append(0)
            for (r, g, b) in row:
                raw += bytes((r, g, b))

        def chunk(ctype, body):
            return (struct.pack(">I", len(body)) + ctype + body +
                    struct.pack(">I", zlib.crc32(ctype + body) & 0xFFFFFFFF))
        return (b"\x89PNG\r\n\x1a\n" +
                chunk(b"IHDR", struct.pack(">IIBBBBB", self.width, self.height, 8, 2, 0, 0, 0)) +
                chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def _find(res, rtype, name):
    for r in res:
        if r.type == rtype and r.name == name:
            return r
    raise KeyError("no resource %r %r" % (rtype, name))


def write(res, path):
    scale, pad, label_h = 3, 16, 22
    names = ["CORMAPL", "CORMAPR", "VALTMAPL", "VALTMAPR"]
    pics = {n: formats.parse_dib(_find(res, RT_BITMAP, n).data) for n in names}
    cell_w = max(p.width for p in pics.values()) * scale
    cell_h = max(p.height for p in pics.values()) * scale
    icon_k = 8
    width = pad + 2 * (cell_w + pad)
    height = pad + 2 * (cell_h + label_h + pad) + 32 * icon_k + label_h + pad
    sheet = Canvas(width, height, (72, 72, 80))
    for i, n in enumerate(names):
        p = pics[n]
        ox = pad + (i % 2) * (cell_w + pad)
        oy = pad + (i // 2) * (cell_h + label_h + pad)
        sheet.text(ox, oy, n, (235, 235, 235))
        oy += label_h
        for y, row in enumerate(p.rows):
            for x, v in enumerate(row):
                sheet.block(ox + x * scale, oy + y * scale, scale, p.palette[v])

    group = formats.parse_group_icon(_find(res, RT_GROUP_ICON, 100).data)
    img = _find(res, RT_ICON, group[0]["id"]).data
    icon = formats.parse_dib(img, allow_and_mask=True)
    mask = img[icon.info["total"]:]
    mstride = ((icon.width + 31) // 32) * 4
    ox = pad
    oy = pad + 2 * (cell_h + label_h + pad)
    sheet.text(ox, oy, "ICON 100", (235, 235, 235))
    oy += label_h
    for y, row in enumerate(icon.rows):
        my = icon.height - 1 - y                   # the mask is stored bottom-up
        for x, v in enumerate(row):
            bit = (mask[my * mstride + x // 8] >> (7 - x % 8)) & 1 if my * mstride < len(mask) else 0
            if bit:
                c = (200, 200, 200) if (x + y) % 2 else (150, 150, 150)
            else:
                c = icon.palette[v]
            sheet.block(ox + x * icon_k, oy + y * icon_k, icon_k, c)
    # The icon at its real size beside the enlargement.
    for y, row in enumerate(icon.rows):
        my = icon.height - 1 - y
        for x, v in enumerate(row):
            bit = (mask[my * mstride + x // 8] >> (7 - x % 8)) & 1 if my * mstride < len(mask) else 0
            if not bit:
                sheet.put(ox + 32 * icon_k + pad + x, oy + y, icon.palette[v])
    with open(path, "wb") as f:
        f.write(sheet.png())

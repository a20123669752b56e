"""Pictures of a screen as RGB rows, and the colours the end-to-end tests of every platform
look for in them. Python's standard library, and ImageMagick's convert to save a PNG."""

import subprocess

from waiting import HarnessError

# xsetroot's colour for the root window: in neither model's picture, neither black nor the
# Coravendia background.
DESKTOP_RGB = (46, 139, 87)
DESKTOP_COLOUR = "#2e8b57"
CORAVENDIA_BACKGROUND = (16, 16, 16)
BLACK = (0, 0, 0)


class Screenshot:
    """An RGB picture of the X root window."""

    def __init__(self, width, height, data, taken_at):
        self.width = width
        self.height = height
        self.data = data
        self.taken_at = taken_at

    @classmethod
    def from_ppm(cls, blob, taken_at):
        # P6 <w> <h> <max>\n<bytes>; header fields are separated by any whitespace.
        fields = []
        pos = 0
        while len(fields) < 4:
            while blob[pos:pos + 1].isspace():
                pos += 1
            start = pos
            while not blob[pos:pos + 1].isspace():
                pos += 1
            fields.append(blob[start:pos])
        if fields[0] != b"P6" or fields[3] != b"255":
            raise HarnessError("unexpected screenshot format %r" % fields)
        width, height = int(fields[1]), int(fields[2])
        data = blob[pos + 1:pos + 1 + width * height * 3]
        return cls(width, height, data, taken_at)

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.data[i:i + 3])

    def row(self, y, x0=0, x1=None):
        x1 = self.width if x1 is None else x1
        return self.data[(y * self.width + x0) * 3:(y * self.width + x1) * 3]

    def count(self, rgb, box=None):
        """How many pixels of exactly this colour lie in box (x0, y0, x1, y1), end exclusive."""
        x0, y0, x1, y1 = box or (0, 0, self.width, self.height)
        needle = bytes(rgb)
        total = 0
        for y in range(max(0, y0), min(self.height, y1)):
            row = self.row(y, max(0, x0), min(self.width, x1))
            total += sum(1 for i in range(0, len(row), 3) if row[i:i + 3] == needle)
        return total

    def count_matching(self, test, box=None, step=1):
        x0, y0, x1, y1 = box or (0, 0, self.width, self.height)
        total = 0
        for y in range(max(0, y0), min(self.height, y1), step):
            row = self.row(y, max(0, x0), min(self.width, x1))
            for i in range(0, len(row), 3 * step):
                if test(row[i], row[i + 1], row[i + 2]):
                    total += 1
        return total

    def bbox(self, rgb):
        """Bounding box (x0, y0, x1, y1), end exclusive, of the pixels of exactly this colour;
        None when there is none."""
        needle = bytes(rgb)
        x0 = y0 = None
        x1 = y1 = None
        for y in range(self.height):
            row = self.row(y)
            first = -1
            pos = row.find(needle)
            while pos != -1 and pos % 3:
                pos = row.find(needle, pos + 1)
            if pos == -1:
                continue
            first = pos // 3
            last = row.rfind(needle)
            while last != -1 and last % 3:
                last = row.rfind(needle, 0, last + 2)
            last //= 3
            x0 = first if x0 is None else min(x0, first)
            x1 = last + 1 if x1 is None else max(x1, last + 1)
            y0 = y if y0 is None else y0
            y1 = y + 1
        if x0 is None:
            return None
        return (x0, y0, x1, y1)

    def bbox_matching(self, test):
        x0 = y0 = x1 = y1 = None
        for y in range(self.height):
            row = self.row(y)
            for i in range(0, len(row), 3):
                if test(row[i], row[i + 1], row[i + 2]):
                    x = i // 3
                    x0 = x if x0 is None else min(x0, x)
                    x1 = x + 1 if x1 is None else max(x1, x + 1)
                    y0 = y if y0 is None else y0
                    y1 = y + 1
        if x0 is None:
            return None
        return (x0, y0, x1, y1)

    def save(self, path):
        """Saves as PNG (through ImageMagick) so a person can open it."""
        header = b"P6\n%d %d\n255\n" % (self.width, self.height)
        subprocess.run(["convert", "ppm:-", path], input=header + self.data, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=60)
        return path


def is_red(r, g, b):
    """The Valtorne model's paint; the Coravendia picture has almost none of it."""
    return r > 150 and g < 90 and b < 90

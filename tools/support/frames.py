"""The core's frames on the memory port (rolvanta_memory_frame), and the comparisons of a
screen with them, for the tests of every platform that shows the show."""

import os
import subprocess
import tempfile
import time

from screen import Screenshot

MEMORY_FRAME = os.environ.get("ROLVANTA_MEMORY_FRAME", "")


def memory_frame(width, height, seed, steps, speed, coravendia=1, valtorne=1):
    """The Windows core's frame on the memory port: (Screenshot, (x, y, w, h, picture))."""
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "frame.ppm")
        argv = [MEMORY_FRAME, width, height, seed, steps, speed, coravendia, valtorne, path]
        result = subprocess.run([str(a) for a in argv], stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
        if result.returncode != 0:
            raise AssertionError("rolvanta_memory_frame: %s" % result.stderr.decode(errors="replace"))
        with open(path, "rb") as f:
            shot = Screenshot.from_ppm(f.read(), time.monotonic())
    words = result.stdout.decode().split()
    return shot, tuple(int(w) for w in words[1:6])


def blocks(frame, s, width, height):
    """The frame as a screen of scale s shows it: each pixel an s-by-s block, cut to width x height."""
    rows = (frame.row(y) for y in range((height + s - 1) // s))
    wide = [b"".join(row[i:i + 3] * s for i in range(0, len(row), 3))[:width * 3] for row in rows]
    return Screenshot(width, height, b"".join(wide[y // s] for y in range(height)), frame.taken_at)


def differences(shot, box, reference):
    """Pixels of shot inside box (x0, y0, x1, y1) that differ from the reference frame of
    the box's size; returns (count, first few as (x, y, seen, expected))."""
    x0, y0, x1, y1 = box
    count = 0
    examples = []
    for y in range(y1 - y0):
        seen = shot.row(y0 + y, x0, x1)
        expected = reference.row(y)
        if seen == expected:
            continue
        for x in range(x1 - x0):
            a = tuple(seen[3 * x:3 * x + 3])
            b = tuple(expected[3 * x:3 * x + 3])
            if a != b:
                count += 1
                if len(examples) < 5:
                    examples.append((x, y, a, b))
    return count, examples

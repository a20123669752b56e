"""Watches the full-screen saver through screenshots of the virtual display and tells the
rides apart by colour: the Valtorne's paint is a strong red, the Coravendia's a strong blue.
On a blanked screen everything but the rider must stay black."""

import time

# Every second pixel of every second row is plenty to see a machine of 168 x 110 pixels.
SCALE = 2


def grab(session):
    """One frame of the whole display, thinned out: width, height and packed RGB bytes."""
    shot = session.screenshot()
    rows = []
    for y in range(0, shot.height, SCALE):
        row = shot.row(y)
        rows.append(b"".join(row[x * 3:x * 3 + 3] for x in range(0, shot.width, SCALE)))
    return (shot.width + SCALE - 1) // SCALE, (shot.height + SCALE - 1) // SCALE, b"".join(rows)


class Frame:

    def __init__(self, width, height, rgb):
        self.red = 0
        self.blue = 0
        self.lit = 0
        left, top, right, bottom = width, height, -1, -1
        for i in range(0, len(rgb), 3):
            r, g, b = rgb[i], rgb[i + 1], rgb[i + 2]
            if r == 0 and g == 0 and b == 0:
                continue
            self.lit += 1
            if r > 150 and g < 80 and b < 80:
                self.red += 1
            elif b > 110 and b - r > 60 and b - g > 25:
                self.blue += 1
            p = i // 3
            x, y = p % width, p // width
            left, top, right, bottom = min(left, x), min(top, y), max(right, x), max(bottom, y)
        self.box = (left, top, right - left + 1, bottom - top + 1) if right >= 0 else None

    def rider(self):
        return self.red >= 20 or self.blue >= 20

    def stray(self):
        """Something lit that no single rider explains: a lit area wider or taller than a
        machine with its smear (at most 18 pixels a step) around it."""
        if self.box is None:
            return False
        return self.box[2] > (180 + 40) // SCALE or self.box[3] > (110 + 20) // SCALE


class Report:

    def __init__(self):
        self.frames = 0
        self.rides = 0
        self.red_frames = 0
        self.blue_frames = 0
        self.stray_frames = 0
        self.strays = []

    def summary(self):
        return ("%d frames, %d rides seen, %d with red, %d with blue, %d with stray pixels %s" %
                (self.frames, self.rides, self.red_frames, self.blue_frames, self.stray_frames, self.strays[:3]))


def watch_rides(session, rides, timeout):
    """Looks at the screen until it has turned wholly black (the saver's blanked window
    covers the desktop's colour) and then until `rides` separate rides have crossed it, or
    timeout seconds have passed."""
    report = Report()
    deadline = time.monotonic() + timeout
    while True:
        frame = Frame(*grab(session))
        if frame.lit == 0:
            break
        if time.monotonic() > deadline:
            raise AssertionError("the screen never turned black")
    riding = False
    while report.rides < rides and time.monotonic() < deadline:
        frame = Frame(*grab(session))
        report.frames += 1
        report.red_frames += frame.red >= 20
        report.blue_frames += frame.blue >= 20
        if frame.stray():
            report.stray_frames += 1
            report.strays.append(frame.box)
        if frame.rider() and not riding:
            report.rides += 1
        riding = frame.rider()
    return report

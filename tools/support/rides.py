"""Finding the rider on screenshots of the full-screen saver.

The Coravendia picture is a 168 x 110 rectangle whose whole border is its background colour
(16, 16, 16), a colour nothing else on the screen has: the bounding box of that colour is the
picture's place, to the pixel, whenever the picture stands wholly inside the screen. The
Valtorne picture has a black background but a red body that the Coravendia picture hardly has.
Wine shows a window's pixels as they stand between two of its message-loop turns, so a
screenshot never catches a step half drawn.
"""

from screen import CORAVENDIA_BACKGROUND, is_red
from waiting import wait_until

CORAVENDIA_WIDTH = 168
CORAVENDIA_HEIGHT = 110
# The Coravendia picture has a few small red lights; the Valtorne's red body has far more.
VALTORNE_RED_PIXELS = 400


class Sighting:
    """Where the Coravendia picture stood on one screenshot."""

    def __init__(self, shot, box):
        self.shot = shot
        self.box = box
        self.x, self.top = box[0], box[1]
        self.whole = box[2] - box[0] == CORAVENDIA_WIDTH

    def __repr__(self):
        return "<rider at %r>" % (self.box,)


def coravendia(shot):
    box = shot.bbox(CORAVENDIA_BACKGROUND)
    return Sighting(shot, box) if box else None


def valtorne_red(shot):
    return shot.count_matching(is_red, step=2) * 4


def wait_for_rider(session, timeout, what="a Coravendia ride on screen", whole=True):
    """The next screenshot that shows the Coravendia picture (wholly inside the screen)."""
    def seen():
        sighting = coravendia(session.screenshot())
        if sighting and (sighting.whole or not whole):
            return sighting
        return None
    return wait_until(seen, timeout, what, interval=0.02)


def wait_for_empty(session, timeout, what="the screen without a rider"):
    return wait_until(lambda: (lambda s: s if coravendia(s) is None else None)(session.screenshot()),
                      timeout, what, interval=0.02)


def follow_ride(session, count, timeout):
    """Sightings of one ride at `count` different places (whole picture, same row), in the
    order seen; a new ride (another row) starts the list again."""
    sightings = []

    def enough():
        sighting = coravendia(session.screenshot())
        if sighting is None or not sighting.whole:
            return False
        if sightings and sighting.top != sightings[-1].top:
            sightings.clear()
        if not sightings or sighting.x != sightings[-1].x:
            sightings.append(sighting)
        return len(sightings) >= count
    wait_until(enough, timeout, "%d places of one ride" % count, interval=0.02)
    return sightings

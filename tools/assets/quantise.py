"""Reduces an RGB picture to a 256-entry palette whose entry 0 is a fixed
background colour.

The ride engine copies the picture opaquely onto a dark screen, so every
pixel that is (nearly) the background must land exactly on entry 0: the
rectangle around the motorcycle then disappears into the dark.  The other
255 entries come from a median cut over the remaining colours, refined by a
few rounds of k-means.  Everything is integer or plain float arithmetic with
fixed tie-breaks, so the same input always gives the same bytes."""


def _dist2(a, b):
    dr = a[0] - b[0]
    dg = a[1] - b[1]
    db = a[2] - b[2]
    # Weighted towards green as the eye is; integers keep it exact.
    return 3 * dr * dr + 4 * dg * dg + 2 * db * db


def _median_cut(hist, boxes_wanted):
    """hist: dict colour -> count.  Returns a list of boxes (lists of colours)."""
    boxes = [sorted(hist)]
    while len(boxes) < boxes_wanted:
        best = None
        for i, box in enumerate(boxes):
            if len(box) < 2:
                continue
            spans = []
            for c in range(3):
                lo = min(col[c] for col in box)
                hi = max(col[c] for col in box)
                spans.append(hi - lo)
            weight = sum(hist[col] for col in box)
            # Split the box that is widest, weighted by how many pixels it
            # holds, so large smooth areas (paint, chrome) get the shades.
            score = max(spans) * (weight ** 0.5)
            if best is None or score > best[0]:
                best = (score, i, spans.index(max(spans)))
        if best is None:
            break
        _, i, channel = best
        box = sorted(boxes[i], key=lambda col: (col[channel], col))
        total = sum(hist[col] for col in box)
        acc = 0
        cut = 1
        for j, col in enumerate(box):
            acc += hist[col]
            if acc * 2 >= total:
                cut = min(max(j + 1, 1), len(box) - 1)
                break
        boxes[i:i + 1] = [box[:cut], box[cut:]]
    return boxes


def _mean(colours, hist):
    n = sum(hist[c] for c in colours)
    return tuple((sum(c[k] * hist[c] for c in colours) + n // 2) // n for k in range(3))


def quantise(rows, background, near=3, rounds=4):
    """rows: top-down lists of (r, g, b).  Returns (palette, index rows) with
    palette[0] == background and 256 entries in all."""
    background = tuple(background)
    hist = {}
    for row in rows:
        for col in row:
            if max(abs(col[k] - background[k]) for k in range(3)) <= near:
                continue
            hist[col] = hist.get(col, 0) + 1
    if not hist:
        palette = [background] + [(0, 0, 0)] * 255
        return palette, [[0] * len(row) for row in rows]

    centres = [_mean(box, hist) for box in _median_cut(hist, 255)]
    colours = sorted(hist)
    for _ in range(rounds):
        groups = [[] for _ in centres]
        for col in colours:
            best = min(range(len(centres)), key=lambda i: (_dist2(col, centres[i]), i))
            groups[best].append(col)
        centres = [_mean(g, hist) if g else centres[i] for i, g in enumerate(groups)]

    # A stable order: dark to light, so the palette reads sensibly in a viewer.
    centres = sorted(set(centres), key=lambda c: (2 * c[0] + 5 * c[1] + c[2], c))
    palette = [background] + centres
    palette += [(0, 0, 0)] * (256 - len(palette))

    lookup = {}
    live = len(centres) + 1
    out = []
    for row in rows:
        line = []
        for col in row:
            idx = lookup.get(col)
            if idx is None:
                if max(abs(col[k] - background[k]) for k in range(3)) <= near:
                    idx = 0
                else:
                    idx = min(range(live), key=lambda i: (_dist2(col, palette[i]), i))
                lookup[col] = idx
            line.append(idx)
        out.append(line)
    return palette, out

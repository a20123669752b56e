#!/usr/bin/env python3
"""Reads the resources back out of the built saver and checks them against
the inventory the program relies on: the four pictures, the four sounds,
the string table, the icon, the version block, dialog 2003 and the manifest.

    test_resources.py ROLVANTA.SCR [--contact-sheet OUT.png]

Prints one line per check and closes with 'N passed, M failed'; the exit
status is non-zero when any check failed or the file could not be read."""

import os
import sys
import xml.etree.ElementTree as ElementTree

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import formats  # noqa: E402
import peres  # noqa: E402

LANG_EN_US = 1033
RT_BITMAP, RT_ICON, RT_DIALOG, RT_STRING, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 2, 3, 5, 6, 14, 16, 24

PICTURES = {
    # name: (width, height, resource bytes, background)
    "CORMAPL": (168, 110, 19544, (16, 16, 16)),
    "CORMAPR": (168, 110, 19544, (16, 16, 16)),
    "VALTMAPL": (179, 100, 19064, (0, 0, 0)),
    "VALTMAPR": (179, 100, 19064, (0, 0, 0)),
}

SOUNDS = {
    # name: (channels, rate, data bytes, looped)
    "COR_START_SOUND": (1, 22050, 69800, False),
    "COR_RUN_SOUND": (1, 22050, 64806, True),
    "COR_FADE_SOUND": (1, 22050, 66420, False),
    "VALT_RUN_SOUND": (2, 13000, 162500, True),
}

# Where to listen for the running engine, in seconds: after the start has
# caught, before the fade has carried it off.
ENGINE_AT = {"COR_START_SOUND": 2.0, "COR_RUN_SOUND": 1.0, "COR_FADE_SOUND": 0.3,
             "VALT_RUN_SOUND": 2.0}

STRINGS = {
    1: "Rolvanta",
    1001: "control.ini",
    1002: "Fenwarra Screen Saver",
    1007: "ScreenSaver.Rolvanta",
}

BUTTON, STATIC, SCROLLBAR = 0x80, 0x82, 0x84
NO_ID = 0xFFFF
DIALOG_ITEMS = [
    # (class, id, style, (x, y, w, h), text or None for 'any credit line')
    (BUTTON, 1, 0x50030001, (150, 6, 67, 16), "OK"),
    (BUTTON, 2, 0x50010000, (150, 25, 67, 16), "Cancel"),
    (BUTTON, 110, 0x50010003, (27, 56, 37, 10), "&Sound"),
    (BUTTON, 100, 0x50010003, (78, 57, 57, 10), "&Blank screen"),
    (STATIC, NO_ID, 0x50020000, (9, 37, 14, 8), "Fast"),
    (STATIC, NO_ID, 0x50020000, (7, 7, 16, 8), "Slow"),
    (STATIC, NO_ID, 0x50020000, (102, 85, 100, 8), "Another complete waste of time"),
    (STATIC, NO_ID, 0x50020000, (101, 92, 53, 8), None),
    (SCROLLBAR, 1005, 0x50010001, (27, 6, 10, 40), ""),
    (STATIC, NO_ID, 0x50020000, (59, 38, 18, 8), "Often"),
    (STATIC, NO_ID, 0x50020000, (53, 7, 24, 8), "Seldom"),
    (SCROLLBAR, 1006, 0x50010001, (79, 6, 10, 40), ""),
    (STATIC, NO_ID, 0x50020000, (24, 92, 58, 8), "Rolvanta rev 2.2"),
    (STATIC, NO_ID, 0x50020000, (108, 39, 18, 8), "Quiet"),
    (STATIC, NO_ID, 0x50020000, (108, 6, 17, 8), "Loud"),
    (SCROLLBAR, 1007, 0x50010001, (128, 7, 10, 40), ""),
    (STATIC, NO_ID, 0x50000003, (170, 49, 20, 20), 100),
    (BUTTON, 111, 0x50010003, (27, 68, 45, 10), "Co&ravendia"),
    (BUTTON, 112, 0x50010003, (78, 68, 45, 10), "Valtor&ne"),
]


class Checks:
    def __init__(self):
        self.passed = 0
        self.failed = 0

    def check(self, name, fn):
        """Runs fn(); it returns None for a pass or a string saying what is
        wrong.  A decoder error or any other exception is a failure too."""
        try:
            problem = fn()
        except Exception as e:  # a damaged resource is a failed check, not a crash
            problem = "%s: %s" % (type(e).__name__, e)
        if problem:
            self.failed += 1
            print("FAIL %s: %s" % (name, problem))
        else:
            self.passed += 1
            print("ok   %s" % name)


def find(res, rtype, name):
    hits = [r for r in res if r.type == rtype and r.name == name]
    if len(hits) != 1:
        raise KeyError("%d resources of type %r named %r" % (len(hits), rtype, name))
    return hits[0]


# ---------------------------------------------------------------- pictures

def check_picture(res, name):
    w, h, nbytes, bg = PICTURES[name]
    r = find(res, RT_BITMAP, name)
    if len(r.data) != nbytes:
        return "resource is %d bytes, expected %d" % (len(r.data), nbytes)
    bmp = formats.parse_dib(r.data)
    i = bmp.info
    if (bmp.width, bmp.height) != (w, h):
        return "size %dx%d, expected %dx%d" % (bmp.width, bmp.height, w, h)
    if not i["bottom_up"]:
        return "stored top-down"
    if i["bpp"] != 8 or i["planes"] != 1 or i["compression"] != 0:
        return "format %d bpp, %d planes, compression %d" % (i["bpp"], i["planes"], i["compression"])
    if len(bmp.palette) != 256:
        return "palette of %d entries" % len(bmp.palette)
    if i["total"] != len(r.data):
        return "header, palette and rows make %d bytes, resource has %d" % (i["total"], len(r.data))
    if tuple(bmp.palette[0]) != bg:
        return "palette entry 0 is %r, expected %r" % (bmp.palette[0], bg)
    return None


def check_picture_content(res, name):
    """The motorcycle is drawn on the background: the frame's edges are
    background, the drawing is shaded (many palette entries in use) and
    covers a fair share of the frame, and two wheels stand on the ground."""
    w, h, _, bg = PICTURES[name]
    bmp = formats.parse_dib(find(res, RT_BITMAP, name).data)
    rows = bmp.rows
    edge = rows[0] + rows[-1] + [row[0] for row in rows] + [row[-1] for row in rows]
    if any(v != 0 for v in edge):
        return "%d pixels on the frame's edge are not the background" % sum(1 for v in edge if v)
    used = set(v for row in rows for v in row)
    if len(used) < 120:
        return "only %d palette entries in use: not shaded" % len(used)
    drawn = sum(1 for row in rows for v in row if v != 0)
    share = drawn / float(w * h)
    if not 0.25 <= share <= 0.85:
        return "drawing covers %.0f%% of the frame" % (100 * share)
    # Pixels that blend into the background: anti-aliased edges.
    darkish = sum(1 for row in rows for v in row
                  if v and max(abs(a - b) for a, b in zip(bmp.palette[v], bg)) < 48)
    if darkish < 100:
        return "only %d soft edge pixels: edges are not smoothed" % darkish
    # The lowest drawn rows: the two tyres' contact patches, apart.
    for y in range(h - 1, -1, -1):
        if any(rows[y]):
            break
    band = [any(rows[yy][x] for yy in range(max(0, y - 2), y + 1)) for x in range(w)]
    runs = []
    x = 0
    while x < w:
        if band[x]:
            start = x
            while x < w and band[x]:
                x += 1
            runs.append((start, x))
        x += 1
    if len(runs) != 2 or runs[1][0] - runs[0][1] < w // 3:
        return "the ground line shows %r, expected two wheels well apart" % runs
    return None


def check_mirror(res, left, right):
    a = formats.parse_dib(find(res, RT_BITMAP, left).data)
    b = formats.parse_dib(find(res, RT_BITMAP, right).data)
    if a.palette != b.palette:
        return "palettes differ"
    for y, (ra, rb) in enumerate(zip(a.rows, b.rows)):
        if ra[::-1] != rb:
            return "row %d is not mirrored" % y
    if a.rows == b.rows:
        return "the picture is symmetric, so the mirror tells nothing"
    return None


# ---------------------------------------------------------------- sounds

def samples_of(res, name):
    w = formats.parse_wave(find(res, "WAVE", name).data)
    ch = w["channels"]
    return w, [list(formats.channel(w["samples"], ch, c)) for c in range(ch)]


def check_sound_format(res, name):
    channels, rate, nbytes, _ = SOUNDS[name]
    data = find(res, "WAVE", name).data
    if data[:4] != b"RIFF":
        return "does not begin with RIFF"
    if len(data) != nbytes + 44:
        return "resource is %d bytes, expected data %d + 44" % (len(data), nbytes)
    w = formats.parse_wave(data)
    want = dict(riff_len=len(data) - 8, fmt_len=16, tag=1, channels=channels, rate=rate,
                byte_rate=rate * channels, align=channels, bits=8, data_len=nbytes, trailing=0)
    for k, v in want.items():
        if w[k] != v:
            return "%s is %r, expected %r" % (k, w[k], v)
    return None


def percentile(values, p):
    s = sorted(values)
    return s[min(len(s) - 1, int(p * len(s)))]


def rms(seq):
    return (sum((v - 128) ** 2 for v in seq) / float(len(seq))) ** 0.5


def check_loop_seam(res, name):
    w, chans = samples_of(res, name)
    rate = w["rate"]
    for c, s in enumerate(chans):
        inner = formats.steps(s)
        seam = abs(s[0] - s[-1])
        ordinary = percentile(inner, 0.99)
        if seam > max(inner) or seam > ordinary:
            return "channel %d: seam step %d, interior 99th percentile %d, max %d" % (
                c, seam, ordinary, max(inner))
        # No jump in level either: the ends sound alike.
        k = rate // 20
        a, b = rms(s[-k:]), rms(s[:k])
        if not (0.5 <= (a + 1) / (b + 1) <= 2.0):
            return "channel %d: level %.1f before the seam, %.1f after" % (c, a, b)
    return None


def check_one_shot_ends(res, name):
    """A sound played once starts and stops on the centre line: no click."""
    w, chans = samples_of(res, name)
    s = chans[0]
    k = w["rate"] // 100
    if abs(s[0] - 128) > 2 or abs(s[-1] - 128) > 1:
        return "first sample %d, last %d" % (s[0], s[-1])
    if max(abs(v - 128) for v in s[-k:]) > 4:
        return "the last 10 ms still swing %d" % max(abs(v - 128) for v in s[-k:])
    return None


def check_fade(res, name):
    w, chans = samples_of(res, name)
    s = chans[0]
    rate = w["rate"]
    head, tail = rms(s[:rate // 2]), rms(s[-rate // 4:])
    if not tail < 0.1 * head:
        return "level %.1f at the start, %.1f in the last quarter second" % (head, tail)
    # And fading steadily, not stopping: each half second quieter than before.
    levels = [rms(s[i:i + rate // 2]) for i in range(0, len(s) - rate // 2, rate // 2)]
    if any(b > a * 1.25 for a, b in zip(levels[1:], levels[2:])):
        return "level rises on the way out: %r" % [round(v, 1) for v in levels]
    return None


def fft(x):
    n = len(x)
    if n == 1:
        return [complex(x[0])]
    even, odd = fft(x[0::2]), fft(x[1::2])
    import cmath
    out = [0j] * n
    for k in range(n // 2):
        t = cmath.exp(-2j * cmath.pi * k / n) * odd[k]
        out[k] = even[k] + t
        out[k + n // 2] = even[k] - t
    return out


def check_engine_like(res, name):
    """Loud enough to hear, not clipped flat, and not a tone: the strongest
    frequency holds a small share of the energy, and the spectrum is busy."""
    w, chans = samples_of(res, name)
    for c, s in enumerate(chans):
        start = int(ENGINE_AT[name] * w["rate"])
        if rms(s[start:start + w["rate"] // 2]) < 6:
            return "channel %d is nearly silent" % c
        flat = sum(1 for v in s if v in (0, 255)) / float(len(s))
        if flat > 0.001:
            return "channel %d: %.2f%% of the samples clipped" % (c, 100 * flat)
        n = 4096
        win = [(v - 128) * (0.5 - 0.5 * __import__("math").cos(2 * 3.141592653589793 * i / n))
               for i, v in enumerate(s[start:start + n])]
        power = [abs(v) ** 2 for v in fft(win)[1:n // 2]]
        total = sum(power) or 1.0
        top = max(power) / total
        if top > 0.3:
            return "channel %d: one frequency holds %.0f%% of the energy" % (c, 100 * top)
        busy = sum(1 for p in power if p > 1e-4 * max(power))
        if busy < 200:
            return "channel %d: only %d frequency bins carry sound" % (c, busy)
    return None


# ---------------------------------------------------------------- the rest

def check_strings(res):
    found = {}
    for r in res:
        if r.type == RT_STRING:
            if r.lang != LANG_EN_US:
                return "string block %r in language %d" % (r.name, r.lang)
            found.update(formats.parse_string_block(r.name, r.data))
    if found != STRINGS:
        return "strings %r, expected %r" % (found, STRINGS)
    if len(found[1007]) != 20 or len(found[1001]) != 11:
        return "section or file name of the wrong length"
    return None


def check_icon(res):
    group = formats.parse_group_icon(find(res, RT_GROUP_ICON, 100).data)
    if len(group) != 1:
        return "icon group holds %d images" % len(group)
    e = group[0]
    if (e["width"], e["height"], e["colors"], e["bpp"], e["planes"]) != (32, 32, 16, 4, 1):
        return "icon entry %r" % e
    img = find(res, RT_ICON, e["id"])
    if len(img.data) != e["size"]:
        return "icon image is %d bytes, group says %d" % (len(img.data), e["size"])
    bmp = formats.parse_dib(img.data, allow_and_mask=True)
    if (bmp.width, bmp.height, bmp.bpp, len(bmp.palette)) != (32, 32, 4, 16):
        return "icon image %dx%d %d bpp %d colours" % (bmp.width, bmp.height, bmp.bpp,
                                                        len(bmp.palette))
    mask_stride = 4
    mask_bytes = img.data[bmp.info["total"]:]
    if len(mask_bytes) != mask_stride * 32:
        return "mask of %d bytes" % len(mask_bytes)
    transparent = sum(bin(b).count("1") for b in mask_bytes)
    if not 100 < transparent < 900:
        return "%d of 1024 pixels transparent: no motorcycle shape" % transparent
    colours = set(v for row in bmp.rows for v in row)
    if len(colours) < 5:
        return "only %d colours used" % len(colours)
    return None


def check_version(res):
    strings, fixed = formats.parse_version_strings(find(res, RT_VERSION, 1).data)
    for key in ("ProductName", "FileDescription"):  # what Explorer names the file by
        if strings.get(key) != "Rolvanta":
            return "%s %r" % (key, strings.get(key))
    for key in ("FileVersion", "ProductVersion", "FileDescription", "OriginalFilename"):
        if not strings.get(key):
            return "no %s" % key
    if fixed is None or fixed == (0, 0, 0, 0):
        return "no fixed file version"
    return None


def check_dialog(res):
    r = find(res, RT_DIALOG, 2003)
    d = formats.parse_dialog(r.data)
    if d["style"] != 0x90C800C0:
        return "style %#x" % d["style"]
    if d["exstyle"] != 0:
        return "extended style %#x" % d["exstyle"]
    if d["rect"] != (34, 32, 229, 101):
        return "position and size %r" % (d["rect"],)
    if d["menu"] != "" or d["cls"] != "":
        return "menu %r, class %r" % (d["menu"], d["cls"])
    if d["title"] != "Rolvanta":
        return "title %r" % d["title"]
    if d["font"] != (8, "Helv"):
        return "font %r" % (d["font"],)
    if len(d["items"]) != len(DIALOG_ITEMS):
        return "%d controls" % len(d["items"])
    for n, (item, want) in enumerate(zip(d["items"], DIALOG_ITEMS), 1):
        cls, cid, style, rect, text = want
        got = (item["cls"], item["id"], item["style"], item["rect"])
        if got != (cls, cid, style, rect) or item["exstyle"] != 0 or item["extra"] != 0:
            return "control %d is %r (exstyle %#x, extra %d), expected %r" % (
                n, got, item["exstyle"], item["extra"], (cls, cid, style, rect))
        if text is None:
            t = item["text"]
            if not isinstance(t, str) or not 0 < len(t) <= 24:
                return "control %d: credit line %r" % (n, t)
        elif item["text"] != text:
            return "control %d text %r, expected %r" % (n, item["text"], text)
    return None


def check_manifest(res):
    root = ElementTree.fromstring(find(res, RT_MANIFEST, 1).data)
    v3, smi = "{urn:schemas-microsoft-com:asm.v3}", "{http://schemas.microsoft.com/SMI/%d/WindowsSettings}"
    found = [(e.tag, e.text) for e in root.iterfind("%sapplication/%swindowsSettings/*" % (v3, v3))]
    want = [(smi % 2005 + "dpiAware", "true/pm"), (smi % 2016 + "dpiAwareness", "PerMonitorV2, PerMonitor")]
    ok = root.tag == "{urn:schemas-microsoft-com:asm.v1}assembly" and found == want
    return None if ok else "%s holds %r" % (root.tag, found)


def check_inventory(res):
    want = set()
    want |= {(RT_BITMAP, n) for n in PICTURES}
    want |= {("WAVE", n) for n in SOUNDS}
    want |= {(RT_DIALOG, 2003), (RT_GROUP_ICON, 100), (RT_VERSION, 1), (RT_MANIFEST, 1)}
    got = {(r.type, r.name) for r in res}
    missing = want - got
    if missing:
        return "missing %r" % sorted(missing, key=str)
    ours = (RT_BITMAP, "WAVE", RT_DIALOG, RT_GROUP_ICON, RT_ICON)
    extra = {k for k in got - want if k[0] in ours and k != (RT_ICON, 1)}
    if extra:
        return "unexpected %r" % sorted(extra, key=str)
    dup = len(res) - len({(r.type, r.name, r.lang) for r in res})
    if dup:
        return "%d duplicate entries" % dup
    other_lang = [(r.type, r.name, r.lang) for r in res if r.lang != LANG_EN_US]
    if other_lang:
        return "not in language 1033: %r" % other_lang
    return None


def main(argv):
    args = argv[1:]
    sheet = None
    if "--contact-sheet" in args:
        i = args.index("--contact-sheet")
        if i + 1 >= len(args):
            print("usage: test_resources.py ROLVANTA.SCR [--contact-sheet OUT.png]")
            return 2
        sheet = args[i + 1]
        del args[i:i + 2]
    if len(args) != 1:
        print("usage: test_resources.py ROLVANTA.SCR [--contact-sheet OUT.png]")
        return 2
    try:
        with open(args[0], "rb") as f:
            res = peres.read_resources(f.read())
    except (OSError, peres.PeError) as e:
        print("FAIL reading %s: %s" % (args[0], e))
        print("0 passed, 1 failed")
        return 1

    c = Checks()
    c.check("inventory, one language 1033", lambda: check_inventory(res))
    for name in PICTURES:
        c.check("picture %s format" % name, lambda n=name: check_picture(res, n))
        c.check("picture %s content" % name, lambda n=name: check_picture_content(res, n))
    c.check("CORMAPR mirrors CORMAPL", lambda: check_mirror(res, "CORMAPL", "CORMAPR"))
    c.check("VALTMAPR mirrors VALTMAPL", lambda: check_mirror(res, "VALTMAPL", "VALTMAPR"))
    for name, (_, _, _, looped) in SOUNDS.items():
        c.check("sound %s format" % name, lambda n=name: check_sound_format(res, n))
        c.check("sound %s sounds like an engine" % name, lambda n=name: check_engine_like(res, n))
        if looped:
            c.check("sound %s loops without a seam" % name, lambda n=name: check_loop_seam(res, n))
        else:
            c.check("sound %s starts and ends quietly" % name,
                    lambda n=name: check_one_shot_ends(res, n))
    c.check("COR_FADE_SOUND fades to silence", lambda: check_fade(res, "COR_FADE_SOUND"))
    c.check("string table", lambda: check_strings(res))
    c.check("icon 100", lambda: check_icon(res))
    c.check("version resource", lambda: check_version(res))
    c.check("dialog 2003", lambda: check_dialog(res))
    c.check("manifest: aware of each monitor's dpi", lambda: check_manifest(res))
    if sheet:
        import contact_sheet

        def write_sheet():
            contact_sheet.write(res, sheet)
            if os.path.getsize(sheet) < 1000:
                return "contact sheet suspiciously small"
            print("     contact sheet written to %s" % sheet)
            return None
        c.check("contact sheet", write_sheet)
    print("%d passed, %d failed" % (c.passed, c.failed))
    return 1 if c.failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

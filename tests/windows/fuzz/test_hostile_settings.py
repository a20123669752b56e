"""Hostile settings files under Wine: binary garbage, a huge file, lines without "=",
numbers with signs, blanks, overflow, junk after digits, NUL bytes, duplicate sections and
an endless line. For each, the platform's own profile reader says what it makes of every
key; the settings rules say what that must be repaired to. The dialog (/c) must show
exactly those values and end normally; the full-screen saver (/s) must ride at the repaired
speed, and close with exit code 0. Neither may crash.
"""
import os
import random
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))
sys.path.insert(0, os.path.join(HERE, "..", "..", "..", "tools", "support"))
sys.path.insert(0, os.path.join(HERE, "..", "..", "bench"))

import harness  # noqa: E402
import wine_bench  # noqa: E402

SECTION = b"[ScreenSaver.Rolvanta]\r\n"
KEYS = [("Sound", 0), ("Blank", 0), ("Coravendia", 1), ("Valtorne", 1), ("Speed", 6), ("Rate", 10), ("Volume", 127)]
RANGES = {"Speed": (1, 15), "Rate": (1, 40), "Volume": (0, 255)}
IDCANCEL = 2
WM_COMMAND = 0x0111
TIMEOUT = 240  # generous: these machines are shared and may be very busy


def garbage(seed, size):
    return random.Random(seed).randbytes(size)


def lines(*texts):
    return SECTION + b"".join(text.encode("latin-1") + b"\r\n" for text in texts)


HOSTILE_FILES = {
    "binary_garbage": garbage(1, 64 * 1024),
    "garbage_inside_the_section": SECTION + garbage(2, 8 * 1024) + b"\r\nSpeed=9\r\n",
    # Megabytes of other sections before the saver's, which sets a slow ride.
    "huge": b"".join(b"[Filler%06d]\r\nKey=Value of some length to fill the file\r\n" % i for i in range(160000))
    + lines("Speed=3", "Rate=40"),
    "lines_without_equals": lines("Speed", "Rate 5", "Volume:3", "Sound", "=7", "Blank=="),
    "numbers_with_signs": lines("Speed=+5", "Rate=-7", "Volume=-0", "Sound=+1", "Blank=-1", "Valtorne=+0"),
    "blanks": lines("Speed= 7 ", "Rate=\t12", "Volume=", "  Blank = 1", "Coravendia=   ", " Sound=1"),
    "overflow": lines("Speed=99999999999999999999", "Rate=4294967297", "Volume=-2147483649", "Sound=2147483648",
                      "Blank=4294967296"),
    "junk_after_digits": lines("Speed=0x0F", "Rate=1e3", "Volume=12abc", "Valtorne=0"),
    "nul_bytes": SECTION + b"Speed=1\0\r\nRate=\0\x002\r\nVol\0ume=3\r\n",
    "duplicates": lines("Speed=2", "Speed=14", "Rate=0") + lines("Speed=13", "Rate=41"),
    "endless_line": SECTION + b"Speed=" + b"9" * 200000 + b"\r\nRate=20",
}


def repaired(key, raw, fallback):
    """The settings rules: a value out of its range takes the key's default."""
    if key not in RANGES:
        return raw
    low, high = RANGES[key]
    return raw if low <= raw <= high else fallback


class HostileSettingsTest(harness.SaverTestCase):

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.bench = wine_bench.Session(cls.session)

    def write(self, content):
        with open(self.session.control_ini, "wb") as f:
            f.write(content)

    def platform_reads(self):
        """What the platform's profile reader yields for each key, read with its default."""
        arguments = []
        for key, fallback in KEYS:
            arguments += [key, str(fallback)]
        output = self.bench.run([self.bench.program("rolvanta_bench_watch"), "read"] + arguments, timeout=TIMEOUT)
        values = {}
        for line in output.splitlines():
            fields = harness.parse_fields(line)
            if fields.get("tag") == "read":
                values[fields["key"]] = int(fields["value"])
        self.assertEqual(sorted(values), sorted(key for key, _ in KEYS), output)
        return values

    def expected(self, raw):
        return {key: repaired(key, raw[key], fallback) for key, fallback in KEYS}

    def check_dialog(self, name, expected):
        run = self.start_saver("/c")
        try:
            self.check_shown(run, name, expected)
        finally:
            # Whatever happened, this dialog goes before the next file is tried.
            run.close()

    def check_shown(self, run, name, expected):
        output = self.bench.run([self.bench.program("rolvanta_bench_watch"), "dialog", "120000"], timeout=TIMEOUT)
        fields = next((harness.parse_fields(line) for line in output.splitlines() if line.startswith("dialog ")), None)
        self.assertIsNotNone(fields, "%s: no dialog appeared (%r)" % (name, output))
        shown = {key: int(fields[key.lower()]) for key in ("Speed", "Rate", "Sound", "Blank", "Coravendia", "Valtorne")}
        # The volume bar runs from loud at the top.
        shown["Volume"] = 255 - int(fields["volume_bar"])
        want = {key: expected[key] for key in ("Speed", "Rate", "Volume")}
        want.update({key: 1 if expected[key] != 0 else 0 for key in ("Sound", "Blank", "Coravendia", "Valtorne")})
        self.assertEqual(shown, want, "%s: the dialog shows other values than the repaired ones" % name)
        self.session.post(int(fields["hwnd"], 16), WM_COMMAND, IDCANCEL, 0)
        self.assertEqual(run.exit_code(timeout=TIMEOUT), 0, "%s: Cancel should end the dialog with 0" % name)

    def check_saver(self, name, expected):
        watch = wine_bench.Watch(self.bench, self.session.scr, "/s", rides=1, interval_ms=0, timeout_ms=180000)
        self.assertIsNotNone(watch.first("first_picture"), "%s: the saver drew no picture" % name)
        self.assertEqual(watch.first("rides").get("rides"), "1", "%s: no whole ride was seen" % name)
        ended = watch.first("exit")
        self.assertIsNotNone(ended, "%s: the saver did not end" % name)
        self.assertIsNone(watch.first("terminated"), "%s: the saver had to be killed" % name)
        self.assertEqual(ended["exit"], "0", "%s: the saver ended with %s" % (name, ended["exit"]))
        speed = expected["Speed"]
        step, model = wine_bench.ride_step(watch)
        seen = [(s[0], s[2], s[3], s[5], s[7], s[8]) for s in watch.samples() if s[2] >= wine_bench.CLEAR_BELOW]
        self.assertIsNotNone(model, "%s: the ride's paint is neither model's; samples (ms, pixels, left, right, "
                             "red, blue): %r" % (name, seen[:40]))
        # The Valtorne rides a quarter faster than the speed setting.
        want = speed if model == "Coravendia" else speed * 5 // 4
        self.assertEqual(step, want, "%s: the %s moved %s pixels a step; at the repaired speed %d it moves %d" % (
            name, model, step, speed, want))

    def test_hostile_files(self):
        for name, content in HOSTILE_FILES.items():
            with self.subTest(name):
                self.session.close_all_savers()
                self.write(content)
                expected = self.expected(self.platform_reads())
                self.check_dialog(name, expected)
                self.check_saver(name, expected)
                # The saver only reads the file: it is as it was.
                with open(self.session.control_ini, "rb") as f:
                    self.assertEqual(f.read(), content, "%s: the file was changed" % name)


if __name__ == "__main__":
    unittest.main()

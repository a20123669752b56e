#!/usr/bin/env python3
"""Bad input never crashes the resource reader or the format decoders: they
answer a damaged file with their own error (PeError / FormatError) and the
inventory test answers it with a failure line, never a traceback.

    test_reader.py ROLVANTA.SCR

Damages a copy of the built saver in memory: truncated at many lengths,
bytes flipped by a seeded generator, resource payloads cut short."""

import io
import os
import random
import struct
import sys
import tempfile
from contextlib import redirect_stdout

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import formats  # noqa: E402
import peres  # noqa: E402
import test_resources  # noqa: E402

DECODERS = [
    ("dialog", formats.parse_dialog),
    ("dib", formats.parse_dib),
    ("icon dib", lambda d: formats.parse_dib(d, allow_and_mask=True)),
    ("wave", formats.parse_wave),
    ("group icon", formats.parse_group_icon),
    ("version", formats.parse_version_strings),
    ("strings", lambda d: formats.parse_string_block(63, d)),
]


def main(argv):
    if len(argv) != 2:
        print("usage: test_reader.py ROLVANTA.SCR")
        return 2
    good = open(argv[1], "rb").read()
    passed = failed = 0

    def outcome(name, problem):
        nonlocal passed, failed
        if problem:
            failed += 1
            print("FAIL %s: %s" % (name, problem))
        else:
            passed += 1
            print("ok   %s" % name)

    def reader_survives(data):
        try:
            peres.read_resources(data)
        except peres.PeError:
            pass
        except Exception as e:  # the point of the test: nothing else escapes
            return "%s: %s" % (type(e).__name__, e)
        return None

    # The intact file reads, and holds what the damage below will hit.
    res = peres.read_resources(good)
    outcome("intact file reads", None if len(res) >= 14 else "only %d resources" % len(res))

    problems = []
    for cut in list(range(0, 4096, 7)) + [len(good) * k // 64 for k in range(64)]:
        p = reader_survives(good[:cut])
        if p:
            problems.append("cut at %d: %s" % (cut, p))
    outcome("truncated executables", "; ".join(problems[:3]))

    rng = random.Random(1234)
    pe = struct.unpack_from("<I", good, 0x3C)[0]
    problems = []
    for trial in range(300):
        data = bytearray(good)
        for _ in range(rng.randint(1, 8)):
            # Aim at the headers and the resource directory, where a flipped
            # byte changes the reader's path, as well as anywhere at all.
            where = rng.choice([rng.randrange(0, pe + 400), rng.randrange(len(data))])
            data[where] = rng.randrange(256)
        p = reader_survives(bytes(data))
        if p:
            problems.append("trial %d: %s" % (trial, p))
    outcome("bytes flipped at random", "; ".join(problems[:3]))

    problems = []
    for r in res:
        for name, fn in DECODERS:
            for cut in sorted(set([0, 1, 2, 5, 17, 40, 44, 60] + [len(r.data) * k // 16 for k in range(16)])):
                try:
                    fn(r.data[:cut])
                except formats.FormatError:
                    pass
                except Exception as e:
                    problems.append("%s of %r cut at %d: %s: %s" % (name, r.name, cut,
                                                                   type(e).__name__, e))
            noise = bytes(rng.randrange(256) for _ in range(len(r.data) % 700 + 20))
            try:
                fn(noise)
            except formats.FormatError:
                pass
            except Exception as e:
                problems.append("%s on noise: %s: %s" % (name, type(e).__name__, e))
    outcome("decoders on damaged payloads", "; ".join(problems[:3]))

    # The inventory test itself on a file that is no executable, and on none.
    with tempfile.TemporaryDirectory() as tmp:
        junk = os.path.join(tmp, "junk.scr")
        with open(junk, "wb") as f:
            f.write(b"MZ" + bytes(rng.randrange(256) for _ in range(3000)))
        for path in (junk, os.path.join(tmp, "missing.scr")):
            out = io.StringIO()
            try:
                with redirect_stdout(out):
                    rc = test_resources.main(["test_resources.py", path])
                p = None if rc == 1 and "FAIL" in out.getvalue() else "exit %r" % rc
            except Exception as e:
                p = "%s: %s" % (type(e).__name__, e)
            outcome("inventory test on %s" % os.path.basename(path), p)

    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

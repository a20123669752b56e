"""tools/check_circles on small made-up trees: a circle of includes, a circle of calls hidden
behind a header of a third unit, the core including a platform, a platform calling another,
and a clean tree whose look-alikes (comments, strings, members, names of a unit's own) draw
no arrow and whose platform uses the core."""

import os
import subprocess
import sys
import tempfile
import unittest

CHECK = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "check_circles")
CHAIN = '#include "windows/host/chain.h"\n'
HOST = {"windows/host/chain.h": "int Show();\nint Host();\n",
        "windows/host/host.cpp": CHAIN + "int Host() { return 1; }\nint Run() { return Show(); }\n"}
CASES = [
    ("includes", {"core/a.h": '#include "core/b.h"\n', "core/b.h": '#pragma once\n#include "a.h"\n'},
     "circle: core/a -> core/b -> core/a"),
    ("calls", dict(HOST, **{"windows/show/show.cpp": CHAIN + "int Show() { return Host(); }\n"}),
     "circle: windows/host/host -> windows/show/show -> windows/host/host"),
    ("core up", {"core/a.cpp": '#include "linux/b.h"\n', "linux/b.h": "int B();\n"},
     "wrong way: core/a -> linux/b: includes linux/b.h"),
    ("across", {"web/w.cpp": "int W() { return B(); }\n", "linux/b.cpp": "int B() { return 1; }\n"},
     "wrong way: web/w -> linux/b: web/w.cpp names B"),
    ("clean", dict(HOST, **{"core/c.h": "int C();\n", "windows/show/show.cpp": CHAIN + '#include "core/c.h"\n'
                            "// Host() calls us\n"
                            "namespace { int Host() { return 2; } }\nstruct P { int Run(); };\n"
                            'int Show() { P p; return Host() + p.Run() + *"Run()"; }\n'}),
     None),
]


class CircleCheckTest(unittest.TestCase):
    def test_cases(self):
        for name, files, expected in CASES:
            with self.subTest(name), tempfile.TemporaryDirectory() as root:
                for path, text in files.items():
                    os.makedirs(os.path.dirname(os.path.join(root, path)), exist_ok=True)
                    with open(os.path.join(root, path), "w") as f:
                        f.write(text)
                result = subprocess.run([sys.executable, CHECK, root], stdout=subprocess.PIPE, text=True, timeout=60)
                self.assertEqual(result.returncode, 1 if expected else 0, result.stdout)
                self.assertEqual([l for l in result.stdout.splitlines() if l.startswith(("circle", "wrong way"))],
                                 [expected] if expected else [])


if __name__ == "__main__":
    unittest.main()

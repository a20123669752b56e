"""The shipped saver imports operating-system DLLs only: no C runtime (msvcrt.dll is missing
from early Windows 95 installations) and never IMM32."""

import os
import re
import subprocess
import unittest

import harness

ALLOWED = {"kernel32.dll", "user32.dll", "gdi32.dll", "winmm.dll", "advapi32.dll"}


class Imports(unittest.TestCase):

    def test_only_operating_system_dlls(self):
        session = harness.Session.load()
        for exe in (session.scr, session.faulttest_scr):
            with self.subTest(os.path.basename(exe)):
                dump = subprocess.run(["i686-w64-mingw32-objdump", "-p", exe], stdout=subprocess.PIPE,
                                      check=True, timeout=120).stdout.decode()
                self.assertIn("file format pei-i386", subprocess.run(
                    ["i686-w64-mingw32-objdump", "-f", exe], stdout=subprocess.PIPE, check=True,
                    timeout=120).stdout.decode())
                names = {name.lower() for name in re.findall(r"DLL Name: (\S+)", dump)}
                self.assertTrue({"kernel32.dll", "user32.dll"} <= names, names)
                self.assertLessEqual(names, ALLOWED)
                self.assertNotIn("imm32.dll", names)

"""The shipped saver imports operating-system DLLs only, never IMM32, and none of the
multi-monitor calls that Windows 95 and NT 4 lack (it finds them at run time)."""

import os
import re
import subprocess
import unittest

import harness

ALLOWED = {"kernel32.dll", "user32.dll", "gdi32.dll", "winmm.dll", "advapi32.dll", "msvcrt.dll"}
# user32 calls that Windows 95 and NT 4 do not have.
MULTI_MONITOR_CALLS = {"EnumDisplayMonitors", "GetMonitorInfoA", "GetMonitorInfoW", "MonitorFromWindow",
                       "MonitorFromPoint", "MonitorFromRect"}


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
                # Import table rows read "<hint> <ordinal> <name>" under each "DLL Name:" line.
                imported = set(re.findall(r"^\s+[0-9a-f]+\s+\d+\s+(\w+)$", dump, re.MULTILINE))
                self.assertIn("CreateWindowExA", imported, "the import table was read")
                self.assertEqual(imported & MULTI_MONITOR_CALLS, set())

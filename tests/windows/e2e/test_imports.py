"""The shipped saver imports operating-system DLLs only: no C runtime (msvcrt.dll is missing
from early Windows 95 installations), never IMM32, and none of the multi-monitor calls that
Windows 95 and NT 4 lack (it finds them at run time)."""

import os
import re
import subprocess
import time
import unittest

import harness

ALLOWED = {"kernel32.dll", "user32.dll", "gdi32.dll", "winmm.dll", "advapi32.dll"}
# user32 calls that older Windows lacks (the multi-monitor ones and GetAncestor Windows 95 and NT 4, the power
# notices everything before Vista, the dpi calls before 8.1): the saver looks them up at run time.
MULTI_MONITOR_CALLS = {"EnumDisplayMonitors", "GetMonitorInfoA", "GetMonitorInfoW", "MonitorFromWindow",
                       "MonitorFromPoint", "MonitorFromRect", "RegisterPowerSettingNotification",
                       "UnregisterPowerSettingNotification", "GetDpiForWindow", "GetDpiForMonitor", "GetAncestor"}


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


class OwnRuntime(unittest.TestCase):
    """What the saver's own runtime promises beyond what the saver uses today, in a test-only
    program built the same way: static constructors run before HostEntry, a global object
    calls through its vtable, the block moves keep their meaning when they overlap, the clock
    reads the calendar, and a pure virtual call ends the process as a fault."""

    EXCEPTION_ILLEGAL_INSTRUCTION = 0xC000001D

    @classmethod
    def setUpClass(cls):
        cls.session = harness.Session.load()
        cls.exe = os.path.join(cls.session.win32_dir, "tests", "windows", "e2e", "win32", "runtime", "rolvanta_runtime_check.exe")

    def run_check(self, argument):
        run = harness.SaverRun(self.session, '"%s" %s' % (self.session.win_path(self.exe), argument), name="runtime")
        self.addCleanup(run.close)
        return run.exit_code(60)

    def test_start_up_and_helpers(self):
        dump = subprocess.run(["i686-w64-mingw32-objdump", "-p", self.exe], stdout=subprocess.PIPE, check=True,
                              timeout=120).stdout.decode()
        self.assertEqual({name.lower() for name in re.findall(r"DLL Name: (\S+)", dump)}, {"kernel32.dll"})
        self.assertEqual(self.run_check(int(time.time())), 0)
        # A clock an hour ahead of the calendar is caught: the check above can fail.
        self.assertEqual(self.run_check(int(time.time()) + 3600), 32)

    def test_pure_virtual_call_is_a_fault(self):
        self.assertEqual(self.run_check("pure"), self.EXCEPTION_ILLEGAL_INSTRUCTION)

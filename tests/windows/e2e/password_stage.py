"""What the password tests share: a folder holding a copy of the saver next to the test-only
stand-ins for the platform's password components, the registry settings that make Wine
emulate Windows 98 for that copy, and readers for what the stand-ins record.

The saver copy gets a file name of its own per scenario, because Wine keys its per-program
settings (the Windows version it reports, which DLL wins) by the program's file name: other
tests that run the saver under its usual name see none of this.
"""

import os
import re
import shutil
import subprocess


# The marker the stand-in's message hook reports: WM_NULL with this wParam.
MARKER = 0x5E17

WM_NULL = 0x0000
WM_DESTROY = 0x0002
WM_CLOSE = 0x0010
WM_QUERYENDSESSION = 0x0011
WM_QUIT = 0x0012
WM_ENDSESSION = 0x0016
WM_ACTIVATEAPP = 0x001C
WM_KEYDOWN = 0x0100
WM_NCDESTROY = 0x0082
WM_COMMAND = 0x0111
WM_SYSCOMMAND = 0x0112
WM_MOUSEMOVE = 0x0200
WM_LBUTTONDOWN = 0x0201
WM_MOUSEWHEEL = 0x020A
IDCANCEL = 2
SC_CLOSE = 0xF060
SC_NEXTWINDOW = 0xF040
SC_PREVWINDOW = 0xF050
SC_SCREENSAVE = 0xF140
WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE, SC_MOVE, SC_MINIMIZE = 0x0218, 0x8013, 0xF010, 0xF020

DESKTOP_KEY = r"HKEY_CURRENT_USER\Control Panel\Desktop"
APP_DEFAULTS = r"HKEY_CURRENT_USER\Software\Wine\AppDefaults"
# Where Wine keeps SPI_SETSCREENSAVERRUNNING when it is set without updating the profile.
RUNNING_KEY = r"HKEY_CURRENT_USER\Software\Wine\Temporary System Parameters\Control Panel\Desktop"
RUNNING_VALUE = "WINE_ScreenSaverRunning"


def win32_programs(session):
    return os.path.join(session.win32_dir, "tests", "windows", "e2e", "win32")


def standin(session, name):
    folder = os.path.join(win32_programs(session), "password")
    return {
        "cpl": os.path.join(folder, "cpl", "PASSWORD.CPL"),
        "cpl_noentry": os.path.join(folder, "cpl_noentry", "PASSWORD.CPL"),
        "mpr": os.path.join(folder, "mpr", "MPR.DLL"),
    }[name]


def import_registry(session, lines, name):
    path = os.path.join(session.dir, "password-%s.reg" % name)
    with open(path, "w", newline="\r\n") as reg:
        reg.write("\n".join(lines) + "\n")
    session.run(["wine", "regedit", "/S", session.win_path(path)], timeout=120)


def forget_desktop_password(session):
    import_registry(session, ["REGEDIT4", "", "[%s]" % DESKTOP_KEY, '"ScreenSaveUsePassword"=-', ""], "forget")


def saver_running_flag(session):
    """Wine's record of the screen-saver-running state: "1", "0", or None when nothing set it
    since the session began (Wine keeps it in a volatile key)."""
    result = session.run(["wine", "reg", "query", RUNNING_KEY, "/v", RUNNING_VALUE], check=False, timeout=120)
    for line in result.stdout.decode("latin-1").splitlines():
        words = line.split()
        if len(words) >= 3 and words[0] == RUNNING_VALUE:
            return words[2]
    return None


def reset_saver_running_flag(session):
    import_registry(session, ["REGEDIT4", "", "[%s]" % RUNNING_KEY, '"%s"="0"' % RUNNING_VALUE, ""], "running")


class Stage:
    """A folder with a saver copy named `scr_name` and the chosen stand-ins."""

    def __init__(self, session, name, cpl=None, mpr=False, password="sesame", nudge=False):
        self.session = session
        self.folder = os.path.join(session.dir, "password", name)
        shutil.rmtree(self.folder, ignore_errors=True)
        os.makedirs(self.folder)
        self.scr_name = "pw_%s.scr" % name
        self.scr = os.path.join(self.folder, self.scr_name)
        self.password = password
        shutil.copyfile(session.scr, self.scr)
        if cpl:
            shutil.copyfile(standin(session, cpl), os.path.join(self.folder, "PASSWORD.CPL"))
        if mpr:
            shutil.copyfile(standin(session, "mpr"), os.path.join(self.folder, "MPR.DLL"))
        with open(os.path.join(self.folder, "password.ini"), "w", newline="\r\n") as ini:
            ini.write("[prompt]\nPassword=%s\nNudge=%d\n" % (password, 1 if nudge else 0))
        self.log_path = os.path.join(self.folder, "password_calls.log")
        self.mpr_log_path = os.path.join(self.folder, "mpr_calls.log")

    def command_line(self, arguments):
        return '"%s" %s' % (self.session.win_path(self.scr), arguments)

    def configure(self, win98, use_password, override_mpr=False):
        """Writes the registry for this scenario in one regedit run.

        use_password: None removes "ScreenSaveUsePassword", a number stores it as REG_DWORD.
        """
        app = APP_DEFAULTS + "\\" + self.scr_name
        # Start from nothing for this program name, so an earlier run leaves no trace.
        lines = ["REGEDIT4", "", "[-%s]" % app, "", "[%s]" % app]
        if win98:
            lines.append('"Version"="win98"')
        lines.append("")
        if override_mpr:
            # Wine's own MPR.DLL would otherwise win over the stand-in next to the saver.
            lines += ["[%s\\DllOverrides]" % app, '"mpr"="native"', ""]
        lines.append("[%s]" % DESKTOP_KEY)
        if use_password is None:
            lines.append('"ScreenSaveUsePassword"=-')
        else:
            lines.append('"ScreenSaveUsePassword"=dword:%08x' % use_password)
        lines.append("")
        import_registry(self.session, lines, "stage")

    def events(self):
        return read_events(self.log_path)

    def mpr_calls(self):
        if not os.path.exists(self.mpr_log_path):
            return []
        with open(self.mpr_log_path, newline="") as log:
            return [line.rstrip("\n").split("\t") for line in log if line.endswith("\n")]


_FIELD = re.compile(r"(\w+)=(\S+)")


def read_events(path):
    """The stand-in's log as a list of dicts with "kind" and its fields (numbers as int)."""
    if not os.path.exists(path):
        return []
    events = []
    with open(path, newline="") as log:
        for line in log:
            if not line.endswith("\n"):
                break  # being written; the next read will see it whole
            kind, _, rest = line.strip().partition(" ")
            event = {"kind": kind}
            for key, value in _FIELD.findall(rest):
                try:
                    if "," in value:
                        event[key] = tuple(int(part) for part in value.split(","))
                    else:
                        event[key] = int(value, 0)
                except ValueError:
                    event[key] = value
            events.append(event)
    return events


def count(events, kind, **fields):
    return sum(1 for e in events if e["kind"] == kind and all(e.get(k) == v for k, v in fields.items()))


class OtherApplication:
    """A plain window of another process that takes the foreground when it opens; closed again
    at the test's clean-up at the latest."""

    def __init__(self, test, title):
        self.session = test.session
        self.program = next(path for path in (os.path.join(win32_programs(self.session), "dialog", "dialog_probe.exe"),
                                              os.path.join(win32_programs(self.session), "dialog_probe.exe"))
                            if os.path.exists(path))
        self.process = subprocess.Popen(["wine", self.program, "owner", "--title", title, "--timeout-ms", "600000"],
                                        env=self.session.env(), stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                        stderr=subprocess.DEVNULL, text=True)
        test.addCleanup(self.stop)
        line = self.process.stdout.readline()
        test.assertIn('"owner"', line, "the other application did not open its window")
        self.window = int(line.split('"hwnd":')[1].split(",")[0])

    def stop(self):
        if self.process.poll() is None:
            self.session.run(["wine", self.program, "close", str(self.window)], check=False)
            try:
                self.process.wait(timeout=60)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process.stdout.close()

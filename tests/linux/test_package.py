"""The Debian package CPack makes from the build tree, under umask 077: each file lies where
XScreenSaver's own packages keep theirs (the daemon's display modules, the settings dialog's
descriptions, the manual pages), every directory is 0755 all the same, the package depends on
the X11, Wayland client and ALSA libraries and recommends xscreensaver, apt accepts it,
lintian finds nothing to warn of, a build configured for the package has no target but the
product's, and every option the settings description can pass is one the packaged program
accepts. The settings description and the manual page give each setting of the core's table
its option, range and default, as the build makes them."""

import os
import re
import shutil
import subprocess
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree

from xsession import BUILD_DIR

PROGRAM = "usr/libexec/xscreensaver/rolvanta"
SETTINGS = "usr/share/xscreensaver/config/rolvanta.xml"
MANUAL = "usr/share/man/man6/rolvanta.6.gz"
AUTOSTART = "etc/xdg/autostart/rolvanta-idle.desktop"
SOURCE_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")


def run(argv, **kwargs):
    return subprocess.run(argv, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          timeout=600, **kwargs)


def settings_table():
    """The core's table of the settings (core/settings.h, kSettings), one tuple a setting:
    (key, option, is a flag, minimum, maximum, default, check box text, minimum's and maximum's
    words, control, control number); the option is the key in lower case."""
    with open(os.path.join(SOURCE_DIR, "core", "settings.h")) as f:
        source = re.sub(r"//[^\n]*|/\*.*?\*/", "", f.read(), flags=re.S)
    table = re.search(r"\bkSettings\b[^=;{]*=\s*\{(.*?)\};", source, re.S)
    assert table, "core/settings.h defines no kSettings"
    rows = [re.findall(r'"[^"]*"|[^,\s][^,]*', row) for row in re.findall(r"\{([^{}]*)\}", table.group(1))]
    text = lambda field: None if field == "nullptr" else field.strip().strip('"')
    return [(text(key), text(key).lower(), ranged == "false", int(low), int(high), int(default), text(box), text(lo),
             text(hi), control.strip(), int(number))
            for key, _, ranged, low, high, default, _, _, box, lo, hi, _, control, number, _ in rows]


def dialog_template():
    """The dialog's controls as rolvanta.rc writes them: (text, number, kind, y), the number
    looked up in resource_ids.h."""
    resources = os.path.join(SOURCE_DIR, "windows", "resources")
    with open(os.path.join(resources, "resource_ids.h")) as f:
        ids = dict(re.findall(r"#define\s+(\w+)\s+(-?\d+)", f.read()))
    with open(os.path.join(resources, "rolvanta.rc")) as f:
        controls = re.findall(r'^\s*CONTROL\s+"([^"]*)",\s*([\w-]+),\s*(\w+),[^,]*,\s*\d+,\s*(\d+)', f.read(), re.M)
    return [(text, int(ids.get(name, name)), kind, int(y)) for text, name, kind, y in controls]


class Descriptions(unittest.TestCase):

    def test_the_settings_description_and_manual_page_follow_the_core_table(self):
        table = settings_table()
        self.assertEqual(len(table), 7, table)
        screensaver = ElementTree.parse(os.path.join(BUILD_DIR, "linux", "rolvanta.xml")).getroot()
        with open(os.path.join(BUILD_DIR, "linux", "rolvanta.6")) as f:
            manual = f.read().replace("\\-", "-")
        for key, option, flag, low, high, default, *_ in table:
            with self.subTest(key):
                if flag:
                    box = screensaver.find(".//boolean[@id='%s']" % option)
                    self.assertIsNotNone(box, "no check box for --%s" % option)
                    arg = ("arg-unset", "--no-" + option) if default else ("arg-set", "--" + option)
                    self.assertEqual((box.get(arg[0]), (low, high)), (arg[1], (0, 1)))
                    said = r'\.BR --%s ", " --no-%s\n[^\n]*Default %s\b' % (option, option, "on" if default else "off")
                else:
                    slider = screensaver.find("number[@id='%s']" % option)
                    self.assertIsNotNone(slider, "no slider for --%s" % option)
                    self.assertEqual((slider.get("arg"), slider.get("low"), slider.get("high"), slider.get("default")),
                                     ("--%s %%" % option, str(low), str(high), str(default)))
                    said = r'\.BI --%s " n"\n[^\n]*, %d to %d\. Default %d\.' % (option, low, high, default)
                self.assertTrue(re.search(said, manual), "rolvanta.6 does not match %r" % said)

    def test_the_dialog_template_shows_each_setting_as_the_core_table_says(self):
        controls = dialog_template()
        words = {text: y for text, number, kind, y in controls if kind == "CTL_STATIC"}
        for key, _, flag, _, _, _, box, low, high, control, number in settings_table():
            with self.subTest(key):
                kind = "CTL_BUTTON" if flag else "CTL_SCROLLBAR"
                self.assertIn(number, [n for _, n, k, _ in controls if k == kind], "no control %d" % number)
                self.assertEqual(control == "CheckBox", flag)
                if flag:
                    self.assertIn((box, number, kind), [control[:3] for control in controls])
                else:
                    top = "BarMinimumAtTop" if words[low] < words[high] else "BarMaximumAtTop"
                    self.assertEqual(control, top, "%s and %s lie the other way round" % (low, high))


@unittest.skipUnless(shutil.which("dpkg-deb") and shutil.which("cpack"), "Debian's packaging tools are missing")
class Package(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="rolvanta-package-")
        result = run(["cpack", "-G", "DEB", "--config", os.path.join(BUILD_DIR, "CPackConfig.cmake"),
                      "-B", cls.folder], preexec_fn=lambda: os.umask(0o077))
        if result.returncode != 0:
            raise AssertionError("cpack failed: %s%s" % (result.stdout.decode(), result.stderr.decode()))
        debs = [n for n in os.listdir(cls.folder) if n.endswith(".deb")]
        assert len(debs) == 1, debs
        cls.deb = os.path.join(cls.folder, debs[0])
        cls.root = os.path.join(cls.folder, "root")
        run(["dpkg-deb", "-x", cls.deb, cls.root]).check_returncode()

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder, ignore_errors=True)

    def field(self, name):
        return run(["dpkg-deb", "-f", self.deb, name]).stdout.decode().strip()

    def test_files_lie_where_xscreensaver_keeps_its_own(self):
        listing = run(["dpkg-deb", "-c", self.deb]).stdout.decode().splitlines()
        files = {line.split()[-1].lstrip("./"): line.split()[0] for line in listing if not line.endswith("/")}
        self.assertEqual(set(files), {PROGRAM, SETTINGS, MANUAL, AUTOSTART, "usr/bin/rolvanta-xscreensaver",
                                      "usr/share/man/man1/rolvanta-xscreensaver.1.gz",
                                      "usr/share/doc/rolvanta/copyright", "usr/share/doc/rolvanta/changelog.gz"})
        self.assertEqual(files[PROGRAM], "-rwxr-xr-x")
        with open(os.path.join(self.root, AUTOSTART)) as entry:  # the idle start is off until a user turns it on
            self.assertRegex(entry.read(), r"(?m)^Exec=/%s --idle [0-9]+\n(.|\n)*^Hidden=true$" % PROGRAM)
        self.assertEqual({line.split()[0] for line in listing if line.endswith("/")}, {"drwxr-xr-x"})
        for path in (PROGRAM, SETTINGS, MANUAL):
            folder = "/" + os.path.dirname(path)
            owners = run(["dpkg", "-S", folder]).stdout.decode()
            with self.subTest(folder=folder):
                self.assertIn("xscreensaver", owners.split(":")[0],
                              "%s is not where an installed XScreenSaver package keeps its files" % folder)

    def test_dependencies_and_apt(self):
        depends = self.field("Depends")
        self.assertIn("libx11-6", depends)
        self.assertIn("libasound2", depends)
        self.assertIn("libwayland-client0", depends)
        self.assertIn("xscreensaver", self.field("Recommends"))
        # What the program links, besides the C and C++ runtimes, is exactly these.
        needed = run(["objdump", "-p", os.path.join(self.root, PROGRAM)]).stdout.decode()
        libraries = {line.split()[1] for line in needed.splitlines() if line.strip().startswith("NEEDED")}
        self.assertEqual(libraries - {"libc.so.6", "libm.so.6", "libstdc++.so.6", "libgcc_s.so.1"},
                         {"libX11.so.6", "libwayland-client.so.0", "libasound.so.2", "libdbus-1.so.3"})
        result = run(["apt-get", "install", "--simulate", "-o", "Debug::NoLocking=1", self.deb])
        self.assertEqual(result.returncode, 0, result.stderr.decode())
        self.assertRegex(result.stdout.decode(), r"(?m)^Inst rolvanta ")

    @unittest.skipUnless(shutil.which("lintian"), "lintian is missing (tools/setup-machine installs it)")
    def test_lintian_finds_no_error_or_warning(self):
        result = run(["lintian", "--fail-on", "error,warning", self.deb])
        found = [line for line in result.stdout.decode().splitlines() if line[:2] in ("E:", "W:")]
        self.assertEqual((result.returncode, found), (0, []), result.stderr.decode())

    def test_the_package_build_builds_only_the_product(self):
        with tempfile.TemporaryDirectory() as build:
            run(["cmake", "-S", SOURCE_DIR, "-B", build, "-DCMAKE_BUILD_TYPE=Release", "-DROLVANTA_TESTS=OFF",
                 "-DROLVANTA_WEB=OFF"]).check_returncode()
            listing = run(["cmake", "--build", build, "--target", "help"]).stdout.decode()
        targets = {line[4:].split()[0] for line in listing.splitlines() if line.startswith("... ")}
        built = {t for t in targets if not t.endswith((".o", ".i", ".s")) and not t.startswith(
            ("all", "clean", "depend", "edit_cache", "install", "list_install", "package", "rebuild_cache"))}
        self.assertEqual(built, {"rolvanta", "rolvanta_core", "rolvanta_wayland_protocols", "rolvanta_man_page",
                                 "rolvanta_settings_docs"})

    def test_every_setting_the_dialog_passes_is_accepted(self):
        tree = ElementTree.parse(os.path.join(self.root, SETTINGS))
        screensaver = tree.getroot()
        self.assertEqual(screensaver.get("name"), "rolvanta")
        arguments = [screensaver.find("command").get("arg")]
        numbers = screensaver.iter("number")
        booleans = list(screensaver.iter("boolean"))
        ids = set()
        for number in numbers:
            ids.add(number.get("id"))
            for key in ("low", "high", "default"):
                arguments += number.get("arg").replace("%", number.get(key)).split()
        for boolean in booleans:
            ids.add(boolean.get("id"))
            arguments.append(boolean.get("arg-set") or boolean.get("arg-unset"))
        ids.update(select.get("id") for select in screensaver.iter("select"))
        arguments += [a for option in screensaver.iter("option") for a in (option.get("arg-set") or "").split()]
        self.assertEqual(ids, {"speed", "rate", "volume", "delay", "sound", "blank", "showfps", "coravendia",
                               "valtorne", "scale"})
        # As every peer module's: the frame rate as --delay, and the updater.
        self.assertIn("--delay %", [number.get("arg") for number in screensaver.iter("number")])
        self.assertIsNotNone(screensaver.find("xscreensaver-updater"))
        self.assertTrue(screensaver.find("_description").text.strip())
        env = dict(os.environ)
        env.pop("DISPLAY", None)
        # --help last: the whole line is read, so any argument it does not know fails first.
        result = run([os.path.join(self.root, PROGRAM)] + arguments + ["--help"], env=env)
        self.assertEqual(result.returncode, 0, result.stderr.decode())

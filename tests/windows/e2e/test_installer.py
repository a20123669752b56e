"""The release as a user and an administrator meet it: the installer the build made, run
silently in fresh prefixes on the session's display (the NT line, and Windows 98 emulation),
and a release signed with a throwaway certificate.

NT line: with another saver current, the silent install puts a copy of the build's saver into
system32, makes it current and switches screen saving on, and lists itself; the installed copy
runs and closes on a key; a signed release installed over it is an upgrade with one list
entry, and its saver verifies and runs; silent removal deletes the saver and the uninstaller,
puts the other saver back, removes the entry and keeps the user's settings.
Windows 98: the saver is named in system.ini's [boot] section, and removal takes it out."""

import filecmp
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile

import harness

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "assets"))
import peres  # noqa: E402

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..")
DESKTOP = r"HKCU\Control Panel\Desktop"
UNINSTALL = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
PREVIOUS_SAVER = r"C:\windows\system32\previous.scr"
INSTALLED = r"C:\windows\system32\rolvanta.scr"
UNINSTALLER_TITLE = "Rolvanta screen saver Uninstall"


def reg_query(session, key, value=None):
    """{name: data} of a key's values (just the one named), or None when it does not exist."""
    argv = ["wine", "reg", "query", key] + (["/v", value] if value else [])
    result = session.run(argv, timeout=120, check=False)
    if result.returncode != 0:
        return None
    values = {}
    for line in result.stdout.decode("latin-1").splitlines():
        match = re.match(r"^\s{4}(\S.*?)\s{4}(REG_\w+)\s{4}(.*)$", line)
        if match:
            values[match.group(1)] = match.group(3)
    return values


def reg_subkeys(session, key):
    """The names of a key's subkeys; reg prints each as a full HKEY_... path."""
    result = session.run(["wine", "reg", "query", key], timeout=120, check=False)
    tail = key.split("\\", 1)[1].lower() + "\\"
    names = []
    for line in result.stdout.decode("latin-1").splitlines():
        path = line.strip()
        if path.startswith("HKEY_") and tail in path.lower():
            names.append(path[path.lower().index(tail) + len(tail):])
    return names


def uninstaller_windows(session):
    # The wizard's caption ends in a blank on some of its pages.
    return [w for w in session.find_windows("#32770", None) if w.title.strip() == UNINSTALLER_TITLE]


def resources(path):
    with open(path, "rb") as f:
        return {(r.type, r.name, r.lang): r.data for r in peres.read_resources(f.read())}


def unix_path(session, windows_path):
    assert windows_path[:3].lower() == "c:\\", windows_path
    return os.path.join(session.prefix, "drive_c", *windows_path[3:].split("\\"))


def ini_value(path, section, key):
    current = None
    with open(path, encoding="latin-1") as f:
        for line in f:
            line = line.strip()
            if line.startswith("["):
                current = line.strip("[]").lower()
            elif current == section.lower() and "=" in line:
                name, _, value = line.partition("=")
                if name.strip().lower() == key.lower():
                    return value.strip()
    return None


class Release(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.session = harness.Session.load()
        found = sorted(glob.glob(os.path.join(cls.session.win32_dir, "release", "rolvanta-setup-*.exe")))
        if len(found) != 1:
            raise AssertionError("expected one installer in the build's release folder, found %r" % found)
        cls.setup = found[0]
        cls.release = os.path.dirname(cls.setup)

    def fresh(self, name, registry=""):
        session = harness.fresh_prefix(self.session, name, registry)
        self.addCleanup(harness.stop_prefix, session)
        return session

    def install(self, session, setup):
        # The silent installer runs to its end before it exits, so `wine` returns after it.
        result = session.run(["wine", setup, "/S"], timeout=300, check=False)
        self.assertEqual(result.returncode, 0, result.stderr.decode(errors="replace")[-2000:])

    def entries(self, session):
        """The list entries of installed programs that name Rolvanta."""
        found = {}
        for name in reg_subkeys(session, UNINSTALL):
            values = reg_query(session, UNINSTALL + "\\" + name) or {}
            if "rolvanta" in values.get("DisplayName", "").lower():
                found[name] = values
        return found

    def sign_release(self, out):
        """The release, signed with a throwaway certificate; returns the certificate's PEM."""
        work = os.path.join(out, "certificate")
        os.makedirs(work)
        key, cert, p12 = (os.path.join(work, n) for n in ("key.pem", "cert.pem", "cert.p12"))
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                        "-days", "2", "-subj", "/CN=Rolvanta throwaway test signer",
                        "-addext", "extendedKeyUsage=codeSigning", "-addext", "keyUsage=digitalSignature"],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
        subprocess.run(["openssl", "pkcs12", "-export", "-inkey", key, "-in", cert, "-out", p12,
                        "-passout", "pass:throwaway"], check=True, stdout=subprocess.DEVNULL, timeout=120)
        env = dict(os.environ, ROLVANTA_SIGN_PKCS12=p12, ROLVANTA_SIGN_PASSWORD="throwaway")
        subprocess.run([sys.executable, os.path.join(ROOT, "tools", "package"), "--scr", self.session.scr,
                        "--out", out], env=env, check=True, stdout=subprocess.PIPE, timeout=300)
        return cert

    def click_through(self, session, program, *pages):
        """Runs a wizard (by its Windows path) and presses Enter on each page once it has settled
        and shows something new, saved as a screenshot. The installer's pages must show the
        motorcycles' picture (the stock one has no red); the uninstaller's, which has none, must
        be the foreground window, since a still desktop is no page. What the wizard starts
        inherits the probe's output, so the prefix ends before the probe is closed."""
        self.addCleanup(harness.SaverRun(session, '"%s"' % program, name=pages[0]).close)
        self.addCleanup(harness.stop_prefix, session)

        def settled(page, before):
            one, two = session.screenshot(), time.sleep(0.5) or session.screenshot()
            red = (any(w.visible and w.foreground for w in uninstaller_windows(session))
                   if page.startswith("uninstaller") else two.count_matching(harness.is_red, step=2) > 100)
            return red and one.data == two.data != getattr(before, "data", None) and two
        shown = None
        for page in pages:
            shown = harness.wait_until(lambda: settled(page, shown), 120, "the %s page" % page)
            session.save_artifact(shown, page + ".png")
            session.xdotool("key", "Return")

    def assert_verifies(self, path, cert):
        result = subprocess.run(["osslsigncode", "verify", "-in", path, "-CAfile", cert], stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, timeout=120)
        self.assertEqual(result.returncode, 0, result.stdout.decode(errors="replace")[-2000:])
        self.assertIn("Signature verification: ok", result.stdout.decode(errors="replace"))

    def test_build_release_is_unsigned_and_says_so(self):
        with open(os.path.join(self.release, "SIGNATURE.txt")) as f:
            self.assertTrue(f.read().startswith("UNSIGNED"))
        result = subprocess.run(["osslsigncode", "verify", "-in", self.setup], stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, timeout=120)
        self.assertNotEqual(result.returncode, 0)
        sums = subprocess.run(["sha256sum", "-c", "SHA256SUMS"], cwd=self.release, stdout=subprocess.PIPE,
                              timeout=120)
        self.assertEqual(sums.returncode, 0, sums.stdout)
        with zipfile.ZipFile(glob.glob(os.path.join(self.release, "rolvanta-*.zip"))[0]) as z:
            self.assertEqual(sorted(z.namelist()), ["LICENSE.txt", "README.txt", "rolvanta.scr"])
            with open(self.session.scr, "rb") as f:
                self.assertEqual(z.read("rolvanta.scr"), f.read())

    def test_release_checks_its_inputs_before_it_touches_dist(self):
        """A copy of tools/release with a dist/ to keep, run from another folder: each bad input
        ends it with one line before anything else; a relative certificate path is read from
        where it runs (so that the password is what fails, on this file that is no PKCS#12)."""
        with tempfile.TemporaryDirectory(prefix="rolvanta-release-") as here:
            os.makedirs(os.path.join(here, "copy", "tools"))
            os.makedirs(os.path.join(here, "copy", "dist", "kept"))
            release = shutil.copy(os.path.join(ROOT, "tools", "release"), os.path.join(here, "copy", "tools"))
            shutil.copy(os.path.join(ROOT, "LICENSE"), os.path.join(here, "cert.p12"))
            plain = {k: v for k, v in os.environ.items() if not k.startswith("ROLVANTA_SIGN_")}
            for env, says in (({"ROLVANTA_SIGN_PKCS12": "none.p12", "ROLVANTA_SIGN_PASSWORD": "x"}, "no file"),
                              ({"ROLVANTA_SIGN_PKCS12": "cert.p12"}, "no ROLVANTA_SIGN_PASSWORD"),
                              ({"ROLVANTA_SIGN_PKCS12": "cert.p12", "ROLVANTA_SIGN_PASSWORD": "x"},
                               "does not open %s/cert.p12" % here),
                              ({"ROLVANTA_SIGN_PASSWORD": "x"}, "no certificate")):
                result = subprocess.run([release], cwd=here, env=dict(plain, **env), capture_output=True, timeout=120)
                lines = result.stderr.decode().splitlines()
                self.assertEqual((result.returncode, len(lines), says in lines[0]), (2, 1, True), (env, lines))
            self.assertTrue(os.path.isdir(os.path.join(here, "copy", "dist", "kept")))

    def test_nt_install_upgrade_run_and_removal(self):
        nt = self.fresh("installer-nt")
        nt.run(["wine", "reg", "add", DESKTOP, "/v", "SCRNSAVE.EXE", "/d", PREVIOUS_SAVER, "/f"], timeout=120)
        nt.run(["wine", "reg", "add", DESKTOP, "/v", "ScreenSaveActive", "/d", "0", "/f"], timeout=120)
        nt.write_settings(Speed=9, Rate=12)
        with open(nt.control_ini, "rb") as f:
            settings = f.read()

        self.install(nt, self.setup)
        installed = unix_path(nt, INSTALLED)
        self.assertEqual(resources(installed), resources(self.session.scr))
        desktop = reg_query(nt, DESKTOP)
        self.assertEqual(desktop["SCRNSAVE.EXE"].lower(), INSTALLED.lower())
        self.assertEqual(desktop["ScreenSaveActive"], "1")
        entries = self.entries(nt)
        self.assertEqual(len(entries), 1, entries)
        entry = list(entries.values())[0]
        self.assertEqual(entry["DisplayVersion"], "2.2")
        self.assertEqual(entry["Publisher"], "The Rolvanta developers")
        self.assertEqual(entry["DisplayIcon"].lower(), INSTALLED.lower() + ",0")
        self.assertGreater(int(entry["EstimatedSize"], 16), 400)  # KB, as the list shows it
        uninstaller = entry["UninstallString"].strip('"')
        self.assertTrue(os.path.isfile(unix_path(nt, uninstaller)))
        self.assertEqual(entry["QuietUninstallString"], '"%s" /S' % uninstaller)

        self.assertTrue(entry["URLInfoAbout"].startswith("https://"), entry)

        # A signed release over an entry of an older version, clicked through as a user does: an
        # upgrade with one entry, and a saver that verifies. The finish page opens the settings.
        signed_dir = os.path.join(nt.dir, "installer-nt", "signed")
        shutil.rmtree(signed_dir, ignore_errors=True)
        cert = self.sign_release(signed_dir)
        signed_setup = os.path.join(signed_dir, os.path.basename(self.setup))
        self.assert_verifies(signed_setup, cert)
        nt.run(["wine", "reg", "add", UNINSTALL + "\\Rolvanta", "/v", "DisplayVersion", "/d", "2.1", "/f"], timeout=120)
        self.click_through(nt, nt.win_path(signed_setup), "installer-welcome", "installer-finish")
        dialog = harness.wait_until(lambda: nt.find_windows("#32770", "Rolvanta"), 60, "the settings dialog")[0]
        nt.post(dialog.hwnd, 0x0010)  # WM_CLOSE, as its close box sends
        harness.wait_until(lambda: not nt.find_windows("#32770", "Rolvanta"), 60, "the settings dialog to close")
        self.assertEqual(len(self.entries(nt)), 1)
        self.assert_verifies(installed, cert)
        self.assertEqual(resources(installed), resources(self.session.scr))

        # The installed, signed copy runs and closes on a key with 0.
        nt.place_pointer(nt.width // 2, nt.height // 2)
        run = harness.SaverRun(nt, '"%s" /s' % INSTALLED, name="installed-saver")
        self.addCleanup(run.close)
        run.window()
        nt.xdotool("key", "a")
        self.assertEqual(run.exit_code(60), 0)

        # Removal through its confirmation page. The uninstaller hands over to a copy of itself,
        # so what it does is waited for; its last page closes on Enter.
        self.click_through(nt, uninstaller, "uninstaller-confirm")
        harness.wait_until(lambda: nt.xdotool("key", "Return") or not uninstaller_windows(nt), 120,
                           "the uninstaller to finish and close", interval=1)
        harness.wait_until(lambda: not os.path.exists(installed) and not os.path.exists(unix_path(nt, uninstaller))
                           and not self.entries(nt), 120, "the uninstaller to remove the saver and its entry",
                           interval=1)
        harness.wait_until(lambda: (reg_query(nt, DESKTOP, "SCRNSAVE.EXE") or {}).get("SCRNSAVE.EXE") == PREVIOUS_SAVER,
                           60, "the previous saver to be current again", interval=1)
        self.assertEqual(reg_query(nt, DESKTOP, "ScreenSaveActive")["ScreenSaveActive"], "0")
        with open(nt.control_ini, "rb") as f:
            self.assertEqual(f.read(), settings)

    def test_windows_98_names_the_saver_in_system_ini(self):
        w98 = self.fresh("installer-98", '\n[HKEY_CURRENT_USER\\Software\\Wine]\n"Version"="win98"\n')
        self.install(w98, self.setup)
        system_ini = os.path.join(w98.prefix, "drive_c", "windows", "system.ini")
        self.assertEqual(ini_value(system_ini, "boot", "SCRNSAVE.EXE").lower(), INSTALLED.lower())
        self.assertTrue(os.path.isfile(unix_path(w98, INSTALLED)))
        uninstaller = list(self.entries(w98).values())[0]["UninstallString"].strip('"')
        w98.run(["wine", unix_path(w98, uninstaller), "/S"], timeout=300, check=False)
        harness.wait_until(lambda: not self.entries(w98), 120, "the uninstaller to remove its entry", interval=1)
        self.assertIsNone(ini_value(system_ini, "boot", "SCRNSAVE.EXE"))
        self.assertFalse(os.path.exists(unix_path(w98, INSTALLED)))


class ReproducibleRelease(unittest.TestCase):
    """The last commit built twice, each in a tree of its own files from `git archive` (as a
    rebuilder would), with only what ships: the saver, installer, zip and .deb of both builds
    are the same bytes, and their dates are the commit's. Only the configuration is told that
    date (an archive has no history to read it from); the builds and cpack get none."""

    ARTEFACTS = ("win32/rolvanta.scr", "win32/release/rolvanta-setup-*.exe", "win32/release/rolvanta-*.zip",
                 "linux/rolvanta_*.deb")

    def build(self, tree, epoch):
        src, win32, linux = (os.path.join(tree, n) for n in ("src", "win32", "linux"))
        os.makedirs(src)
        archive = subprocess.run(["git", "-C", ROOT, "archive", "HEAD"], capture_output=True, check=True, timeout=120)
        subprocess.run(["tar", "-x", "-C", src], input=archive.stdout, check=True, timeout=120)
        plain = {k: v for k, v in os.environ.items() if k != "SOURCE_DATE_EPOCH"}
        for argv in (["cmake", "-S", src, "-B", win32, "-DCMAKE_BUILD_TYPE=Release",
                      "-DCMAKE_TOOLCHAIN_FILE=%s/cmake/mingw-i686.cmake" % src],
                     ["cmake", "--build", win32, "-j2", "--target", "rolvanta", "rolvanta_release"],
                     ["cmake", "-S", src, "-B", linux, "-DCMAKE_BUILD_TYPE=Release",
                      "-DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON"],
                     ["cmake", "--build", linux, "-j2", "--target", "rolvanta", "rolvanta_man_page"],
                     ["cpack", "-G", "DEB"]):
            result = subprocess.run(argv, cwd=linux if argv[0] == "cpack" else tree, timeout=600,
                                    env=dict(plain, SOURCE_DATE_EPOCH=str(epoch)) if argv[1] == "-S" else plain,
                                    stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
            self.assertEqual(result.returncode, 0, "%s:\n%s" % (" ".join(argv), result.stdout.decode()[-3000:]))
        return [glob.glob(os.path.join(tree, pattern)) for pattern in self.ARTEFACTS]

    def test_two_builds_of_one_commit_are_the_same_bytes(self):
        epoch = int(subprocess.run(["git", "-C", ROOT, "log", "-1", "--format=%ct"], capture_output=True,
                                   check=True, timeout=60).stdout)
        with tempfile.TemporaryDirectory(prefix="rolvanta-reproducible-") as work:
            first, second = (self.build(os.path.join(work, n), epoch) for n in ("one", "two"))
            self.assertEqual([len(found) for found in first + second], [1] * 8, first + second)
            differ = [os.path.basename(a[0]) for a, b in zip(first, second) if not filecmp.cmp(a[0], b[0], False)]
            self.assertEqual(differ, [])
            with zipfile.ZipFile(first[2][0]) as z:
                self.assertEqual({info.date_time[:5] for info in z.infolist()}, {time.gmtime(epoch)[:5]})


if __name__ == "__main__":
    unittest.main()

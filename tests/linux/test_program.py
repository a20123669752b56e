"""The Linux program's command line and sound: bad options get one line with a hint to
--help and status 1 without touching the display, and so does a Wayland compositor that
never answers or hangs up; sound reaches an ALSA file sink with --sound, scaled by the
show's own volume, and nothing does with --no-sound; the Coravendia's start sound holds the
ride back as long as the Windows player's wait; without a sound device the show rides
on in silence and says nothing; a signal ends it with status 0."""

import array
import os
import pathlib
import select
import signal
import socket
import subprocess
import tempfile
import time
import wave

from sound_sink import FILE_SINK
from xsession import PROGRAM, LinuxTestCase, scaled, wait_until

ASSETS = os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))), "assets")

BYTES_PER_SECOND = 22050 * 4  # the player's stream: 16-bit stereo
NO_DEVICE = 'pcm.!default {\n    type hw\n    card 29\n}\nctl.!default {\n    type hw\n    card 29\n}\n'


class CommandLine(LinuxTestCase):

    def test_bad_options_print_one_line_and_exit_1_without_opening_the_display(self):
        env = dict(os.environ)
        env.pop("DISPLAY", None)
        for args in (["--bogus"], ["--speed", "fast"], ["--speed"], ["--volume", "12.5"], ["--rate="],
                     ["--window-id", "nowhere"], ["--sound=yes"], ["--seed", "x"], ["stray"], ["-w"], ["-bw"]):
            with self.subTest(args=args):
                result = subprocess.run([PROGRAM] + args, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, timeout=30)
                stderr = result.stderr.decode()
                self.assertEqual(result.returncode, 1, stderr)
                self.assertRegex(stderr, r"\Arolvanta: [^\n]*'[^\n]*--help[^\n]*\n\Z")
                self.assertNotIn("display", stderr)
                self.assertEqual(result.stdout, b"")
        result = subprocess.run([PROGRAM, "--help"], env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                timeout=30)
        self.assertEqual((result.returncode, result.stderr), (0, b""))
        self.assertIn(b"-window-id", result.stdout)
        result = subprocess.run([PROGRAM, "--version"], env=env, stdout=subprocess.PIPE, timeout=30)
        self.assertRegex(result.stdout.decode(), r"\Arolvanta \d+\.\d+\n\Z")


    def test_a_compositor_that_will_not_serve_or_cannot_be_found_gets_one_line_and_1(self):
        for hang_up, words, start in ((False, "did not answer", "--wayland"), (True, "closed the connection", "--wayland"),
                                      (False, "did not answer", "--idle=1"), (True, "closed the connection", "--idle=1")):
            with tempfile.TemporaryDirectory() as folder, socket.socket(socket.AF_UNIX) as server:
                server.bind(os.path.join(folder, "wayland-9"))
                server.listen(1)
                program = subprocess.Popen([PROGRAM, start], stderr=subprocess.PIPE,
                                           env=dict(os.environ, XDG_RUNTIME_DIR=folder, WAYLAND_DISPLAY="wayland-9"))
                if hang_up:
                    server.accept()[0].close()
                stderr = program.communicate(timeout=30)[1].decode()
                self.assertEqual((program.returncode, stderr.count("\n")), (1, 1), stderr)
                self.assertIn(words, stderr)
        env = {k: v for k, v in os.environ.items() if k != "XDG_RUNTIME_DIR"}
        result = subprocess.run([PROGRAM, "--wayland"], env=env, stderr=subprocess.PIPE, timeout=30)
        self.assertEqual((result.returncode, result.stderr.count(b"\n")), (1, 1), result.stderr)


class Sound(LinuxTestCase):

    def setUp(self):
        self.home = tempfile.mkdtemp(prefix="rolvanta-sound-")
        self.addCleanup(subprocess.run, ["rm", "-rf", self.home])
        self.sink = os.path.join(self.home, "sound.raw")

    def asoundrc(self, text):
        with open(os.path.join(self.home, ".asoundrc"), "w") as f:
            f.write(text)

    def sound(self):
        """(bytes written, the loudest sample) in the file sink so far."""
        try:
            with open(self.sink, "rb") as f:
                data = f.read()
        except FileNotFoundError:
            return 0, 0
        samples = array.array("h", data[:len(data) // 2 * 2])
        return len(data), max((abs(s) for s in samples), default=0)

    def ride(self, *options, name):
        return self.rolvanta("--root", "--no-valtorne", "--speed", 15, *options,
                             env=self.display.env(HOME=self.home), name=name)

    def test_sound_reaches_the_sink_only_with_sound_on(self):
        self.asoundrc(FILE_SINK % self.sink)
        # Off: a whole ride, start to end, and not a byte.
        quiet = self.ride("--no-sound", "--steps", 60, name="no-sound")
        quiet.line(lambda l: "held after" in l, 60, "60 steps without sound")
        self.assertEqual(self.sound(), (0, 0))
        self.assertEqual(quiet.end(), 0, quiet.stderr())

        # On at volume 0, which the settings call silent: the stream runs, and every sample is 0.
        muted = self.ride("--sound", "--volume", 0, "--steps", 60, name="sound-volume-0")
        muted.line(lambda l: "held after" in l, 60, "60 steps at volume 0")
        wait_until(lambda: self.sound()[0] > 88200, 60, "a half second of samples at volume 0")
        self.assertEqual(self.sound()[1], 0)
        self.assertEqual(muted.end(), 0, muted.stderr())

        # The Coravendia's first step starts its start sound, which the Windows player plays to
        # its end before the ride goes on; here that wait is the next frame's delay, so the
        # second step cannot come sooner.
        with wave.open(os.path.join(ASSETS, "cor_start.wav")) as start_sound:
            start_seconds = start_sound.getnframes() / start_sound.getframerate()
        started = time.monotonic()
        waiting = self.ride("--sound", "--steps", 2, name="start-sound-wait")
        waiting.line(lambda l: "held after 2 steps" in l, 60, "the second step")
        self.assertGreaterEqual(time.monotonic() - started, start_seconds)
        self.assertEqual(waiting.end(), 0, waiting.stderr())

        os.remove(self.sink)
        loud = self.ride("--sound", "--volume", 255, name="sound")
        wait_until(lambda: self.sound()[1] > 4096, 60, "the Coravendia's start sound in the sink")
        self.assertEqual(loud.end(signal.SIGTERM), 0, loud.stderr())
        self.assertEqual(loud.stderr(), "")

    def test_without_a_sound_device_the_show_rides_on_quietly(self):
        self.asoundrc(NO_DEVICE)
        program = self.ride("--sound", "--steps", 120, name="no-device")
        program.line(lambda l: "held after 120 steps" in l, 60, "120 steps with no sound device")
        self.assertEqual(program.end(signal.SIGINT), 0)
        self.assertEqual(program.stderr(), "")

    def test_a_blocked_sound_device_holds_up_neither_the_show_nor_a_signal(self):
        # The sink is a pipe whose reader does not read: once the pipe is full, the device's
        # write blocks.
        os.mkfifo(self.sink)
        self.asoundrc(FILE_SINK % self.sink)
        reader = os.open(self.sink, os.O_RDONLY | os.O_NONBLOCK)
        self.addCleanup(os.close, reader)
        program = self.ride("--sound", "--speed", 1, "--steps", 300, name="blocked-device")
        tasks = pathlib.Path("/proc/%d/task" % program.process.pid)
        blocked = lambda: any((t / "wchan").read_text().endswith("pipe_write") for t in tasks.iterdir())  # noqa: E731
        wait_until(blocked, 60, "the sound device to block")
        stalled = time.monotonic()
        program.line(lambda l: "held after 300 steps" in l, 60, "the show riding on past the blocked device")

        # Held mid-ride, the engine's sound loops on. After five seconds of stall it picks up
        # where the clock is: what comes is the full pipe, the device's buffer and the two
        # seconds read, not the five seconds missed on top.
        time.sleep(max(0.0, stalled + 5 - time.monotonic()))
        drained, reading = 0, time.monotonic()
        while time.monotonic() < reading + 2:
            if select.select([reader], [], [], 0.05)[0]:
                drained += len(os.read(reader, 1 << 16))
        self.assertGreater(drained, 65536 + BYTES_PER_SECOND // 2)
        self.assertLess(drained, 65536 + 3 * BYTES_PER_SECOND)

        wait_until(blocked, 60, "the sound device to block again")
        signalled = time.monotonic()
        program.process.send_signal(signal.SIGTERM)
        self.assertEqual(program.process.wait(timeout=scaled(1)), 0, program.stderr())
        print("ended %.3f s after SIGTERM, %d bytes in the 2 s after a 5 s stall"
              % (time.monotonic() - signalled, drained), flush=True)

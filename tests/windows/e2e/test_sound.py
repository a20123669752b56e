"""Sound reaches the session's recording sound card (an ALSA file PCM in the session's HOME,
behind Wine's winealsa driver) during rides with Sound=1, and never with Sound=0."""

import re

import harness
import rides
from password_stage import OtherApplication, import_registry
from test_settings import read_calls
from wine_session import REGISTRY_SETTINGS

AUDIBLE_BYTES = 1000
RELAY_INCLUDE = re.search(r'"RelayInclude"="([^"]*)"', REGISTRY_SETTINGS).group(1)


class Sound(harness.SaverTestCase):

    def setUp(self):
        super().setUp()
        # The trace also names each volume read, with its result.
        self.relay_include(RELAY_INCLUDE + ";winmm.waveOutGetVolume")
        self.addCleanup(self.relay_include, RELAY_INCLUDE)

    def relay_include(self, value):
        import_registry(self.session, ["REGEDIT4", "", r"[HKEY_CURRENT_USER\Software\Wine\Debug]",
                                       '"RelayInclude"="%s"' % value, ""], "relay")

    def assert_volume_put_back(self, run):
        """A volume read is set to the setting and put back at the end; one that cannot be read
        (Wine keeps none for a device number) is neither, so nothing is ever put back as 0."""
        reads = re.findall(r"Ret  winmm\.waveOutGetVolume\([^)]*\) retval=([0-9a-f]+)", run.log_text())
        volumes = [arguments.split(",")[1] for name, arguments in read_calls(run) if name == "waveOutSetVolume"]
        self.assertEqual(len(reads), 1, "one read a show")
        self.assertEqual((len(volumes), volumes[:1]), (2, ["64ff64ff"]) if int(reads[0], 16) == 0 else (0, []),
                         "read %s, then set: %r" % (reads[0], volumes))

    def test_sound_on_plays_during_a_ride_and_a_posted_quit_puts_the_volume_back(self):
        self.session.write_settings(Sound=1, Blank=0, Coravendia=1, Valtorne=0, Speed=15, Rate=40, Volume=100)
        run = self.start_saver("/s", env={"WINEDEBUG": "+relay"})
        window = run.window()
        rides.wait_for_rider(self.session, 60, "a ride", whole=False)
        harness.wait_until(lambda: self.session.sound_bytes()[1] >= AUDIBLE_BYTES, 60,
                           "engine sound in %s" % self.session.sound_file)
        # Another program's quit: the device's volume, system-wide on some systems, goes back.
        self.session.post(window.hwnd, 0x0012)  # WM_QUIT
        self.assertEqual(run.exit_code(60), 0)
        run.close()
        self.assert_volume_put_back(run)

    def test_a_display_off_notice_in_the_start_sound_and_the_sessions_end_leave_the_volume_back_and_a_key_ends(self):
        self.session.write_settings(Sound=1, Blank=0, Coravendia=1, Valtorne=0, Speed=15, Rate=40, Volume=100)
        # The notice must come while the start sound (3 s) holds the saver's thread: a probe
        # started ahead sends it as soon as the sound is seen to begin, and a run in which it
        # still came too late (the trace shows the order) is started again.
        for _ in range(5):
            run = self.start_saver("/s", env={"WINEDEBUG": "+relay"})
            window = run.window().hwnd
            notice = harness.Cued(self.session, "power", hex(window), 0)
            self.addCleanup(notice.close)
            harness.wait_until(lambda: ",00000006) ret=" in run.log_text(), 60, "the start sound, which waits")
            self.assertEqual(notice.go(), {"sent": "1"})
            log = run.log_text()
            start = log.index(",00000006) ret=")
            if "msg=WM_POWERBROADCAST" in log[start:log.find("Ret  winmm.sndPlaySoundA()", start)]:
                break
            run.close()
        else:
            self.fail("the notice came after the start sound in 5 runs")
        plays = lambda kind: run.log_text().count(kind + " winmm.sndPlaySoundA(")
        harness.wait_until(lambda: plays("Ret ") == plays("Call"), 60, "the start sound to end")
        self.assertEqual(self.session.send(window, 0x0011), 1)  # WM_QUERYENDSESSION: yes
        self.session.send(window, 0x0016, 1)  # WM_ENDSESSION TRUE: the platform ends the process next
        self.assert_volume_put_back(run)
        self.session.xdotool("key", "a")
        self.assertEqual(run.exit_code(2), 0)

    def test_sound_off_plays_nothing_through_two_rides(self):
        self.session.write_settings(Sound=0, Blank=0, Coravendia=1, Valtorne=1, Speed=15, Rate=40)
        run = self.start_saver("/s")
        run.window()
        for ride in ("a first", "a second"):
            harness.wait_until(lambda: (lambda s: rides.coravendia(s) or rides.valtorne_red(s))(self.session.screenshot()),
                               60, "%s ride" % ride, interval=0.02)
            harness.wait_until(lambda: (lambda s: not rides.coravendia(s) and not rides.valtorne_red(s))(
                self.session.screenshot()), 60, "%s ride to leave" % ride, interval=0.02)
        self.session.xdotool("key", "a")
        self.assertEqual(run.exit_code(60), 0)
        self.assertEqual(self.session.sound_bytes()[1], 0)

    def test_every_end_on_the_nt_line_puts_the_volume_back_and_never_to_0_after_a_failed_read(self):
        """The close census on the NT line, where any input or close ends the saver, with sound
        on: each end puts back what was read, and a timer message carrying ExitProcess or a
        parent destroyed from outside is no end that skips it."""
        self.session.write_settings(Sound=1, Blank=0, Coravendia=1, Valtorne=0, Speed=15, Rate=40, Volume=100)
        key = lambda window: self.session.xdotool("key", "a")

        def other_application(window):
            OtherApplication(self, "Another application").stop()

        def end_session(window):
            self.assertEqual(self.session.send(window, 0x0011), 1)  # WM_QUERYENDSESSION
            self.session.send(window, 0x0016, 1)  # WM_ENDSESSION: the volume goes back now
            key(window)

        def timer_exit_then_key(window):
            self.assertEqual(self.session.probe("timer-exit", hex(window))[-1], {"posted": "1"})
            key(window)

        ends = [("a key", key), ("a click", lambda w: self.session.xdotool("click", 1)),
                ("a mouse move", lambda w: self.session.xdotool("mousemove_relative", "--", 40, 30)),
                ("WM_CLOSE posted", lambda w: self.session.post(w, 0x0010)),
                ("WM_SYSCOMMAND SC_CLOSE posted", lambda w: self.session.post(w, 0x0112, 0xF060)),
                ("WM_QUIT posted", lambda w: self.session.post(w, 0x0012)),
                ("another application becoming active", other_application),
                ("WM_ENDSESSION, then a key", end_session),
                ("WM_TIMER with ExitProcess posted, then a key", timer_exit_then_key),
                ("SetParent to a window then destroyed, then a key",
                 lambda w: (self.session.probe("adopt", hex(w), 300), key(w)))]
        for name, end in ends:
            with self.subTest(name):
                run = self.start_saver("/s", env={"WINEDEBUG": "+relay"})
                try:
                    end(run.window().hwnd)
                    self.assertEqual(run.exit_code(60), 0)
                finally:
                    # A failed round's saver, window or not yet, would fight the next round's
                    # for the foreground, and on this line the one that loses it closes.
                    run.close()
                self.assert_volume_put_back(run)

#!/usr/bin/env python3
"""The Wine benchmarks: the real saver on a virtual display against the benchmark's own
minimal Windows programs, measured the same way in the same run.

  start to first picture  process start to the first picture-sized patch of new pixels on
                          the display: the saver (/s) against rolvanta_bench_rect, a
                          full-screen window painting one rectangle. Target ratio <= 1.2.
  ticks delivered         the ride's steps per second (its speed on the display over its
                          step) against the rate of a 1 ms timer (rolvanta_bench_timer).
                          Target ratio >= 0.97.
  CPU                     the saver's CPU time per ride against rolvanta_bench_blits, which
                          makes the same blits per tick on the same timer schedule and
                          nothing else; and its CPU share between rides. Targets: ratio
                          <= 1.1 during a ride, about 0 between rides.
  CPU at s = 2            the same on a screen of 192 dpi (the prefix's LogPixels), where
                          every picture pixel is a 2 x 2 block, against the same copies at
                          that scale alone. Target ratio <= 1.1.

The display is watched from inside the Wine session by rolvanta_bench_watch; CPU time is
read from /proc, because Wine's GetProcessTimes does not report other processes' times.
Medians over repetitions are compared; every figure is printed with its baseline. The Wine
session is the end-to-end harness's (tests/windows/e2e/harness.py): a fresh one of the benchmarks'
own unless --session names a running one.
"""
import argparse
import contextlib
import os
import statistics
import subprocess
import sys
import threading
import time
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.normpath(os.path.join(HERE, "..", ".."))

CLEAR_BELOW = 64  # new pixels below this count mean nothing is on screen (as the watcher)
CLEAR_FOR_MS = 150  # and the screen must stay so this long for a ride to have ended


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def encode(text):
    return urllib.parse.quote(text, safe="")


sys.path.insert(0, os.path.join(SOURCE_DIR, "tests", "windows", "e2e"))
sys.path.insert(0, os.path.join(SOURCE_DIR, "tools", "support"))
try:
    import harness  # noqa: E402  (the end-to-end tests' Wine session)
except ImportError:
    sys.exit("the Wine benchmarks run in the end-to-end harness's session: tests/windows/e2e/harness.py is missing")

# Big enough that a ride takes a while to cross; the rides' speed does not depend on it.
SCREEN = (1024, 768)


class Session:
    """The benchmarks' view of an end-to-end harness session: its environment for running
    Windows programs, and the Linux processes of its prefix."""

    def __init__(self, session):
        self.harness = session
        self.win32_dir = session.win32_dir
        self.env = session.env()
        self.prefix = session.prefix

    def program(self, name):
        return os.path.join(self.win32_dir, "tests", "bench", "win32", name + ".exe")

    def run(self, arguments, timeout):
        return subprocess.run(["wine"] + arguments, env=self.env, stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, text=True, timeout=timeout, check=False).stdout

    def popen(self, arguments):
        return subprocess.Popen(["wine"] + arguments, env=self.env, stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL, text=True, bufsize=1)

    def unix_pid_of(self, exe_name, not_before):
        """The newest process of this Wine session running exe_name, started after
        not_before (a /proc start time in clock ticks)."""
        best = None
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open("/proc/%s/cmdline" % entry, "rb") as cmdline:
                    program = cmdline.read().split(b"\0")[0].decode("latin-1")
                if not runs_program(program, exe_name):
                    continue
                with open("/proc/%s/environ" % entry, "rb") as environ:
                    variables = environ.read().split(b"\0")
                if ("WINEPREFIX=" + self.prefix).encode() not in variables:
                    continue
                started = start_ticks(int(entry))
            except OSError:
                continue
            if started >= not_before and (best is None or started > best[0]):
                best = (started, int(entry))
        return best[1] if best else None


@contextlib.contextmanager
def wine_session(win32_dir, attach=None):
    """A session of the end-to-end harness for the benchmarks: the one in `attach` if given,
    else a fresh one of their own in build/bench/wine-session, stopped at the end."""
    if attach:
        yield Session(harness.Session.load(attach))
        return
    directory = os.path.join(SOURCE_DIR, "build", "bench", "wine-session")
    session = harness.start(directory, win32_dir, width=SCREEN[0], height=SCREEN[1], quiet=True)
    try:
        yield Session(session)
    finally:
        harness.stop(directory, quiet=True)


def runs_program(first_argument, exe_name):
    """Whether a process's first argument names exe_name as its program: Wine shows a
    program started from Windows by its whole Windows command line there, one started from
    Linux by its path. A program that only names exe_name among its arguments does not count."""
    text = first_argument.lower().replace("\\", "/").lstrip('"')
    name = exe_name.lower()
    at = text.find(name)
    if at < 0 or (at > 0 and text[at - 1] not in "/:"):
        return False
    after = text[at + len(name):at + len(name) + 1]
    return after in ("", " ", '"')


def parse_line(line):
    """'tag k=v ...' or 'k=v ...' -> (tag, fields); a line of fields only is tagged by its
    first key ("exit=0" is an "exit" line)."""
    words = line.split()
    if not words:
        return "", {}
    fields = dict(word.split("=", 1) for word in words if "=" in word)
    return words[0].split("=", 1)[0], fields


CLOCK_TICKS = os.sysconf("SC_CLK_TCK")


def start_ticks(pid):
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return int(fields[19])


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / CLOCK_TICKS


def boot_ticks_now():
    with open("/proc/uptime") as uptime:
        return int(float(uptime.read().split()[0]) * CLOCK_TICKS) - 1


class Watch:
    """One run of a program under rolvanta_bench_watch, with its CPU time sampled."""

    def __init__(self, session, exe_path, arguments, rides, interval_ms, timeout_ms):
        self.lines = []      # (local time, tag, fields)
        self.cpu = []        # (local time, CPU seconds)
        self.pid = None
        exe_name = os.path.basename(exe_path)
        command = windows_path(exe_path) + ("" if not arguments else " " + arguments)
        not_before = boot_ticks_now()
        process = session.popen([session.program("rolvanta_bench_watch"), "watch", str(timeout_ms), str(rides),
                                 str(interval_ms), encode(command)])
        stop = threading.Event()
        sampler = threading.Thread(target=self._sample_cpu, args=(session, exe_name, not_before, stop))
        sampler.start()
        try:
            deadline = time.monotonic() + timeout_ms / 1000.0 + 60
            for line in process.stdout:
                tag, fields = parse_line(line)
                if not tag:
                    continue
                self.lines.append((time.monotonic(), tag, fields))
                if time.monotonic() > deadline:
                    break
            process.wait(timeout=60)
        finally:
            stop.set()
            sampler.join()
            if process.poll() is None:
                process.kill()
                process.wait()

    def _sample_cpu(self, session, exe_name, not_before, stop):
        while not stop.is_set() and self.pid is None:
            self.pid = session.unix_pid_of(exe_name, not_before)
            if self.pid is None:
                time.sleep(0.005)
        while not stop.is_set():
            try:
                self.cpu.append((time.monotonic(), cpu_seconds(self.pid)))
            except OSError:
                break
            time.sleep(0.01)

    def first(self, tag):
        for _, line_tag, fields in self.lines:
            if line_tag == tag:
                return fields
        return None

    def samples(self):
        """(ms, local time, pixels, left, top, right, bottom, red, blue) for every screen
        sample."""
        out = []
        for local, tag, fields in self.lines:
            if tag == "sample":
                box = [int(value) for value in fields["box"].split(",")]
                out.append((float(fields["ms"]), local, int(fields["pixels"])) + tuple(box) +
                           (int(fields.get("red", 0)), int(fields.get("blue", 0))))
        return out

    def offset(self):
        """Local time minus watcher time: the smallest delay any sample line took."""
        return min(local - ms / 1000.0 for ms, local, *_ in self.samples())

    def cpu_at(self, local):
        """CPU seconds at a local time, from the nearest samples around it."""
        before = [entry for entry in self.cpu if entry[0] <= local]
        after = [entry for entry in self.cpu if entry[0] >= local]
        if not before or not after:
            return None
        (t0, c0), (t1, c1) = before[-1], after[0]
        return c0 if t1 == t0 else c0 + (c1 - c0) * (local - t0) / (t1 - t0)


class Ride:
    def __init__(self, start_ms, end_ms, speed_px_per_s, cpu_s):
        self.start_ms = start_ms
        self.end_ms = end_ms
        self.speed = speed_px_per_s
        self.cpu = cpu_s


def ride_spans(samples):
    """(first, end) sample indexes of each whole ride: from the first sample showing a
    picture to the first of the samples that show the screen clear for CLEAR_FOR_MS."""
    spans = []
    start = None
    clear = None
    for index, sample in enumerate(samples):
        if sample[2] >= CLEAR_BELOW:
            if start is None:
                start = index
            clear = None
        elif start is not None:
            if clear is None:
                clear = index
            if sample[0] - samples[clear][0] >= CLEAR_FOR_MS:
                spans.append((start, clear))
                start = None
                clear = None
    return spans


def rides_of(watch):
    """Each whole ride seen: where it began and ended, its speed across the display
    (fitted over the samples that show the whole picture) and the CPU time it took."""
    samples = watch.samples()
    offset = watch.offset()
    rides = ride_spans(samples)
    pauses = [(samples[end][0], samples[begin][0]) for (_, end), (begin, _) in zip(rides, rides[1:])]
    result = []
    for begin, end in rides:
        ride = samples[begin:end]
        widths = [s[5] - s[3] for s in ride]
        whole = max(widths)
        points = [(s[0], (s[3] + s[5]) / 2.0) for s in ride if s[5] - s[3] == whole]
        speed = None
        if len(points) >= 5:
            mean_t = statistics.mean(p[0] for p in points)
            mean_x = statistics.mean(p[1] for p in points)
            spread = sum((p[0] - mean_t) ** 2 for p in points)
            if spread > 0:
                speed = abs(sum((p[0] - mean_t) * (p[1] - mean_x) for p in points) / spread) * 1000.0
        c0 = watch.cpu_at(samples[begin][0] / 1000.0 + offset)
        c1 = watch.cpu_at(samples[end][0] / 1000.0 + offset)
        cpu = None if c0 is None or c1 is None else c1 - c0
        result.append(Ride(samples[begin][0], samples[end][0], speed, cpu))
    idle = []
    for pause_start, pause_end in pauses:
        c0 = watch.cpu_at(pause_start / 1000.0 + offset)
        c1 = watch.cpu_at(pause_end / 1000.0 + offset)
        if c0 is not None and c1 is not None and pause_end > pause_start:
            idle.append(((c1 - c0), (pause_end - pause_start) / 1000.0))
    return result, idle


def ride_step(watch):
    """The first whole ride seen: the pixels the picture moves a tick, and the model that
    rides, told by its paint (the Coravendia's is blue, the Valtorne's red). Between two screen samples that both show the whole picture it moves a
    whole number of steps (one, mostly, as the watcher samples faster than the timer ticks,
    but more on a busy machine): the step is the largest distance that divides nearly all
    the distances seen."""
    samples = watch.samples()
    spans = ride_spans(samples)
    if not spans:
        return None, None
    ride = [sample for sample in samples[spans[0][0]:spans[0][1]] if sample[2] >= CLEAR_BELOW]
    red = sum(sample[7] for sample in ride)
    blue = sum(sample[8] for sample in ride)
    model = "Valtorne" if red > 10 * blue else "Coravendia" if blue > 10 * red else None
    whole = max(s[5] - s[3] for s in ride)
    distances = [abs(later[3] - earlier[3]) for earlier, later in zip(ride, ride[1:])
                 if earlier[5] - earlier[3] == whole and later[5] - later[3] == whole and later[3] != earlier[3]]
    if len(distances) < 5:
        return None, model
    step = max(candidate for candidate in range(1, max(distances) + 1)
               if sum(1 for distance in distances if distance % candidate == 0) >= 0.9 * len(distances))
    return step, model


def median(values):
    values = [value for value in values if value is not None]
    return statistics.median(values) if values else None


def verdict(ratio, target, at_most):
    if ratio is None:
        return "no figure"
    met = ratio <= target if at_most else ratio >= target
    return "target %s %.2f: %s" % ("<=" if at_most else ">=", target, "met" if met else "MISSED")


def settings(session, *pairs):
    session.run([session.program("rolvanta_bench_watch"), "settings", "reset"] + list(pairs), timeout=60)


def start_to_first_picture(session, saver, repetitions):
    settings(session, "Sound=0", "Blank=1")
    runs = {"saver": ([], []), "rectangle": ([], [])}
    for _ in range(repetitions):
        for name, exe, arguments in (("saver", saver, "/s"), ("rectangle", session.program("rolvanta_bench_rect"), "")):
            watch = Watch(session, exe, arguments, rides=0, interval_ms=0, timeout_ms=15000)
            pictures, windows = runs[name]
            first = watch.first("first_picture")
            window = watch.first("window")
            pictures.append(float(first["ms"]) if first else None)
            windows.append(float(window["ms"]) if window else None)
    saver_median, rect_median = median(runs["saver"][0]), median(runs["rectangle"][0])
    ratio = saver_median / rect_median if saver_median and rect_median else None
    print("wine start to first picture: saver %s ms, one-rectangle window %s ms, ratio %s (%s); "
          "medians of %d; window shown at %s ms and %s ms; each picture: saver %s, rectangle %s" % (
              fmt(saver_median), fmt(rect_median), fmt(ratio, 3), verdict(ratio, 1.2, True), repetitions,
              fmt(median(runs["saver"][1])), fmt(median(runs["rectangle"][1])), list_fmt(runs["saver"][0]),
              list_fmt(runs["rectangle"][0])))


def timer_rate(session, mode, seconds):
    output = session.run([session.program("rolvanta_bench_timer"), str(int(seconds * 1000)), mode],
                         timeout=seconds + 60)
    for line in output.splitlines():
        fields = dict(word.split("=", 1) for word in line.split()[1:] if "=" in word)
        if "per_second" in fields:
            return float(fields["per_second"])
    return None


def ride_figures(session, exe, arguments, rides, interval_ms, step):
    watch = Watch(session, exe, arguments, rides=rides, interval_ms=interval_ms, timeout_ms=120000)
    found, idle = rides_of(watch)
    steps = [ride.speed / step for ride in found if ride.speed]
    cpu = [ride.cpu for ride in found if ride.cpu is not None]
    durations = [(ride.end_ms - ride.start_ms) for ride in found]
    idle_share = sum(c for c, _ in idle) / sum(d for _, d in idle) if idle else None
    # CPU time comes in clock ticks (10 ms); the mean over all rides is finer than any one.
    return {"steps_per_s": median(steps), "cpu_per_ride": statistics.mean(cpu) if cpu else None,
            "ride_ms": median(durations),
            "idle_share": idle_share, "rides": len(found), "cpu_samples": len(watch.cpu)}


def ticks_and_cpu(session, saver, speed, rides, interval_ms):
    keep = median([timer_rate(session, "keep", 5) for _ in range(2)])
    rearm = median([timer_rate(session, "rearm", 5) for _ in range(2)])
    settings(session, "Sound=0", "Blank=1", "Coravendia=1", "Valtorne=0", "Speed=%d" % speed, "Rate=40")
    ride = ride_figures(session, saver, "/s", rides, interval_ms, speed)
    blits = ride_figures(session, session.program("rolvanta_bench_blits"), str(speed), rides, interval_ms, speed)

    ratio = ride["steps_per_s"] / keep if ride["steps_per_s"] and keep else None
    print("wine ticks delivered (speed %d): saver %s steps/s, 1 ms timer %s ticks/s, ratio %s (%s); "
          "for comparison: 1 ms timer re-armed each tick %s/s, blits baseline %s steps/s; %d rides" % (
              speed, fmt(ride["steps_per_s"]), fmt(keep), fmt(ratio, 3), verdict(ratio, 0.97, False), fmt(rearm),
              fmt(blits["steps_per_s"]), ride["rides"]))
    cpu_ratio = ride["cpu_per_ride"] / blits["cpu_per_ride"] if ride["cpu_per_ride"] and blits["cpu_per_ride"] else None
    print("wine CPU per ride (speed %d): saver %s ms, same blits alone %s ms, ratio %s (%s); ride %s ms and %s ms; "
          "%d and %d rides" % (
              speed, fmt(ms(ride["cpu_per_ride"])), fmt(ms(blits["cpu_per_ride"])), fmt(cpu_ratio, 3),
              verdict(cpu_ratio, 1.1, True), fmt(ride["ride_ms"]), fmt(blits["ride_ms"]), ride["rides"],
              blits["rides"]))
    share = ride["idle_share"]
    print("wine CPU between rides (speed %d): saver %s%% of a processor, same blits alone %s%% "
          "(target about 0: %s)" % (
              speed, fmt(pct(share), 2), fmt(pct(blits["idle_share"]), 2),
              "no figure" if share is None else ("met" if share < 0.01 else "MISSED")))


def scaled_cpu(session, saver, speed, rides, interval_ms, scale):
    logpixels = ["reg", "add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels", "/t", "REG_DWORD", "/f", "/d"]
    session.run(logpixels + [str(96 * scale)], timeout=60)
    try:
        settings(session, "Sound=0", "Blank=1", "Coravendia=1", "Valtorne=0", "Speed=%d" % speed, "Rate=40")
        ride = ride_figures(session, saver, "/s", rides, interval_ms, speed * scale)
        blits = ride_figures(session, session.program("rolvanta_bench_blits"), "%d %d" % (speed, scale), rides,
                             interval_ms, speed * scale)
    finally:
        session.run(logpixels + ["96"], timeout=60)
    ratio = ride["cpu_per_ride"] / blits["cpu_per_ride"] if ride["cpu_per_ride"] and blits["cpu_per_ride"] else None
    print("wine CPU per ride at s = %d (speed %d): saver %s ms, same copies alone %s ms, ratio %s (%s); "
          "%d and %d rides" % (scale, speed, fmt(ms(ride["cpu_per_ride"])), fmt(ms(blits["cpu_per_ride"])),
                               fmt(ratio, 3), verdict(ratio, 1.1, True), ride["rides"], blits["rides"]))


def ms(seconds):
    return None if seconds is None else seconds * 1000.0


def pct(share):
    return None if share is None else share * 100.0


def fmt(value, digits=1):
    return "n/a" if value is None else "%.*f" % (digits, value)


def list_fmt(values):
    return "[" + ", ".join(fmt(value, 0) for value in values) + "]"


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--win32-dir", default=os.path.join(SOURCE_DIR, "build", "win32"))
    parser.add_argument("--repetitions", type=int, default=11)
    parser.add_argument("--rides", type=int, default=6)
    parser.add_argument("--interval-ms", type=int, default=20)
    parser.add_argument("--speeds", default="6,15")
    parser.add_argument("--session", help="attach to this running harness session instead of starting one")
    parser.add_argument("only", nargs="*", help="start, ticks (ticks delivered and CPU), scaled (CPU at s = 2); "
                                                "all when none")
    args = parser.parse_args()
    saver = os.path.join(args.win32_dir, "rolvanta.scr")
    only = set(args.only) or {"start", "ticks", "scaled"}
    with wine_session(args.win32_dir, args.session) as session:
        print("wine session: %dx%d display, %d processors" % (session.harness.width, session.harness.height,
                                                              os.cpu_count() or 0), flush=True)
        if "start" in only:
            start_to_first_picture(session, saver, args.repetitions)
        if "ticks" in only:
            for speed in [int(value) for value in args.speeds.split(",")]:
                ticks_and_cpu(session, saver, speed, args.rides, args.interval_ms)
        if "scaled" in only:
            scaled_cpu(session, saver, int(args.speeds.split(",")[0]), args.rides, args.interval_ms, 2)
    return 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""The Linux program's benchmarks, each against a baseline measured in the same run on the
same virtual display (1024 x 768): linux_bench.py --build DIR

* CPU per ride at speeds 6 and 15: `rolvanta --root --blank --seed S --steps T` against
  `rolvanta_bench_xlib replay`, which makes exactly the copies and fills the show's core
  asked for (recorded by rolvanta_bench_record from the same seed) on the same schedule,
  in plain Xlib. Both are run for T ticks (RIDES whole rides) and for one tick; the
  difference, over RIDES, is the CPU a ride costs, without either program's start-up.
  CPU is the process's own user and system time (wait4). Target <= 1.1.
* The same under headless sway (as root) for `rolvanta --wayland` against
  `rolvanta_bench_wayland`, a bare wl_shm client making the same copies. Target <= 1.1.
* Steps per second: the time from start to the hold at step 105 less that at step 5, both
  inside the first ride, against the schedule's time for those 100 steps. Target >= 0.97.
* Resident memory: the program held mid-ride against a bare Xlib program with one window.
  Reported with its ratio.
Medians of BENCH_REPETITIONS (default 5) interleaved runs.
"""

import argparse
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tools", "support"))
sys.path.insert(0, os.path.join(ROOT, "tests", "linux"))

import xsession  # noqa: E402

SEED = 4242
RIDES = 8
STEP_FIRST, STEP_LAST = 5, 105


def verdict(ratio, target, at_most):
    if ratio is None:
        return "no figure"
    met = ratio <= target if at_most else ratio >= target
    return "target %s %.2f: %s" % ("<=" if at_most else ">=", target, "met" if met else "MISSED")


def fmt(value, digits=1):
    return "n/a" if value is None else "%.*f" % (digits, value)


class Held:
    """A program run until it says it holds; gives the time that took, its resident memory
    then, and after SIGTERM its CPU time."""

    def __init__(self, display, argv, env=None):
        started = time.monotonic()
        self.process = subprocess.Popen([str(a) for a in argv], env=env or display.env(), stdin=subprocess.DEVNULL,
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        line = self.process.stdout.readline().decode()
        self.seconds = time.monotonic() - started
        if "held" not in line and "ready" not in line:
            self.process.kill()
            self.process.wait()
            raise RuntimeError("%s did not hold: %r" % (argv[0], line))
        with open("/proc/%d/status" % self.process.pid) as f:
            self.rss_kb = next(int(l.split()[1]) for l in f if l.startswith("VmRSS:"))
        self.process.send_signal(signal.SIGTERM)
        _, status, usage = os.wait4(self.process.pid, 0)
        self.process.returncode = os.waitstatus_to_exitcode(status)
        self.process.stdout.close()
        self.cpu = usage.ru_utime + usage.ru_stime


def report_cpu_per_ride(platform, subject, baseline, speed, ticks, show_cpu, bare_cpu, digits):
    """Prints the medians of CPU seconds per ride of the show and of its baseline, and their ratio."""
    a, b = statistics.median(show_cpu), statistics.median(bare_cpu)
    ratio = a / b if b > 0 else None
    print("%s CPU per ride (speed %d): %s %s ms, %s with the same copies and fills %s ms, "
          "ratio %s (%s); %d rides of %d ticks, medians of %d; each: %s and %s" % (
              platform, speed, subject, fmt(a * 1000, digits), baseline, fmt(b * 1000, digits), fmt(ratio, 3),
              verdict(ratio, 1.1, True), RIDES, ticks, len(show_cpu), [round(v * 1000, digits) for v in show_cpu],
              [round(v * 1000, digits) for v in bare_cpu]), flush=True)


def record(build, speed, folder, size=(1024, 768)):
    path = os.path.join(folder, "script-%d-%dx%d.txt" % (speed, size[0], size[1]))
    with open(path, "w") as f:
        subprocess.run([os.path.join(build, "tests", "linux", "rolvanta_bench_record"), os.path.join(ROOT, "assets"),
                        str(size[0]), str(size[1]), str(SEED), str(speed), str(RIDES)], stdout=f, check=True,
                       timeout=120)
    delays = []
    with open(path) as f:
        for line in f:
            if line.startswith("tick "):
                delays.append(int(line.split()[1]))
    return path, delays


def wayland(build, display, folder, repetitions):
    """The Wayland client's CPU per ride against the bare wl_shm client's, under one sway."""
    import wsession
    sway = wsession.Sway()
    try:
        size = next(iter(sway.outputs().values()))
        bare = os.path.join(build, "tests", "linux", "rolvanta_bench_wayland")
        for speed in (6, 15):
            script, delays = record(build, speed, folder, size)
            ticks = len(delays)

            def show(steps):
                return Held(display, [os.path.join(build, "linux", "rolvanta"), "--wayland", "--blank", "--no-sound",
                                      "--seed", SEED, "--speed", speed, "--steps", steps], env=sway.env())

            def baseline(steps):
                return Held(display, [bare, os.path.join(ROOT, "assets"), script, steps, *size], env=sway.env())
            show_cpu, bare_cpu = [], []
            for _ in range(repetitions):
                show_cpu.append((show(ticks).cpu - show(1).cpu) / RIDES)
                bare_cpu.append((baseline(ticks).cpu - baseline(1).cpu) / RIDES)
            report_cpu_per_ride("wayland", "rolvanta --wayland", "bare wl_shm", speed, ticks, show_cpu, bare_cpu, 2)
    finally:
        sway.stop()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True)
    args = parser.parse_args()
    repetitions = int(os.environ.get("BENCH_REPETITIONS", "5"))
    program = os.path.join(args.build, "linux", "rolvanta")
    bare = os.path.join(args.build, "tests", "linux", "rolvanta_bench_xlib")

    display = xsession.XDisplay(1024, 768, xsession.ARTIFACTS).start()
    folder = tempfile.mkdtemp(prefix="rolvanta-linux-bench-")
    try:
        for speed in (6, 15):
            script, delays = record(args.build, speed, folder)
            ticks = len(delays)

            def show(steps):
                return Held(display, [program, "--root", "--blank", "--no-sound", "--seed", SEED, "--speed", speed,
                                      "--steps", steps])

            def baseline(steps):
                return Held(display, [bare, "replay", os.path.join(ROOT, "assets"), script, steps])
            show_cpu, bare_cpu = [], []
            for _ in range(repetitions):
                show_cpu.append((show(ticks).cpu - show(1).cpu) / RIDES)
                bare_cpu.append((baseline(ticks).cpu - baseline(1).cpu) / RIDES)
            report_cpu_per_ride("linux", "rolvanta", "bare Xlib", speed, ticks, show_cpu, bare_cpu, 2)

        if os.geteuid() == 0 and shutil.which("sway"):
            wayland(args.build, display, folder, repetitions)

        _, delays = record(args.build, 6, folder)
        scheduled = sum(delays[STEP_FIRST:STEP_LAST]) / 1000.0
        spans = []
        for _ in range(repetitions):
            first = Held(display, [program, "--root", "--blank", "--seed", SEED, "--speed", 6, "--steps", STEP_FIRST])
            last = Held(display, [program, "--root", "--blank", "--seed", SEED, "--speed", 6, "--steps", STEP_LAST])
            spans.append(last.seconds - first.seconds)
        span = statistics.median(spans)
        steps = STEP_LAST - STEP_FIRST
        ratio = (steps / span) / (steps / scheduled) if span > 0 else None
        print("linux steps per second (speed 6): %s steps/s, scheduled %s steps/s, ratio %s (%s); steps %d to %d, "
              "medians of %d" % (fmt(steps / span, 2), fmt(steps / scheduled, 2), fmt(ratio, 3),
                                 verdict(ratio, 0.97, False), STEP_FIRST, STEP_LAST, repetitions), flush=True)

        show_rss = statistics.median(
            Held(display, [program, "--root", "--blank", "--seed", SEED, "--steps", 50]).rss_kb for _ in range(3))
        window_rss = statistics.median(Held(display, [bare, "window"]).rss_kb for _ in range(3))
        print("linux resident memory: rolvanta %d KB mid-ride, bare Xlib with one window %d KB, ratio %s "
              "(reported; the program carries its pictures and sounds, decoded)" % (
                  show_rss, window_rss, fmt(show_rss / window_rss, 2)), flush=True)
    finally:
        display.stop()
        subprocess.run(["rm", "-rf", folder])
    return 0


if __name__ == "__main__":
    sys.exit(main())

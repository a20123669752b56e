#!/usr/bin/env python3
"""Soak: the real saver under Wine for many rides at the hardest settings (speed 15, rate
40, sound on, both models), watched all the while. What it holds must stay flat: GDI and
USER objects (read with the end-to-end probe's GetGuiResources subcommand, where the
platform reports them), handles, working set and committed memory, plus the resident size
and thread count Linux sees. At the end it must still close on the first input: one mouse
move on the display, and the process ends with exit code 0.

usage: soak.py [--rides 200] [--win32-dir build/win32]
Exit code 0 when everything stayed flat and the saver closed; 1 otherwise.
"""
import argparse
import os
import sys
import threading
import time

from wine_bench import (CLEAR_BELOW, SOURCE_DIR, boot_ticks_now, encode, parse_line, settings, windows_path,
                        wine_session)

# Growth allowed between the sample after the warm-up rides and the last one. The saver
# allocates nothing per ride, so anything that grows with the rides shows far above this.
MEMORY_SLACK = 1024 * 1024
WARM_UP_RIDES = 10
SAMPLE_EVERY = 5.0  # seconds





def linux_view(pid):
    fields = {}
    try:
        with open("/proc/%d/status" % pid) as status:
            for line in status:
                key, _, value = line.partition(":")
                if key in ("VmRSS", "Threads"):
                    fields[key] = int(value.split()[0])
        fields["fds"] = len(os.listdir("/proc/%d/fd" % pid))
    except OSError:
        return None
    return fields


class Sample:
    def __init__(self, at, rides, probe, linux):
        self.at = at
        self.rides = rides
        self.probe = probe
        self.linux = linux

    def describe(self):
        probe = self.probe or {}
        linux = self.linux or {}
        gui = "gdi %s user %s" % (probe.get("gdi"), probe.get("user")) if probe.get("gui_counts") == "1" \
            else "gdi/user not reported"
        return "t %6.0f s, ride %3d: %s, handles %s, working set %s KB, committed %s KB; Linux: RSS %s KB, " \
               "%s threads, %s fds" % (
                   self.at, self.rides, gui, probe.get("handles"), kb(probe.get("working_set")),
                   kb(probe.get("pagefile")), linux.get("VmRSS"), linux.get("Threads"), linux.get("fds"))


def kb(value):
    return None if value is None else int(value) // 1024


def resources(session, pid):
    for fields in session.harness.probe("resources", pid):
        if fields.get("tag") == "resources":
            return fields
    return None


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--win32-dir", default=os.path.join(SOURCE_DIR, "build", "win32"))
    parser.add_argument("--rides", type=int, default=200)
    parser.add_argument("--session", help="attach to this running harness session instead of starting one")
    args = parser.parse_args()
    with wine_session(args.win32_dir, args.session) as session:
        if not os.path.exists(session.harness.probe_exe):
            print("soak: the end-to-end probe %s is not built" % session.harness.probe_exe)
            return 1
        return soak(session, args.rides)


def soak(session, rides):
    saver = os.path.join(session.win32_dir, "rolvanta.scr")
    settings(session, "Sound=1", "Blank=1", "Coravendia=1", "Valtorne=1", "Speed=15", "Rate=40", "Volume=127")
    session.harness.clear_sound()
    not_before = boot_ticks_now()
    timeout_ms = rides * 15000 + 60000
    watcher = session.popen([session.program("rolvanta_bench_watch"), "watch", str(timeout_ms), str(rides), "100",
                             encode(windows_path(saver) + " /s"), "leave"])
    started = time.monotonic()
    state = {"rides": 0, "pid": None, "unix_pid": None, "left": False, "on": False}
    samples = []
    stop = threading.Event()

    def take_samples():
        while not stop.is_set():
            if state["pid"] is not None:
                if state["unix_pid"] is None:
                    state["unix_pid"] = session.unix_pid_of("rolvanta.scr", not_before)
                linux = linux_view(state["unix_pid"]) if state["unix_pid"] else None
                samples.append(Sample(time.monotonic() - started, state["rides"], resources(session, state["pid"]),
                                      linux))
            stop.wait(SAMPLE_EVERY)

    sampler = threading.Thread(target=take_samples)
    sampler.start()
    last_report = 0
    try:
        for line in watcher.stdout:
            tag, fields = parse_line(line)
            if tag == "started":
                state["pid"] = fields["pid"]
            elif tag == "sample":
                on = int(fields["pixels"]) >= CLEAR_BELOW
                if state["on"] and not on:
                    state["rides"] += 1
                    if state["rides"] - last_report >= 20:
                        last_report = state["rides"]
                        print("soak: %d rides after %.0f s" % (state["rides"], time.monotonic() - started),
                              flush=True)
                state["on"] = on
            elif tag == "left":
                state["left"] = True
                break
            elif tag in ("exit", "terminated"):
                break
    finally:
        stop.set()
        sampler.join()
    # The saver keeps the watcher's output open; nothing more is read from it.
    watcher.stdout.close()
    watcher.wait(timeout=60)

    failures = []
    if not state["left"]:
        failures.append("the saver did not last %d rides (it saw %d)" % (rides, state["rides"]))
    final = None
    if state["left"]:
        final = Sample(time.monotonic() - started, state["rides"], resources(session, state["pid"]),
                       linux_view(state["unix_pid"]) if state["unix_pid"] else None)
        samples.append(final)

    for sample in samples:
        print("  " + sample.describe())
    total, audible = session.harness.sound_bytes()
    print("soak: sound played: %d bytes reached the sound card, %d of them not silence" % (total, audible))
    if audible == 0:
        failures.append("no sound reached the sound card")
    # Sound threads and their descriptors come and go as sounds start and stop, so single
    # samples go up and down; what must not happen is a rise from the first half of the run
    # (after the warm-up rides) to the second.
    steady = [sample for sample in samples if sample.rides >= WARM_UP_RIDES and sample.probe and sample.linux]
    if final is not None and len(steady) >= 4:
        first, second = steady[:len(steady) // 2], steady[len(steady) // 2:]
        span = "rides %d-%d against rides %d-%d" % (first[0].rides, first[-1].rides, second[0].rides,
                                                    second[-1].rides)
        if all(sample.probe.get("gui_counts") == "1" for sample in steady):
            for key in ("gdi", "user"):
                before = max(int(sample.probe[key]) for sample in first)
                after = max(int(sample.probe[key]) for sample in second)
                print("soak: most %s objects, %s: %d and %d" % (key, span, before, after))
                if after > before:
                    failures.append("%s objects rose from %d to %d" % (key, before, after))
        else:
            print("soak: this platform reports no GDI/USER counts (GetGuiResources gives none); memory, threads "
                  "and descriptors stand in")
        measures = [("working set", lambda sample: int(sample.probe["working_set"]) // 1024, MEMORY_SLACK // 1024),
                    ("committed memory", lambda sample: int(sample.probe["pagefile"]) // 1024, MEMORY_SLACK // 1024),
                    ("resident size", lambda sample: sample.linux["VmRSS"], MEMORY_SLACK // 1024),
                    ("threads", lambda sample: sample.linux["Threads"], 0),
                    ("descriptors", lambda sample: sample.linux["fds"], 0)]
        for name, value, slack in measures:
            before = max(value(sample) for sample in first)
            after = max(value(sample) for sample in second)
            print("soak: most %s, %s: %d and %d" % (name, span, before, after))
            if after > before + slack:
                failures.append("%s rose from %d to %d" % (name, before, after))
    elif state["left"]:
        failures.append("too few resource samples after the warm-up to compare")

    if state["left"]:
        # One small mouse move on the display: more than the 4 pixels the saver allows.
        session.harness.xdotool("mousemove_relative", "--", 40, 30)
        fields = session.harness.probe("waitpid", state["pid"], 30000)
        ended = next((f for f in fields if "exit" in f), None)
        if ended is None:
            failures.append("the saver did not close on the first input: %r" % fields)
            session.harness.close_all_savers()
        elif ended["exit"] != "0":
            failures.append("the saver closed with exit code %s" % ended["exit"])
        else:
            print("soak: closed on the first input with exit code 0")

    print("soak: %d rides at speed 15, rate 40, sound on, in %.0f s: %s" % (
        state["rides"], time.monotonic() - started, "flat and closed on the first input" if not failures
        else "FAILED: " + "; ".join(failures)))
    return 0 if not failures else 1


if __name__ == "__main__":
    sys.exit(main())

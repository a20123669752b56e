"""Waiting for a condition, with time-outs that grow with how busy the machine is, and the error
of a test's set-up (as opposed to a failed check), for the end-to-end tests of every platform.

Every time-out a test names is what a quiet machine needs, with room to spare. scaled()
multiplies it by the machine's slowness, measured once per process: how many times longer
than its own work a short busy loop takes now (the share of a core this process gets), or the
load average per core, whichever is larger. CTest measures it once as it starts (`python3
waiting.py`), scales the tests' own time limits by it, and hands it on in ROLVANTA_SLOWNESS,
which a test process takes as the least it measures."""

import os
import sys
import time

SLOWNESS_ENV = "ROLVANTA_SLOWNESS"
_slowness = None


class HarnessError(Exception):
    pass


def measure_slowness(probe=0.2):
    start, cpu = time.monotonic(), time.process_time()
    while time.monotonic() - start < probe:
        pass
    share = (time.monotonic() - start) / max(time.process_time() - cpu, 0.001)
    load = os.getloadavg()[0] / (os.cpu_count() or 1)
    return min(max(share, load, 1.0), 8.0)


def slowness():
    global _slowness
    if _slowness is None:
        try:
            given = float(os.environ.get(SLOWNESS_ENV, "1"))
        except ValueError:
            given = 1.0
        _slowness = max(given, measure_slowness())
    return _slowness


def scaled(seconds):
    """A time-out of a quiet machine, as long as this machine needs now."""
    return seconds * slowness()


def wait_until(predicate, timeout, what, interval=0.05):
    """Polls predicate until it returns a true value, which is returned. Fails the test with
    `what` when it has not come true within the scaled `timeout`."""
    timeout = scaled(timeout)
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise AssertionError("timed out after %.0f s waiting for %s" % (timeout, what))
        time.sleep(interval)


if __name__ == "__main__":
    sys.stdout.write("%.2f" % slowness())

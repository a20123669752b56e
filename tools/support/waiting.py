"""Waiting for a condition with a generous time-out, and the error of a test's set-up (as
opposed to a failed check), for the end-to-end tests of every platform."""

import time


class HarnessError(Exception):
    pass


def wait_until(predicate, timeout, what, interval=0.05):
    """Polls predicate until it returns a true value, which is returned. Fails the test with
    `what` when it has not come true within `timeout` seconds. Time-outs here are generous
    upper bounds on a slow machine, never a claim about speed."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise AssertionError("timed out after %.0f s waiting for %s" % (timeout, what))
        time.sleep(interval)

"""Debian's Firefox ESR, headless, driven over WebDriver BiDi with nothing but Python's standard
library, as chromium.py beside it drives Chromium: the web page's end-to-end tests run in both.

    with serve(folder) as url, Firefox(640, 480) as browser:
        browser.open(url + "?speed=12")
        browser.evaluate("rolvanta.ready")
"""

import os
import re
import subprocess
import tempfile
import time

from chromium import Browser, DevToolsError

# A profile that starts quietly: no first-run pages, no updates or reports over the network, and
# a page's sound without a gesture refused as a visitor's browser refuses it.
PREFERENCES = {
    "browser.shell.checkDefaultBrowser": False,
    "browser.startup.homepage_override.mstone": "ignore",
    "datareporting.policy.dataSubmissionEnabled": False,
    "toolkit.telemetry.reportingpolicy.firstRun": False,
    "app.update.disabledForTesting": True,
    "browser.safebrowsing.update.enabled": False,
    "services.settings.server": "",
    "media.autoplay.default": 1,
}


def _value(remote):
    """A BiDi RemoteValue as Python: primitives, arrays and plain objects; anything else None."""
    kind, value = remote["type"], remote.get("value")
    if kind == "array":
        return [_value(item) for item in value]
    if kind == "object":
        return {key if isinstance(key, str) else _value(key): _value(item) for key, item in value}
    return value if kind in ("string", "boolean", "number") else None


class Firefox(Browser):
    """A headless Firefox ESR with one tab; call() sends a BiDi command and returns its result.
    Events subscribed to are kept in self.events until read."""

    def __init__(self, width=1024, height=768):
        self.profile = tempfile.mkdtemp(prefix="rolvanta-firefox-")
        with open(os.path.join(self.profile, "user.js"), "w") as f:
            for name, value in PREFERENCES.items():
                f.write('user_pref("%s", %s);\n' % (name, str(value).lower() if isinstance(value, bool)
                                                     else repr(value).replace("'", '"')))
        self.log = open(os.path.join(self.profile, "stderr.txt"), "w+")
        argv = ["firefox-esr", "--headless", "--remote-debugging-port=0", "--no-remote", "--profile", self.profile,
                "--window-size=%d,%d" % (width, height), "about:blank"]
        # A group of its own, so that close() ends its content processes too.
        self.process = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=self.log,
                                        start_new_session=True, env=dict(os.environ, MOZ_CRASHREPORTER_DISABLE="1"))
        self.next_id = 0
        self.events = []
        self.sock = None
        try:
            self._connect(self._address() + "/session")
            self.call("session.new", capabilities={})
            self.context = self.call("browsingContext.getTree")["contexts"][0]["context"]
        except Exception:
            self.close()
            raise

    def _address(self):
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                raise DevToolsError("firefox ended with status %d at start" % self.process.returncode)
            with open(self.log.name) as f:
                found = re.search(r"WebDriver BiDi listening on (ws://\S+)", f.read())
            if found:
                return found.group(1)
            time.sleep(0.05)
        raise DevToolsError("firefox gave no WebDriver BiDi address within 60 s")

    def evaluate(self, expression):
        """The value of a JavaScript expression in the page, promises awaited."""
        result = self.call("script.evaluate", expression=expression, target={"context": self.context},
                           awaitPromise=True, resultOwnership="none")
        if result.get("type") == "exception":
            details = result["exceptionDetails"]
            raise DevToolsError("%s: %s" % (expression[:60], details.get("text")))
        return _value(result["result"])

    def navigate(self, url):
        self.call("browsingContext.navigate", context=self.context, url=url, wait="none")

    def set_viewport(self, width, height, ratio=1):
        self.call("browsingContext.setViewport", context=self.context, viewport={"width": width, "height": height},
                  devicePixelRatio=ratio)

    def perform(self, *sources):
        self.call("input.performActions", context=self.context, actions=list(sources))

    def close(self):
        self.log.close()
        super().close()

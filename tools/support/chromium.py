"""Debian's Chromium, headless, driven over the DevTools protocol with nothing but Python's
standard library (the WebSocket is spoken by hand), and a static server for a site folder.
Used by ./run --web, tools/bench web and the web page's end-to-end tests.

    with serve(folder) as url, Chromium(640, 480) as browser:
        browser.open(url + "?speed=12")
        browser.evaluate("rolvanta.ready")
"""

import base64
import functools
import http.server
import json
import os
import shutil
import signal
import socket
import struct
import subprocess
import tempfile
import threading
import time
import urllib.request


class Handler(http.server.SimpleHTTPRequestHandler):
    extensions_map = dict(http.server.SimpleHTTPRequestHandler.extensions_map,
                          **{".wasm": "application/wasm", ".webmanifest": "application/manifest+json",
                             ".js": "text/javascript"})

    def log_message(self, *args):
        pass


class serve:
    """The folder on http://127.0.0.1 at a free port; stop() (or leaving `with`) ends it."""

    def __init__(self, folder, port=0, handler=Handler):
        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", port),
                                                      functools.partial(handler, directory=folder))
        self.url = "http://127.0.0.1:%d/" % self.server.server_address[1]
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()

    def stop(self):
        if self.thread.is_alive():
            self.server.shutdown()
            self.server.server_close()
            self.thread.join()

    def __enter__(self):
        return self.url

    def __exit__(self, *exc):
        self.stop()


class DevToolsError(Exception):
    """What a browser's remote protocol (DevTools or WebDriver BiDi) refused or failed."""


class Browser:
    """What the DevTools and the WebDriver BiDi drivers share: the WebSocket, spoken by hand,
    commands, waiting for the page, and closing the browser's process group and profile. A
    driver starts self.process in a group of its own with self.profile, and gives navigate(url)
    and evaluate(expression)."""

    # A test's measure of how busy the machine is: every wait for the page is that much longer.
    slowness = 1

    def _connect(self, url):
        host, _, path = url[len("ws://"):].partition("/")
        name, _, port = host.partition(":")
        self.sock = socket.create_connection((name, int(port)), timeout=120)
        key = base64.b64encode(os.urandom(16)).decode()
        self.sock.sendall(("GET /%s HTTP/1.1\r\nHost: %s\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                           "Sec-WebSocket-Key: %s\r\nSec-WebSocket-Version: 13\r\n\r\n" % (path, host, key)).encode())
        reply = b""
        while b"\r\n\r\n" not in reply:
            chunk = self.sock.recv(4096)
            if not chunk:
                raise DevToolsError("the browser closed the connection during the handshake")
            reply += chunk
        if b" 101 " not in reply.split(b"\r\n")[0]:
            raise DevToolsError("the browser refused the WebSocket: %r" % reply[:80])
        self.buffer = reply.split(b"\r\n\r\n", 1)[1]

    def _read(self, count):
        while len(self.buffer) < count:
            chunk = self.sock.recv(65536)
            if not chunk:
                raise DevToolsError("the browser closed the connection")
            self.buffer += chunk
        data, self.buffer = self.buffer[:count], self.buffer[count:]
        return data

    def _receive(self):
        message = b""
        while True:
            head = self._read(2)
            length = head[1] & 0x7F
            if length == 126:
                length = struct.unpack(">H", self._read(2))[0]
            elif length == 127:
                length = struct.unpack(">Q", self._read(8))[0]
            payload = self._read(length)
            if head[0] & 0x0F == 8:
                raise DevToolsError("the browser closed the WebSocket")
            message += payload
            if head[0] & 0x80:
                return json.loads(message)

    def _send(self, data):
        mask = os.urandom(4)
        length = len(data)
        header = bytes([0x81]) + (bytes([0x80 | length]) if length < 126 else
                                  struct.pack(">BH", 0x80 | 126, length) if length < 65536 else
                                  struct.pack(">BQ", 0x80 | 127, length))
        self.sock.sendall(header + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(data)))

    def call(self, method, **params):
        """Sends a command and returns its result; events that come meanwhile are kept."""
        self.next_id += 1
        self._send(json.dumps({"id": self.next_id, "method": method, "params": params}).encode())
        while True:
            message = self._receive()
            if message.get("id") == self.next_id:
                # DevTools says {"error": {"message": ...}}, BiDi {"error": "name", "message": ...}.
                error = message.get("error")
                if error:
                    raise DevToolsError("%s: %s" % (method, error.get("message") if isinstance(error, dict)
                                                    else "%s: %s" % (error, message.get("message"))))
                return message.get("result", {})
            if "method" in message:
                self.events.append(message)

    def open(self, url, timeout=60):
        """Loads url and waits until the page says the show is ready."""
        self.navigate(url)
        self.wait_for("typeof rolvanta === 'object' && document.readyState === 'complete'", timeout)
        self.evaluate("rolvanta.ready")

    def wait_for(self, expression, timeout, what=None):
        timeout *= self.slowness
        deadline = time.monotonic() + timeout
        while True:
            try:
                if self.evaluate(expression):
                    return
            except DevToolsError:
                pass  # the page between two documents
            if time.monotonic() > deadline:
                raise DevToolsError("no %s within %d s" % (what or expression, timeout))
            time.sleep(0.05)

    def close(self):
        if self.sock is not None:
            self.sock.close()
            self.sock = None
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=20)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        # A helper that outlives the browser writes into the profile after it is removed, which
        # left a profile folder behind on every other run.
        try:
            os.killpg(self.process.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        shutil.rmtree(self.profile, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


class Chromium(Browser):
    """A headless Chromium with one page; call() sends a DevTools command and returns its result.
    Events are kept in self.events until read. Its time-outs are multiplied by `slowness`, a
    test's measure of how busy the machine is."""

    def __init__(self, width=1024, height=768, args=(), slowness=1):
        self.slowness = slowness
        self.profile = tempfile.mkdtemp(prefix="rolvanta-chromium-")
        argv = ["chromium", "--headless=new", "--no-sandbox", "--remote-debugging-port=0",
                "--user-data-dir=" + self.profile, "--window-size=%d,%d" % (width, height), "--no-first-run",
                "--no-default-browser-check", "--force-color-profile=srgb", "--hide-scrollbars",
                "--disable-background-networking", "--disable-component-update"] + list(args) + ["about:blank"]
        # A group of its own, so that close() can end the helpers the browser starts too.
        self.process = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL, start_new_session=True)
        self.next_id = 0
        self.events = []
        self.sock = None
        try:
            port = self._port()
            deadline = time.monotonic() + 60 * slowness
            while True:
                with urllib.request.urlopen("http://127.0.0.1:%d/json/list" % port, timeout=10) as f:
                    pages = [t for t in json.load(f) if t["type"] == "page"]
                if pages or time.monotonic() > deadline:
                    break
                time.sleep(0.1)
            self._connect(pages[0]["webSocketDebuggerUrl"])
            self.call("Page.enable")
            self.call("Runtime.enable")
        except Exception:
            self.close()
            raise

    def _port(self):
        path = os.path.join(self.profile, "DevToolsActivePort")
        deadline = time.monotonic() + 60 * self.slowness
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                raise DevToolsError("chromium ended with status %d at start" % self.process.returncode)
            try:
                with open(path) as f:
                    first = f.readline().strip()
                if first:
                    return int(first)
            except FileNotFoundError:
                pass
            time.sleep(0.05)
        raise DevToolsError("chromium gave no DevTools port within %d s" % (60 * self.slowness))

    def next_event(self):
        """The next event kept or to come."""
        return self.events.pop(0) if self.events else self._receive()

    def evaluate(self, expression):
        """The value of a JavaScript expression in the page, promises awaited."""
        result = self.call("Runtime.evaluate", expression=expression, awaitPromise=True, returnByValue=True)
        if "exceptionDetails" in result:
            details = result["exceptionDetails"]
            raise DevToolsError("%s: %s" % (expression[:60], details.get("exception", {}).get("description")
                                            or details.get("text")))
        return result["result"].get("value")

    def navigate(self, url):
        self.call("Page.navigate", url=url)

    def screenshot(self, path):
        with open(path, "wb") as f:
            f.write(base64.b64decode(self.call("Page.captureScreenshot", format="png")["data"]))

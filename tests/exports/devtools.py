"""Headless Chromium driven over its DevTools protocol, with nothing but the
standard library: a small WebSocket client and the few protocol calls that
loading a page and reading its DOM need."""

import base64
import json
import os
import shutil
import signal
import socket
import struct
import subprocess
import tempfile
import time
import urllib.request

CHROMIUM = "/usr/bin/chromium"
START_LIMIT_S = 30
STOP_LIMIT_S = 10


class WebSocket:
    """A client end of RFC 6455 for text messages."""

    def __init__(self, url, timeout):
        assert url.startswith("ws://"), url
        host_port, _, path = url[len("ws://"):].partition("/")
        host, _, port = host_port.partition(":")
        self.sock = socket.create_connection((host, int(port)), timeout=timeout)
        key = base64.b64encode(os.urandom(16)).decode()
        self.sock.sendall((f"GET /{path} HTTP/1.1\r\nHost: {host_port}\r\nUpgrade: websocket\r\n"
                           f"Connection: Upgrade\r\nSec-WebSocket-Key: {key}\r\n"
                           "Sec-WebSocket-Version: 13\r\n\r\n").encode())
        response = b""
        while b"\r\n\r\n" not in response:
            chunk = self.sock.recv(4096)
            if not chunk:
                raise ConnectionError("the browser closed the WebSocket handshake")
            response += chunk
        head, _, self.pending = response.partition(b"\r\n\r\n")
        if not head.startswith(b"HTTP/1.1 101"):
            raise ConnectionError(head.decode(errors="replace"))

    def _read(self, count):
        while len(self.pending) < count:
            chunk = self.sock.recv(65536)
            if not chunk:
                raise ConnectionError("the browser closed the WebSocket")
            self.pending += chunk
        data, self.pending = self.pending[:count], self.pending[count:]
        return data

    def send(self, text):
        payload = text.encode()
        mask = os.urandom(4)
        length = len(payload)
        if length < 126:
            header = struct.pack("!BB", 0x81, 0x80 | length)
        elif length < 1 << 16:
            header = struct.pack("!BBH", 0x81, 0x80 | 126, length)
        else:
            header = struct.pack("!BBQ", 0x81, 0x80 | 127, length)
        masked = bytes(byte ^ mask[i % 4] for i, byte in enumerate(payload))
        self.sock.sendall(header + mask + masked)

    def receive(self):
        message = b""
        while True:
            first, second = self._read(2)
            length = second & 0x7F
            if length == 126:
                length = struct.unpack("!H", self._read(2))[0]
            elif length == 127:
                length = struct.unpack("!Q", self._read(8))[0]
            payload = self._read(length)
            opcode = first & 0x0F
            if opcode == 0x8:
                raise ConnectionError("the browser closed the WebSocket")
            if opcode in (0x9, 0xA):  # ping, pong: the browser does not send them
                continue
            message += payload
            if first & 0x80:
                return message.decode()

    def close(self):
        self.sock.close()


class Page:
    """One tab of a browser: calls in order, every event kept."""

    def __init__(self, websocket_url, timeout):
        self.ws = WebSocket(websocket_url, timeout)
        self.next_id = 0
        self.events = []

    def call(self, method, **params):
        self.next_id += 1
        self.ws.send(json.dumps({"id": self.next_id, "method": method, "params": params}))
        while True:
            message = json.loads(self.ws.receive())
            if message.get("id") == self.next_id:
                if "error" in message:
                    raise RuntimeError(f"{method}: {message['error']}")
                return message.get("result", {})
            if "method" in message:
                self.events.append(message)

    def wait_for(self, method, timeout):
        deadline = time.monotonic() + timeout
        while not any(event["method"] == method for event in self.events):
            if time.monotonic() > deadline:
                raise TimeoutError(f"no {method} within {timeout} s")
            message = json.loads(self.ws.receive())
            if "method" in message:
                self.events.append(message)

    def close(self):
        self.ws.close()


class Browser:
    """A headless Chromium of its own: a fresh profile, a debugging port the
    browser picks and writes into the profile, stopped by its pid."""

    def __init__(self):
        self.profile = tempfile.mkdtemp(prefix="quorvane-chromium-")
        self.process = subprocess.Popen(
            [CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
             "--no-first-run", "--disable-background-networking", "--disable-component-update",
             "--disable-sync", "--disable-extensions", f"--user-data-dir={self.profile}",
             "--remote-debugging-address=127.0.0.1", "--remote-debugging-port=0",
             "about:blank"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        try:
            self.port = self._debugging_port()
        except BaseException:
            self.stop()
            raise

    def _debugging_port(self):
        port_file = os.path.join(self.profile, "DevToolsActivePort")
        deadline = time.monotonic() + START_LIMIT_S
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                raise RuntimeError(f"chromium ended at start with {self.process.returncode}")
            try:
                with open(port_file, encoding="ascii") as f:
                    lines = f.read().split()
                if len(lines) == 2:
                    return int(lines[0])
            except FileNotFoundError:
                pass
            time.sleep(0.1)
        raise TimeoutError(f"chromium wrote no debugging port within {START_LIMIT_S} s")

    def open_page(self):
        with urllib.request.urlopen(f"http://127.0.0.1:{self.port}/json/list",
                                    timeout=START_LIMIT_S) as response:
            targets = json.load(response)
        page = next(target for target in targets if target["type"] == "page")
        return Page(page["webSocketDebuggerUrl"], START_LIMIT_S)

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(STOP_LIMIT_S)
            except subprocess.TimeoutExpired:
                # The browser's helpers share the process group it was started in.
                os.killpg(self.process.pid, signal.SIGKILL)
                self.process.wait(STOP_LIMIT_S)
        shutil.rmtree(self.profile, ignore_errors=True)


def load(browser, url, expression, settle_s=0.5):
    """Loads url in a fresh tab and returns what went wrong on the way (failed
    requests, console and log errors, exceptions), every URL requested, and
    the value of a JavaScript expression evaluated in the loaded page."""
    page = browser.open_page()
    try:
        for domain in ("Runtime", "Log", "Network", "Page"):
            page.call(f"{domain}.enable")
        page.events.clear()
        page.call("Page.navigate", url=url)
        page.wait_for("Page.loadEventFired", START_LIMIT_S)
        # Late console messages and requests arrive within a moment.
        time.sleep(settle_s)
        value = page.call("Runtime.evaluate", expression=expression,
                          returnByValue=True)["result"].get("value")
        problems, requested = [], []
        for event in page.events:
            method, params = event["method"], event.get("params", {})
            if method == "Network.requestWillBeSent":
                requested.append(params["request"]["url"])
            elif method == "Network.loadingFailed":
                problems.append(f"failed request: {params.get('errorText')} "
                                f"{params.get('blockedReason', '')}")
            elif method == "Runtime.exceptionThrown":
                problems.append(f"exception: {params['exceptionDetails'].get('text')}")
            elif method == "Runtime.consoleAPICalled" and params["type"] in ("error", "warning",
                                                                              "assert"):
                problems.append(f"console {params['type']}: {params['args']}")
            elif method == "Log.entryAdded" and params["entry"]["level"] in ("error", "warning"):
                problems.append(f"log {params['entry']['level']}: {params['entry']['text']}")
        return problems, requested, value
    finally:
        page.close()

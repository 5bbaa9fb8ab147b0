"""Starts `tembra edit` and talks to it: HTTP with the token, and a small
WebSocket client on the standard library (text frames, masked, as a browser
sends them)."""

import base64
import http.client
import json
import os
import re
import socket
import struct
import subprocess
import threading
import time

TEMBRA = os.environ["TEMBRA"]


class Editor:
    def __init__(self, file, *extra):
        self.process = subprocess.Popen(
            [TEMBRA, "--log", "none", "edit", file, *extra],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        # Every line tembra prints, read as it comes: a reader that waits
        # with select() on a buffered pipe misses lines already buffered,
        # and a pipe nobody empties stops tembra once it is full.
        self.lines, self.errors, self.ended = [], [], False
        self.seen = 0
        self.changed = threading.Condition()
        threading.Thread(target=self._collect, args=(self.process.stdout, self.lines), daemon=True).start()
        threading.Thread(target=self._collect, args=(self.process.stderr, self.errors), daemon=True).start()
        line = self.wait_line(r"^editor: ", 30)
        match = re.match(r"editor: http://([^:/]+):(\d+)/#token=([0-9a-f]{32})$", line.strip())
        assert match, line
        self.host, self.port, self.token = match.group(1), int(match.group(2)), match.group(3)
        self.url = f"http://{self.host}:{self.port}/#token={self.token}"

    def _collect(self, stream, into):
        for line in stream:
            with self.changed:
                into.append(line)
                self.changed.notify_all()
        with self.changed:
            if into is self.lines:
                self.ended = True
            self.changed.notify_all()

    def wait_line(self, pattern, limit):
        """The next line printed that matches pattern (a regular expression or
        a test of the line), within the time limit;
        the lines before it are passed over."""
        deadline = time.monotonic() + limit
        with self.changed:
            while True:
                while self.seen < len(self.lines):
                    line = self.lines[self.seen]
                    self.seen += 1
                    if pattern(line) if callable(pattern) else re.search(pattern, line):
                        return line
                if self.ended:
                    raise AssertionError("tembra ended: " + "".join(self.errors))
                remaining = deadline - time.monotonic()
                if remaining <= 0:
                    raise AssertionError(f"no line matching {pattern!r} within {limit} s")
                self.changed.wait(remaining)

    def get(self, path, headers=None):
        connection = http.client.HTTPConnection(self.host, self.port, timeout=10)
        connection.request("GET", path, headers=headers or {})
        response = connection.getresponse()
        return response.status, response.read()

    def api(self, path):
        return self.get(path, {"X-Tembra-Token": self.token})

    def close(self):
        self.process.terminate()
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


class Socket:
    def __init__(self, editor, token=None, origin=None, path="/api/session"):
        self.sock = socket.create_connection((editor.host, editor.port), timeout=10)
        key = base64.b64encode(os.urandom(16)).decode()
        query = f"?token={editor.token if token is None else token}"
        lines = [f"GET {path}{query} HTTP/1.1", f"Host: {editor.host}:{editor.port}",
                 "Upgrade: websocket", "Connection: Upgrade", f"Sec-WebSocket-Key: {key}",
                 "Sec-WebSocket-Version: 13"]
        if origin:
            lines.append(f"Origin: {origin}")
        self.sock.sendall(("\r\n".join(lines) + "\r\n\r\n").encode())
        head = b""
        while b"\r\n\r\n" not in head:
            chunk = self.sock.recv(1)
            if not chunk:
                break
            head += chunk
        self.status = int(head.split(b" ")[1]) if head else 0
        self.buffer = b""
        self.next_id = 1

    def send_text(self, text):
        data = text.encode()
        header = bytes([0x81])
        if len(data) < 126:
            header += bytes([0x80 | len(data)])
        elif len(data) < 65536:
            header += bytes([0x80 | 126]) + struct.pack(">H", len(data))
        else:
            header += bytes([0x80 | 127]) + struct.pack(">Q", len(data))
        mask = os.urandom(4)
        self.sock.sendall(header + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(data)))

    def _read(self, n, deadline):
        while len(self.buffer) < n:
            self.sock.settimeout(max(0.01, deadline - time.monotonic()))
            chunk = self.sock.recv(65536)
            if not chunk:
                raise ConnectionError("closed")
            self.buffer += chunk
        data, self.buffer = self.buffer[:n], self.buffer[n:]
        return data

    def receive(self, limit=10):
        """The next whole message: a long one may come in several frames."""
        deadline = time.monotonic() + limit
        payload = b""
        while True:
            first, second = self._read(2, deadline)
            length = second & 0x7F
            if length == 126:
                length = struct.unpack(">H", self._read(2, deadline))[0]
            elif length == 127:
                length = struct.unpack(">Q", self._read(8, deadline))[0]
            data = self._read(length, deadline)
            if first & 0x0F == 8:
                raise ConnectionError("closed by the host")
            if first & 0x0F in (9, 10):  # ping and pong stand outside messages
                continue
            payload += data
            if first & 0x80:
                return json.loads(payload)

    def until(self, predicate, limit=10):
        """The first message for which predicate holds, within the time limit."""
        deadline = time.monotonic() + limit
        while True:
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                raise AssertionError("no such message in time")
            message = self.receive(remaining)
            if predicate(message):
                return message

    def request(self, message, limit=10):
        """Sends a message and returns the host's answer to it."""
        message = dict(message, id=self.next_id)
        self.next_id += 1
        self.send_text(json.dumps(message))
        return self.until(lambda m: m.get("type") == "answer" and m.get("id") == message["id"], limit)

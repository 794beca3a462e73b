"""Helpers for the peer's own tests: a running peer and a small HTTP client."""

import json
import os
import socket
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))

IDENTITY = {
    "model": "QZA-K20US",
    "ether_mac": "00:1a:2b:3c:4d:5e",
    "wlan_mac": "00:1a:2b:3c:4d:5f",
    "ident": "TLX00042",
    "shared_key": bytes(range(64)).hex(),
}


class Peer:
    """peer.py serving the given "http" service object (with IDENTITY added)."""

    def __init__(self, http):
        self._dir = tempfile.TemporaryDirectory()
        self.record_path = os.path.join(self._dir.name, "record.jsonl")
        scenario_path = os.path.join(self._dir.name, "scenario.json")
        options = {"identities": [IDENTITY]}
        options.update(http)
        with open(scenario_path, "w", encoding="utf-8") as f:
            json.dump({"record": self.record_path, "services": {"http": options}}, f)
        self._process = subprocess.Popen(
            [sys.executable, os.path.join(HERE, "peer.py"), "--scenario", scenario_path],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        line = self._process.stdout.readline()
        if not line.startswith("ready "):
            self.close()
            raise RuntimeError("peer did not start: %r" % line)
        self.port = int(line.split()[1])

    def close(self):
        self._process.stdin.close()
        self._process.wait(timeout=10)
        self._process.stdout.close()
        self._dir.cleanup()

    def events(self, event=None):
        if not os.path.exists(self.record_path):
            return []
        with open(self.record_path, encoding="utf-8") as f:
            records = [json.loads(line) for line in f]
        return [r for r in records if event is None or r["event"] == event]

    def wait_closed(self, conn, timeout=5):
        """Wait until the peer has finished with its connection number conn."""
        deadline = time.monotonic() + timeout
        while not any(r.get("conn") == conn for r in self.events("closed")):
            if time.monotonic() > deadline:
                raise TimeoutError("connection %d still open" % conn)
            time.sleep(0.01)

    def connect(self):
        sock = socket.create_connection(("127.0.0.1", self.port), timeout=5)
        return Client(sock)


class Client:
    def __init__(self, sock):
        self.sock = sock
        self._buf = b""

    def close(self):
        self.sock.close()

    def __enter__(self):
        return self

    def __exit__(self, *args):
        self.close()

    def _fill(self):
        data = self.sock.recv(65536)
        if not data:
            raise EOFError("peer closed")
        self._buf += data

    def closed_by_peer(self):
        """True when the peer has closed its side and nothing is left unread."""
        try:
            self._fill()
        except EOFError:
            return True
        return False

    def request(self, data: bytes):
        """Send data and read one answer: (status line, {header: value}, body)."""
        self.sock.sendall(data)
        return self.response()

    def response(self):
        while b"\r\n\r\n" not in self._buf:
            self._fill()
        head, self._buf = self._buf.split(b"\r\n\r\n", 1)
        lines = head.decode("latin-1").split("\r\n")
        headers = dict(line.split(": ", 1) for line in lines[1:])
        if headers.get("Transfer-Encoding") == "chunked":
            body = b""
            while True:
                while b"\r\n" not in self._buf:
                    self._fill()
                size_line, self._buf = self._buf.split(b"\r\n", 1)
                size = int(size_line, 16)
                while len(self._buf) < size + 2:
                    self._fill()
                body, self._buf = body + self._buf[:size], self._buf[size + 2:]
                if size == 0:
                    break
        else:
            size = int(headers.get("Content-Length", "0"))
            while len(self._buf) < size:
                self._fill()
            body, self._buf = self._buf[:size], self._buf[size:]
        return lines[0], headers, body

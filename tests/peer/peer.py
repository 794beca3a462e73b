#!/usr/bin/python3
"""Base-station test peer.

Plays the base station for the player's tests. It reads a scenario (JSON),
starts the services the scenario names on one port of 127.0.0.1 (UDP and TCP),
prints "ready <port>" once everything listens, and exits when its standard
input reaches end of file, that is when the process that started it goes away.
Each line on standard input before that is a command (a JSON object whose "do"
names it) for the service that registered the name; the peer answers "done"
or "error <text>" on one line once the command is carried out.

Scenario:
  {
    "record": "/path/to/record.jsonl",      optional: decisions, one JSON object a line
    "services": { "<name>": { ...service options... }, ... }
  }

A service is the module "<name>_service.py" beside this file; its
start(peer, options) function is called once, after the sockets are bound.
"""

import argparse
import importlib
import json
import os
import socket
import sys
import threading
import time

HOST = "127.0.0.1"


class Peer:
    """What the services share: the port, the sockets, the record and the
    dispatch of TCP connections by their first bytes."""

    def __init__(self, scenario, port):
        self.scenario = scenario
        self.host = HOST
        self.tcp, self.udp = _bind_pair(port)
        # Listening before "ready" is printed: a client may connect at once.
        self.tcp.listen(64)
        self.port = self.tcp.getsockname()[1]
        self._record_lock = threading.Lock()
        self._record_path = scenario.get("record")
        self._protocols = []
        self._fallback = None
        self._commands = {}

    def record(self, event, **fields):
        """Appends one decision or observation to the scenario's record file."""
        if not self._record_path:
            return
        line = json.dumps(dict(event=event, **fields), sort_keys=True)
        with self._record_lock, open(self._record_path, "a", encoding="utf-8") as out:
            out.write(line + "\n")

    def add_stream_protocol(self, prefix, handler):
        """Connections whose first bytes equal `prefix` go to handler(conn, addr).
        An empty prefix makes the handler the fallback for every other one."""
        if prefix:
            self._protocols.append((prefix, handler))
        else:
            self._fallback = handler

    def add_command(self, name, handler):
        """A standard-input command {"do": name, ...} calls handler(command)."""
        self._commands[name] = handler

    def run_command(self, line):
        """Carries out one command line; returns the answer line."""
        try:
            command = json.loads(line)
            handler = self._commands.get(command.get("do"))
            if handler is None:
                return "error unknown command"
            handler(command)
            return "done"
        except (ValueError, KeyError, TypeError, OSError) as error:
            return "error %s" % error

    def serve_tcp(self):
        while True:
            conn, addr = self.tcp.accept()
            threading.Thread(target=self._dispatch, args=(conn, addr), daemon=True).start()

    def _dispatch(self, conn, addr):
        try:
            handler = self._choose(conn)
            if handler is None:
                self.record("tcp_unclaimed", client=list(addr))
                return
            handler(conn, addr)
        except OSError as error:
            self.record("tcp_error", client=list(addr), error=str(error))
        finally:
            conn.close()

    def _choose(self, conn):
        longest = max((len(p) for p, _ in self._protocols), default=0)
        first = b""
        if longest:
            # Wait until enough bytes arrived to tell the protocols apart, the
            # client clearly sent something else, or two seconds passed. A peek
            # returns at once while any byte is waiting, so the partial case
            # sleeps between looks instead of spinning.
            deadline = time.monotonic() + 2.0
            try:
                while len(first) < longest and time.monotonic() < deadline:
                    conn.settimeout(max(deadline - time.monotonic(), 0.001))
                    seen = conn.recv(longest, socket.MSG_PEEK)
                    if not seen or not any(p.startswith(seen) for p, _ in self._protocols):
                        first = seen
                        break
                    if seen == first:
                        time.sleep(0.005)
                    first = seen
            except socket.timeout:
                pass
            conn.settimeout(None)
        for prefix, handler in self._protocols:
            if first.startswith(prefix):
                return handler
        return self._fallback


def _bind_pair(port):
    """Binds a TCP and a UDP socket to the same port of 127.0.0.1."""
    for _ in range(50):
        tcp = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        tcp.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        tcp.bind((HOST, port))
        udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        try:
            udp.bind((HOST, tcp.getsockname()[1]))
            return tcp, udp
        except OSError:
            tcp.close()
            udp.close()
            if port:
                raise
    raise OSError("no port free for both TCP and UDP")


def _exit_with_parent(peer):
    try:
        for line in sys.stdin:
            if line.strip():
                print(peer.run_command(line), flush=True)
    finally:
        os._exit(0)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--scenario", required=True, help="scenario file (JSON)")
    parser.add_argument("--port", type=int, default=0, help="port on 127.0.0.1 (0: any free one)")
    parser.add_argument("--record", help="record file; overrides the scenario's")
    args = parser.parse_args()
    with open(args.scenario, encoding="utf-8") as f:
        scenario = json.load(f)
    if args.record:
        scenario["record"] = args.record

    sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
    peer = Peer(scenario, args.port)
    for name, options in scenario.get("services", {}).items():
        module = importlib.import_module(name + "_service")
        module.start(peer, options or {})
    threading.Thread(target=peer.serve_tcp, daemon=True).start()

    print("ready %d" % peer.port, flush=True)
    _exit_with_parent(peer)


if __name__ == "__main__":
    main()

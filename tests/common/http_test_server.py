#!/usr/bin/env python3
"""HTTP servers for the download tests, on 127.0.0.1 only.

  http_test_server.py files DIR   serves the files of DIR (Python's own server)
  http_test_server.py raw HEX     answers every request with the bytes HEX and closes
  http_test_server.py silent      accepts and reads the request, never answers

Prints "ready <port>" once it listens; exits when its standard input closes.
"""

import functools
import http.server
import os
import socket
import sys
import threading


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def exit_with_parent():
    sys.stdin.read()
    os._exit(0)


def serve_files(directory):
    handler = functools.partial(QuietHandler, directory=directory)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    print(f"ready {server.server_address[1]}", flush=True)
    server.serve_forever()


def read_request(connection):
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = connection.recv(4096)
        if not chunk:
            break
        data += chunk


def serve_raw(answer, silent):
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    print(f"ready {listener.getsockname()[1]}", flush=True)
    held = []
    while True:
        connection, _ = listener.accept()
        read_request(connection)
        if silent:
            held.append(connection)
            continue
        connection.sendall(answer)
        connection.close()


def main():
    threading.Thread(target=exit_with_parent, daemon=True).start()
    mode = sys.argv[1]
    if mode == "files":
        serve_files(sys.argv[2])
    elif mode == "raw":
        serve_raw(bytes.fromhex(sys.argv[2]), False)
    elif mode == "silent":
        serve_raw(b"", True)
    else:
        sys.exit(f"unknown mode {mode}")


if __name__ == "__main__":
    main()

"""Discovery responder: answers a SEARCH datagram with the base station's
NOTIFY text.

Options:
  "lines": [["Version", "1.0"], ["Identifier", "..."], ...]   NOTIFY lines, in order
  "first_line": text                                         default "NOTIFY Telvara_BaseStation"
  "line_end": text                                           default "\\r\\n"
  "silent": true                                             record SEARCHes, answer none
  "search_port": n                                           also take SEARCHes sent to the directed
                                                             broadcast 127.255.255.255 at port n
  "bases": [ {base}, ... ]                                   several answers to each SEARCH, in order;
                                                             without it the options above are one base

A base takes "lines", "first_line" and "line_end" as above, or "raw" (text,
latin-1) or "raw_hex" for a datagram sent as it stands, and:
  "delay_ms": n        wait before the first answer (default 0)
  "repeat": n          answers sent (default 1)
  "interval_ms": n     between them (default 0)

The answer goes from the peer's port of 127.0.0.1 to the sender's address, at
the port the SEARCH names in its "Port:" line when it has one, else to the port
it came from.
"""

import socket
import threading
import time

DIRECTED_BROADCAST = "127.255.255.255"
SEARCH = "SEARCH Telvara_BaseStation"
NOTIFY = "NOTIFY Telvara_BaseStation"
MAX_DATAGRAM = 1024


def parse_search(data):
    """Returns the SEARCH's header lines as a dict, or None when the datagram is
    not a SEARCH."""
    text = data.decode("latin-1")
    lines = text.replace("\r\n", "\n").replace("\r", "\n").split("\n")
    if lines[0] != SEARCH:
        return None
    headers = {}
    for line in lines[1:]:
        name, sep, value = line.partition(":")
        if sep:
            headers[name.strip()] = value.strip(" \t")
    return headers


def reply_port(headers, source_port):
    """The port named by "Port: <n>" or "Port: <n> b", else the source port."""
    words = headers.get("Port", "").split()
    if words and words[0].isdigit() and 0 < int(words[0]) < 65536:
        return int(words[0])
    return source_port


def build_notify(options):
    if "raw_hex" in options:
        return bytes.fromhex(options["raw_hex"])[:MAX_DATAGRAM]
    if "raw" in options:
        return options["raw"].encode("latin-1")[:MAX_DATAGRAM]
    end = options.get("line_end", "\r\n")
    text = options.get("first_line", NOTIFY) + end
    for name, value in options.get("lines", []):
        text += "%s: %s%s" % (name, value, end)
    return text.encode("latin-1")[:MAX_DATAGRAM]


def start(peer, options):
    sockets = [peer.udp]
    if options.get("search_port"):
        broadcast = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        broadcast.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        broadcast.bind((DIRECTED_BROADCAST, int(options["search_port"])))
        sockets.append(broadcast)
    for sock in sockets:
        threading.Thread(target=_serve, args=(peer, sock, options), daemon=True).start()


def _answer(peer, bases, target):
    start = time.monotonic()
    # Every answer of every base, in the order of its moment.
    plan = []
    for index, base in enumerate(bases):
        first = base.get("delay_ms", 0) / 1000.0
        for n in range(base.get("repeat", 1)):
            plan.append((first + n * base.get("interval_ms", 0) / 1000.0, index))
    plan.sort()
    for moment, index in plan:
        time.sleep(max(0.0, start + moment - time.monotonic()))
        peer.udp.sendto(build_notify(bases[index]), target)


def _serve(peer, sock, options):
    bases = options.get("bases", [options])
    while True:
        data, (host, port) = sock.recvfrom(65535)
        headers = parse_search(data)
        if headers is None:
            peer.record("discovery_ignored", text=data.decode("latin-1"))
            continue
        target = (host, reply_port(headers, port))
        peer.record("discovery_search", headers=headers, reply_to=list(target), text=data.decode("latin-1"))
        if not options.get("silent"):
            threading.Thread(target=_answer, args=(peer, bases, target), daemon=True).start()

"""Discovery responder: answers a SEARCH datagram with the base station's
NOTIFY text.

Options:
  "lines": [["Version", "1.0"], ["Identifier", "..."], ...]   NOTIFY lines, in order
  "first_line": text                                         default "NOTIFY Telvara_BaseStation"
  "line_end": text                                           default "\\r\\n"
  "silent": true                                             record SEARCHes, answer none

The answer goes to the sender's address, at the port the SEARCH names in its
"Port:" line when it has one, else to the port it came from.
"""

import threading

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
    end = options.get("line_end", "\r\n")
    text = options.get("first_line", NOTIFY) + end
    for name, value in options.get("lines", []):
        text += "%s: %s%s" % (name, value, end)
    return text.encode("latin-1")[:MAX_DATAGRAM]


def start(peer, options):
    threading.Thread(target=_serve, args=(peer, options), daemon=True).start()


def _serve(peer, options):
    while True:
        data, (host, port) = peer.udp.recvfrom(65535)
        headers = parse_search(data)
        if headers is None:
            peer.record("discovery_ignored", text=data.decode("latin-1"))
            continue
        target = (host, reply_port(headers, port))
        peer.record("discovery_search", headers=headers, reply_to=list(target))
        if not options.get("silent"):
            peer.udp.sendto(build_notify(options), target)

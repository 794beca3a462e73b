"""Scripted answers: what a resource does with its next requests.

A resource takes one entry from its list for every request it receives and
answers on its own ("auto") once the list is used up. The entries ("do":
auto, reply, raw, oversized, endless_chunks, silence, close; "close": true to
close after the answer) are described in README.md.
"""

import threading

ACTIONS = ("auto", "reply", "raw", "oversized", "endless_chunks", "silence", "close")
ENDLESS_LIMIT = 1 << 20


def _validate(entry):
    action = entry.get("do")
    if action not in ACTIONS:
        raise ValueError("answer %r: \"do\" must be one of %s" % (entry, ", ".join(ACTIONS)))
    if action == "reply" and not isinstance(entry.get("status"), int):
        raise ValueError("answer %r needs an integer status" % entry)
    if action == "raw" and not isinstance(entry.get("text", entry.get("hex")), str):
        raise ValueError("answer %r needs text or hex" % entry)
    if action == "oversized" and not isinstance(entry.get("size"), int):
        raise ValueError("answer %r needs an integer size" % entry)
    return entry


class Answers:
    def __init__(self, entries):
        self._entries = [_validate(e) for e in entries or []]
        self._lock = threading.Lock()

    def next(self):
        with self._lock:
            return self._entries.pop(0) if self._entries else {"do": "auto"}


def perform(entry, conn, resource, challenge):
    """Carry out a scripted entry; False for "auto" (the resource answers itself).

    challenge(conn) issues a challenge the way the resource does, so a scripted
    401 is as usable to the player as the resource's own.
    """
    action = entry["do"]
    if action == "auto":
        return False
    conn.record("answer", conn=conn.id, resource=resource, scripted=entry)
    if action == "reply":
        status = entry["status"]
        headers = [tuple(h) for h in entry.get("headers", [])]
        if status == 401 and entry.get("challenge", True):
            headers.insert(0, ("WWW-Authenticate", challenge(conn)))
        conn.reply(status, entry.get("reason", "Status"), headers,
                   entry.get("body", "").encode("latin-1"))
    elif action == "raw":
        text = entry.get("text")
        conn.send(text.encode("latin-1") if text is not None else bytes.fromhex(entry["hex"]))
    elif action == "oversized":
        start = b"HTTP/1.1 200 OK\r\nX-Filler: "
        end = b"\r\n\r\n"
        conn.send(start + b"x" * max(0, entry["size"] - len(start) - len(end)) + end)
    elif action == "endless_chunks":
        conn.sock.settimeout(10)  # a player that stops reading without closing
        conn.send(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n")
        chunks = (b"10\r\n" + b"0123456789abcdef" + b"\r\n") * 256
        try:
            for _ in range(ENDLESS_LIMIT // len(chunks)):
                conn.send(chunks)
        except OSError:
            pass
        conn.closing = True
    elif action == "silence":
        conn.drain()
    elif action == "close":
        conn.closing = True
    if entry.get("close"):
        conn.closing = True
    return True

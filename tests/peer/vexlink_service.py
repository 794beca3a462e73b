"""The base station's end of the internet link (the Vexlink framing).

Claims the TCP connections that begin with "VXLK" on the peer's one port; every
other connection still goes to the HTTP service. The framing is defined in
outside/vexlink/include/vexlink/vexlink.h: an 8-byte hello each way, then
frames of a big-endian uint16 length N (16..1040) and N bytes, each one control
message (a 16-byte header: group name, 8 bytes NUL-padded; type and payload
length, int32 little-endian; then the payload).

Options:
  "answer":   "accept" (default), "refuse", "silent" (reads the hello, says
              nothing), "garbage" (an HTTP answer), "close" (closes at once)
  "status":   the refusal status for "refuse"
  "echo":     true: every frame received goes back as it came
  "inject":   frames to send once accepted: {"hex": "..."} raw bytes, sent as
              they are (well-formed or not)
  "close_after_inject": true: the connection is closed once the injected
              bytes are out (a frame cut there ends mid-frame)
  "replies":  {"<group>": [{"hex": "..."}, ...]}: control messages sent back,
              each framed, for every message of that group
  "split":    true: what goes out is written a byte at a time; otherwise every
              batch of frames is written as one piece (coalesced)

Every hello and frame received goes into the record ("vexlink_hello",
"vexlink_frame", "vexlink_protocol_error", "vexlink_closed"). The answers to a
message come from a dispatch table by group name: the services of the message
groups plug their responders in through add_responder(group, function(peer,
message) -> [messages]); a scenario's "replies" serve the groups that have none. Other services reach the same
table through respond(), and send messages of their own to the player over
every accepted connection with send_to_player().
"""

import socket
import struct
import threading
import time

MAGIC = b"VXLK"
VERSION = 1
MIN_FRAME = 16
MAX_FRAME = 1040

_responders = {}
_open = []  # (connection, write lock, options) of every accepted link
_open_lock = threading.Lock()


def add_responder(group, responder):
    """responder(peer, message) returns the control messages (bytes) to send
    back, each of which goes out as one frame."""
    _responders[group] = responder


def _responder_of(group, options):
    responder = _responders.get(group)
    if responder is not None:
        return responder
    canned = options.get("replies", {}).get(group)
    if canned is None:
        return None
    messages = [bytes.fromhex(item["hex"]) for item in canned]
    return lambda peer, message: messages


def respond(peer, message, options):
    """The control messages the base answers `message` with."""
    responder = _responder_of(group_of(message), options)
    return list(responder(peer, message)) if responder is not None else []


def send_to_player(message):
    """Sends one control message, framed, on every accepted link; False when
    none is open."""
    with _open_lock:
        links = list(_open)
    for conn, lock, options in links:
        with lock:
            _send(conn, [frame(message)], options)
    return bool(links)


def start(peer, options):
    peer.add_stream_protocol(MAGIC, lambda conn, addr: _serve(peer, options, conn))


def _read_exact(conn, size):
    data = b""
    while len(data) < size:
        piece = conn.recv(size - len(data))
        if not piece:
            return None
        data += piece
    return data


def _send(conn, frames, options):
    data = b"".join(frames)
    if options.get("split"):
        conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        for i in range(len(data)):
            conn.sendall(data[i:i + 1])
            time.sleep(0.0005)
    else:
        conn.sendall(data)


def frame(message):
    return struct.pack(">H", len(message)) + message


def group_of(message):
    return message[:8].rstrip(b"\0").decode("latin-1")


def _serve(peer, options, conn):
    hello = _read_exact(conn, 8)
    if hello is None:
        peer.record("vexlink_hello_cut")
        return
    version, flags = struct.unpack(">HH", hello[4:])
    peer.record("vexlink_hello", version=version, flags=flags)
    answer = options.get("answer", "accept")
    if answer == "close":
        return
    if answer == "silent":
        while conn.recv(4096):
            pass
        return
    if answer == "garbage":
        conn.sendall(b"HTTP/1.1 400 Bad Request\r\n\r\n")
        return
    status = options.get("status", 0) if answer == "refuse" else 0
    if status:
        conn.sendall(MAGIC + struct.pack(">HH", VERSION, status))
        return
    # Open for send_to_player before the player learns that it is accepted.
    lock = threading.Lock()
    entry = (conn, lock, options)
    with _open_lock:
        _open.append(entry)
    try:
        with lock:
            conn.sendall(MAGIC + struct.pack(">HH", VERSION, status))
            injected = [bytes.fromhex(item["hex"]) for item in options.get("inject", [])]
            if injected:
                _send(conn, injected, options)
        if options.get("close_after_inject"):
            peer.record("vexlink_closed_by_peer")
            return
        _relay(peer, options, conn, lock)
    finally:
        with _open_lock:
            _open.remove(entry)


def _relay(peer, options, conn, lock):
    while True:
        size = _read_exact(conn, 2)
        if size is None:
            peer.record("vexlink_closed")
            return
        (length,) = struct.unpack(">H", size)
        if length < MIN_FRAME or length > MAX_FRAME:
            peer.record("vexlink_protocol_error", length=length)
            return
        message = _read_exact(conn, length)
        if message is None:
            peer.record("vexlink_closed")
            return
        group = group_of(message)
        peer.record("vexlink_frame", group=group, length=length, hex=message.hex())
        replies = []
        if options.get("echo"):
            replies.append(frame(message))
        replies.extend(frame(reply) for reply in respond(peer, message, options))
        if replies:
            with lock:
                _send(conn, replies, options)

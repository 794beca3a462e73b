"""The base station's end of the stream session: the group "RAVIX" on either
road (it plugs into the Vexlink service's dispatch table, which the UDP side
of hnet_service shares).

The player's "ALIVE" (type 1, 44 bytes: rate, 2, 3, "ALIVE" NUL-padded to 32)
is answered with type 1 {rate of the base}; every message is recorded.

Options (also changed by the command {"do": "ravix_set", ...}):
  "rate":        the base's rate in the answers (default 500)
  "silent":      true: no answers
  "kill_after":  the n-th ALIVE (counted from 1) is answered with a kill
                 (type 2) instead; 0 or absent: never

Record: "ravix_alive" {n, rate, words, text, time} for a well-formed ALIVE
(time: the peer's monotonic clock in seconds), "ravix_other" {type, length,
hex} for anything else, "ravix_kill" {n} when a kill goes out.
"""

import struct
import threading
import time

import vexlink_service
from hnet_service import header_of

HEADER = b"RAVIX\0\0\0"
ALIVE_SIZE = 44


def message(kind, payload):
    return HEADER + struct.pack("<ii", kind, len(payload)) + payload


def start(peer, options):
    state = {"rate": options.get("rate", 500), "silent": options.get("silent", False),
             "kill_after": options.get("kill_after", 0), "count": 0}
    lock = threading.Lock()

    def change(command):
        with lock:
            for key in ("rate", "silent", "kill_after"):
                if key in command:
                    state[key] = command[key]

    peer.add_command("ravix_set", change)
    vexlink_service.add_responder("RAVIX", lambda p, m: _answer(p, m, state, lock))


def _answer(peer, data, state, lock):
    _, kind, length = header_of(data)
    payload = data[16:]
    if kind != 1 or length != ALIVE_SIZE or len(payload) != ALIVE_SIZE:
        peer.record("ravix_other", type=kind, length=length, hex=data.hex())
        return []
    rate, word2, word3 = struct.unpack("<iii", payload[:12])
    text = payload[12:]
    with lock:
        state["count"] += 1
        n = state["count"]
        silent, kill_after, base_rate = state["silent"], state["kill_after"], state["rate"]
    peer.record("ravix_alive", n=n, rate=rate, words=[word2, word3], text=text.hex(), time=time.monotonic())
    if kill_after and n == kill_after:
        peer.record("ravix_kill", n=n)
        return [message(2, b"")]
    if silent:
        return []
    return [message(1, struct.pack("<i", base_rate))]

"""The base station's network manager: answers the player's "ANET" messages
on either road (it plugs into the Vexlink service's dispatch table, which the
UDP side of hnet_service shares).

Answers (payload words little-endian int32):
  command 100 -> event 300, command 101 -> event 301
  configuration 200 {cfgType, size, 0} -> 220 {cfgType, size, checksum, data}
  configuration 201 {cfgType, size, checksum, data} -> 221 {cfgType, size, checksum}
  query 400 or 401 -> 450 {checksum, 16 data bytes}
The checksum is the sum of the data bytes taken as signed bytes. The player's
events (303, 305, 307) and its answers to the base's events (304, 306, 308)
are only recorded.

Options:
  "config":          {"<cfgType>": "hex"} data of 220 answers (default zero bytes of the size asked)
  "status":          hex of the 16 bytes of 450 answers (default 16 bytes 0x01..0x10)
  "silent":          list of codes left unanswered
  "wrong_checksum":  true: answers carry checksum + 1
  "wrong_cfg_type":  cfgType put in 220 answers
  "wrong_size":      size put in 220 answers (the data keeps its length)
  "delay_ms":        wait before answering

Record: "anet" {kind, code, words, length} for every message of the player.
"""

import struct
import time

import vexlink_service
from hnet_service import header_of

HEADER = b"ANET\0\0\0\0"


def checksum(data):
    return sum(b - 256 if b > 127 else b for b in data)


def message(kind, payload):
    return HEADER + struct.pack("<ii", kind, len(payload)) + payload


def start(peer, options):
    vexlink_service.add_responder("ANET", lambda p, m: _answer(p, m, options))


def _words(payload, count):
    have = min(count, len(payload) // 4)
    return list(struct.unpack("<%di" % have, payload[:4 * have]))


def _answer(peer, data, options):
    _, kind, length = header_of(data)
    payload = data[16:16 + max(length, 0)]
    words = _words(payload, 4)
    code = words[0] if words else None
    peer.record("anet", kind=kind, code=code, words=words, length=length)
    if code is None or code in options.get("silent", []):
        return []
    if options.get("delay_ms"):
        time.sleep(options["delay_ms"] / 1000.0)
    bias = 1 if options.get("wrong_checksum") else 0
    if kind == 0 and code in (100, 101):
        return [message(1, struct.pack("<iii", code + 200, 0, 0))]
    if kind == 2 and code == 200 and len(words) >= 3:
        cfg_type, size = words[1], words[2]
        body = bytes.fromhex(options.get("config", {}).get(str(cfg_type), "")) or bytes(max(size, 0))
        cfg_type = options.get("wrong_cfg_type", cfg_type)
        size = options.get("wrong_size", len(body))
        return [message(2, struct.pack("<iiii", 220, cfg_type, size, checksum(body) + bias) + body)]
    if kind == 2 and code == 201 and len(words) >= 4:
        return [message(2, struct.pack("<iiii", 221, words[1], words[2], words[3]))]
    if kind == 3 and code in (400, 401):
        body = bytes.fromhex(options.get("status", bytes(range(1, 17)).hex()))
        return [message(3, struct.pack("<ii", 450, checksum(body) + bias) + body)]
    return []

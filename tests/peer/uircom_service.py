"""The base station's remote commander: the group "UiRcom" on either road (it
plugs into the Vexlink service's dispatch table, which the UDP side of
hnet_service shares).

Frames: kind, data length (big-endian 16 bits), header check (sum of the
first three bytes mod 256), the data (1..275 bytes) and, for kind 1, the sum
of the data bytes mod 256. Code
blocks (data of 9 or 260 bytes whose first byte is 1 or 6): command kind,
press phase, code length (little-endian 16 bits), the code.

Answers (frames of kind 1):
  {51, mode}  -> {151, learn_result, mode}
  {52, mode}  -> {152, capture_result, mode}; after a good capture start,
                 the "learned" answer follows when one is set
  {54, ...}   -> {154, config_status}
  {53} and codes are only recorded.

Options (also changed by the command {"do": "uircom_set", ...}):
  "learn_result", "capture_result", "config_status": default 0
  "silent":   true: no answers
  "learned":  {"code": hex, "error": n, "length": n}: answer 153 {153, error,
              0, kind, phase, length low, length high, code}; "length"
              overrides the length field (default the code's length)

Commands:
  {"do": "uircom_learned", "code": hex, "error": n, "length": n}: sends that
      answer 153 now, on every open link
  {"do": "uircom_seal", "hex": h}: seals the bytes (message variant, the
      remote-code key) and records "uircom_sealed" {plain, sealed}
  {"do": "uircom_open", "hex": h}: records "uircom_opened" {hex} or
      "uircom_open_failed"

Record: "uircom_frame" {kind, size (the length field), ok, problem, data}, "uircom_code" {kind,
phase, length, code, time}, "uircom_release" {time}, "uircom_learning" {id,
mode}, "uircom_config" {size, data}.
"""

import struct
import threading
import time

import seal
import vexlink_service
from hnet_service import header_of

HEADER = b"UiRcom\0\0"
KEY_TEXT = b"BrandolQuist"


def frame(data):
    head = bytes([1, len(data) >> 8, len(data) & 0xFF])
    return head + bytes([sum(head) & 0xFF]) + data + bytes([sum(data) & 0xFF])


def message(data):
    body = frame(data)
    return HEADER + struct.pack("<ii", 0, len(body)) + body


def learned(entry):
    code = bytes.fromhex(entry.get("code", ""))
    length = entry.get("length", len(code))
    data = bytes([153, entry.get("error", 0) & 0xFF, 0, 1, 1, length & 0xFF, (length >> 8) & 0xFF]) + code
    return message(data)


def parse(payload):
    """(kind, size, data, problem) of a frame; problem is None when good."""
    if len(payload) < 5:
        return None, None, b"", "short"
    kind, high, low, check = payload[:4]
    count = size = high << 8 | low
    if (kind + high + low) & 0xFF != check:
        return kind, size, b"", "header check"
    footer = kind == 1
    if count + (5 if footer else 4) != len(payload) or count < 1 or count > 275:
        return kind, size, b"", "length"
    data = payload[4:4 + count]
    if footer and sum(data) & 0xFF != payload[4 + count]:
        return kind, size, data, "footer"
    return kind, size, data, None


def start(peer, options):
    state = {"learn_result": options.get("learn_result", 0), "capture_result": options.get("capture_result", 0),
             "config_status": options.get("config_status", 0), "silent": options.get("silent", False),
             "learned": options.get("learned")}
    lock = threading.Lock()

    def change(command):
        with lock:
            for key in ("learn_result", "capture_result", "config_status", "silent", "learned"):
                if key in command:
                    state[key] = command[key]

    def send_learned(command):
        if not vexlink_service.send_to_player(learned(command)):
            raise OSError("no link is open")

    def seal_bytes(command):
        plain = bytes.fromhex(command["hex"])
        peer.record("uircom_sealed", plain=plain.hex(), sealed=seal.seal(plain, KEY_TEXT, "message").hex())

    def open_bytes(command):
        try:
            plain = seal.open_sealed(bytes.fromhex(command["hex"]), KEY_TEXT, "message")
            peer.record("uircom_opened", hex=plain.hex())
        except seal.OpenError as error:
            peer.record("uircom_open_failed", reason=str(error))

    peer.add_command("uircom_set", change)
    peer.add_command("uircom_learned", send_learned)
    peer.add_command("uircom_seal", seal_bytes)
    peer.add_command("uircom_open", open_bytes)
    vexlink_service.add_responder("UiRcom", lambda p, m: _answer(p, m, state, lock))


def _answer(peer, data, state, lock):
    _, _, length = header_of(data)
    kind, size, body, problem = parse(data[16:16 + max(length, 0)])
    peer.record("uircom_frame", kind=kind, size=size, ok=problem is None, problem=problem, data=body.hex())
    if problem is not None:
        return []
    now = time.monotonic()
    if body[0] in (1, 6) and len(body) in (9, 260):
        count = body[2] | body[3] << 8
        peer.record("uircom_code", kind=body[0], phase=body[1], length=count, code=body[4:4 + count].hex(), time=now)
        return []
    if body == b"\x02":
        peer.record("uircom_release", time=now)
        return []
    with lock:
        current = dict(state)
    if body[0] in (51, 52) and len(body) == 2:
        peer.record("uircom_learning", id=body[0], mode=body[1])
        if current["silent"]:
            return []
        if body[0] == 51:
            return [message(bytes([151, current["learn_result"] & 0xFF, body[1]]))]
        answers = [message(bytes([152, current["capture_result"] & 0xFF, body[1]]))]
        if body[1] == 0 and current["capture_result"] == 0 and current["learned"]:
            answers.append(learned(current["learned"]))
        return answers
    if body[0] == 54:
        peer.record("uircom_config", size=len(body), data=body.hex())
        return [] if current["silent"] else [message(bytes([154, current["config_status"] & 0xFF]))]
    peer.record("uircom_learning", id=body[0], mode=None)
    return []

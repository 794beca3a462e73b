"""The base station's TV manager: the group "TV" on either road (it plugs
into the Vexlink service's dispatch table, which the UDP side of
hnet_service shares).

Every request record of the player (type 0, 48 bytes: twelve int32 words,
word 0 the action, word 6 the status) is recorded and answered with the same
record, type 1, its word 6 set to a status. Action 22 (video input) carries
the input in word 1 of the answer. The player's AV-state reports (type 2)
are only recorded.

Options (also changed by the command {"do": "tv_set", ...}):
  "status":       the status of the answers (default 100)
  "script":       answers for the next requests, one entry each, used up in
                  order: {"status": n, "delay_ms": n, "input": n} or
                  {"do": "silence"}
  "video_input":  the input of action-22 answers (default 1)
  "silent":       true: no answers
  "result":       {"band": n, "checksum": n, "words": [5 ints], "status": n}:
                  the answer to action 15 (auto-preset result) carries these
                  in words 2, 3, 4, 5, 7, 8, 9 and 6

Record: "tv_record" {type, length, words} for every message of the player;
"tv_answer" {words} for every answer.
"""

import struct
import threading
import time

import vexlink_service
from hnet_service import header_of

HEADER = b"TV\0\0\0\0\0\0"
RECORD_SIZE = 48


def message(kind, words):
    return HEADER + struct.pack("<ii", kind, len(words) * 4) + struct.pack("<%di" % len(words), *words)


def start(peer, options):
    state = {"status": options.get("status", 100), "script": list(options.get("script", [])),
             "video_input": options.get("video_input", 1), "silent": options.get("silent", False),
             "result": options.get("result")}
    lock = threading.Lock()

    def change(command):
        with lock:
            for key in ("status", "video_input", "silent", "result"):
                if key in command:
                    state[key] = command[key]
            if "script" in command:
                state["script"] = list(command["script"])

    peer.add_command("tv_set", change)
    vexlink_service.add_responder("TV", lambda p, m: _answer(p, m, state, lock))


def _answer(peer, data, state, lock):
    _, kind, length = header_of(data)
    payload = data[16:]
    count = len(payload) // 4
    words = list(struct.unpack("<%di" % count, payload[:count * 4]))
    peer.record("tv_record", type=kind, length=length, words=words)
    if kind != 0 or length != RECORD_SIZE or len(payload) != RECORD_SIZE:
        return []
    with lock:
        entry = state["script"].pop(0) if state["script"] else {}
        silent, status = state["silent"], state["status"]
        video_input, result = state["video_input"], state["result"]
    if entry.get("do") == "silence" or (silent and not entry):
        return []
    if entry.get("delay_ms"):
        time.sleep(entry["delay_ms"] / 1000.0)
    answer = list(words)
    answer[6] = entry.get("status", status)
    if words[0] == 22:
        answer[1] = entry.get("input", video_input)
    if words[0] == 15 and result:
        answer[2] = result.get("band", answer[2])
        answer[3] = result["checksum"]
        answer[4], answer[5], answer[7], answer[8], answer[9] = result["words"]
        answer[6] = result.get("status", answer[6])
    peer.record("tv_answer", words=answer)
    return [message(1, answer)]

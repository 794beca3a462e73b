"""The base station's end of the keep-alive channel, on UDP.

Options:
  "address":     the base's address (default 127.0.0.2)
  "port":        the base's keep-alive port, where the player's polls arrive
  "player":      the player's address (default 127.0.0.1)
  "player_port": the player's keep-alive server port
  "flags":       the flags byte of the answers (default 0x1a: link up, quality 5)
  "error":       the send-error byte of the answers (default 0)
  "silent":      true: no answers

Answers: poll (0, 8) -> 1 {flags, error}; the player's type 7 -> 7 {flags,
error} (answered like a poll); WADDR (2) -> 3 with the same 8 bytes; EADDR
(4) -> 5 with the same 4 bytes; DOWN (6) nothing. Every message is recorded
("kach" {type, length, hex}).

Commands:
  {"do": "kach_set", "flags": n, "error": n, "silent": bool}   changes the answers
  {"do": "kach_send", "type": n, "hex": "payload"}             sends a request from a
      socket of its own on the base's address to the player's server; the
      answer is recorded ("kach_answer" {type, length, hex})
"""

import socket
import struct
import threading

HEADER = b"KACH\0\0\0\0"
ANSWERS = {0: 1, 8: 1, 7: 7, 2: 3, 4: 5}


def message(kind, payload=b""):
    return HEADER + struct.pack("<ii", kind, len(payload)) + payload


def start(peer, options):
    state = {"flags": options.get("flags", 0x1A), "error": options.get("error", 0),
             "silent": options.get("silent", False)}
    address = options.get("address", "127.0.0.2")
    player = (options.get("player", "127.0.0.1"), options.get("player_port", 0))
    server = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    server.bind((address, options["port"]))
    client = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    client.bind((address, 0))
    threading.Thread(target=_serve, args=(peer, state, server), daemon=True).start()
    threading.Thread(target=_answers, args=(peer, client), daemon=True).start()

    def change(command):
        for key in ("flags", "error", "silent"):
            if key in command:
                state[key] = command[key]

    def send(command):
        client.sendto(message(command["type"], bytes.fromhex(command.get("hex", ""))), player)

    peer.add_command("kach_set", change)
    peer.add_command("kach_send", send)


def _parse(data):
    if len(data) < 16:
        return None, None, b""
    kind, length = struct.unpack("<ii", data[8:16])
    return kind, length, data[16:]


def _serve(peer, state, server):
    while True:
        data, source = server.recvfrom(2048)
        kind, length, payload = _parse(data)
        peer.record("kach", type=kind, length=length, hex=data.hex())
        if kind not in ANSWERS or state["silent"]:
            continue
        answer = ANSWERS[kind]
        if answer in (1, 7):
            body = bytes([state["flags"] & 0xFF, state["error"] & 0xFF])
        else:
            body = payload[:8 if kind == 2 else 4]
        server.sendto(message(answer, body), source)


def _answers(peer, client):
    while True:
        data, _ = client.recvfrom(2048)
        kind, length, _ = _parse(data)
        peer.record("kach_answer", type=kind, length=length, hex=data.hex())

"""The base station's side of the control messages on the local network, and
the injection of messages to the player over either road.

Options:
  "address":     the base's address for the UDP side (default 127.0.0.2)
  "port":        the base's control-datagram port; without it there is no UDP side
  "player":      the player's address (default 127.0.0.1)
  "player_port": the player's control-datagram receive port
  "replies":     canned answers by group, as the Vexlink service takes them

Every datagram that reaches the UDP side is recorded ("hnet_datagram": source,
group, type, length, hex) and answered, like a link frame, through the
Vexlink service's dispatch table by group name; answers go to the player's
receive port.

Command {"do": "send", "via": "udp" | "link", "hex": "...", "from": address}:
sends the bytes as they stand (well-formed or not) to the player, as one
datagram (from the UDP side, or from a socket of its own bound to "from") or
as one frame on every open link.
"""

import socket
import struct
import threading

import vexlink_service

MAX_DATAGRAM = 65535


def header_of(message):
    """(group, type, length) of a control message of at least 16 bytes."""
    group = message[:8].split(b"\0", 1)[0].decode("latin-1")
    message_type, length = struct.unpack("<ii", message[8:16])
    return group, message_type, length


def start(peer, options):
    address = options.get("address", "127.0.0.2")
    player = (options.get("player", "127.0.0.1"), options.get("player_port", 0))
    udp = None
    if options.get("port"):
        udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        udp.bind((address, options["port"]))
        threading.Thread(target=_serve, args=(peer, options, udp, player), daemon=True).start()

    def send(command):
        data = bytes.fromhex(command["hex"])
        if command.get("via") == "link":
            if not vexlink_service.send_to_player(data):
                raise OSError("no link is open")
            return
        source = command.get("from")
        if source is None:
            if udp is None:
                raise OSError("no UDP side")
            udp.sendto(data, player)
            return
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as other:
            other.bind((source, 0))
            other.sendto(data, player)

    peer.add_command("send", send)


def _serve(peer, options, udp, player):
    while True:
        data, source = udp.recvfrom(MAX_DATAGRAM)
        if len(data) < 16:
            peer.record("hnet_datagram", source=list(source), length=len(data), hex=data.hex())
            continue
        group, message_type, length = header_of(data)
        peer.record("hnet_datagram", source=list(source), group=group, type=message_type, length=length,
                    hex=data.hex())
        for reply in vexlink_service.respond(peer, data, options):
            udp.sendto(reply, player)

#!/usr/bin/python3
"""Seal and open the player's sealed payloads, as the base station does.

Two variants share one layout: a 4-byte prefix, then a 16-byte header
(8 random bytes R, the payload length, two zero bytes, the first 4 bytes of
MD5(payload)) and the payload XOR-ed with R, padded to whole 16-byte blocks
and run through a keyed byte transform.

  packet   prefix of the caller's choice (FF FF FF FF by default) and checked
           on open; length high byte first; random padding; key = MD5(key
           text) with every byte from the digest's first zero byte on set to 0;
           a length above the data is refused.
  message  prefix FF FF FF FF, not checked on open; length low byte first;
           zero padding; key = MD5(key text); a length above the data is cut
           to the data present.

The keyed transform, per 16-byte block at offset `off`, byte i (a = off + i):
mask = MD5(plain bytes 0..i-1 of the block + key[(a + a//17 + a//277) % 16])[0].

Also the easy-registration record: its text, sealed as a packet under the
key text "KTqrwpsVNB" and the prefix 11 11 92 4F.

Command line (hex in and out; exit status 1 when a payload does not open):
  seal.py seal --variant packet|message --key TEXT [--prefix HEX] [--r HEX]
               [--padding HEX] PAYLOAD_HEX
  seal.py open --variant packet|message --key TEXT [--prefix HEX] SEALED_HEX
  seal.py erd-seal [--r HEX] [--padding HEX] DOMAIN PORT PASSWORD MODEL SOFTVER ID
  seal.py erd-open SEALED_HEX     prints domain=, port=, password=, model=,
                                  softver=, id= lines
"""

import argparse
import hashlib
import os
import sys

BLOCK = 16
HEADER = 16
MAX_PAYLOAD = 65535
MESSAGE_PREFIX = b"\xff\xff\xff\xff"

ERD_KEY_TEXT = b"KTqrwpsVNB"
ERD_PREFIX = bytes([0x11, 0x11, 0x92, 0x4F])
# (label, field name, longest value); PORT is a number.
ERD_FIELDS = [
    ("DOMAIN:", "domain", 51),
    ("PORT:", "port", None),
    ("PASSWORD:", "password", 63),
    ("MODEL:", "model", 23),
    ("SOFTVER:", "softver", 7),
    ("ID:", "id", 31),
]


class OpenError(Exception):
    pass


def key_index(a, length):
    return (a + a // 17 + a // 277) % length


def md5(data):
    return hashlib.md5(data).digest()


def packet_key(key_text):
    digest = md5(key_text)
    cut = digest.find(b"\x00")
    if cut < 0:
        return digest
    return digest[:cut] + bytes(BLOCK - cut)


def message_key(key_text):
    return md5(key_text)


def transform(data, key, inverse):
    out = bytearray(len(data))
    for block in range(0, len(data), BLOCK):
        plain = bytearray()
        for i in range(min(BLOCK, len(data) - block)):
            a = block + i
            mask = md5(bytes(plain) + bytes([key[key_index(a, len(key))]]))[0]
            out[a] = data[a] ^ mask
            plain.append(out[a] if inverse else data[a])
    return bytes(out)


def xor_mask(data, r):
    return bytes(b ^ r[key_index(i, len(r))] for i, b in enumerate(data))


def padding_length(length):
    return (BLOCK - length % BLOCK) % BLOCK


def header(r, length, high_first, digest):
    hi, lo = length >> 8, length & 0xFF
    order = [hi, lo] if high_first else [lo, hi]
    return bytes(r) + bytes(order) + b"\x00\x00" + digest[:4]


def seal(payload, key_text, variant, prefix=None, r=None, padding=None):
    """Seals payload bytes; r and padding fix what is otherwise random."""
    if len(payload) > MAX_PAYLOAD:
        raise ValueError("payload longer than 65535 bytes")
    r = os.urandom(8) if r is None else bytes(r)
    if len(r) != 8:
        raise ValueError("R must be 8 bytes")
    packet = variant == "packet"
    body = header(r, len(payload), packet, md5(payload)) + xor_mask(payload, r)
    pad = padding_length(len(payload))
    if packet:
        if not key_text:
            raise ValueError("a packet needs a key text")
        fill = os.urandom(pad) if padding is None else bytes(padding)
        if len(fill) != pad:
            raise ValueError("padding must be %d bytes" % pad)
        key = packet_key(key_text)
        lead = MESSAGE_PREFIX if prefix is None else bytes(prefix)
    else:
        fill = bytes(pad)
        key = message_key(key_text)
        lead = MESSAGE_PREFIX
    return lead + transform(body + fill, key, False)


def open_sealed(data, key_text, variant, prefix=None):
    """Returns the payload of sealed bytes; raises OpenError."""
    if len(data) < 4 + HEADER:
        raise OpenError("too short")
    if variant == "packet":
        if (len(data) - 4) % BLOCK or len(data) > 4 + HEADER + MAX_PAYLOAD + padding_length(MAX_PAYLOAD):
            raise OpenError("not whole blocks")
        if data[:4] != (MESSAGE_PREFIX if prefix is None else bytes(prefix)):
            raise OpenError("prefix differs")
        if not key_text:
            raise OpenError("no key text")
        body = transform(data[4:], packet_key(key_text), True)
        length = (body[8] << 8) | body[9]
        if length > len(body) - HEADER:
            raise OpenError("length above the data")
    else:
        present = len(data) - 4
        padded = data[4:] + bytes(padding_length(present))
        body = transform(padded, message_key(key_text), True)[:present]
        length = min(body[8] | (body[9] << 8), present - HEADER)
    payload = xor_mask(body[HEADER:HEADER + length], body[:8])
    if md5(payload)[:4] != body[12:16]:
        raise OpenError("digest differs")
    return payload


def erd_text(record):
    """The record text of a dict with the ERD_FIELDS names (port an int)."""
    return ("DOMAIN:%s\r\nPORT:%d\r\nPASSWORD:%s\r\nMODEL:%s\r\nSOFTVER:%s\r\nID:%s\r\n" % (
        record["domain"], record["port"], record["password"], record["model"],
        record["softver"], record["id"])).encode("latin-1")


def erd_buffer(record):
    """The record text, its NUL and zeros up to the size estimate."""
    text = erd_text(record)
    estimate = sum(len(record[name].encode("latin-1"))
                   for _, name, limit in ERD_FIELDS if limit is not None) + 56
    if len(text) + 1 > estimate:
        raise ValueError("record does not fit its size estimate")
    return text + bytes(estimate - len(text))


def erd_parse(text):
    """Parses an opened record text (up to its NUL); raises OpenError."""
    text = text.split(b"\x00", 1)[0]
    record = {name: "" for _, name, _ in ERD_FIELDS}
    record["port"] = 0
    pos = 0
    while pos < len(text):
        end = text.find(b"\r", pos)
        if end < 0 or text[end + 1:end + 2] != b"\n":
            raise OpenError("line without CR LF")
        line = text[pos:end]
        if b"\n" in line:
            raise OpenError("line feed inside a line")
        for label, name, limit in ERD_FIELDS:
            if line.startswith(label.encode()):
                value = line[len(label):]
                if limit is None:
                    if value and not value.isdigit():
                        raise OpenError("port is not a number")
                    number = int(value) if value else 0
                    if number > 0x7FFFFFFF:
                        raise OpenError("port out of range")
                    record[name] = number
                else:
                    if len(value) > limit:
                        raise OpenError("%s too long" % name)
                    record[name] = value.decode("latin-1")
                break
        else:
            raise OpenError("unknown label")
        pos = end + 2
    return record


def erd_seal(record, r=None, padding=None):
    return seal(erd_buffer(record), ERD_KEY_TEXT, "packet", ERD_PREFIX, r, padding)


def erd_open(data):
    return erd_parse(open_sealed(data, ERD_KEY_TEXT, "packet", ERD_PREFIX))


def main(argv):
    parser = argparse.ArgumentParser(description="Seal and open sealed payloads.")
    commands = parser.add_subparsers(dest="command", required=True)
    for name in ("seal", "open"):
        command = commands.add_parser(name)
        command.add_argument("--variant", choices=("packet", "message"), required=True)
        command.add_argument("--key", required=True, help="key text")
        command.add_argument("--prefix", type=bytes.fromhex, help="packet prefix, 4 bytes hex")
        if name == "seal":
            command.add_argument("--r", type=bytes.fromhex, help="fixed R, 8 bytes hex")
            command.add_argument("--padding", type=bytes.fromhex, help="fixed packet padding, hex")
        command.add_argument("data", help="hex")
    erd = commands.add_parser("erd-seal")
    erd.add_argument("--r", type=bytes.fromhex)
    erd.add_argument("--padding", type=bytes.fromhex)
    for _, name, _ in ERD_FIELDS:
        erd.add_argument(name, type=int if name == "port" else str)
    commands.add_parser("erd-open").add_argument("data", help="hex")
    args = parser.parse_args(argv)

    try:
        if args.command == "seal":
            key = args.key.encode("latin-1")
            print(seal(bytes.fromhex(args.data), key, args.variant, args.prefix, args.r,
                       args.padding).hex())
        elif args.command == "open":
            key = args.key.encode("latin-1")
            print(open_sealed(bytes.fromhex(args.data), key, args.variant, args.prefix).hex())
        elif args.command == "erd-seal":
            record = {name: getattr(args, name) for _, name, _ in ERD_FIELDS}
            print(erd_seal(record, args.r, args.padding).hex())
        else:
            record = erd_open(bytes.fromhex(args.data))
            for _, name, _ in ERD_FIELDS:
                print("%s=%s" % (name, record[name]))
    except (OpenError, ValueError) as error:
        print("seal.py: %s" % error, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

#!/usr/bin/env python3
"""An independent model of the region data tables' scramble and packing, for tests.

The scramble substitutes each Base64 character. Tables: the standard order
(digits, A-Z, a-z, '+', '/'); the format's alphabet mapped to standard
positions; both shuffled by a 32-bit LCG (for n in 0..63: state = state * mul
+ inc; r = bits 11..16 of state; swap entries n and r); inverse[mapped[i]] = i.
Descrambling a character at standard position p gives the standard character
at (inverse[p] - offset) mod 64; then value = ((plain + value + add) * mul16)
mod 65536 and offset = (offset + value >> 8) mod 64. The running value starts
at the table's byte length, the offset at 0; other bytes pass untouched.

The format's constants are read from the one header that fixes them.

  scramble_twin.py scramble <file>     each line of the file: hex bytes; prints
  scramble_twin.py descramble <file>   the result of each line as hex
  scramble_twin.py pack [--plain] <utf-8 source> <table>
"""

import base64
import os
import re
import sys

HEADER = os.path.join(os.path.dirname(os.path.abspath(__file__)),
                      "..", "..", "src", "remote", "data", "rcn_format.h")
STANDARD = b"0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz+/"


def read_constants():
    with open(HEADER, encoding="utf-8") as f:
        text = f.read()

    def value(name):
        match = re.search(name + r'(?:\[\])?\s*=\s*([^;]+);', text)
        raw = match.group(1).strip()
        return raw.strip('"').encode() if raw.startswith('"') else int(raw, 0)

    return {name: value(name) for name in (
        "kRcnAlphabet", "kRcnShuffleSeed", "kRcnShuffleMultiplier", "kRcnShuffleIncrement",
        "kRcnMixAdd", "kRcnMixMultiply")}


class Tables:
    def __init__(self):
        c = read_constants()
        self.add, self.mul16 = c["kRcnMixAdd"], c["kRcnMixMultiply"]
        mapped = [STANDARD.index(ch) for ch in c["kRcnAlphabet"]]
        assert len(mapped) == 64 and sorted(mapped) == list(range(64))
        state = c["kRcnShuffleSeed"]
        for n in range(64):
            state = (state * c["kRcnShuffleMultiplier"] + c["kRcnShuffleIncrement"]) & 0xFFFFFFFF
            r = (state >> 11) & 63
            mapped[n], mapped[r] = mapped[r], mapped[n]
        self.mapped = mapped
        self.inverse = [0] * 64
        for i, m in enumerate(mapped):
            self.inverse[m] = i

    def _run(self, data, forward):
        value, offset = len(data) & 0xFFFF, 0
        out = bytearray(data)
        for i, byte in enumerate(data):
            if byte not in STANDARD:
                continue
            p = STANDARD.index(byte)
            if forward:
                plain = byte
                out[i] = STANDARD[self.mapped[(p + offset) % 64]]
            else:
                plain = STANDARD[(self.inverse[p] - offset) % 64]
                out[i] = plain
            value = ((plain + value + self.add) * self.mul16) & 0xFFFF
            offset = (offset + (value >> 8)) % 64
        return bytes(out)

    def scramble(self, data):
        return self._run(data, True)

    def descramble(self, data):
        return self._run(data, False)


def pack(text, scrambled):
    if not text.endswith(("\n", "\r")):
        text += "\n"
    encoded = base64.b64encode(text.encode("utf-16-le"))
    lines = [encoded[i:i + 76] for i in range(0, len(encoded), 76)]
    table = b"".join(line + (b"\r\n" if len(line) == 76 else b"") for line in lines)
    return Tables().scramble(table) if scrambled else table


def main(argv):
    if len(argv) == 3 and argv[1] in ("scramble", "descramble"):
        tables = Tables()
        step = tables.scramble if argv[1] == "scramble" else tables.descramble
        with open(argv[2], encoding="ascii") as f:
            for line in f:
                print(step(bytes.fromhex(line.strip())).hex())
        return 0
    args = argv[1:]
    scrambled = not (args and args[0] == "--plain")
    if not scrambled:
        args = args[1:]
    if len(args) == 3 and args[0] == "pack":
        with open(args[1], encoding="utf-8", newline="") as f:
            text = f.read()
        with open(args[2], "wb") as f:
            f.write(pack(text, scrambled))
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))

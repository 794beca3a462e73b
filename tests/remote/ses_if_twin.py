#!/usr/bin/env python3
"""An independent model of the remote-code files' block cipher, for tests.

For each 16-byte block at offset o and each byte i of it (j = o + i), the
mask is the first byte of MD5(the block's plain bytes before i, then the key
byte at (j + j // 17 + j // 277) mod len(key)); the ciphertext byte is the
plain byte XOR that mask. The input is zero-padded to whole blocks.

  ses_if_twin.py encrypt <key text> <hex>   prints the ciphertext as hex
  ses_if_twin.py decrypt <key text> <hex>   prints the plaintext as hex
"""

import hashlib
import sys

BLOCK = 16


def key_index(j, length):
    return (j + j // 17 + j // 277) % length


def mask(plain_prefix, key, j):
    digest = hashlib.md5(bytes(plain_prefix) + bytes([key[key_index(j, len(key))]])).digest()
    return digest[0]


def pad(data):
    return bytes(data) + bytes(-len(data) % BLOCK)


def encrypt(key, data):
    plain = pad(data)
    out = bytearray()
    for o in range(0, len(plain), BLOCK):
        block = plain[o:o + BLOCK]
        for i, byte in enumerate(block):
            out.append(byte ^ mask(block[:i], key, o + i))
    return bytes(out)


def decrypt(key, data):
    cipher = pad(data)
    out = bytearray()
    for o in range(0, len(cipher), BLOCK):
        block = bytearray()
        for i, byte in enumerate(cipher[o:o + BLOCK]):
            block.append(byte ^ mask(block, key, o + i))
        out += block
    return bytes(out)


def main(argv):
    if len(argv) != 4 or argv[1] not in ("encrypt", "decrypt") or not argv[2]:
        print(__doc__, file=sys.stderr)
        return 2
    key = argv[2].encode("utf-8")
    data = bytes.fromhex(argv[3])
    result = encrypt(key, data) if argv[1] == "encrypt" else decrypt(key, data)
    print(result.hex())
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

"""Key material the base station shares with its players.

The easy-registration password both sides derive from an announced nonce, the
stream key a player derives after its message-0 authentication, and the AES
cipher of the registration bodies.
"""

import hashlib

from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes

# The mixing block appended to the nonce and the two multiply-add steps are the
# base station's secret; every player carries the same values.
MIXING_BLOCK = bytes((0xA7 + 29 * i) % 256 for i in range(92))
M1, C1 = 4256249, 15485863
M2, C2 = 69069011, 2531011

KEY_PADDING = b"Quell Nardi Vastro OM"
BLOCK = 16


def mixed_digest(nonce: bytes) -> bytes:
    """MD5 of the nonce and the mixing block after the mixing pass."""
    if not nonce:
        raise ValueError("the nonce must not be empty")
    n = len(nonce)
    work = bytearray(nonce + MIXING_BLOCK)
    r = work[0]
    x = r % n
    for i in range(len(work)):
        t = (M1 * (r + nonce[x]) + C1) % 65535
        r = (M2 * (t + nonce[t % n]) + C2) % 65535
        x = r % n
        work[i] ^= (r & 0xFF) ^ nonce[x]
    return hashlib.md5(bytes(work)).digest()


def easy_password(nonce: str) -> str:
    """The 32 lower-case hex digits a player types for us after we announce nonce."""
    return mixed_digest(nonce.encode("latin-1")).hex()


def shared_key_text(shared_key: bytes) -> str:
    """The part of a player's shared key that goes into its passwords and stream key."""
    return shared_key[:16].hex().upper()


def stream_key(nonce: str, shared_key: bytes) -> str:
    """Key of the media a player decrypts after a message 0 answered with nonce."""
    text = nonce.encode("latin-1") + shared_key_text(shared_key).encode("ascii")
    return hashlib.md5(text).hexdigest()


def registration_key(code: str) -> bytes:
    """AES key of the registration bodies: the code with its NUL over the padding text."""
    raw = (code.encode("latin-1") + b"\0")[:BLOCK]
    return raw + KEY_PADDING[len(raw):BLOCK]


def _ecb(key: bytes):
    return Cipher(algorithms.AES(key), modes.ECB())


def encrypt_body(plain: bytes, key: bytes) -> bytes:
    """Encrypt the way the player's sender does.

    The output is (length + 16) rounded down to whole blocks: a partial last
    block is zero-padded and encrypted, and a text of whole blocks is followed by
    one all-zero block that is not encrypted.
    """
    whole = len(plain) // BLOCK * BLOCK
    rest = plain[whole:]
    encryptor = _ecb(key).encryptor()
    out = encryptor.update(plain[:whole])
    if rest:
        out += encryptor.update(rest.ljust(BLOCK, b"\0"))
    else:
        out += bytes(BLOCK)
    return out + encryptor.finalize()


def decrypt_body(cipher_text: bytes, key: bytes) -> bytes:
    """Recover the text a player's sender encrypted.

    A final all-zero block is the sender's unencrypted filler and is dropped;
    the text ends at its first NUL. Input that is not whole blocks is refused.
    """
    if len(cipher_text) % BLOCK:
        raise ValueError("cipher text of %d bytes is not whole blocks" % len(cipher_text))
    if cipher_text[-BLOCK:] == bytes(BLOCK):
        cipher_text = cipher_text[:-BLOCK]
    decryptor = _ecb(key).decryptor()
    plain = decryptor.update(cipher_text) + decryptor.finalize()
    return plain.split(b"\0", 1)[0]

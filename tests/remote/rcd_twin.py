#!/usr/bin/env python3
"""An independent model of remote-code files (".rcd"), for tests.

It writes golden files with the transcript a reader must give for them, and
reads any file into that transcript, checking every checksum and decoding
every code. The transcript of a file, one line each:

  header <version>|<name>|<type>|<description>|<make-id>|<make-name>|<encoding>|<guid>
  code <key>|<label>|<code as hex>
  error <n>               a code line refused (21); reading goes on
  end <n>                 the error that ended the list of codes (18 or 19)
  checksum <flags>|<first four digest bytes as hex, or ->|<0 or 22>
  stop <n>                the error of the header read that ended the file
  line-ends <crlf|lf|mixed|none>

  rcd_twin.py golden <folder>              writes the golden files and cases.txt:
                                           file, decoding key, expected transcript
  rcd_twin.py transcript <file> [<key>]    prints the transcript; the decoding
                                           key opens "c3" codes
"""

import base64
import hashlib
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import ses_if_twin  # noqa: E402

CONTENT_TYPE = b"application/x-rmc-data; charset=utf-8"
SECRET = b"7mqRtaWz"
REMOTE_KEY = b"BrandolQuist"
MARKER = b"\xff\xff\xff\xff"
FIELDS = [b"version", b"name", b"type", b"description", b"make-id", b"make-name", b"rcode-encoding", b"guid"]


# --- packets -------------------------------------------------------------

def key_index8(i):
    return (i + i // 17 + i // 277) % 8


def seal(code, key, r):
    """The sealed packet of code: c3 with a key, c2 (unkeyed) without."""
    header = r + len(code).to_bytes(2, "little") + b"\0\0" + hashlib.md5(code).digest()[:4]
    body = header + bytes(b ^ r[key_index8(i)] for i, b in enumerate(code))
    if key:
        body = ses_if_twin.encrypt(key, body)
    return MARKER + body


def open_packet(data, key):
    """The code of a sealed packet, or None."""
    if len(data) < 20 or data[:4] != MARKER:
        return None
    body = data[4:]
    if key:
        body = ses_if_twin.decrypt(key, body)[:len(data) - 4]
    r = body[:8]
    n = min(int.from_bytes(body[8:10], "little"), len(body) - 16)
    code = bytes(b ^ r[key_index8(i)] for i, b in enumerate(body[16:16 + n]))
    return code if hashlib.md5(code).digest()[:4] == body[12:16] else None


def hex_decode(text):
    out, i = bytearray(), 0
    digits = b"0123456789abcdefABCDEF"
    while i < len(text):
        if text[i] not in digits:
            i += 1
            continue
        if i + 1 < len(text) and text[i + 1] in digits:
            out.append(int(text[i:i + 2], 16))
        else:
            out.append(int(text[i:i + 1], 16))
        i += 2
    return bytes(out)


def b64_decode(text):
    alphabet = b"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"
    clean = bytearray()
    for ch in text:
        if ch == ord("="):
            break
        if ch in alphabet:
            clean.append(ch)
    clean = clean[:len(clean) - len(clean) % 4 + (len(clean) % 4 if len(clean) % 4 > 1 else 0)]
    return base64.b64decode(bytes(clean) + b"=" * (-len(clean) % 4))


def decode_code(text, encoding, key):
    data = text
    stages = [s for s in encoding.split(b"+") if s]
    for stage in stages:
        if stage == b"hex":
            data = hex_decode(data)
        elif stage == b"base64":
            data = b64_decode(data)
        elif stage == b"c2":
            data = open_packet(data, None)
        elif stage == b"c3":
            if key:
                data = open_packet(data, key)
        else:
            return b""
        if data is None:
            return b""
    if b"c3" in stages and not key and len(data) == 20:
        return b""
    return data


# --- reading -------------------------------------------------------------

def physical_lines(raw):
    """The lines as a reader with a 4096-byte buffer sees them."""
    lines, at = [], 0
    while at < len(raw):
        end = raw.find(b"\n", at, at + 4095)
        end = at + 4095 if end < 0 else end + 1
        end = min(end, len(raw))
        lines.append(raw[at:end])
        at = end
    if lines and lines[0].startswith(b"\xef\xbb\xbf"):
        lines[0] = lines[0][3:]
        if not lines[0]:
            lines.pop(0)
    return lines


def content(line):
    for i, ch in enumerate(line):
        if ch in b"\r\n":
            return line[:i]
    return line


def field(line):
    """(lowercase name, value) of a trimmed field line, or None."""
    if not line or line[:1] in (b"#", b";") or not line[:1].isalpha() or b":" not in line:
        return None
    name, value = line.split(b":", 1)
    return name.lower(), value.lstrip(b" ")


def is_header_line(line):
    for ch in line:
        if ch == ord(":"):
            return True
        if ch < 0x21 or ch > 0x7e:
            return False
    return False


def version_number(text):
    def number(t):
        digits = b""
        for ch in t:
            if not 0x30 <= ch <= 0x39:
                break
            digits += bytes([ch])
        return int(digits) if digits else 0
    if not text:
        return 256
    major, _, minor = text.partition(b".")
    return number(major) * 256 + (number(minor) if _ else 0)


def show(text):
    return text.decode("utf-8", "replace")


def transcript(raw, key):
    lines = physical_lines(raw)
    out, at = [], 0
    while True:
        # the next header
        while at < len(lines):
            f = field(content(lines[at]).rstrip(bytes(range(33))))
            if f and f[0] == b"content-type":
                break
            at += 1
        if at >= len(lines):
            out.append("stop 19")
            break
        md5 = hashlib.md5()
        values = {}
        while at < len(lines):
            c = content(lines[at])
            at += 1
            md5.update(c)
            t = c.rstrip(bytes(range(33)))
            if not t:
                break
            f = field(t)
            if f and (f[0] in FIELDS or f[0] == b"content-type"):
                values[f[0]] = f[1]
        if values.get(b"content-type") != CONTENT_TYPE:
            out.append("stop 16")
            break
        version = version_number(values.get(b"version", b""))
        if version != 256:
            out.append("stop 17")
            break
        out.append("header %d|%s" % (version, "|".join(show(values.get(name, b"")) for name in FIELDS[1:])))
        encoding = values.get(b"rcode-encoding", b"")
        # the codes
        while True:
            if at >= len(lines):
                out.append("end 19")
                break
            c = content(lines[at])
            if c and is_header_line(c) and c[:1] not in (b"#", b";"):
                out.append("end 18")
                break
            at += 1
            md5.update(c)
            if not c or c[:1] in (b"#", b";") or not c[:1].isalnum() or c.count(b"\t") < 2:
                continue
            k, label, code_text = c.split(b"\t", 2)
            if len(k) >= 42:
                out.append("error 21")
                continue
            code = decode_code(code_text, encoding, key)
            if len(code) > 512:
                out.append("error 21")
                continue
            label16 = label.decode("utf-8").encode("utf-16-le")[:40]
            out.append("code %s|%s|%s" % (show(k[:40]), label16.decode("utf-16-le", "ignore"), code.hex()))
        # the checksum
        text, has_line = b"", False
        while at < len(lines):
            t = content(lines[at]).rstrip(bytes(range(33)))
            if not t:
                at += 1
                break
            f = field(t)
            if f and f[0] == b"content-type":
                break
            at += 1
            if f and f[0] == b"checksum":
                has_line = True
                text = t.split(b":", 1)[1].lstrip(bytes(range(33)))
        flags, digest4 = (1 if has_line else 0), "-"
        if len(text) > 23:
            try:
                digest4 = bytes.fromhex(text[16:24].decode()).hex()
                flags |= 2
            except ValueError:
                pass
        result = 0
        if text:
            salt = bytearray(8)
            pairs = text[:16]
            for i in range(8):
                pair = pairs[2 * i:2 * i + 2]
                if len(pair) < 2 or any(ch not in b"0123456789abcdefABCDEF" for ch in pair):
                    break
                salt[i] = int(pair, 16)
            md5.update(bytes(salt) + SECRET)
            if len(text) <= 16 or text[16:] != md5.hexdigest().encode():
                result = 22
        out.append("checksum %d|%s|%d" % (flags, digest4, result))
    ends = {("crlf" if l.endswith(b"\r\n") else "lf") for l in raw.split(b"\n")[:-1] for l in [l + b"\n"]}
    out.append("line-ends " + (ends.pop() if len(ends) == 1 else "mixed" if ends else "none"))
    return "\n".join(out)


# --- writing -------------------------------------------------------------

def checksum_line(body, salt):
    md5 = hashlib.md5(b"".join(content(l) for l in body.split(b"\n")))
    md5.update(salt + SECRET)
    return b"Checksum: " + salt.hex().encode() + md5.hexdigest().encode()


def golden(folder):
    cases = []

    def write(name, sections, key_cases):
        """sections: (header lines, code lines, with checksum, extra lines after the header)."""
        raw = b""
        for header, codes, with_checksum in sections:
            body = b"".join(l + b"\r\n" for l in header) + b"\r\n" + b"".join(l + b"\r\n" for l in codes)
            raw += body + b"\r\n"
            if with_checksum:
                raw += checksum_line(body, bytes(range(11, 19))) + b"\r\n"
        if name.startswith("bom"):
            raw = b"\xef\xbb\xbf" + raw
        with open(os.path.join(folder, name), "wb") as f:
            f.write(raw)
        for key, expected in key_cases:
            with open(os.path.join(folder, name + "." + (key or "nokey") + ".expected"), "w", encoding="utf-8") as f:
                f.write(expected + "\n")
            cases.append((name, key, name + "." + (key or "nokey") + ".expected"))

    def digest4(body_lines, salt=bytes(range(11, 19))):
        body = b"".join(l + b"\r\n" for l in body_lines)
        return checksum_line(body, salt)[10 + 16:10 + 24].decode()

    std = [b"Content-Type: " + CONTENT_TYPE, b"Version: 1.0", "Name: Wohnzimmer \u00e4".encode(), b"Type: TV",
           b"Description: Living room", b"Make-Id: 121", "Make-Name: M\u00fcller".encode(),
           b"RCode-Encoding: hex", b"GUID: {0A1B}"]
    std_codes = [b"POWER\tPower\t0A 1B FF", b"# a comment between codes", "VOL+\tLautst\u00e4rke\t0a1bff".encode(),
                 b"; another", b"NOTAB only one\tcolumn"]
    write("bom_standard.rcd", [(std, std_codes, True)], [(
        "", "header 256|Wohnzimmer \u00e4|TV|Living room|121|M\u00fcller|hex|{0A1B}\n"
            "code POWER|Power|0a1bff\ncode VOL+|Lautst\u00e4rke|0a1bff\nend 18\n"
            "checksum 3|%s|0\nstop 19\nline-ends crlf" % digest4(std + [b""] + std_codes))])

    lower = [b"content-type:  " + CONTENT_TYPE, b"version: 1", b"name: Lower", b"type: VCR",
             b"rcode-encoding: base64"]
    lower_codes = [b"PLAY\tPlay\t" + base64.b64encode(b"\x01\x02\x03\x04\x05"),
                   b"K" * 42 + b"\tToo long a key\t" + base64.b64encode(b"\x01"),
                   b"K" * 41 + b"\tKept\t" + base64.b64encode(b"\x07"),
                   b"BIG\tBig\t" + base64.b64encode(bytes(513)),
                   b"STOP\tStop\t" + base64.b64encode(b"\x09")]
    write("lower.rcd", [(lower, lower_codes, True)], [(
        "", "header 256|Lower|VCR||||base64|\ncode PLAY|Play|0102030405\nerror 21\n"
            "code %s|Kept|07\nerror 21\ncode STOP|Stop|09\nend 18\nchecksum 3|%s|0\nstop 19\nline-ends crlf"
        % ("K" * 40, digest4(lower + [b""] + lower_codes)))])

    r1, r2, r3 = bytes(range(1, 9)), bytes(range(21, 29)), bytes(range(31, 39))
    sealed = [b"A1\tOne\t" + base64.b64encode(seal(b"\x10\x20\x30", REMOTE_KEY, r1)),
              b"A2\tEmpty\t" + base64.b64encode(seal(b"", REMOTE_KEY, r2)),
              b"A3\tBad key\t" + base64.b64encode(seal(b"\x44", b"Other", r3))]
    sec1 = [b"Content-Type: " + CONTENT_TYPE, b"Version: 1.0", b"Name: Sealed", b"Type: TV",
            b"RCode-Encoding: base64+c3"]
    sec2 = [b"Content-Type: " + CONTENT_TYPE, b"Name: Second", b"Type: DVD", b"RCode-Encoding: hex"]
    sec2_codes = [b"B1\tB\t01 02"]
    raw_codes = [seal(b"\x10\x20\x30", REMOTE_KEY, r1), seal(b"", REMOTE_KEY, r2), seal(b"\x44", b"Other", r3)]
    d4 = digest4(sec1 + [b""] + sealed)
    write("sections.rcd", [(sec1, sealed, True), (sec2, sec2_codes, False)], [
        ("", "header 256|Sealed|TV||||base64+c3|\ncode A1|One|%s\ncode A2|Empty|\ncode A3|Bad key|%s\n"
             "end 18\nchecksum 3|%s|0\nheader 256|Second|DVD||||hex|\ncode B1|B|0102\nend 19\n"
             "checksum 0|-|0\nstop 19\nline-ends crlf" % (raw_codes[0].hex(), raw_codes[2].hex(), d4)),
        ("BrandolQuist", "header 256|Sealed|TV||||base64+c3|\ncode A1|One|102030\ncode A2|Empty|\n"
                         "code A3|Bad key|\nend 18\nchecksum 3|%s|0\nheader 256|Second|DVD||||hex|\n"
                         "code B1|B|0102\nend 19\nchecksum 0|-|0\nstop 19\nline-ends crlf" % d4)])

    long_header = [b"Content-Type: " + CONTENT_TYPE, b"Name: Long", b"Type: TV", b"RCode-Encoding: hex"]
    entry = b"LONG\tLong\t0A 0B"
    entry += b" " * (4094 - len(entry))  # 4096 bytes with its line end
    long_codes = [b"#" + b"x" * 4999, entry, b"AFTER\tAfter\tFF"]
    write("long.rcd", [(long_header, long_codes, True)], [(
        "", "header 256|Long|TV||||hex|\ncode LONG|Long|0a0b\ncode AFTER|After|ff\nend 18\n"
            "checksum 3|%s|0\nstop 19\nline-ends crlf" % digest4(long_header + [b""] + long_codes))])

    with open(os.path.join(folder, "cases.txt"), "w", encoding="utf-8") as f:
        for name, key, expected in cases:
            f.write("%s\t%s\t%s\n" % (name, key, expected))


def main(argv):
    if len(argv) == 3 and argv[1] == "golden":
        golden(argv[2])
        return 0
    if len(argv) in (3, 4) and argv[1] == "transcript":
        with open(argv[2], "rb") as f:
            raw = f.read()
        print(transcript(raw, argv[3].encode() if len(argv) == 4 else b""))
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))

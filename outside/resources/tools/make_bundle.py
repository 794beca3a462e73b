#!/usr/bin/env python3
"""Stages a resource module's source folder for the resource compiler.

  make_bundle.py qrc --source DIR --stage DIR [--inventory TSV --module NAME]
      Writes DIR/bundle.qrc naming every file of the source folder by its path
      below it. With an inventory, the module's pending entries get stand-ins
      in the stage folder: a pending string becomes "[id]" in the neutral
      table (strings/0.json) unless some table of the source has it, and a
      pending BITMAP, IMAGE or ICON becomes a placeholder PNG of the listed
      size (32x32 when none is listed) that shows its id.
  make_bundle.py embed --bundle FILE --symbol NAME --output FILE.cpp
      Writes a C++ file holding the bundle's bytes as NAME and its size as
      NAME_size, for a library that carries its bundle inside.
"""

import argparse
import csv
import json
import os
import re
import struct
import sys
import zlib
from xml.sax.saxutils import quoteattr

INVENTORY_COLUMNS = ["id", "type", "module", "user", "size", "state"]
# The inventory types whose pending entries get a placeholder picture.
PICTURE_TYPES = ("BITMAP", "IMAGE", "ICON")

# Digits three pixels wide and five high, for the placeholder labels.
DIGITS = {
    "0": ["111", "101", "101", "101", "111"], "1": ["010", "110", "010", "010", "111"],
    "2": ["111", "001", "111", "100", "111"], "3": ["111", "001", "111", "001", "111"],
    "4": ["101", "101", "111", "001", "001"], "5": ["111", "100", "111", "001", "111"],
    "6": ["111", "100", "111", "101", "111"], "7": ["111", "001", "001", "001", "001"],
    "8": ["111", "101", "111", "101", "111"], "9": ["111", "101", "111", "001", "111"],
}


def read_inventory(path):
    with open(path, newline="", encoding="utf-8") as f:
        lines = f.readlines()
    comments = sum(1 for line in lines if line.startswith("#"))
    rows = list(csv.DictReader((line for line in lines if not line.startswith("#")), delimiter="\t"))
    seen = set()
    # The comments stand above the header, so a row's line number follows from its index.
    for number, row in enumerate(rows, start=comments + 2):
        if list(row.keys()) != INVENTORY_COLUMNS or not row["id"].isdigit():
            sys.exit(f"{path}:{number}: expected the columns {', '.join(INVENTORY_COLUMNS)}")
        if row["state"] not in ("authored", "pending"):
            sys.exit(f"{path}:{number}: state must be authored or pending")
        if row["module"] not in ("region", "common", "shell"):
            sys.exit(f"{path}:{number}: module must be region, common or shell")
        if not re.fullmatch(r"[A-Za-z_][A-Za-z0-9_]*", row["type"]):
            sys.exit(f"{path}:{number}: the type must be a resource type name")
        if row["size"] and not (row["type"] in PICTURE_TYPES and re.fullmatch(r"[1-9]\d*x[1-9]\d*", row["size"])):
            sys.exit(f"{path}:{number}: a size is WxH and only pictures have one")
        if (row["id"], row["type"]) in seen:
            sys.exit(f"{path}:{number}: {row['type']} {row['id']} is listed twice")
        seen.add((row["id"], row["type"]))
    return rows


def png(width, height, label):
    """A grey PNG with a dark border and the label drawn in the middle."""
    pixels = [[0xC0] * width for _ in range(height)]
    for x in range(width):
        pixels[0][x] = pixels[height - 1][x] = 0x40
    for y in range(height):
        pixels[y][0] = pixels[y][width - 1] = 0x40
    scale = max(1, min(width // (4 * len(label) + 1), height // 7))
    left = (width - (4 * len(label) - 1) * scale) // 2
    top = (height - 5 * scale) // 2
    for i, digit in enumerate(label):
        for row, bits in enumerate(DIGITS[digit]):
            for column, bit in enumerate(bits):
                if bit != "1":
                    continue
                for dy in range(scale):
                    for dx in range(scale):
                        x = left + (4 * i + column) * scale + dx
                        y = top + row * scale + dy
                        if 0 <= x < width and 0 <= y < height:
                            pixels[y][x] = 0x00
    raw = b"".join(b"\0" + bytes(row) for row in pixels)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 0, 0, 0, 0)) +
            chunk(b"tEXt", b"Title\0" + label.encode()) + chunk(b"IDAT", zlib.compress(raw)) +
            chunk(b"IEND", b""))


def source_files(source):
    files = {}
    for root, _, names in os.walk(source):
        for name in names:
            path = os.path.join(root, name)
            files[os.path.relpath(path, source).replace(os.sep, "/")] = os.path.abspath(path)
    return files


def stage(args):
    files = source_files(args.source)
    os.makedirs(args.stage, exist_ok=True)
    if args.inventory:
        rows = [r for r in read_inventory(args.inventory) if r["module"] == args.module and r["state"] == "pending"]
        authored = set()
        for path, full in files.items():
            if path.startswith("strings/") and path.endswith(".json"):
                with open(full, encoding="utf-8") as f:
                    authored.update(json.load(f).keys())
        neutral = {}
        if "strings/0.json" in files:
            with open(files["strings/0.json"], encoding="utf-8") as f:
                neutral = json.load(f)
        for row in rows:
            if row["type"] == "string" and row["id"] not in authored:
                neutral[row["id"]] = f"[{row['id']}]"
            elif row["type"] in PICTURE_TYPES and not any(
                    re.fullmatch(rf"{row['type']}/(\d+/)?{row['id']}\.[^/]+", p) for p in files):
                width, height = (int(v) for v in (row["size"] or "32x32").split("x"))
                placeholder = os.path.join(args.stage, row["type"], f"{row['id']}.png")
                os.makedirs(os.path.dirname(placeholder), exist_ok=True)
                with open(placeholder, "wb") as f:
                    f.write(png(width, height, row["id"]))
                files[f"{row['type']}/{row['id']}.png"] = os.path.abspath(placeholder)
        if neutral:
            table = os.path.join(args.stage, "strings", "0.json")
            os.makedirs(os.path.dirname(table), exist_ok=True)
            with open(table, "w", encoding="utf-8") as f:
                json.dump(neutral, f, ensure_ascii=False, indent=0, sort_keys=True)
            files["strings/0.json"] = os.path.abspath(table)
    entries = "\n".join(f"<file alias={quoteattr(alias)}>{full}</file>" for alias, full in sorted(files.items()))
    with open(os.path.join(args.stage, "bundle.qrc"), "w", encoding="utf-8") as f:
        f.write(f'<!DOCTYPE RCC><RCC version="1.0"><qresource prefix="/">\n{entries}\n</qresource></RCC>\n')


def embed(args):
    with open(args.bundle, "rb") as f:
        data = f.read()
    lines = [", ".join(str(b) for b in data[i:i + 24]) for i in range(0, len(data), 24)]
    body = ",\n    ".join(lines)
    with open(args.output, "w", encoding="utf-8") as f:
        f.write("// Made by make_bundle.py from a resource bundle; not to be edited.\n#include <cstddef>\n\n"
                f'extern "C" const unsigned char {args.symbol}[] = {{\n    {body}}};\n'
                f'extern "C" const size_t {args.symbol}_size = sizeof({args.symbol});\n')


def main():
    parser = argparse.ArgumentParser()
    commands = parser.add_subparsers(dest="command", required=True)
    qrc = commands.add_parser("qrc")
    qrc.add_argument("--source", required=True)
    qrc.add_argument("--stage", required=True)
    qrc.add_argument("--inventory")
    qrc.add_argument("--module")
    cpp = commands.add_parser("embed")
    cpp.add_argument("--bundle", required=True)
    cpp.add_argument("--symbol", required=True)
    cpp.add_argument("--output", required=True)
    args = parser.parse_args()
    stage(args) if args.command == "qrc" else embed(args)


if __name__ == "__main__":
    main()

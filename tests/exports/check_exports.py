#!/usr/bin/env python3
"""Compares the names a library exports with its export file.

  check_exports.py library <library> <export file>
      Every defined dynamic symbol of the library (nm -D --defined-only) must
      match an entry of the export file's global section, and every entry
      must match at least one symbol: the file is exactly the library's list.
  check_exports.py folder <folder> <manifest>
      Every library and module in the folder must be named in the manifest
      (written by the build: each library's path, then its export file or
      why it has none), so no library leaves the build without an export file.

An export file is a linker version script. Entries inside an extern "C++"
block match demangled names (a quoted entry exactly, an unquoted one as a
pattern with * ? [...]); entries outside it match the raw names of C
functions."""

import fnmatch
import os
import re
import subprocess
import sys

# Defined by the linker in every shared object.
LINKER_SYMBOLS = {"_edata", "_end", "__bss_start", "_init", "_fini"}


class ExportFileError(Exception):
    pass


def parse_export_file(path):
    """Returns the global entries as (is_cxx, is_exact, text) tuples."""
    with open(path, encoding="utf-8") as f:
        text = f.read()
    text = re.sub(r"/\*.*?\*/", " ", text, flags=re.S)
    text = re.sub(r"#[^\n]*", " ", text)
    tokens = re.findall(r'"[^"]*"|[{};]|[^\s{};"]+', text)
    entries = []
    section = None
    cxx_depth = 0
    i = 0
    while i < len(tokens):
        token = tokens[i]
        if token in ("global:", "local:"):
            section = token[:-1]
            i += 1
            continue
        if token == "extern" and i + 2 < len(tokens) and tokens[i + 2] == "{":
            if tokens[i + 1] != '"C++"':
                raise ExportFileError(f"{path}: only extern \"C++\" blocks are understood, not {tokens[i + 1]}")
            cxx_depth = 1
            i += 3
            continue
        if token == "}" and cxx_depth:
            cxx_depth = 0
        elif token not in ("{", "}", ";") and section == "global":
            exact = token.startswith('"')
            entries.append((bool(cxx_depth), exact, token.strip('"')))
        i += 1
    if not entries and "global:" in tokens:
        raise ExportFileError(f"{path}: the global section is empty")
    return entries


def dynamic_symbols(library):
    """(raw, demangled) names of the library's exported symbols: the defined
    dynamic symbols of global binding (nm types in capitals, and u for a
    unique global). The linker leaves a few local ones in the table (the
    standard library's type information); they are not exported."""
    def names(*flags):
        out = subprocess.run(["nm", "-D", "--defined-only", *flags, library],
                             check=True, capture_output=True, text=True).stdout
        # "<address> <type> <name>"; a demangled name may hold spaces.
        return [line.split(" ", 2)[1:] for line in out.splitlines() if line.count(" ") >= 2]
    raw, demangled = names(), names("-C")
    if len(raw) != len(demangled):
        raise RuntimeError(f"nm listed {len(raw)} raw and {len(demangled)} demangled names for {library}")
    return [(r, d) for (kind, r), (_, d) in zip(raw, demangled)
            if (kind.isupper() or kind == "u") and r not in LINKER_SYMBOLS]


def matches(entry, symbol):
    is_cxx, exact, text = entry
    raw, demangled = symbol
    name = demangled if is_cxx else raw
    return name == text if exact else fnmatch.fnmatchcase(name, text)


def check_library(library, export_file):
    entries = parse_export_file(export_file)
    symbols = dynamic_symbols(library)
    unlisted = [d for r, d in symbols if not any(matches(e, (r, d)) for e in entries)]
    unused = [e[2] for e in entries if not any(matches(e, s) for s in symbols)]
    name = os.path.basename(library)
    for d in unlisted:
        print(f"{name}: exports {d}, which {export_file} does not list")
    for text in unused:
        print(f"{name}: {export_file} lists {text}, which the library does not export")
    print(f"{name}: {len(symbols)} exported names, {len(entries)} entries")
    return not unlisted and not unused


def check_folder(folder, manifest):
    known = {}
    with open(manifest, encoding="utf-8") as f:
        for line in f:
            if line.strip():
                path, _, what = line.rstrip("\n").partition("\t")
                known[os.path.realpath(path)] = what
    ok = True
    for file_name in sorted(os.listdir(folder)):
        if not re.search(r"\.(so|ax)$", file_name):
            continue
        what = known.get(os.path.join(os.path.realpath(folder), file_name))
        if what is None:
            print(f"{file_name}: not a library the build knows")
            ok = False
        elif what.startswith("missing"):
            print(f"{file_name}: has no export file")
            ok = False
        else:
            print(f"{file_name}: {what}")
    return ok


def main(argv):
    if len(argv) == 4 and argv[1] == "library":
        return 0 if check_library(argv[2], argv[3]) else 1
    if len(argv) == 4 and argv[1] == "folder":
        return 0 if check_folder(argv[2], argv[3]) else 1
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))

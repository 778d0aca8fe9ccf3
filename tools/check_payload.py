#!/usr/bin/env python3
"""Checks a payload before the build embeds it and derives its identity.

The update flow handles two kinds of payload, told apart by the file's
extension: "cok" and "3bs". Both start with the 7-byte header of the
product's data files; the update stamp is the byte at offset 4 minus 32 for a
"cok" file, the byte at offset 5 itself for a "3bs" file. The stamp is the
update version: a whole number from 1 up.

    check_payload.py FILE [VERSION] [--identity]

VERSION, when given, must equal the stamp. A file larger than MAX_SIZE is
refused: the executable could not carry it. With --identity the script prints
the file name, the resource name, the resource type and the update version,
separated by ";" (a CMake list), as the update flow derives them: the
extension is the part from the last "." on, the resource name the part of
the name before the first occurrence of that extension, both upper-cased for
the resource script (which takes the name only as a word)."""
import argparse
import os
import re
import sys

HEADER_SIZE = 7
# The largest payload the executable carries: 1.5 GiB. A 32-bit process maps
# its whole image, payload included, from the image base 0x400000 up, below
# 2 GB; on 64-bit Windows the system DLLs of a 32-bit process load near
# 0x75000000-0x77F00000, so the image must end well below them. Under Wine a
# 2.0 GB payload still installed, a 2.1 GB one never started (exit 1, no log).
MAX_SIZE = 1_610_612_736
# extension -> (offset of the stamp byte, what is subtracted from it)
STAMPS = {"cok": (4, 32), "3bs": (5, 0)}


def identity(path, expected=None):
    """(file name, resource name, resource type, version) of a payload, or
    SystemExit naming the file and what is wrong with it."""
    def refuse(fault):
        sys.exit(f"payload {path}: {fault}")

    file_name = os.path.basename(path)
    dot = file_name.rfind(".")
    kind = file_name[dot + 1:] if dot > 0 else ""
    if kind.lower() not in STAMPS:
        refuse(f"the name {file_name!r} does not end in one of the extensions the update "
               f"handles ({', '.join('.' + k for k in STAMPS)})")
    if kind != kind.lower():
        refuse(f"the extension {'.' + kind!r} is not lower-case")
    # As the update flow cuts it: the part before the first ".cok" (".3bs").
    name = file_name[:file_name.find("." + kind)]
    if not re.fullmatch(r"[A-Za-z_][A-Za-z0-9_]*", name):
        refuse(f"the resource name {name!r} taken from the file name is not a word of "
               f"letters, digits and \"_\" that starts with a letter")
    if not os.path.isfile(path):
        refuse("no such file")
    size = os.path.getsize(path)
    if size > MAX_SIZE:
        refuse(f"{size:,} bytes, over the limit of {MAX_SIZE:,} bytes (1.5 GiB) that the "
               f"32-bit executable can carry and still start")
    with open(path, "rb") as f:
        head = f.read(HEADER_SIZE)
    if len(head) < HEADER_SIZE:
        refuse(f"{len(head)} bytes; a payload has at least {HEADER_SIZE} (header with the "
               f"update stamp)")
    offset, bias = STAMPS[kind]
    version = head[offset] - bias
    if version < 1:
        refuse(f"update stamp byte at offset {offset} is 0x{head[offset]:02X}, which is no "
               f"valid version ({version})")
    if expected is not None and expected != version:
        refuse(f"update stamp byte at offset {offset} is 0x{head[offset]:02X} (version "
               f"{version}), expected 0x{expected + bias:02X} (version {expected}"
               + (f" + {bias}" if bias else "") + ")")
    return file_name, name.upper(), kind.upper(), version


def main():
    parser = argparse.ArgumentParser(usage="check_payload.py FILE [VERSION] [--identity]")
    parser.add_argument("file")
    parser.add_argument("version", nargs="?")
    parser.add_argument("--identity", action="store_true")
    args = parser.parse_args()
    expected = None
    if args.version not in (None, ""):
        try:
            expected = int(args.version)
        except ValueError:
            sys.exit(f"payload {args.file}: the given version {args.version!r} is not a number")
    file_name, name, rtype, version = identity(args.file, expected)
    if args.identity:
        print(f"{file_name};{name};{rtype};{version}")
    else:
        print(f"payload {args.file}: {os.path.getsize(args.file)} bytes, {rtype}/{name}, "
              f"version {version}, checked")


if __name__ == "__main__":
    main()

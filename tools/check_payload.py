#!/usr/bin/env python3
"""Checks a payload before the build embeds it: at least 7 bytes and, for a
"cok" file, an update stamp (offset 4) equal to the payload version plus 32."""
import os
import sys


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: check_payload.py FILE VERSION")
    path, version = sys.argv[1], int(sys.argv[2])
    if not os.path.isfile(path):
        sys.exit(f"payload {path}: no such file")
    with open(path, "rb") as f:
        head = f.read(7)
    if len(head) < 7:
        sys.exit(f"payload {path}: {len(head)} bytes; a payload has at least 7 (header)")
    if path.lower().endswith(".cok") and head[4] != version + 32:
        sys.exit(f"payload {path}: update stamp byte at offset 4 is 0x{head[4]:02X}, "
                 f"expected 0x{version + 32:02X} (version {version} + 32)")
    print(f"payload {path}: {os.path.getsize(path)} bytes, checked")


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Writes the deterministic sample payload "orfm.cok".

The header is what the installer reads: the letters "orfm", the update stamp
(version + 32) at offset 4, the data version as two little-endian bytes at
offsets 5 and 6. The rest is filler that is the same on every build."""
import argparse
import hashlib
import sys


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("output")
    parser.add_argument("--size", type=int, default=40542341)
    parser.add_argument("--version", type=int, default=13)
    parser.add_argument("--data-version", type=int, default=120)
    args = parser.parse_args()
    header = b"orfm" + bytes([args.version + 32]) + args.data_version.to_bytes(2, "little")
    if args.size < len(header):
        sys.exit("make_payload: size below the header's 7 bytes")
    block = b"".join(hashlib.sha256(b"orfa sample payload %d" % i).digest() for i in range(2048))
    remaining = args.size - len(header)
    with open(args.output, "wb") as out:
        out.write(header)
        while remaining > 0:
            chunk = block[:remaining]
            out.write(chunk)
            remaining -= len(chunk)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Stamps the installer's own digest into the finished executable.

The digest record is a 16-byte marker followed by 16 bytes. The digest is the
XXH3-128 (canonical, big-endian) of the PE image from its start to the end of
its last section, with the optional header's CheckSum, the certificate-table
directory entry and the 16 digest bytes taken as zeros; so Authenticode signing
(which sets those two header fields and appends the certificate table) keeps
it valid. A non-zero PE checksum (GNU ld's) is computed again for the stamped
file. Needs python3-xxhash (tools/setup.sh)."""
import struct
import sys

import xxhash

from finish_image import checksum

# The record's marker, as app/SelfCheck.h spells it (kDigestMarker): a record
# the tool cannot find fails the build.
MARKER = b"orfa-update-xxh3"


def layout(data):
    if data[:2] != b"MZ":
        sys.exit("stamp_digest: not an MZ executable")
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        sys.exit("stamp_digest: no PE header")
    coff = pe + 4
    sections, = struct.unpack_from("<H", data, coff + 2)
    optional_size, = struct.unpack_from("<H", data, coff + 16)
    optional = coff + 20
    magic, = struct.unpack_from("<H", data, optional)
    # The certificate table's directory entry: PE32, or PE32+ for the 64-bit
    # build that the Wine tests use where no 32-bit program runs.
    certificate_entry = {0x10B: 128, 0x20B: 144}.get(magic)
    if certificate_entry is None:
        sys.exit("stamp_digest: not a PE32 or PE32+ image")
    table = optional + optional_size
    image_end = 0
    for i in range(sections):
        raw_size, raw_pointer = struct.unpack_from("<II", data, table + i * 40 + 16)
        if raw_size:
            image_end = max(image_end, raw_pointer + raw_size)
    if image_end > len(data):
        sys.exit("stamp_digest: the sections end past the file")
    slot = data.find(MARKER, 0, image_end)
    if slot < 0 or data.find(MARKER, slot + 1, image_end) >= 0:
        sys.exit("stamp_digest: the digest record is missing or not unique")
    if slot + 32 > image_end:
        sys.exit("stamp_digest: the digest record ends past the image")
    zeroed = [(optional + 64, 4), (optional + certificate_entry, 8), (slot + 16, 16)]
    return image_end, zeroed, slot


def digest(data):
    image_end, zeroed, slot = layout(data)
    image = bytearray(data[:image_end])
    for offset, length in zeroed:
        image[offset:offset + length] = bytes(length)
    return xxhash.xxh3_128(bytes(image)).digest(), slot


def main():
    path = sys.argv[1]
    with open(path, "rb") as f:
        data = bytearray(f.read())
    value, slot = digest(data)
    data[slot + 16:slot + 32] = value
    checksum_at = struct.unpack_from("<I", data, 0x3C)[0] + 24 + 64
    if struct.unpack_from("<I", data, checksum_at)[0] != 0:
        struct.pack_into("<I", data, checksum_at, checksum(data, checksum_at))
    with open(path, "wb") as f:
        f.write(data)
    print(f"stamp_digest: {path}: {value.hex()}")


if __name__ == "__main__":
    main()

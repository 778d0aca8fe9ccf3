#!/usr/bin/env python3
"""Finishes the linked installer before its digest is stamped:

    finish_image.py IMAGE.exe

1. Its static imports must be kernel32 and the C runtime only (msvcrt), both
   KnownDLLs: every DLL imported statically is loaded before the program's
   first instruction, searched for in the executable's folder first unless
   Windows keeps it among its KnownDLLs; everything else is delay-loaded from
   the system folder. Any other static import fails the build, named.
2. It gets IMAGE_FILE_REMOVABLE_RUN_FROM_SWAP and IMAGE_FILE_NET_RUN_FROM_SWAP
   (GNU ld has no switch for them): started from a USB stick or a network
   share, the loader copies the image into the page file, so the self-check,
   which reads the payload where the loader mapped it, cannot die on an
   in-page error when the medium goes away.

A non-zero PE checksum is computed again; GNU ld leaves it zero, and zero
stays. The changes are the same on every run, so builds stay reproducible."""
import struct
import sys

from check_delay_slots import Image

ALLOWED_IMPORTS = {"kernel32.dll", "msvcrt.dll"}
RUN_FROM_SWAP = 0x0400 | 0x0800  # IMAGE_FILE_REMOVABLE_RUN_FROM_SWAP | IMAGE_FILE_NET_RUN_FROM_SWAP


def static_imports(image):
    """The DLL names of the import directory, lower-case, in order."""
    rva, size = image.directory(1)
    at = image.offset(rva) if size else None
    names = []
    while at is not None:
        descriptor = struct.unpack_from("<5I", image.data, at)
        if not any(descriptor):
            break
        names.append((image.text(descriptor[3]) or "?").lower())
        at += 20
    return names


def checksum(data, checksum_at):
    """The PE checksum: 16-bit one's-complement sum of the file without its
    CheckSum field, plus the file's length."""
    total = 0
    padded = bytes(data) + b"\0" * (len(data) % 2)
    for (word,) in struct.iter_unpack("<H", padded):
        total += word
    for (word,) in struct.iter_unpack("<H", padded[checksum_at:checksum_at + 4]):
        total -= word
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return (total + len(data)) & 0xFFFFFFFF


def main():
    if len(sys.argv) != 2:
        print("usage: finish_image.py IMAGE", file=sys.stderr)
        return 2
    path = sys.argv[1]
    with open(path, "rb") as f:
        data = bytearray(f.read())
    try:
        pe = Image(data)
        imports = static_imports(pe)
    except (ValueError, struct.error) as fault:
        print(f"{path}: error: {fault}", file=sys.stderr)
        return 1
    others = sorted(set(imports) - ALLOWED_IMPORTS)
    if others or "kernel32.dll" not in imports:
        print(f"{path}: error: static imports {', '.join(imports)}: only "
              f"{' and '.join(sorted(ALLOWED_IMPORTS))} may be loaded before the entry restricts "
              f"the DLL search" + (f"; delay-load {', '.join(others)}" if others else ""),
              file=sys.stderr)
        return 1
    flags, = struct.unpack_from("<H", data, pe.characteristics_at)
    struct.pack_into("<H", data, pe.characteristics_at, flags | RUN_FROM_SWAP)
    if struct.unpack_from("<I", data, pe.checksum_at)[0] != 0:
        struct.pack_into("<I", data, pe.checksum_at, checksum(data, pe.checksum_at))
    with open(path, "wb") as f:
        f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())

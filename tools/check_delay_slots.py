#!/usr/bin/env python3
"""Checks, after linking, that every call into a delay-loaded system DLL can
reach its load stub:

    check_delay_slots.py IMAGE.exe DLL [DLL ...]

The DLLs named are those the image is linked to delay-load (advapi32 ...).
GNU ld does not fill in the delay-import directory of the PE header, so the
delay-import descriptors are found by their shape: attributes 1 (RVAs), a
DLL name that is one of those named, and the handle, address-table and
name-table RVAs inside the image. Each address slot, up to the name table's
end, must hold the address of its own load stub in an executable section of
the image: on i386 "mov eax, SLOT" (B8 + the slot's address), on x86-64
"lea rax, [rip+d]" that yields the slot's address. A zero slot, or one that
points elsewhere, would make the first call jump there; the build fails
instead, naming the DLL and the function. An image the loader moves (ASLR)
must also have a base relocation for each slot, which holds an absolute
address, and on i386 for each stub's "mov eax" operand, another one; a
RIP-relative lea needs none. Without it, the stub would hand on, and the
slot send the call to, where the image was linked, not where it was loaded."""
import struct
import sys


class Image:
    def __init__(self, data):
        self.data = data
        pe, = struct.unpack_from("<I", data, 0x3C)
        if data[:2] != b"MZ" or data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a PE image")
        self.characteristics_at = pe + 22
        self.machine, count = struct.unpack_from("<HH", data, pe + 4)
        optional_size, = struct.unpack_from("<H", data, pe + 20)
        optional = pe + 24
        self.checksum_at = optional + 64
        self.pe32_plus = struct.unpack_from("<H", data, optional)[0] == 0x20B
        self.base = struct.unpack_from("<Q" if self.pe32_plus else "<I", data,
                                       optional + (24 if self.pe32_plus else 28))[0]
        self.image_size, = struct.unpack_from("<I", data, optional + 56)
        self.directories = optional + (112 if self.pe32_plus else 96)
        self.relocation_directory = self.directory(5)
        self.sections = []
        table = optional + optional_size
        for i in range(count):
            name, vsize, va, rsize, rptr = struct.unpack_from("<8sIIII", data, table + i * 40)
            flags, = struct.unpack_from("<I", data, table + i * 40 + 36)
            self.sections.append((name.rstrip(b"\0").decode("ascii", "replace"),
                                  va, vsize, rsize, rptr, flags))

    def directory(self, index):
        """The data directory's (RVA, size)."""
        return struct.unpack_from("<II", self.data, self.directories + index * 8)

    def offset(self, rva):
        """The file offset of an RVA with bytes in the file, or None."""
        for _, va, _, rsize, rptr, _ in self.sections:
            if va <= rva < va + rsize:
                return rva - va + rptr
        return None

    def executable(self, rva):
        return any(va <= rva < va + max(vsize, rsize) and flags & 0x20000000
                   for _, va, vsize, rsize, _, flags in self.sections)

    def text(self, rva):
        at = self.offset(rva)
        if at is None:
            return None
        end = self.data.find(b"\0", at, at + 256)
        return None if end < 0 else self.data[at:end].decode("ascii", "replace")

    def relocated(self):
        """The RVAs that base relocations of the image's pointer width patch."""
        kind = 10 if self.pe32_plus else 3  # DIR64, HIGHLOW
        rva, size = self.relocation_directory
        found = set()
        at = self.offset(rva) if size else None
        if at is None:
            return found
        end = at + size
        while at + 8 <= end:
            page, block = struct.unpack_from("<II", self.data, at)
            if block < 8:
                break
            for i in range(8, min(block, end - at) - 1, 2):
                entry, = struct.unpack_from("<H", self.data, at + i)
                if entry >> 12 == kind:
                    found.add(page + (entry & 0xFFF))
            at += block
        return found

    def pointer(self, rva):
        at = self.offset(rva)
        if at is None:
            return None
        return struct.unpack_from("<Q" if self.pe32_plus else "<I", self.data, at)[0]


def descriptors(image, dlls):
    """Yields (dll, IAT RVA, INT RVA) of each delay-import descriptor."""
    for section, va, _, rsize, rptr, _ in image.sections:
        if section == ".rsrc":  # the payload: no code, and most of the file
            continue
        for at in range(rptr, rptr + rsize - 32 + 1, 4):
            attributes, name, handle, iat, names = struct.unpack_from("<5I", image.data, at)
            if attributes != 1 or not all(0 < r < image.image_size for r in (name, handle, iat, names)):
                continue
            dll = image.text(name)
            if dll is not None and dll.lower() in dlls:
                yield dll.lower(), iat, names


def stub_target(image, stub_rva):
    """The slot address (VA) that the load stub at stub_rva hands on, or None."""
    at = image.offset(stub_rva)
    if at is None:
        return None
    code = image.data[at:at + 7]
    if not image.pe32_plus and code[:1] == b"\xB8":
        return struct.unpack_from("<I", code, 1)[0]
    if image.pe32_plus and code[:3] == b"\x48\x8D\x05":
        return image.base + stub_rva + 7 + struct.unpack_from("<i", code, 3)[0]
    return None


def faults(image, dlls):
    """Every fault found, as text; an empty list when the image is sound."""
    found, problems = set(), []
    width = 8 if image.pe32_plus else 4
    relocated = image.relocated()
    for dll, iat, names in descriptors(image, dlls):
        found.add(dll)
        index = 0
        while True:
            entry = image.pointer(names + index * width)
            if not entry:
                break
            ordinal = entry >> (63 if image.pe32_plus else 31)
            function = f"#{entry & 0xFFFF}" if ordinal else (image.text(entry + 2) or "?")
            slot_va = image.base + iat + index * width
            stub = image.pointer(iat + index * width)
            if not stub:
                problems.append(f"{dll}: the slot of {function} is zero: its first call jumps to address 0")
            elif not image.base <= stub < image.base + image.image_size or \
                    not image.executable(stub - image.base):
                problems.append(f"{dll}: the slot of {function} holds {stub:#x}, outside the image's code")
            elif stub_target(image, stub - image.base) != slot_va:
                problems.append(f"{dll}: the slot of {function} does not point at its load stub")
            else:
                if iat + index * width not in relocated:
                    problems.append(f"{dll}: the slot of {function} has no base relocation: "
                                    "moved by the loader, it still points where the stub was linked")
                if not image.pe32_plus and stub - image.base + 1 not in relocated:
                    problems.append(f"{dll}: the load stub of {function} has no base relocation "
                                    "for its slot's address")
            index += 1
        if index == 0:
            problems.append(f"{dll}: a delay-import descriptor without functions")
    if not found:
        problems.append("no delay-import descriptor of " + ", ".join(sorted(dlls)))
    return problems


def main():
    if len(sys.argv) < 3:
        print("usage: check_delay_slots.py IMAGE DLL [DLL ...]", file=sys.stderr)
        return 2
    path = sys.argv[1]
    dlls = {d.lower() if d.lower().endswith(".dll") else d.lower() + ".dll" for d in sys.argv[2:]}
    with open(path, "rb") as f:
        image = Image(f.read())
    problems = faults(image, dlls)
    for problem in problems:
        print(f"{path}: error: {problem}", file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())

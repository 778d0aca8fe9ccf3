#!/usr/bin/env python3
"""Checks the finished installer: a PE32 (i386) GUI executable whose static
imports are only system DLLs that Windows loads from its own folder, whose
sections are page-aligned in the file, with the
manifest (administrator rights, common controls 6) and the payload resource
COK/ORFM/1049 holding the payload's bytes exactly."""
import hashlib
import struct
import subprocess
import sys

ALLOWED_IMPORTS = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll",
                   "shell32.dll", "ole32.dll", "msvcrt.dll", "comctl32.dll"}


def fail(message):
    print("FAIL:", message)
    sys.exit(1)


class Pe:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[:2] != b"MZ" or data[pe:pe + 4] != b"PE\0\0":
            fail("not a PE file")
        self.machine, self.sections_count = struct.unpack_from("<HH", data, pe + 4)
        optional_size, = struct.unpack_from("<H", data, pe + 20)
        self.optional = pe + 24
        self.magic, = struct.unpack_from("<H", data, self.optional)
        self.subsystem, = struct.unpack_from("<H", data, self.optional + 68)
        self.timestamp, = struct.unpack_from("<I", data, pe + 8)
        table = self.optional + optional_size
        self.sections = []
        for i in range(self.sections_count):
            name, vsize, va, rsize, rptr = struct.unpack_from("<8sIIII", data, table + i * 40)
            self.sections.append((name.rstrip(b"\0"), va, max(vsize, rsize), rptr))

    def directory(self, index):
        return struct.unpack_from("<II", self.data, self.optional + 96 + index * 8)

    def offset(self, rva):
        for _, va, size, rptr in self.sections:
            if va <= rva < va + size:
                return rva - va + rptr
        fail(f"RVA {rva:#x} outside the sections")

    def resources(self):
        """Yields (type, name, language, bytes) for every resource."""
        rva, _ = self.directory(2)
        base = self.offset(rva)

        def entries(offset):
            named, ids = struct.unpack_from("<HH", self.data, base + offset + 12)
            for i in range(named + ids):
                key, target = struct.unpack_from("<II", self.data, base + offset + 16 + i * 8)
                if key & 0x80000000:
                    at = base + (key & 0x7FFFFFFF)
                    length, = struct.unpack_from("<H", self.data, at)
                    key = self.data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
                yield key, target

        for rtype, t in entries(0):
            for name, n in entries(t & 0x7FFFFFFF):
                for lang, leaf in entries(n & 0x7FFFFFFF):
                    data_rva, size = struct.unpack_from("<II", self.data, base + leaf)
                    start = self.offset(data_rva)
                    yield rtype, name, lang, self.data[start:start + size]


def main():
    exe, payload = sys.argv[1], sys.argv[2]
    objdump = sys.argv[3] if len(sys.argv) > 3 else "i686-w64-mingw32-objdump"
    data = open(exe, "rb").read()
    pe = Pe(data)
    if pe.machine != 0x14C or pe.magic != 0x10B:
        fail("not a PE32 (Intel 80386) executable")
    if pe.subsystem != 2:
        fail(f"subsystem {pe.subsystem}, not the Windows GUI subsystem")
    if pe.timestamp != 0:
        fail(f"time stamp {pe.timestamp:#x} in the PE header")
    file_alignment, = struct.unpack_from("<I", data, pe.optional + 36)
    if file_alignment != 0x1000:
        fail(f"file alignment {file_alignment:#x}, not page-aligned sections (0x1000)")

    dump = subprocess.run([objdump, "-p", exe], capture_output=True, text=True, check=True).stdout
    imports = {line.split()[-1].lower() for line in dump.splitlines() if "DLL Name:" in line}
    if not imports or not imports <= ALLOWED_IMPORTS:
        fail(f"static imports outside the system list: {sorted(imports - ALLOWED_IMPORTS)}")

    resources = list(pe.resources())
    manifests = [r for r in resources if r[0] == 24]
    if not manifests:
        fail("no manifest")
    manifest = manifests[0][3].decode("utf-8")
    for needle in ('level="requireAdministrator"', 'name="Microsoft.Windows.Common-Controls"',
                   'version="6.0.0.0"'):
        if needle not in manifest:
            fail(f"manifest lacks {needle}")
    if "supportedOS" in manifest:
        fail("manifest declares supported systems")
    cok = [r for r in resources if r[0] == "COK" and r[1] == "ORFM" and r[2] == 1049]
    if len(cok) != 1:
        fail(f"no COK/ORFM/1049 resource: {[(r[0], r[1], r[2]) for r in resources]}")
    expected = open(payload, "rb").read()
    if cok[0][3] != expected:
        fail(f"payload resource differs from {payload} ({len(cok[0][3])} vs {len(expected)} bytes)")
    print(f"ok: PE32 GUI, imports {sorted(imports)}, manifest, COK/ORFM/1049 "
          f"{len(expected)} bytes sha256 {hashlib.sha256(expected).hexdigest()[:16]}")


if __name__ == "__main__":
    main()

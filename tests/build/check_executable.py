#!/usr/bin/env python3
"""Checks the finished installer: a PE32 (i386) GUI executable, marked to run
from the page file when started from removable or network media, whose static
imports are only what is loaded before its entry restricts the DLL search to
the system folder (kernel32 and the C runtime, both KnownDLLs; everything else
is delay-loaded), whose sections are page-aligned in the file, with the
manifest (administrator rights, common controls 6),
the payload resource (type and name from the payload's file name, COK/ORFM for
"orfm.cok", language 1049) holding the payload's bytes exactly, and the
version resource naming the update and its version."""
import hashlib
import struct
import subprocess
import sys
from pathlib import Path

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, str(Path(__file__).resolve().parent.parent.parent / "tools"))
import check_payload  # noqa: E402  (the build's own derivation of the identity)
# The build's post-link step: the static imports it allows (a DLL imported
# statically is loaded before the program's first instruction, searched for
# in the executable's folder first unless Windows keeps it among its
# KnownDLLs) and the run-from-swap flags it sets.
from finish_image import ALLOWED_IMPORTS, RUN_FROM_SWAP, checksum  # noqa: E402


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
        self.characteristics, = struct.unpack_from("<H", data, pe + 22)
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


def version_block(data, at=0):
    """Parses one block of a version resource: (key, value bytes, children)."""
    length, value_length, kind = struct.unpack_from("<HHH", data, at)
    end = at + length
    key_end = at + 6
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[at + 6:key_end].decode("utf-16-le")
    pos = (key_end + 2 + 3) & ~3
    size = value_length * 2 if kind == 1 else value_length  # text values count characters
    value = data[pos:pos + size]
    pos = (pos + size + 3) & ~3
    children = []
    while pos + 6 <= end:
        child = version_block(data, pos)
        children.append(child[:3])
        pos = (pos + child[3] + 3) & ~3
    return key, value, children, length


def version_strings(data):
    """The fixed file version (four numbers) and the texts of the first string table."""
    key, fixed, children, _ = version_block(data)
    if key != "VS_VERSION_INFO" or struct.unpack_from("<I", fixed, 0)[0] != 0xFEEF04BD:
        fail("the version resource has no VS_VERSION_INFO with a fixed file info")
    ms, ls = struct.unpack_from("<II", fixed, 8)
    numbers = (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    texts = {}
    for child_key, _, tables in children:
        if child_key == "StringFileInfo" and tables:
            for name, value, _ in tables[0][2]:
                texts[name] = value.decode("utf-16-le").rstrip("\0")
    return numbers, texts


def check_version_resource(resources, file_name, version):
    blocks = [r for r in resources if r[0] == 16]
    if len(blocks) != 1:
        fail(f"{len(blocks)} version resources, expected one")
    numbers, texts = version_strings(blocks[0][3])
    text = f"{version}.0.0.0"
    expected = {"CompanyName": "Tovel", "ProductName": "Orfa", "FileVersion": text,
                "ProductVersion": text, "OriginalFilename": "orfa-update.exe"}
    for name, value in expected.items():
        if texts.get(name) != value:
            fail(f"version resource: {name} is {texts.get(name)!r}, expected {value!r}")
    description = texts.get("FileDescription", "")
    if file_name not in description or f"version {version}" not in description:
        fail(f"version resource: FileDescription {description!r} names not {file_name} "
             f"version {version}")
    if numbers != (version, 0, 0, 0):
        fail(f"version resource: fixed file version {numbers}, expected {version},0,0,0")


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
    if pe.characteristics & RUN_FROM_SWAP != RUN_FROM_SWAP:
        fail(f"characteristics {pe.characteristics:#06x}: not run from swap on removable and "
             "network media (0x0400, 0x0800)")
    stored, = struct.unpack_from("<I", data, pe.optional + 64)
    if stored not in (0, checksum(data, pe.optional + 64)):
        fail(f"PE checksum {stored:#x} is not the file's ({checksum(data, pe.optional + 64):#x})")
    file_alignment, = struct.unpack_from("<I", data, pe.optional + 36)
    if file_alignment != 0x1000:
        fail(f"file alignment {file_alignment:#x}, not page-aligned sections (0x1000)")

    dump = subprocess.run([objdump, "-p", exe], capture_output=True, text=True, check=True).stdout
    imports = {line.split()[-1].lower() for line in dump.splitlines() if "DLL Name:" in line}
    if "kernel32.dll" not in imports:
        fail(f"kernel32.dll is not imported: {sorted(imports)}")
    if not imports <= ALLOWED_IMPORTS:
        fail("static imports of DLLs loaded before the DLL search is restricted: "
             + ", ".join(sorted(imports - ALLOWED_IMPORTS)) + " (delay-load them)")

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
    file_name, name, rtype, version = check_payload.identity(payload)
    cok = [r for r in resources if r[0] == rtype and r[1] == name and r[2] == 1049]
    if len(cok) != 1:
        fail(f"no {rtype}/{name}/1049 resource: {[(r[0], r[1], r[2]) for r in resources]}")
    expected = open(payload, "rb").read()
    if cok[0][3] != expected:
        fail(f"payload resource differs from {payload} ({len(cok[0][3])} vs {len(expected)} bytes)")
    check_version_resource(resources, file_name, version)
    print(f"ok: PE32 GUI, run from swap, imports {sorted(imports)}, manifest, {rtype}/{name}/1049 "
          f"{len(expected)} bytes sha256 {hashlib.sha256(expected).hexdigest()[:16]}, "
          f"version resource {version}.0.0.0")


if __name__ == "__main__":
    main()

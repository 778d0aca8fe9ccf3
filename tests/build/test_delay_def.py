#!/usr/bin/env python3
"""The module-definition files behind the delay-import libraries: every
function of the import library, data marked, in a fixed order; and the
check of the finished image's delay-import slots, on programs linked with
such a library by the 32-bit toolchain."""
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

TOOLS = Path(__file__).resolve().parent.parent.parent / "tools"

# What nm prints for a toolchain import library: heads, call thunks (T) and
# import slots (I), members in no particular order.
NM_LISTING = """
d000123.o:
00000000 I __head_lib32_libuser32_a
00000000 T _MessageBoxExW@20
00000000 I __imp__MessageBoxExW@20

d000007.o:
00000000 T _wsprintfA
00000000 I __imp__wsprintfA

d000900.o:
00000000 I __imp__gSharedInfo

d000001.o:
00000000 T _FindWindowA@8
00000000 I __imp__FindWindowA@8
"""


def make_def(listing):
    with tempfile.TemporaryDirectory() as folder:
        nm = Path(folder) / "nm.py"
        nm.write_text(f"import sys\nsys.stdout.write({listing!r})\n")
        out = Path(folder) / "user32.def"
        # the script stands in for the toolchain's nm
        wrapper = Path(folder) / "nm-wrapper"
        wrapper.write_text(f"#!/bin/sh\nexec {sys.executable} {nm} \"$@\"\n")
        wrapper.chmod(0o755)
        done = subprocess.run([sys.executable, str(TOOLS / "delay_def.py"), str(wrapper),
                               "libuser32.a", "user32.dll", str(out)],
                              capture_output=True, text=True)
        return done, out.read_text() if out.exists() else None


class DelayDefTest(unittest.TestCase):
    def test_lists_every_import_sorted_and_marks_data(self):
        done, text = make_def(NM_LISTING)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(text, "LIBRARY user32.dll\nEXPORTS\n  FindWindowA@8\n"
                               "  MessageBoxExW@20\n  gSharedInfo DATA\n  wsprintfA\n")

    def test_refuses_a_library_without_imports(self):
        done, text = make_def("d000001.o:\n00000000 T _something\n")
        self.assertNotEqual(done.returncode, 0)
        self.assertIn("no imports", done.stderr)
        self.assertIsNone(text)


CALLER = r"""
#include <windows.h>
int main(void) {
  HKEY key;
  return (int)RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, &key);
}
"""


class DelaySlotsTest(unittest.TestCase):
    """i386 GNU ld leaves a delay-import slot zero when the caller reaches it
    through "__imp_" (dllimport), and fills it when the call is direct."""

    def link(self, folder, *defines):
        folder = Path(folder)
        (folder / "advapi32.def").write_text("LIBRARY advapi32.dll\nEXPORTS\n  RegOpenKeyExA@20\n")
        (folder / "main.c").write_text(CALLER)
        subprocess.run(["i686-w64-mingw32-dlltool", "-k", "--input-def", "advapi32.def",
                        "--dllname", "advapi32.dll", "--output-delaylib", "libdelay.a"],
                       cwd=folder, check=True)
        subprocess.run(["i686-w64-mingw32-gcc", "-O2", *defines, "main.c", "-o", "main.exe",
                        "-L.", "-ldelay"], cwd=folder, check=True)
        return subprocess.run([sys.executable, str(TOOLS / "check_delay_slots.py"),
                               str(folder / "main.exe"), "advapi32"], capture_output=True, text=True)

    def test_a_slot_left_zero_fails(self):
        with tempfile.TemporaryDirectory() as folder:
            done = self.link(folder)
        self.assertEqual(done.returncode, 1)
        self.assertIn("advapi32.dll: the slot of RegOpenKeyExA is zero", done.stderr)

    def test_direct_calls_fill_the_slot(self):
        with tempfile.TemporaryDirectory() as folder:
            done = self.link(folder, "-DDECLSPEC_IMPORT=")
        self.assertEqual(done.returncode, 0, done.stderr)

    def test_slots_and_stubs_without_base_relocations_fail(self):
        with tempfile.TemporaryDirectory() as folder:
            done = self.link(folder, "-DDECLSPEC_IMPORT=", "-Wl,--disable-reloc-section")
        self.assertEqual(done.returncode, 1)
        self.assertIn("the slot of RegOpenKeyExA has no base relocation", done.stderr)
        self.assertIn("the load stub of RegOpenKeyExA has no base relocation", done.stderr)


if __name__ == "__main__":
    unittest.main()

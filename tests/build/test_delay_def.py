#!/usr/bin/env python3
"""The module-definition files behind the delay-import libraries: every
function of the import library, data marked, in a fixed order."""
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


if __name__ == "__main__":
    unittest.main()

#!/usr/bin/env python3
"""The build's payload check refuses what the installer could not carry and
derives the update's identity from the file."""
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

TOOLS = Path(__file__).resolve().parent.parent.parent / "tools"
LIMIT = 1_610_612_736  # the largest payload the executable carries


def check(name, content, *args):
    """content: the file's bytes, or (header, size): the header, then zeros up
    to size, sparse (no disk space, instant)."""
    with tempfile.TemporaryDirectory() as folder:
        path = Path(folder) / name
        if isinstance(content, tuple):
            with open(path, "wb") as f:
                f.write(content[0])
                f.truncate(content[1])
        else:
            path.write_bytes(content)
        return subprocess.run([sys.executable, str(TOOLS / "check_payload.py"), str(path),
                               *args], capture_output=True, text=True)


class CheckPayloadTest(unittest.TestCase):
    def test_derives_the_identity_from_the_name_and_the_stamp(self):
        cases = [("orfm.cok", b"orfm\x2d\x78\x00filler", [], "orfm.cok;ORFM;COK;13"),
                 ("orfm.cok", b"orfm\x2e\x78\x00", ["14"], "orfm.cok;ORFM;COK;14"),
                 ("words.3bs", b"3bs1\x00\x0e\x05", [], "words.3bs;WORDS;3BS;14"),
                 # as the update flow cuts it: before the first ".cok"
                 ("orfm.cok.cok", b"orfm\x2d\x78\x00", [""], "orfm.cok.cok;ORFM;COK;13"),
                 ("orfm.cok", (b"orfm\x2d\x78\x00", LIMIT), [], "orfm.cok;ORFM;COK;13")]
        for name, content, version, identity in cases:
            with self.subTest(name=name, identity=identity):
                result = check(name, content, *version, "--identity")
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(result.stdout.strip(), identity)

    def test_refuses_and_names_the_file_and_the_fault(self):
        cases = [("orfm.cok", b"orfm\x2d\x78", [], "6 bytes"),
                 ("orfm.cok", b"", [], "0 bytes"),
                 ("orfm.cok", b"orfm\x2e\x78\x00", ["13"], "offset 4 is 0x2E (version 14), "
                                                          "expected 0x2D (version 13 + 32)"),
                 ("orfm.cok", b"orfm\x20\x78\x00", [], "0x20, which is no valid version (0)"),
                 ("words.3bs", b"3bs1\x00\x00\x05", [], "offset 5 is 0x00, which is no valid"),
                 ("words.pak", b"pak1\x00\x00\x05\x00", [], "(.cok, .3bs)"),
                 ("orfm", b"orfm\x2d\x78\x00", [], "does not end in one of the extensions"),
                 ("orfm.COK", b"orfm\x2d\x78\x00", [], "not lower-case"),
                 ("2024 orfm.cok", b"orfm\x2d\x78\x00", [], "resource name '2024 orfm'"),
                 ("orfm.cok", b"orfm\x2d\x78\x00", ["x"], "the given version 'x'"),
                 ("orfm.cok", (b"orfm\x2d\x78\x00", LIMIT + 1), [],
                  "1,610,612,737 bytes, over the limit of 1,610,612,736 bytes")]
        for name, content, version, fault in cases:
            with self.subTest(fault=fault):
                result = check(name, content, *version)
                self.assertNotEqual(result.returncode, 0)
                self.assertIn(name, result.stderr)
                self.assertIn(fault, result.stderr)

    def test_a_missing_file_is_named(self):
        result = subprocess.run([sys.executable, str(TOOLS / "check_payload.py"),
                                 "/nonexistent/orfm.cok", "13"], capture_output=True, text=True)
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("/nonexistent/orfm.cok: no such file", result.stderr)


if __name__ == "__main__":
    unittest.main()

#!/usr/bin/env python3
"""The build's payload check refuses what the installer could not carry."""
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

TOOLS = Path(__file__).resolve().parent.parent.parent / "tools"


def check(name, content, version=13):
    with tempfile.TemporaryDirectory() as folder:
        path = Path(folder) / name
        path.write_bytes(content)
        return subprocess.run([sys.executable, str(TOOLS / "check_payload.py"), str(path),
                               str(version)], capture_output=True, text=True)


class CheckPayloadTest(unittest.TestCase):
    def test_accepts_a_cok_with_the_stamp_of_its_version(self):
        self.assertEqual(check("orfm.cok", b"orfm\x2d\x78\x00filler").returncode, 0)
        self.assertEqual(check("orfm.cok", b"orfm\x2e\x78\x00", version=14).returncode, 0)

    def test_refuses_and_names_the_file_and_the_fault(self):
        cases = [("orfm.cok", b"orfm\x2d\x78", "6 bytes"),
                 ("orfm.cok", b"", "0 bytes"),
                 ("orfm.cok", b"orfm\x2e\x78\x00", "offset 4 is 0x2E, expected 0x2D")]
        for name, content, fault in cases:
            with self.subTest(fault=fault):
                result = check(name, content)
                self.assertNotEqual(result.returncode, 0)
                self.assertIn(name, result.stderr)
                self.assertIn(fault, result.stderr)

    def test_other_types_need_only_the_header_length(self):
        self.assertEqual(check("words.pak", b"pak1\x00\x00\x05\x00").returncode, 0)

    def test_a_missing_file_is_named(self):
        result = subprocess.run([sys.executable, str(TOOLS / "check_payload.py"),
                                 "/nonexistent/orfm.cok", "13"], capture_output=True, text=True)
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("/nonexistent/orfm.cok: no such file", result.stderr)


if __name__ == "__main__":
    unittest.main()

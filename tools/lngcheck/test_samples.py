#!/usr/bin/env python3
"""The sample language files the end-to-end tests lay out pass orfa-lngcheck
without a message; the same folder with a blank line taken out fails.

    test_samples.py PATH/TO/orfa-lngcheck"""
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

sys.dont_write_bytecode = True
sys.path.insert(0, str(Path(__file__).resolve().parent.parent.parent / "tests" / "e2e"))
import harness  # noqa: E402  (lays the samples out in their code pages)

CHECKER = None
SAMPLES = ["english.lng", "russian.lng", "german.lng"]


def lay_out(folder: Path) -> None:
    for name in SAMPLES:
        (folder / name).write_bytes(harness.sample_language(name))


class SampleLanguageFilesTest(unittest.TestCase):
    def run_checker(self, *args):
        return subprocess.run([CHECKER, *map(str, args)], capture_output=True, text=True,
                              encoding="latin-1")

    def test_the_samples_pass(self):
        with tempfile.TemporaryDirectory() as folder:
            lay_out(Path(folder))
            result = self.run_checker(folder)
            self.assertEqual((result.returncode, result.stdout), (0, ""), result.stderr)

    def test_a_missing_blank_line_fails(self):
        with tempfile.TemporaryDirectory() as folder:
            lay_out(Path(folder))
            german = Path(folder) / "german.lng"
            data = german.read_bytes()
            at = data.index(b"\r\n\r\n[langver]")
            german.write_bytes(data[:at] + data[at + 2:])
            result = self.run_checker(folder)
            self.assertEqual(result.returncode, 1, result.stdout)
            self.assertIn(f"{german}:", result.stdout)
            self.assertIn("runs into the header", result.stdout)

    def test_one_line_values_right_above_a_header_pass(self):
        with tempfile.TemporaryDirectory() as folder:
            lay_out(Path(folder))
            english = Path(folder) / "english.lng"
            data = english.read_bytes()
            packed = data.replace(b"\r\n\r\n[langcharset]\r\nANSI_CHARSET\r\n\r\n[langcode]",
                                  b"\r\n[langcharset]\r\n0\r\n[langcode]")
            self.assertNotEqual(packed, data)
            english.write_bytes(packed)
            result = self.run_checker(folder)
            self.assertEqual((result.returncode, result.stdout), (0, ""), result.stderr)

    def test_byte_order_marks_are_named_once(self):
        with tempfile.TemporaryDirectory() as folder:
            lay_out(Path(folder))
            russian, german = Path(folder) / "russian.lng", Path(folder) / "german.lng"
            russian.write_bytes(b"\xef\xbb\xbf" + harness.language_text("russian.lng").encode())
            german.write_bytes(harness.language_text("german.lng").encode("utf-16"))
            result = self.run_checker(folder)
            self.assertEqual(result.returncode, 1, result.stdout)
            lines = result.stdout.splitlines()
            self.assertEqual(len(lines), 2, result.stdout)
            self.assertTrue(lines[0].startswith(f"{german}:1: error: the file is UTF-16 LE"))
            self.assertIn("code page 1252", lines[0])
            self.assertTrue(lines[1].startswith(f"{russian}:1: error: the file is UTF-8"))
            self.assertIn("code page 1251", lines[1])

    def test_bad_usage(self):
        self.assertEqual(self.run_checker().returncode, 2)
        self.assertEqual(self.run_checker("--frobnicate", ".").returncode, 2)
        self.assertEqual(self.run_checker("/nonexistent/english.lng").returncode, 2)


if __name__ == "__main__":
    CHECKER = sys.argv.pop(1)
    unittest.main()

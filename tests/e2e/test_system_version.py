"""The system's version decides how the installer names the system, and the
name decides the registry view it works on.

What Wine 8 reports to the installer, whose manifest declares no supported
systems:
  * "win7": version 6.1.7601, "Service Pack 1", "ProductName" "Microsoft
    Windows 7". The name comes without the console: "Microsoft Windows 7
    64-bit Service Pack 1" on a 64-bit prefix, "... 32-bit ..." on a 32-bit one.
  * "win10": version 6.2.9200 (what Windows 8.1 and later report to such a
    program), no service pack, "ProductName" "Microsoft Windows 10". Version
    6.2 is ambiguous, and only "ver" tells it apart, but the product name
    replaces that text, so with a product name (every 8 and later has one)
    the installer starts no console at all; the name ends in " 64-bit" on a
    64-bit prefix, so the installer works on the 64-bit registry view.
ComSpec comes from the user's environment, which any of the user's programs
may rewrite, so the elevated installer never starts what it names: here
ComSpec names the recorder, which would log each call.
"""
import re
import unittest

import e2e_support
from e2e_support import EN, E2eCase
from harness import Installation

e2e_support.require()

# A file name the capture would leave behind: 8 lower-case letters, nothing else.
CAPTURE_FILE = re.compile(r"[a-z]{8}")


class SystemVersionTest(E2eCase):
    def run_on(self, arch: str, version: str, **kwargs):
        inst = Installation(arch=arch, installed_stamp=12, uninstall="native",
                            windows_version=version)
        result = self.run_update(inst, answers=["yes", "no"], **kwargs)
        self.assertEnded(result)
        self.assertBoxes(result, [(EN["question"], EN["installask"]),
                                  (EN["done_caption"], EN["installdone"])])
        self.assertNotStarted(result)
        return result

    def assertNativeViewOnly(self, result):
        """The size went into the entry of the native view; on a 64-bit
        prefix nothing was made under Wow6432Node."""
        self.assertPayloadInstalled(result, view="native")
        if "wow" in result.uninstall_keys:
            self.assertFalse(result.uninstall_keys["wow"], result.describe())
            self.assertIsNone(result.estimated_size["wow"], result.describe())

    def assertNoCaptureLeft(self, result):
        left = [name for name in result.temp_files if CAPTURE_FILE.fullmatch(name)]
        self.assertEqual(left, [], result.describe())

    def test_windows_7_is_named_without_the_console(self):
        for arch in ("win32", "win64"):
            with self.subTest(arch=arch):
                result = self.run_on(arch, "win7", record_comspec=True)
                self.assertEqual(result.comspec_calls, [], result.describe())
                self.assertNativeViewOnly(result)

    def test_windows_10_never_starts_the_comspec_program(self):
        # ComSpec names a program of the user's: it is never started (nor,
        # with the product name there, is the system's own interpreter)
        result = self.run_on("win64", "win10", record_comspec=True)
        self.assertEqual(result.comspec_calls, [], result.describe())
        self.assertNoCaptureLeft(result)
        self.assertNativeViewOnly(result)

    def test_quiet_run_starts_no_process(self):
        # Windows 8 and later report 6.2, which only "ver" tells apart, but
        # their product name replaces that text: no console is started (it
        # would show up as cmd.exe, which inherits the trace)
        for arch, version, word in (("win64", "win10", "modest"), ("win32", "win10", "modest"),
                                    ("win64", "win7", "modest"), ("win32", "win10", "unattended")):
            with self.subTest(arch=arch, version=version, word=word):
                inst = Installation(arch=arch, installed_stamp=12, uninstall="native",
                                    windows_version=version)
                result = self.run_update(inst, args=[word], trace_loads=True)
                self.assertEnded(result)
                self.assertBoxes(result, [])
                self.assertPayloadInstalled(result)
                self.assertEqual(result.started_programs, [], result.describe())

    def test_windows_10_without_an_interpreter_still_finds_the_64bit_view(self):
        # ComSpec names no program: it does not matter, and no file is made
        # in the Temp folder
        result = self.run_on("win64", "win10", env={"ComSpec": r"C:\orfa-e2e\missing.exe"})
        self.assertNoCaptureLeft(result)
        self.assertNativeViewOnly(result)


if __name__ == "__main__":
    unittest.main()

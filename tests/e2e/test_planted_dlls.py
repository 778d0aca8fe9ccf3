"""Run from a folder that also holds DLLs named like system DLLs (a downloads
folder anyone can write to), the elevated installer loads none of them, in an
interactive run that shows boxes and starts the product and in quiet runs; and
a quiet run that shows nothing and starts nothing loads no window system.

The planted DLLs (planted_dll.c) record their own loading in planted.log
beside them. One that breaks the loading of the system DLL that wanted it
never gets to record: Wine's trace of loaded modules catches that one, and the
run would not end as expected either."""
import shutil
import sys
import tempfile
import unittest
from pathlib import Path

import e2e_support
import harness
from e2e_support import EN, E2eCase
from harness import Installation

e2e_support.require()

PLANTED = ["shcore", "uxtheme", "version", "dwmapi", "cryptbase", "cryptsp", "propsys",
           "userenv", "wintrust", "bcrypt", "rsaenh", "crypt32", "imm32", "msctf", "comctl32",
           "sechost", "winmm"]
PLANTED_DIR = harness.build_dir() / "e2e" / "planted"
if not all((PLANTED_DIR / f"{name}.dll").is_file() for name in PLANTED):
    print(f"e2e: cannot run: the planted DLLs in {PLANTED_DIR} have not been built", file=sys.stderr)
    sys.exit(1)

WINDOW_SYSTEM = {"user32.dll", "gdi32.dll", "shell32.dll", "comctl32.dll"}


class PlantedDllsTest(E2eCase):
    def setUp(self):
        self.folder = Path(tempfile.mkdtemp(prefix="orfa-e2e-planted-"))
        self.addCleanup(shutil.rmtree, self.folder, True)
        self.installer = self.folder / "orfa-update.exe"
        shutil.copyfile(harness.installer_path(), self.installer)
        for name in PLANTED:
            shutil.copyfile(PLANTED_DIR / f"{name}.dll", self.folder / f"{name}.dll")
        self.log = self.folder / "planted.log"

    def run_planted(self, inst, **kwargs):
        self.log.unlink(missing_ok=True)
        return self.run_update(inst, installer=self.installer, trace_loads=True, **kwargs)

    def assertNonePlantedLoaded(self, result):
        recorded = self.log.read_text(encoding="utf-8") if self.log.exists() else ""
        self.assertEqual(recorded, "", "planted DLLs were loaded:\n" + result.describe())
        # the trace must have worked for its silence to mean anything
        self.assertTrue(result.loaded_modules, "Wine traced no module of the installer")
        folder = harness.to_windows(self.folder).lower() + "\\"
        installer = harness.to_windows(self.installer).lower()
        self.assertEqual([m for m in result.loaded_modules
                          if m.startswith(folder) and m != installer], [])

    def test_interactive_run_that_starts_the_product_loads_none(self):
        result = self.run_planted(Installation(installed_stamp=12), answers=["yes", "yes"])
        self.assertEnded(result)
        self.assertBoxes(result, [(EN["question"], EN["installask"]),
                                  (EN["done_caption"], EN["installdone"])])
        self.assertPayloadInstalled(result)
        self.assertStartedIn(result, e2e_support.PRODUCT)
        self.assertNonePlantedLoaded(result)

    def test_quiet_run_loads_none_and_no_window_system(self):
        # win10 reports 6.2 to the installer, which then asks the console
        for version in (None, "win10"):
            with self.subTest(windows_version=version):
                result = self.run_planted(Installation(installed_stamp=12, windows_version=version),
                                          args=["modest"])
                self.assertEnded(result)
                self.assertBoxes(result, [])
                self.assertPayloadInstalled(result)
                self.assertNotStarted(result)
                self.assertNonePlantedLoaded(result)
                loaded = {m.rsplit("\\", 1)[-1] for m in result.loaded_modules}
                self.assertEqual(sorted(loaded & WINDOW_SYSTEM), [], result.loaded_modules)


if __name__ == "__main__":
    unittest.main()

"""The installer checks its own executable before it touches anything."""
import os
import shutil
import tempfile
import unittest
from pathlib import Path

import e2e_support
import harness
from e2e_support import EN, RU, E2eCase
from harness import Installation

e2e_support.require()


class DamagedInstallerTest(E2eCase):
    def setUp(self):
        folder = Path(tempfile.mkdtemp(prefix="orfa-e2e-damaged-"))
        self.addCleanup(shutil.rmtree, folder, True)
        self.damaged = folder / "orfa-update.exe"
        shutil.copyfile(harness.installer_path(), self.damaged)
        # one byte in the middle of the carried payload
        with open(self.damaged, "r+b") as f:
            f.seek(os.path.getsize(self.damaged) // 2)
            byte = f.read(1)
            f.seek(-1, os.SEEK_CUR)
            f.write(bytes([byte[0] ^ 0x5A]))

    def test_damaged_executable_reports_badinstaller_and_installs_nothing(self):
        for locale, texts in (("en", EN), ("ru", RU)):
            with self.subTest(locale=locale):
                result = self.run_update(Installation(locale=locale, installed_stamp=12),
                                         answers=["yes", "yes"], installer=self.damaged)
                self.assertEnded(result)
                self.assertBoxes(result, [(texts["error"], texts["badinstaller"])])
                self.assertUntouched(result, stamp=12)
                self.assertNoSizeRecorded(result)
                self.assertNotStarted(result)


if __name__ == "__main__":
    unittest.main()

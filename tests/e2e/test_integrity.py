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
    def damaged_copy(self, name: str, damage) -> Path:
        folder = Path(tempfile.mkdtemp(prefix="orfa-e2e-damaged-"))
        self.addCleanup(shutil.rmtree, folder, True)
        copy = folder / name
        shutil.copyfile(harness.installer_path(), copy)
        with open(copy, "r+b") as f:
            damage(f, os.path.getsize(copy))
        return copy

    @staticmethod
    def flip_a_byte(f, size):
        # one byte in the middle of the carried payload
        f.seek(size // 2)
        byte = f.read(1)
        f.seek(-1, os.SEEK_CUR)
        f.write(bytes([byte[0] ^ 0x5A]))

    def test_damaged_executable_reports_badinstaller_and_installs_nothing(self):
        installer = self.damaged_copy("orfa-update.exe", self.flip_a_byte)
        for locale, texts in (("en", EN), ("ru", RU)):
            with self.subTest(locale=locale):
                result = self.run_update(Installation(locale=locale, installed_stamp=12),
                                         answers=["yes", "yes"], installer=installer)
                self.assertEnded(result)
                self.assertBoxes(result, [(texts["error"], texts["badinstaller"])])
                self.assertUntouched(result, stamp=12)
                self.assertNoSizeRecorded(result)
                self.assertNotStarted(result)

    def test_truncated_executable_is_refused_before_it_runs(self):
        # a download that stopped a page short: the system's loader refuses
        # the image (its last section is incomplete), so nothing of it runs;
        # the self-check's own verdict on such files is unit-tested
        installer = self.damaged_copy("orfa-update.exe", lambda f, size: f.truncate(size - 4096))
        result = self.run_update(Installation(installed_stamp=12), answers=["yes", "yes"],
                                 installer=installer)
        self.assertFalse(result.timed_out, result.describe())
        self.assertNotEqual(result.exit_code, 0, result.describe())
        self.assertBoxes(result, [])
        self.assertUntouched(result, stamp=12)
        self.assertNoSizeRecorded(result)

if __name__ == "__main__":
    unittest.main()

"""An update built from its file alone: a version-14 payload, made by the
sample generator, is built into a second build tree with nothing but
-DORFA_PAYLOAD; that installer installs over version 13 and its question names
version 14."""
import hashlib
import subprocess
import sys
import unittest

import e2e_support
import harness
from e2e_support import EN, CR, E2eCase
from harness import Installation

e2e_support.require()

RELEASE = harness.build_dir() / "release-14"
PAYLOAD = RELEASE / "orfm.cok"
INSTALLER = RELEASE / "build" / "orfa-update.exe"


# The same toolchain as the build under test (64-bit where no 32-bit program runs).
TOOLCHAIN = "mingw-x86_64.cmake" if harness.WINE64_ONLY else "mingw-i686.cmake"


def build_release() -> None:
    """The version-14 payload and its installer; incremental on a second run."""
    RELEASE.mkdir(parents=True, exist_ok=True)
    subprocess.run([sys.executable, str(harness.SOURCE_DIR / "tools" / "make_payload.py"),
                    str(PAYLOAD), "--version", "14", "--size", "65536"], check=True)
    subprocess.run(["cmake", "-S", str(harness.SOURCE_DIR), "-B", str(RELEASE / "build"),
                    "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
                    f"-DCMAKE_TOOLCHAIN_FILE={harness.SOURCE_DIR / 'cmake' / TOOLCHAIN}",
                    f"-DORFA_PAYLOAD={PAYLOAD}"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", str(RELEASE / "build"), "--target", "orfa-update"],
                   check=True, stdout=subprocess.DEVNULL)


class ReleaseFromItsFileTest(E2eCase):
    @classmethod
    def setUpClass(cls):
        build_release()

    def test_version_14_installs_over_13_and_names_its_version(self):
        result = self.run_update(Installation(installed_stamp=13), answers=["yes", "no"],
                                 installer=INSTALLER)
        self.assertEnded(result)
        ask = EN["installask"].replace("dictionary 13." + CR, "dictionary 14." + CR)
        self.assertNotEqual(ask, EN["installask"])
        self.assertEqual([(b.caption, b.text) for b in result.boxes][:1],
                         [(EN["question"], ask)], result.describe())
        self.assertEqual(len(result.boxes), 2, result.describe())  # installask, installdone
        self.assertIn("dictionary 14)", result.boxes[1].text)
        self.assertIsNotNone(result.installed, result.describe())
        self.assertEqual(result.installed.sha256, hashlib.sha256(PAYLOAD.read_bytes()).hexdigest())
        self.assertEqual(result.installed.stamp, 14)


if __name__ == "__main__":
    unittest.main()

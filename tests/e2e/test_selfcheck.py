"""The installer's check of its own executable: a damaged copy refuses to
install, and a copy signed with Authenticode after the build still installs."""
import shutil
import struct
import subprocess
import tempfile
import unittest
from pathlib import Path

import e2e_support
import harness
from e2e_support import EN, RU, E2eCase
from harness import Installation

e2e_support.require()


def certificate_table(data: bytes):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    return struct.unpack_from("<II", data, pe + 24 + 128)


class SelfCheckTest(E2eCase):
    @classmethod
    def setUpClass(cls):
        cls.work = Path(tempfile.mkdtemp(prefix="orfa-selfcheck-"))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def damaged_copy(self) -> Path:
        data = bytearray(harness.installer_path().read_bytes())
        payload = data.find(b"orfm" + bytes([13 + 32]))
        self.assertGreater(payload, 0, "payload not found in the executable")
        data[payload + 1_000_000] ^= 0x01  # one bit, deep inside the payload
        path = self.work / "damaged" / "orfa-update.exe"
        path.parent.mkdir(exist_ok=True)
        path.write_bytes(bytes(data))
        return path

    def signed_copy(self) -> Path:
        key, cert = self.work / "key.pem", self.work / "cert.pem"
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                        "-subj", "/CN=Orfa update test signer", "-keyout", str(key),
                        "-out", str(cert)], check=True, capture_output=True, timeout=120)
        path = self.work / "signed" / "orfa-update.exe"
        path.parent.mkdir(exist_ok=True)
        subprocess.run(["osslsigncode", "sign", "-certs", str(cert), "-key", str(key),
                        "-n", "Orfa update", "-in", str(harness.installer_path()),
                        "-out", str(path)], check=True, capture_output=True, timeout=300)
        offset, size = certificate_table(path.read_bytes())
        self.assertGreater(size, 0, "osslsigncode added no certificate table")
        return path

    def test_damaged_executable_refuses_to_install(self):
        exe = self.damaged_copy()
        for locale, texts in (("en", EN), ("ru", RU)):
            with self.subTest(locale=locale):
                result = self.run_update(Installation(locale=locale, installed_stamp=12),
                                         installer=exe)
                self.assertEnded(result)
                self.assertBoxes(result, [(texts["error"], texts["badinstaller"])])
                self.assertUntouched(result, stamp=12)
                self.assertNoSizeRecorded(result)

    def test_signed_executable_still_installs(self):
        exe = self.signed_copy()
        result = self.run_update(Installation(installed_stamp=12), installer=exe,
                                 answers=["yes", "no"])
        self.assertEnded(result)
        self.assertBoxes(result, [(EN["question"], EN["installask"]),
                                  (EN["done_caption"], EN["installdone"])])
        self.assertPayloadInstalled(result)


if __name__ == "__main__":
    unittest.main()

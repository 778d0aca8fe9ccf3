"""An executable signed with Authenticode after the build keeps its own
digest valid: signing adds a certificate table and changes the PE checksum,
both of which the digest leaves out."""
import shutil
import struct
import subprocess
import tempfile
import unittest
from pathlib import Path

import e2e_support
import harness
from e2e_support import EN, E2eCase
from harness import Installation

e2e_support.require()


def certificate_table(data: bytes):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    magic = struct.unpack_from("<H", data, pe + 24)[0]
    return struct.unpack_from("<II", data, pe + 24 + (144 if magic == 0x20B else 128))


class SignedInstallerTest(E2eCase):
    def setUp(self):
        work = Path(tempfile.mkdtemp(prefix="orfa-e2e-signed-"))
        self.addCleanup(shutil.rmtree, work, True)
        key, cert = work / "key.pem", work / "cert.pem"
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                        "-subj", "/CN=Orfa update test signer", "-keyout", str(key),
                        "-out", str(cert)], check=True, capture_output=True, timeout=120)
        self.signed = work / "orfa-update.exe"
        subprocess.run(["osslsigncode", "sign", "-certs", str(cert), "-key", str(key),
                        "-n", "Orfa update", "-in", str(harness.installer_path()),
                        "-out", str(self.signed)], check=True, capture_output=True, timeout=300)

    def test_signed_executable_still_installs(self):
        original = harness.installer_path().read_bytes()
        signed = self.signed.read_bytes()
        offset, size = certificate_table(signed)
        self.assertEqual(certificate_table(original), (0, 0))
        self.assertGreater(size, 0, "osslsigncode added no certificate table")
        self.assertGreaterEqual(offset, len(original))

        result = self.run_update(Installation(installed_stamp=12), installer=self.signed,
                                 answers=["yes", "no"])
        self.assertEnded(result)
        self.assertBoxes(result, [(EN["question"], EN["installask"]),
                                  (EN["done_caption"], EN["installdone"])])
        self.assertPayloadInstalled(result)


if __name__ == "__main__":
    unittest.main()

"""A code-signed launcher still reads its configuration block under Wine.

The signing tool appends a certificate table behind the block; the launcher finds the
block through its section headers, so the signed file must behave like the unsigned one.
"""

import shutil
import subprocess
import unittest

from harness import GENERATOR, SOURCE, LauncherTestCase, run

OPENSSL = shutil.which("openssl")
OSSLSIGNCODE = shutil.which("osslsigncode")


@unittest.skipUnless(OPENSSL and OSSLSIGNCODE, "openssl and osslsigncode are needed to sign")
class SignedLauncherTest(LauncherTestCase):
    def sign(self, unsigned, signed):
        key, cert = self.work / "key.pem", self.work / "cert.pem"
        for command in (
            [OPENSSL, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
             "-subj", "/CN=vkr e2e signing", "-keyout", str(key), "-out", str(cert)],
            [OSSLSIGNCODE, "sign", "-certs", str(cert), "-key", str(key), "-n", "vkr e2e",
             "-in", str(unsigned), "-out", str(signed)],
        ):
            subprocess.run(command, check=True, capture_output=True, timeout=120)

    def test_signed_example_prints_its_usage_and_keeps_its_block(self):
        example = (SOURCE / "examples" / "service.toml").read_text(encoding="utf-8")
        unsigned = self.make_launcher(example, name="unsigned.exe")
        signed = self.work / "signedsvc.exe"
        self.sign(unsigned, signed)
        self.assertGreater(signed.stat().st_size, unsigned.stat().st_size)

        result = run(signed, "/help")
        self.assertEqual(result.code, 0, result.stdout + result.stderr)
        self.assertIn("Usage: signedsvc.exe /install", result.stdout)

        inspect = [str(GENERATOR), "inspect"]
        before = subprocess.run(inspect + [str(unsigned)], capture_output=True, text=True, check=True)
        after = subprocess.run(inspect + [str(signed)], capture_output=True, text=True, check=True)
        self.assertEqual(after.stdout, before.stdout)


if __name__ == "__main__":
    unittest.main()

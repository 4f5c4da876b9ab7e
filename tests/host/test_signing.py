"""A generated launcher stays readable after it is code-signed.

The launcher finds its block through the section headers, not the end of the file, so
the certificate table a signing tool appends must not disturb it. This builds a launcher
from the example, signs it with a throwaway self-signed certificate and checks that
inspect still prints the same configuration, and that a rebuild from the signed file
drops the signature again.
"""

import argparse
import os
import shutil
import subprocess
import sys
from pathlib import Path


def run(*command, **kwargs):
    result = subprocess.run([str(c) for c in command], capture_output=True, text=True, **kwargs)
    if result.returncode != 0:
        sys.exit(f"command failed ({result.returncode}): {' '.join(map(str, command))}\n"
                 f"{result.stdout}\n{result.stderr}")
    return result.stdout


def without_checksum(image):
    checksum = int.from_bytes(image[60:64], "little") + 24 + 64
    return image[:checksum] + image[checksum + 4:]


def main():
    parser = argparse.ArgumentParser()
    for option in ("vkrgen", "launcher", "example", "work", "osslsigncode", "openssl"):
        parser.add_argument("--" + option, required=True)
    args = parser.parse_args()
    missing = [tool for tool in (args.osslsigncode, args.openssl, args.launcher)
               if tool.endswith("NOTFOUND") or not os.path.exists(tool)]
    if missing:
        # ctest shows the test as skipped (SKIP_RETURN_CODE), not as passed.
        print("skipped: not on this machine: " + ", ".join(missing))
        sys.exit(77)

    work = Path(args.work)
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)
    built = work / "example.exe"
    signed = work / "example-signed.exe"
    key, cert = work / "key.pem", work / "cert.pem"

    run(args.vkrgen, "build", args.example, "-o", built, "--launcher", args.launcher)
    before = run(args.vkrgen, "inspect", built)

    run(args.openssl, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
        "-subj", "/CN=vkrgen signing test", "-keyout", key, "-out", cert)
    run(args.osslsigncode, "sign", "-certs", cert, "-key", key, "-n", "vkrgen test",
        "-in", built, "-out", signed)

    if signed.stat().st_size <= built.stat().st_size:
        sys.exit("the signed file is not larger than the unsigned one: no signature appended?")
    verified = subprocess.run([args.osslsigncode, "verify", "-CAfile", str(cert), "-in", str(signed)],
                              capture_output=True, text=True)
    if "Signature verification: ok" not in verified.stdout:
        sys.exit("osslsigncode does not accept the signature:\n" + verified.stdout + verified.stderr)

    after = run(args.vkrgen, "inspect", signed)
    if after != before:
        sys.exit("the signed launcher yields another configuration:\n--- before\n" + before +
                 "\n--- after\n" + after)

    # A rebuild from the signed launcher cuts the signature off and gives the unsigned
    # file; only the header checksum, which the signing tool recomputed, may differ.
    rebuilt = work / "rebuilt.exe"
    run(args.vkrgen, "build", args.example, "-o", rebuilt, "--launcher", signed)
    if without_checksum(rebuilt.read_bytes()) != without_checksum(built.read_bytes()):
        sys.exit("a rebuild from the signed launcher differs from the first build")
    print("signed launcher keeps its configuration")


if __name__ == "__main__":
    main()

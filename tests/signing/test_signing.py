#!/usr/bin/env python3
"""Signing with an organisation's certificate, as the build does it (cmake/signing.cmake).

The test makes a throwaway certificate authority and a code-signing certificate under it, builds a
signed tree of the windows preset with -DKWOBL_SIGN_PFX (only kwobl.scr, the zip and the installer
package, on the native tools and package pictures of the tree under test), and checks:
- kwobl.scr, the one in the zip, the one in the package and the package verify against that authority
  (osslsigncode), and not against another; one changed byte fails;
- the signed kwobl.scr is the unsigned one plus its signature, and the password is nowhere in the
  tree's cache, build files or output;
- signed through a PKCS#11 token (SoftHSM) instead, the program gets the same signature;
- with a time-stamp authority named (one on the loopback address, answered by openssl ts), the
  signature carries its time stamp;
- under Wine, WinVerifyTrust accepts the signed program and rejects it with one byte changed (Wine
  checks the digest, not the root).

Run inside a Wine session (scripts/wine_session.sh), by `ctest --preset windows -R signing`.
"""

from __future__ import annotations

import argparse
import http.server
import os
import secrets
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import zipfile
from pathlib import Path

OPTIONS: argparse.Namespace
KEYS: Path  # the authority, the signer, the token and the signed files kept for comparison
SOFTHSM_MODULE = Path("/usr/lib/x86_64-linux-gnu/softhsm/libsofthsm2.so")
TRUST_E_NOSIGNATURE = "0x800b0100"
TRUST_E_BAD_DIGEST = "0x80096010"
SIGNER_EXTENSIONS = """[signer]
basicConstraints=critical,CA:false
keyUsage=critical,digitalSignature
extendedKeyUsage=codeSigning
[time_stamps]
basicConstraints=critical,CA:false
keyUsage=critical,digitalSignature
extendedKeyUsage=critical,timeStamping
"""
TIME_STAMP_CONFIG = """[tsa]
default_tsa = kwobl
[kwobl]
serial = {serial}
crypto_device = builtin
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha256
accuracy = secs:1
ess_cert_id_alg = sha256
"""


def run(*command: str | Path, env: dict[str, str] | None = None, check: bool = True) -> subprocess.CompletedProcess:
    return subprocess.run([str(part) for part in command], capture_output=True, text=True, env=env, check=check)


def make_authority(name: str) -> Path:
    """A self-signed authority NAME.pem (key NAME.key) in KEYS."""
    run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", f"/CN=KWOBL test {name}",
        "-addext", "basicConstraints=critical,CA:true", "-addext", "keyUsage=critical,keyCertSign",
        "-keyout", KEYS / f"{name}.key", "-out", KEYS / f"{name}.pem")
    return KEYS / f"{name}.pem"


def verifies(path: Path, authority: Path) -> bool:
    return run(OPTIONS.osslsigncode, "verify", "-CAfile", authority, "-in", path, check=False).returncode == 0


def changed_byte(source: Path, marker: bytes) -> Path:
    """A copy of SOURCE with one bit changed in the first byte of MARKER, which the signature covers."""
    data = bytearray(source.read_bytes())
    at = data.index(marker)
    data[at] ^= 0x01
    copy = KEYS / f"changed-{source.name}"
    copy.write_bytes(data)
    return copy


def issue(name: str, extensions: str) -> Path:
    """A certificate NAME.pem (key NAME.key) under the authority, with the EXTENSIONS section."""
    run("openssl", "req", "-newkey", "rsa:2048", "-nodes", "-subj", f"/CN=KWOBL test {name}",
        "-keyout", KEYS / f"{name}.key", "-out", KEYS / f"{name}.csr")
    (KEYS / "extensions.cnf").write_text(SIGNER_EXTENSIONS)
    run("openssl", "x509", "-req", "-in", KEYS / f"{name}.csr", "-CA", KEYS / "authority.pem",
        "-CAkey", KEYS / "authority.key", "-set_serial", str(secrets.randbits(32)), "-days", "1",
        "-extfile", KEYS / "extensions.cnf", "-extensions", extensions, "-out", KEYS / f"{name}.pem")
    return KEYS / f"{name}.pem"


class TimeStampAuthority(http.server.BaseHTTPRequestHandler):
    """An RFC 3161 time-stamp authority on the loopback address: openssl ts answers each query."""
    answered = 0

    def do_POST(self) -> None:
        (KEYS / "query.tsq").write_bytes(self.rfile.read(int(self.headers["Content-Length"])))
        run("openssl", "ts", "-reply", "-config", KEYS / "tsa.cnf", "-queryfile", KEYS / "query.tsq",
            "-signer", KEYS / "time-stamps.pem", "-inkey", KEYS / "time-stamps.key",
            "-chain", KEYS / "authority.pem", "-out", KEYS / "reply.tsr")
        reply = (KEYS / "reply.tsr").read_bytes()
        TimeStampAuthority.answered += 1
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

    def log_message(self, *_) -> None:
        pass


def build_signed(*options: str) -> str:
    """Configures the signed tree with OPTIONS and builds kwobl.scr; the build's output."""
    configured = run("cmake", "--preset", "windows", "-B", OPTIONS.build, *options, check=False)
    built = run("cmake", "--build", OPTIONS.build, "--target", "kwobl", check=False)
    output = configured.stdout + configured.stderr + built.stdout + built.stderr
    if configured.returncode or built.returncode:
        raise AssertionError(f"the signed build failed:\n{output}")
    return output


def setUpModule() -> None:
    global KEYS
    KEYS = Path(tempfile.mkdtemp(prefix="kwobl-signing-"))
    # The signing time (and the zips' and package's times) fixed, so that two signings compare.
    os.environ["SOURCE_DATE_EPOCH"] = str(int(time.time()))
    os.chdir(OPTIONS.source)
    authority = make_authority("authority")
    make_authority("other-authority")
    issue("signer", "signer")
    (KEYS / "chain.pem").write_text((KEYS / "signer.pem").read_text() + authority.read_text())
    global PASSWORD
    PASSWORD = f"kwobl-{secrets.token_hex(8)}"
    (KEYS / "password").write_text(PASSWORD + "\n")
    run("openssl", "pkcs12", "-export", "-inkey", KEYS / "signer.key", "-in", KEYS / "signer.pem",
        "-certfile", authority, "-passout", f"file:{KEYS / 'password'}", "-out", KEYS / "signer.pfx")

    # A fresh cache, but the objects of an earlier run are kept.
    global BUILD_OUTPUT, BUILD_TEXTS
    BUILD_OUTPUT = build_signed(
        "--fresh",
        f"-DKWOBL_SIGN_PFX={KEYS / 'signer.pfx'}", f"-DKWOBL_SIGN_PASSWORD_FILE={KEYS / 'password'}",
        f"-DKWOBL_DEMO_PICTURES_GENERATOR={OPTIONS.generator}", f"-DKWOBL_PICTURE_CHECKER={OPTIONS.checker}",
        f"-DKWOBL_MSI_PICTURES={OPTIONS.pictures}")
    for command in (["cmake", "--build", OPTIONS.build, "--target", "msi"],
                    ["cpack", "--config", OPTIONS.build / "CPackConfig.cmake"]):
        done = run(*command, check=False)
        BUILD_OUTPUT += done.stdout + done.stderr
        if done.returncode:
            raise AssertionError(f"{' '.join(map(str, command))} failed:\n{done.stdout}{done.stderr}")

    # What the password must stay out of, and the four signed files, kept before the token test
    # configures the tree and builds kwobl.scr again.
    BUILD_TEXTS = {name: (OPTIONS.build / name).read_text(errors="replace")
                   for name in ("CMakeCache.txt", "build.ninja", ".ninja_log")}
    shutil.copy(OPTIONS.build / "kwobl.scr", KEYS / "kwobl.scr")
    with zipfile.ZipFile(OPTIONS.build / f"kwobl-{OPTIONS.version}-win64.zip") as archive:
        (KEYS / "zip").mkdir()
        archive.extract("kwobl.scr", KEYS / "zip")
    shutil.copy(OPTIONS.build / f"kwobl-{OPTIONS.version}-win64.msi", KEYS / "kwobl.msi")
    run("msiextract", "-C", KEYS / "msi", KEYS / "kwobl.msi")


def tearDownModule() -> None:
    shutil.rmtree(KEYS, ignore_errors=True)


class SignedBuild(unittest.TestCase):
    def signed_files(self) -> dict[str, Path]:
        return {
            "kwobl.scr": KEYS / "kwobl.scr",
            "kwobl.scr in the zip": KEYS / "zip" / "kwobl.scr",
            "kwobl.scr in the package": next((KEYS / "msi").rglob("kwobl.scr")),
            "the package": KEYS / "kwobl.msi",
        }

    def test_every_release_file_verifies_against_the_authority_and_no_other(self):
        for what, path in self.signed_files().items():
            with self.subTest(what):
                self.assertTrue(verifies(path, KEYS / "authority.pem"), f"{what} does not verify")
                self.assertFalse(verifies(path, KEYS / "other-authority.pem"), f"{what} verifies under any authority")

    def test_one_changed_byte_fails_the_signature(self):
        cases = {
            "kwobl.scr, in its code": (KEYS / "kwobl.scr", b"stack smashing detected"),
            "the package, in its product name": (KEYS / "kwobl.msi", b"KWOBL Slideshow"),
        }
        for what, (path, marker) in cases.items():
            with self.subTest(what):
                self.assertFalse(verifies(changed_byte(path, marker), KEYS / "authority.pem"))

    def test_the_signed_program_is_the_unsigned_one_with_a_signature(self):
        unsigned = KEYS / "signature-removed.scr"
        run(OPTIONS.osslsigncode, "remove-signature", "-in", KEYS / "kwobl.scr", "-out", unsigned)
        self.assertEqual(unsigned.read_bytes(), OPTIONS.unsigned.read_bytes())
        self.assertFalse(verifies(OPTIONS.unsigned, KEYS / "authority.pem"))

    def test_the_password_stays_out_of_the_cache_the_build_files_and_the_output(self):
        self.assertTrue(str(KEYS / "password") in BUILD_TEXTS["build.ninja"], "the build signs without the password file")
        for what, text in {"the build's output": BUILD_OUTPUT, **BUILD_TEXTS}.items():
            with self.subTest(what):
                self.assertFalse(PASSWORD in text, f"the password is in {what}")

    def test_a_key_on_a_token_gives_the_same_signature(self):
        token = KEYS / "token"
        token.mkdir()
        config = KEYS / "softhsm2.conf"
        config.write_text(f"directories.tokendir = {token}\nobjectstore.backend = file\nlog.level = ERROR\n")
        os.environ["SOFTHSM2_CONF"] = str(config)
        pin = KEYS / "pin"
        pin.write_text("271828\n")
        run("softhsm2-util", "--init-token", "--free", "--label", "kwobl-signing", "--pin", "271828",
            "--so-pin", "314159")
        run("openssl", "pkcs8", "-topk8", "-nocrypt", "-in", KEYS / "signer.key", "-out", KEYS / "signer.p8")
        run("softhsm2-util", "--import", KEYS / "signer.p8", "--token", "kwobl-signing", "--label", "signer",
            "--id", "01", "--pin", "271828")

        def through_token(key: str) -> str:
            return build_signed("-DKWOBL_SIGN_PFX=", f"-DKWOBL_SIGN_PKCS11_MODULE={SOFTHSM_MODULE}",
                                f"-DKWOBL_SIGN_KEY=pkcs11:token=kwobl-signing;object={key};type=private",
                                f"-DKWOBL_SIGN_CERT={KEYS / 'chain.pem'}", f"-DKWOBL_SIGN_PASSWORD_FILE={pin}")

        # The whole URI reaches the token: a key it does not hold stops the build.
        with self.assertRaises(AssertionError):
            through_token("no-such-key")
        through_token("signer")
        signed = OPTIONS.build / "kwobl.scr"
        self.assertTrue(verifies(signed, KEYS / "authority.pem"))
        self.assertEqual(signed.read_bytes(), (KEYS / "kwobl.scr").read_bytes())

    def test_a_time_stamp_is_added_from_the_authority_named(self):
        issue("time-stamps", "time_stamps")
        (KEYS / "tsa.cnf").write_text(TIME_STAMP_CONFIG.format(serial=KEYS / "tsa-serial"))
        (KEYS / "tsa-serial").write_text("01\n")
        server = http.server.HTTPServer(("127.0.0.1", 0), TimeStampAuthority)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        try:
            build_signed(f"-DKWOBL_SIGN_PFX={KEYS / 'signer.pfx'}", f"-DKWOBL_SIGN_PASSWORD_FILE={KEYS / 'password'}",
                         "-DKWOBL_SIGN_PKCS11_MODULE=",
                         f"-DKWOBL_SIGN_TIMESTAMP_URL=http://127.0.0.1:{server.server_address[1]}/")
        finally:
            server.shutdown()
        stamped = OPTIONS.build / "kwobl.scr"
        self.assertEqual(TimeStampAuthority.answered, 1)
        verified = run(OPTIONS.osslsigncode, "verify", "-CAfile", KEYS / "authority.pem",
                       "-TSA-CAfile", KEYS / "authority.pem", "-in", stamped, check=False)
        self.assertEqual(verified.returncode, 0, verified.stdout + verified.stderr)
        # The time stamp is a signature of its own inside the program's: the file grows by it.
        self.assertGreater(stamped.stat().st_size, (KEYS / "kwobl.scr").stat().st_size + 1000)

    def test_a_pin_in_the_key_uri_is_refused(self):
        configured = run("cmake", "--preset", "windows", "-B", OPTIONS.build, "-DKWOBL_SIGN_PFX=",
                         f"-DKWOBL_SIGN_PKCS11_MODULE={SOFTHSM_MODULE}",
                         "-DKWOBL_SIGN_KEY=pkcs11:token=kwobl-signing;object=signer;pin-value=271828",
                         f"-DKWOBL_SIGN_CERT={KEYS / 'chain.pem'}", check=False)
        self.assertNotEqual(configured.returncode, 0)
        self.assertIn("carry no PIN", configured.stderr)

    def test_windows_trust_check_accepts_the_signature_and_rejects_a_changed_byte(self):
        cases = {
            "the signed program": (KEYS / "kwobl.scr", "0x00000000"),
            "the signed program with one byte changed": (changed_byte(KEYS / "kwobl.scr", b"stack smashing"),
                                                        TRUST_E_BAD_DIGEST),
            "the unsigned program": (OPTIONS.unsigned, TRUST_E_NOSIGNATURE),
        }
        for what, (path, expected) in cases.items():
            with self.subTest(what):
                answer = run("wine", OPTIONS.verify_trust, "Z:" + str(path).replace("/", "\\"))
                self.assertEqual(answer.stdout.strip(), expected)


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    for name in ("source", "build", "osslsigncode", "verify-trust", "unsigned", "generator", "checker", "pictures"):
        parser.add_argument(f"--{name}", type=Path, required=True)
    parser.add_argument("--version", required=True)
    global OPTIONS
    OPTIONS, rest = parser.parse_known_args()
    program = unittest.main(argv=[sys.argv[0], "-v", *rest], exit=False)
    return 0 if program.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())

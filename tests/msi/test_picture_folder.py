#!/usr/bin/env python3
"""The msi build's picture folder: a missing number, an extra file or a file that is no picture stops it
with a message that names the file, and leaves no package; fifty pictures make one.

    test_picture_folder.py --checker check_pictures -- MAKE_MSI_ARGUMENTS...

The arguments after -- are packaging/make_msi.py's without the output and the pictures.
"""

from __future__ import annotations

import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
MAKE_MSI_ARGUMENTS: list[str] = []


def bmp(width: int, height: int, colour: tuple[int, int, int]) -> bytes:
    """A 24-bit BMP of one colour."""
    row = bytes(colour[::-1]) * width
    row += b"\0" * (-len(row) % 4)
    pixels = row * height
    return (b"BM" + struct.pack("<IHHI", 54 + len(pixels), 0, 0, 54)
            + struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0) + pixels)


class PictureFolderTest(unittest.TestCase):
    def setUp(self) -> None:
        self.work = Path(tempfile.mkdtemp(prefix="kwobl-msi-folder-"))
        self.pictures = self.work / "pictures"
        self.pictures.mkdir()
        for number in range(1, 51):
            (self.pictures / f"KWOBL{number:03d}.DAT").write_bytes(bmp(8 + number, 6, (number * 5, 80, 200)))
        self.output = self.work / "kwobl.msi"

    def tearDown(self) -> None:
        shutil.rmtree(self.work)

    def make(self) -> subprocess.CompletedProcess[str]:
        return subprocess.run([sys.executable, str(ROOT / "packaging" / "make_msi.py"), "--output", str(self.output),
                               "--work", str(self.work / "msi"), "--pictures", str(self.pictures),
                               *MAKE_MSI_ARGUMENTS], capture_output=True, text=True, timeout=300)

    def assert_refused(self, *words: str) -> None:
        # An older package under the same name must not survive a failed build either.
        self.output.write_bytes(b"an older package")
        result = self.make()
        self.assertNotEqual(result.returncode, 0, result.stdout)
        for word in words:
            self.assertIn(word, result.stderr)
        self.assertIn("no package was made", result.stderr)
        self.assertFalse(self.output.exists(), "a package was left after the build stopped")

    def test_fifty_pictures_make_a_package(self):
        result = self.make()
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertGreater(self.output.stat().st_size, 50 * 54)
        names = subprocess.run(["msiinfo", "export", str(self.output), "File"], capture_output=True, text=True,
                               check=True).stdout
        self.assertEqual(sum(f"KWOBL{number:03d}.DAT" in names for number in range(1, 51)), 50)

    def test_a_missing_number_is_named(self):
        (self.pictures / "KWOBL023.DAT").unlink()
        self.assert_refused("KWOBL023.DAT: missing")

    def test_an_extra_file_is_named(self):
        (self.pictures / "Thumbs.db").write_bytes(b"\0" * 64)
        self.assert_refused("Thumbs.db: does not belong")

    def test_a_file_that_is_no_picture_is_named(self):
        (self.pictures / "KWOBL010.DAT").write_text("not a picture\n")
        self.assert_refused("KWOBL010.DAT: is no picture")

    def test_a_picture_the_program_refuses_is_named(self):
        (self.pictures / "KWOBL040.DAT").write_bytes(bmp(2, 2, (0, 0, 0))[:18] + struct.pack("<ii", 70000, 10)
                                                     + bmp(2, 2, (0, 0, 0))[26:])
        self.assert_refused("KWOBL040.DAT: refused")


if __name__ == "__main__":
    split = sys.argv.index("--")
    MAKE_MSI_ARGUMENTS = sys.argv[split + 1:]
    result = unittest.main(argv=sys.argv[:1] + ["-v"], exit=False).result
    sys.exit(0 if result.wasSuccessful() else 1)

"""The demo folder's generator: numbered .DAT files in five formats, one number left out."""

from __future__ import annotations

import subprocess
import tempfile
import unittest
from pathlib import Path

from e2e_case import E2ECase

# One picture of each format, as the generator's list gives them.
EXPECTED = {
    1: ("PNG", "1920x1080"),
    2: ("JPEG", "1280x720"),
    4: ("GIF", "1024x1024"),
    5: ("BMP", "800x600"),
    8: ("TIFF", "1600x900"),
}


class DemoPicturesTest(E2ECase):
    def setUp(self) -> None:
        if self.session.make_pictures is None:
            self.skipTest("the native generator was not given (--make-pictures)")

    def test_generator_writes_each_format_under_its_number_and_leaves_out_017(self):
        with tempfile.TemporaryDirectory() as folder:
            # A picture left from before under the number that is left out must go.
            (Path(folder) / "KWOBL017.DAT").write_bytes(b"old")
            only = [arg for number in EXPECTED for arg in ("--only", str(number))]
            subprocess.run([str(self.session.make_pictures), folder, *only], check=True,
                           capture_output=True, timeout=120)
            names = sorted(p.name for p in Path(folder).iterdir())
            self.assertEqual(names, [f"KWOBL{n:03d}.DAT" for n in EXPECTED])
            for number, (fmt, size) in EXPECTED.items():
                path = Path(folder) / f"KWOBL{number:03d}.DAT"
                described = subprocess.run(["identify", "-format", "%m %wx%h", f"{path}[0]"], check=True,
                                           capture_output=True, text=True, timeout=60).stdout
                self.assertEqual(described.replace("BMP3", "BMP"), f"{fmt} {size}", path.name)

    def test_generator_paints_the_same_pictures_every_time(self):
        with tempfile.TemporaryDirectory() as a, tempfile.TemporaryDirectory() as b:
            for folder in (a, b):
                subprocess.run([str(self.session.make_pictures), folder, "--only", "5"], check=True,
                               capture_output=True, timeout=120)
            self.assertEqual((Path(a) / "KWOBL005.DAT").read_bytes(), (Path(b) / "KWOBL005.DAT").read_bytes())


if __name__ == "__main__":
    unittest.main()

"""Photos that carry an EXIF orientation are shown upright and fitted as turned; a broken tag changes nothing.

Every picture is stored as 600 x 400, blue, with a red block of 150 x 100 in its stored top-left corner.
On the 640 x 480 screen it is shown at natural size at (20, 40) when it keeps its stored shape, and, when
a quarter turn makes it a 400 x 600 portrait, at the full height: 320 x 480 at left 160, scaled by 0.8, so
the red block is 80 x 120 in whichever corner the turn takes the stored top-left corner to.
"""

from __future__ import annotations

import struct
import subprocess
import unittest
import zlib
from pathlib import Path

from e2e_case import E2ECase
from screen import Rect

AS_STORED = Rect(20, 40, 620, 440)
TURNED = Rect(160, 0, 480, 480)


def tiff_block(value: int, little: bool = True, tag_type: int = 3) -> bytes:
    """An EXIF block (TIFF structure) whose first directory holds only the orientation tag."""
    order = "<" if little else ">"
    head = (b"II" if little else b"MM") + struct.pack(order + "HI", 42, 8)
    entry = struct.pack(order + "HHI", 0x0112, tag_type, 1) + struct.pack(order + "HH", value, 0)
    return head + struct.pack(order + "H", 1) + entry + struct.pack(order + "I", 0)


def with_jpeg_exif(jpeg: bytes, block: bytes) -> bytes:
    """The JPEG file with an APP1 "Exif" segment holding `block` right after its start marker."""
    payload = b"Exif\0\0" + block
    return jpeg[:2] + b"\xff\xe1" + struct.pack(">H", len(payload) + 2) + payload + jpeg[2:]


def with_png_exif(png: bytes, block: bytes) -> bytes:
    """The PNG file with an eXIf chunk holding `block` right after its header chunk."""
    ihdr_end = 8 + 8 + 13 + 4
    chunk = struct.pack(">I", len(block)) + b"eXIf" + block + struct.pack(">I", zlib.crc32(b"eXIf" + block))
    return png[:ihdr_end] + chunk + png[ihdr_end:]


def stored_picture(fmt: str, extra: list[str] | None = None) -> bytes:
    """600 x 400 blue with a red block in the stored top-left corner, as `fmt` bytes."""
    return subprocess.run(["convert", "-size", "600x400", "xc:#0000ff", "-fill", "#ff0000", "-draw",
                           "rectangle 0,0 149,99", "-strip", *(extra or []), f"{fmt}:-"],
                          check=True, capture_output=True, timeout=30).stdout


class OrientationTest(E2ECase):
    def setUp(self) -> None:
        if (self.session.width, self.session.height) != (640, 480):
            self.skipTest("the expected edges are worked out for a 640 x 480 screen")

    def check(self, name: str, data: bytes, shown: Rect, red: Rect) -> None:
        folder = self.session.folder(name, {})
        Path(folder / "KWOBL001.DAT").write_bytes(data)
        self.prepare_desktop((20, 20))
        program = self.session.start(folder, "/s")
        shot = self.wait_for_picture(shown, name)
        # Away from the edges, where the filter blends red into blue.
        inner = red.grown(-6)
        colour = shot.mean_colour(inner)
        self.assertTrue(colour[0] > 200 and colour[2] < 60, f"{name}: {colour} inside {inner}, expected red")
        # The corner diagonally across from the block is blue.
        across = Rect(shown.left + shown.right - red.right, shown.top + shown.bottom - red.bottom,
                      shown.left + shown.right - red.left, shown.top + shown.bottom - red.top).grown(-6)
        colour = shot.mean_colour(across)
        self.assertTrue(colour[2] > 200 and colour[0] < 60, f"{name}: {colour} inside {across}, expected blue")
        self.session.press_key("a", "^Form1$")
        self.assert_ended(program, "a key press")

    def test_tagged_jpeg_photos_are_shown_upright_and_fitted_as_turned(self):
        jpeg = stored_picture("jpeg", ["-quality", "95"])
        cases = [
            # value, byte order little, where the picture is, where its stored top-left corner ends up
            (1, True, AS_STORED, Rect(20, 40, 170, 140)),
            (3, False, AS_STORED, Rect(470, 340, 620, 440)),
            (5, True, TURNED, Rect(160, 0, 240, 120)),
            (6, False, TURNED, Rect(400, 0, 480, 120)),
            (8, True, TURNED, Rect(160, 360, 240, 480)),
        ]
        for value, little, shown, red in cases:
            with self.subTest(orientation=value):
                self.check(f"exif-jpeg-{value}", with_jpeg_exif(jpeg, tiff_block(value, little)), shown, red)

    def test_a_broken_or_impossible_tag_shows_the_photo_as_stored(self):
        jpeg = stored_picture("jpeg", ["-quality", "95"])
        # The directory's offset points far past the block's end.
        beyond = with_jpeg_exif(jpeg, tiff_block(6)[:4] + struct.pack("<I", 0x7FFFFFF0) + tiff_block(6)[8:])
        cases = {
            "exif-long-type": with_jpeg_exif(jpeg, tiff_block(6, tag_type=4)),
            "exif-value-9": with_jpeg_exif(jpeg, tiff_block(9)),
            "exif-offset-beyond": beyond,
            # The block ends inside the orientation entry.
            "exif-block-cut": with_jpeg_exif(jpeg, tiff_block(6)[:16]),
        }
        for name, data in cases.items():
            with self.subTest(name):
                self.check(name, data, AS_STORED, Rect(20, 40, 170, 140))

    def test_tagged_png_and_tiff_pictures_are_shown_upright(self):
        png = with_png_exif(stored_picture("png"), tiff_block(6))
        self.check("exif-png-6", png, TURNED, Rect(400, 0, 480, 120))
        tiff = stored_picture("tiff", ["-orient", "LeftBottom"])  # 8: turned a quarter anticlockwise
        self.check("exif-tiff-8", tiff, TURNED, Rect(160, 360, 240, 480))


if __name__ == "__main__":
    unittest.main()

"""Pictures are shown in the colours their embedded profile describes, on Wine's sRGB screen and on a
monitor with a profile of its own (the X root window's _ICC_PROFILE property, which Wine reports).

Each picture is 320 x 240, four patches of 160 x 120, shown at natural size at (160, 120) on the 640 x 480
screen. The profiles are real published ones from Debian's colord-data and argyll-ref packages; the
expected colours of the Display P3 picture come from Little CMS (tificc, relative colorimetric into sRGB).
"""

from __future__ import annotations

import contextlib
import ctypes
import math
import os
import struct
import subprocess
import tempfile
import unittest
from pathlib import Path

from e2e_case import E2ECase
from screen import Rect, Shot

SHOWN = Rect(160, 120, 480, 360)
SWAPPED = Path("/usr/share/color/icc/colord/SwappedRedAndGreen.icc")
DISPLAY_P3 = Path("/usr/share/color/argyll/ref/DisplayP3.icm")
SRGB = Path("/usr/share/color/icc/colord/sRGB.icc")
# Patches as stored, top left, top right, bottom left, bottom right: P3's full red and green lie outside
# sRGB and end on its edge; the others lie inside, where P3's numbers mean more saturated colours.
SATURATED = [(255, 0, 0), (0, 255, 0), (200, 60, 50), (60, 90, 210)]


def patch_rects() -> list[Rect]:
    return [Rect(SHOWN.left + x, SHOWN.top + y, SHOWN.left + x + 160, SHOWN.top + y + 120)
            for y in (0, 120) for x in (0, 160)]


def patches(colours: list[tuple[int, int, int]], fmt: str) -> bytes:
    """A 320 x 240 picture of four patches, as `fmt` bytes without any colour tag."""
    args = ["convert", "-size", "320x240", "xc:black"]
    for (r, g, b), (x, y) in zip(colours, [(0, 0), (160, 0), (0, 120), (160, 120)]):
        args += ["-fill", f"rgb({r},{g},{b})", "-draw", f"rectangle {x},{y} {x + 159},{y + 119}"]
    options = ["-quality", "98", "-sampling-factor", "1x1"] if fmt == "jpeg" else []
    return subprocess.run([*args, *options, "-strip", f"{fmt}:-"], check=True, capture_output=True, timeout=30).stdout


def with_jpeg_profile(jpeg: bytes, profile: bytes) -> bytes:
    """The JPEG file with `profile` in one APP2 segment right after its start marker."""
    segment = b"ICC_PROFILE\0\x01\x01" + profile
    return jpeg[:2] + b"\xff\xe2" + struct.pack(">H", len(segment) + 2) + segment + jpeg[2:]


def little_cms(colours: list[tuple[int, int, int]], profile: Path) -> list[tuple[float, float, float]]:
    """What Little CMS makes of `colours` in `profile`: relative colorimetric into sRGB, 0..255."""
    with tempfile.TemporaryDirectory() as folder:
        source, out = Path(folder) / "in.tif", Path(folder) / "out.tif"
        raw = b"".join(bytes(c) for c in colours)
        subprocess.run(["convert", "-size", f"{len(colours)}x1", "-depth", "8", "rgb:-", "-profile", str(profile),
                        "-compress", "none", str(source)], input=raw, check=True, capture_output=True, timeout=30)
        subprocess.run(["tificc", "-t1", "-o", str(SRGB), str(source), str(out)], check=True, capture_output=True)
        data = subprocess.run(["convert", str(out), "-depth", "16", "rgb:-"], check=True, capture_output=True).stdout
    levels = struct.unpack(f"<{len(colours) * 3}H", data)
    return [tuple(v / 257 for v in levels[i * 3:i * 3 + 3]) for i in range(len(colours))]


def lab(rgb: tuple[float, float, float]) -> tuple[float, float, float]:
    """sRGB 0..255 to CIELAB (D65)."""
    linear = [c / 255 / 12.92 if c / 255 <= 0.04045 else ((c / 255 + 0.055) / 1.055) ** 2.4 for c in rgb]
    matrix = [(0.4124, 0.3576, 0.1805), (0.2126, 0.7152, 0.0722), (0.0193, 0.1192, 0.9505)]
    white = (0.95047, 1.0, 1.08883)
    x, y, z = (sum(m * c for m, c in zip(row, linear)) / w for row, w in zip(matrix, white))
    f = [t ** (1 / 3) if t > (6 / 29) ** 3 else t / (3 * (6 / 29) ** 2) + 4 / 29 for t in (x, y, z)]
    return 116 * f[1] - 16, 500 * (f[0] - f[1]), 200 * (f[1] - f[2])


def ciede2000(lab1: tuple[float, float, float], lab2: tuple[float, float, float]) -> float:
    l1, a1, b1 = lab1
    l2, a2, b2 = lab2
    c_mean = (math.hypot(a1, b1) + math.hypot(a2, b2)) / 2
    g = 0.5 * (1 - math.sqrt(c_mean ** 7 / (c_mean ** 7 + 25 ** 7)))
    a1p, a2p = a1 * (1 + g), a2 * (1 + g)
    c1p, c2p = math.hypot(a1p, b1), math.hypot(a2p, b2)
    h1p = math.degrees(math.atan2(b1, a1p)) % 360
    h2p = math.degrees(math.atan2(b2, a2p)) % 360
    dh = h2p - h1p
    dh = dh - 360 if dh > 180 else dh + 360 if dh < -180 else dh
    dh = 0 if c1p * c2p == 0 else dh
    big_dh = 2 * math.sqrt(c1p * c2p) * math.sin(math.radians(dh / 2))
    l_mean, cp_mean = (l1 + l2) / 2, (c1p + c2p) / 2
    if c1p * c2p == 0:
        h_mean = h1p + h2p
    elif abs(h1p - h2p) <= 180:
        h_mean = (h1p + h2p) / 2
    else:
        h_mean = (h1p + h2p + 360) / 2 if h1p + h2p < 360 else (h1p + h2p - 360) / 2
    t = (1 - 0.17 * math.cos(math.radians(h_mean - 30)) + 0.24 * math.cos(math.radians(2 * h_mean)) +
         0.32 * math.cos(math.radians(3 * h_mean + 6)) - 0.20 * math.cos(math.radians(4 * h_mean - 63)))
    rt = (-math.sin(math.radians(60 * math.exp(-(((h_mean - 275) / 25) ** 2)))) *
          2 * math.sqrt(cp_mean ** 7 / (cp_mean ** 7 + 25 ** 7)))
    sl = 1 + 0.015 * (l_mean - 50) ** 2 / math.sqrt(20 + (l_mean - 50) ** 2)
    sc, sh = 1 + 0.045 * cp_mean, 1 + 0.015 * cp_mean * t
    dl, dc = (l2 - l1) / sl, (c2p - c1p) / sc
    return math.sqrt(dl ** 2 + dc ** 2 + (big_dh / sh) ** 2 + rt * dc * (big_dh / sh))


@contextlib.contextmanager
def monitor_profile(profile: bytes):
    """Gives the X display a monitor profile while the block runs: the root window's _ICC_PROFILE
    property, which Wine's GetICMProfileW hands out for the screen."""
    x11 = ctypes.CDLL("libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XDefaultRootWindow.restype = ctypes.c_ulong
    x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XChangeProperty.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_int,
                                    ctypes.c_int, ctypes.c_char_p, ctypes.c_int]
    x11.XDeleteProperty.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong]
    x11.XFlush.argtypes = [ctypes.c_void_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    display = x11.XOpenDisplay(os.environ["DISPLAY"].encode())
    if not display:
        raise RuntimeError("cannot open the X display")
    root = x11.XDefaultRootWindow(display)
    atom = x11.XInternAtom(display, b"_ICC_PROFILE", 0)
    x11.XChangeProperty(display, root, atom, 6, 8, 0, profile, len(profile))  # CARDINAL, 8 bits, replace
    x11.XFlush(display)
    try:
        yield
    finally:
        x11.XDeleteProperty(display, root, atom)
        x11.XCloseDisplay(display)


def picture_area(shot: Shot) -> bytes:
    return b"".join(shot.rgb[(y * shot.width + SHOWN.left) * 3:(y * shot.width + SHOWN.right) * 3]
                    for y in range(SHOWN.top, SHOWN.bottom))


class ColourTest(E2ECase):
    def setUp(self) -> None:
        if (self.session.width, self.session.height) != (640, 480):
            self.skipTest("the patches' places are worked out for a 640 x 480 screen")
        missing = [str(p) for p in (SWAPPED, DISPLAY_P3, SRGB) if not p.exists()]
        if missing:
            self.fail("profiles missing (colord-data, argyll-ref): " + ", ".join(missing))

    def show(self, name: str, data: bytes) -> Shot:
        folder = self.session.folder(name, {})
        Path(folder / "KWOBL001.DAT").write_bytes(data)
        self.prepare_desktop((20, 20))
        program = self.session.start(folder, "/s")
        shot = self.wait_for_picture(SHOWN, name)
        self.session.press_key("a", "^Form1$")
        self.assert_ended(program, "a key press")
        return shot

    def patch_colours(self, shot: Shot) -> list[tuple[int, int, int]]:
        return [shot.mean_colour(rect.grown(-8)) for rect in patch_rects()]

    def test_colour_the_swapped_profile_shows_red_as_red(self):
        # Stored green with a profile that swaps red and green: it means red.
        stored = [(0, 255, 0), (255, 0, 0), (0, 0, 255), (255, 255, 255)]
        shot = self.show("colour-swapped", with_jpeg_profile(patches(stored, "jpeg"), SWAPPED.read_bytes()))
        seen = self.patch_colours(shot)
        expected = [(255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 255)]
        for got, want in zip(seen, expected):
            self.assertTrue(all(abs(g - w) <= 6 for g, w in zip(got, want)), f"{seen}, expected {expected}")

    def test_colour_display_p3_saturated_patches_land_where_little_cms_puts_them(self):
        shot = self.show("colour-p3", with_jpeg_profile(patches(SATURATED, "jpeg"), DISPLAY_P3.read_bytes()))
        seen = self.patch_colours(shot)
        wanted = little_cms(SATURATED, DISPLAY_P3)
        deltas = [ciede2000(lab(w), lab(s)) for w, s in zip(wanted, seen)]
        self.assertLess(max(deltas), 1.0, f"CIEDE2000 {deltas}: shown {seen}, Little CMS {wanted}")
        # Not the numbers as stored.
        self.assertGreater(max(ciede2000(lab(c), lab(s)) for c, s in zip(SATURATED, seen)), 2.0)

    def test_colour_srgb_controls_stay_byte_identical_and_a_broken_profile_changes_nothing(self):
        colours = [(200, 40, 90), (30, 160, 220), (240, 200, 20), (150, 150, 150)]
        jpeg = patches(colours, "jpeg")
        untagged = picture_area(self.show("colour-untagged", jpeg))
        tagged = picture_area(self.show("colour-srgb", with_jpeg_profile(jpeg, SRGB.read_bytes())))
        self.assertEqual(tagged, untagged, "the sRGB-tagged JPEG differs from the untagged one")
        broken = with_jpeg_profile(jpeg, SWAPPED.read_bytes()[:1000])
        self.assertEqual(picture_area(self.show("colour-broken", broken)), untagged,
                         "a picture with a broken profile is not shown as stored")

    def test_colour_on_a_monitor_with_its_own_profile_pictures_are_converted_into_it(self):
        # The monitor swaps red and green: sRGB red (untagged pictures count as sRGB) is its green.
        stored = [(255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 255)]
        jpeg = patches(stored, "jpeg")
        with monitor_profile(SWAPPED.read_bytes()):
            seen = self.patch_colours(self.show("colour-monitor-untagged", jpeg))
            seen_tagged = self.patch_colours(self.show("colour-monitor-srgb", with_jpeg_profile(jpeg, SRGB.read_bytes())))
        expected = [(0, 255, 0), (255, 0, 0), (0, 0, 255), (255, 255, 255)]
        for shown_colours in (seen, seen_tagged):
            for got, want in zip(shown_colours, expected):
                self.assertTrue(all(abs(g - w) <= 6 for g, w in zip(got, want)), f"{shown_colours}, expected {expected}")


if __name__ == "__main__":
    unittest.main()

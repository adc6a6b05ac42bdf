"""Hostile picture files: each one costs the loader bounded time and memory, and the slideshow gets past them.

One table of files, written by tests/e2e/hostile_files.py when the tests start (some are bombs of a
few hundred kilobytes that claim gigabytes). Each file is loaded on its own by the loader probe
(tests/e2e/helper/e2e_probe.cpp, the loader of the program in a console program) for a 640 x 480
screen: it must load or be refused as the table says, and its peak working set above what the probe
held before stays under the picture budget. Then the real program runs through a few of the worst
in a row between two plain pictures, with a GIF that crashes Wine's imaging component among them: one
black interval for each, its peak working set stays under the budget above what it held while showing
the first picture, and a key ends it. The test copy of the program runs files that hang its decoder
and grow it past its memory limit the same way.

The figures (time and memory of each load) are printed, not checked against a time.
"""

from __future__ import annotations

import random
import shutil
import struct
import subprocess
import time
import unittest
from pathlib import Path

import hostile_files as h
from e2e_case import E2ECase
from screen import Rect
from wine_session import Picture, current, windows_path

# The memory one picture may take above the program's own (imaging/picture_budget.h).
BUDGET_MB = 256
TICK = 10.0
SCREEN = "640x480"

LOADED = "ok"
REFUSED = "refused"


def _bmp_min_height() -> bytes:
    data = bytearray(h.bmp(16, 16))
    struct.pack_into("<i", data, 22, -2 ** 31)
    return bytes(data)


def _random(size: int) -> bytes:
    return random.Random(8).randbytes(size)


# name, what makes the file, what the loader must make of it.
CASES = [
    ("zero-length", lambda: b"", REFUSED),
    ("all-zero", lambda: bytes(65536), REFUSED),
    ("random", lambda: _random(65536), REFUSED),
    ("truncated-jpeg", lambda: h.jpeg(640, 480, 3)[:300], REFUSED),
    ("truncated-png", lambda: h.png(64, 64)[:60], REFUSED),
    ("png-header-65535x65535", lambda: h.png_header(65535, 65535), REFUSED),
    ("png-header-65536x1", lambda: h.png_header(65536, 1), REFUSED),
    ("png-header-0x0", lambda: h.png_header(0, 0), REFUSED),
    ("png-bomb-20000x20000", lambda: h.png(20000, 20000, colour_type=0), REFUSED),
    ("png-rgba16-11585x11585", lambda: h.png_header(11585, 11585, colour_type=6, depth=16), REFUSED),
    ("png-rgba8-11585x11585", lambda: h.png_header(11585, 11585, colour_type=6), REFUSED),
    ("ico-with-png-bomb", lambda: h.ico([h.png(20000, 20000, colour_type=0)]), REFUSED),
    ("gif-screen-65535x65535", lambda: h.gif((65535, 65535), [(16, 16)]), REFUSED),
    ("gif-later-frame-65535x2048", lambda: h.gif((16, 16), [(16, 16), (65535, 2048)]), REFUSED),
    ("tiff-looping-directories", lambda: h.tiff([(16, 16), (16, 16)], loop_to=0), REFUSED),
    ("tiff-later-page-60000x60000", lambda: h.tiff([(16, 16), (60000, 60000)]), REFUSED),
    ("bmp-negative-width", lambda: h.bmp(-16, 16), REFUSED),
    ("bmp-height-int-min", _bmp_min_height, REFUSED),
    ("bmp-30000x30000", lambda: h.bmp(30000, 30000, with_pixels=False), REFUSED),
    ("jpeg-header-65500x65500", lambda: h.jpeg(65500, 65500)[:400], REFUSED),
    ("scan-bomb-grey-16384x8192", lambda: h.progressive_jpeg(16384, 8192, 1), REFUSED),
    ("scan-bomb-colour-16384x8192", lambda: h.progressive_jpeg(16384, 8192, 3, max_scans=2000), REFUSED),
    ("scan-bomb-grey-8192x8192", lambda: h.progressive_jpeg(8192, 8192, 1), REFUSED),
    ("progressive-444-65500x2048", lambda: h.progressive_jpeg(65500, 2048, 3, max_scans=10), REFUSED),
    # What must still show beside them.
    ("jpeg-broken-exif", lambda: h.jpeg(64, 48, 1, h.exif_segment(h.broken_exif())), LOADED),
    ("bmp-top-down", lambda: h.bmp(16, -16), LOADED),
    ("gif-two-frames", lambda: h.gif((32, 32), [(16, 16), (32, 8)]), LOADED),
    ("tiff-two-pages", lambda: h.tiff([(16, 16), (8, 8)]), LOADED),
    ("ico-small", lambda: h.ico([h.png(32, 32)]), LOADED),
    ("baseline-100-megapixels", lambda: h.jpeg(12000, 8400, 1), LOADED),
    ("progressive-420-48-megapixels", lambda: h.progressive_jpeg(8000, 6000, 3, max_scans=10, sampling=0x22),
     LOADED),
]

# Files that end the decoder itself rather than being refused by it; the loader probe decodes in its own
# process, so these go only to the slideshow.
DECODER_KILLERS = {
    "gif-without-colour-table": h.gif_without_colour_table,
}

# The worst of them for the real program, between a red picture (001) and a green one.
SLIDESHOW_FILES = ["scan-bomb-grey-8192x8192", "gif-without-colour-table", "png-bomb-20000x20000",
                   "gif-later-frame-65535x2048"]
# For the test copy of the program, whose decoder hangs on one file and grows past its memory limit on
# another (it never finishes under Wine, which does not hold it to the limit).
TRIGGER_FILES = ["KWOBL-TEST-HANG", "gif-without-colour-table", "KWOBL-TEST-GROW"]
RED_AT = Rect(270, 200, 370, 280)    # 100 x 80 centred on 640 x 480
GREEN_AT = Rect(260, 195, 380, 285)  # 120 x 90


def _fields(line: str) -> dict[str, str]:
    parts = line.rstrip("\r\n").split("\t")
    return dict(part.partition("=")[::2] for part in parts[1:])


def _peak_mb(pid: int) -> float | None:
    """The peak resident memory of a process (VmHWM), in megabytes."""
    try:
        for line in Path(f"/proc/{pid}/status").read_text().splitlines():
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) / 1024
    except OSError:
        return None
    return None


def _resident_mb(pid: int) -> float | None:
    try:
        for line in Path(f"/proc/{pid}/status").read_text().splitlines():
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024
    except OSError:
        return None
    return None


class HostileFilesTest(E2ECase):
    files: dict[str, Path] = {}

    @classmethod
    def setUpClass(cls) -> None:
        folder = current().work / "hostile"
        folder.mkdir(parents=True, exist_ok=True)
        cls.folder = folder
        cls.files = {}
        for name, make, _ in CASES:
            path = folder / name
            path.write_bytes(make())
            cls.files[name] = path
        for name, make in DECODER_KILLERS.items():
            path = folder / name
            path.write_bytes(make())
            cls.files[name] = path
        for word in TRIGGER_FILES:
            if word.startswith("KWOBL-TEST-"):
                cls.files[word] = folder / word
                cls.files[word].write_bytes(h.decoder_trigger(word))
        cls.warm_up = folder / "warm-up.png"
        cls.warm_up.write_bytes(h.png(8, 8))

    def probe(self, path: Path) -> dict[str, str]:
        probe = self.session.helper_exe.parent / "kwobl_e2e_probe.exe"
        result = subprocess.run(["wine", str(probe), SCREEN, windows_path(self.warm_up), windows_path(path)],
                                env=self.session.env, stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
        lines = [line for line in result.stdout.decode("utf-8", "replace").splitlines() if line.startswith("load")]
        errors = result.stderr.decode("utf-8", "replace").splitlines()[-5:]
        self.assertEqual(len(lines), 1, f"the probe said {result.stdout!r} for {path.name} and ended with "
                                        f"{result.returncode}; the end of its errors: {errors}")
        return _fields(lines[0])

    def test_each_file_loads_or_is_refused_within_the_budget(self):
        rows = []
        for name, _, expected in CASES:
            with self.subTest(file=name):
                got = self.probe(self.files[name])
                cost = float(got["peak_mb"]) - float(got["before_mb"])
                rows.append((name, self.files[name].stat().st_size, got["result"], float(got["ms"]), cost,
                             got["message"]))
                self.assertEqual(got["result"], expected, f"{name}: {got['message']}")
                self.assertLess(cost, BUDGET_MB, f"{name} took {cost:.0f} MB above the program's own")
        print(f"\n    {'file':32} {'bytes':>9} {'result':8} {'ms':>8} {'MB':>6}  message")
        for name, size, result, ms, cost, message in rows:
            print(f"    {name:32} {size:9} {result:8} {ms:8.1f} {cost:6.1f}  {message[:70]}")
        worst = max(rows, key=lambda row: row[4])
        slowest = max(rows, key=lambda row: row[3])
        print(f"    peak memory above the program's own: {worst[4]:.0f} MB ({worst[0]}); "
              f"longest load: {slowest[3]:.0f} ms ({slowest[0]}); budget {BUDGET_MB} MB")

    def run_slideshow(self, name: str, files: list[str], program_file: str = "kwobl.scr") -> None:
        """Runs `files` between a red and a green picture: one black interval each, then the green
        picture, and a key ends the run."""
        session = self.session
        if (session.width, session.height) != (640, 480):
            self.skipTest("the expected edges are worked out for a 640 x 480 screen")
        last = len(files) + 2
        folder = session.folder(name, {1: Picture(100, 80, "#ff0000", "png"),
                                       last: Picture(120, 90, "#00ff00", "png")})
        if program_file != "kwobl.scr":
            shutil.copy2(session.scr.parent / program_file, folder / "kwobl.scr")
        for number, file in enumerate(files, start=2):
            (folder / f"KWOBL{number:03d}.DAT").write_bytes(self.files[file].read_bytes())
        self.prepare_desktop((20, 20))
        program = session.start(folder, "/s")
        self.wait_for_picture(RED_AT, f"{name}-001")
        own_mb = _resident_mb(program.process.pid)
        self.assertIsNotNone(own_mb, "no memory figures for the slideshow's process")
        black = session.wait_for_screen(lambda s: s.is_black(), TICK + 5)
        self.assertIsNotNone(black, "the first hostile file did not give a black screen")
        went_black = time.monotonic()
        green = session.wait_for_screen(lambda s: s.lit_box() == GREEN_AT, len(files) * TICK + 10)
        black_seconds = time.monotonic() - went_black
        session.screenshot(f"{name}-last")
        self.assertIsNotNone(green, "the picture after the hostile files never showed")
        self.assertTrue(program.alive(), "the slideshow died")
        peak_mb = _peak_mb(program.process.pid)
        print(f"\n    {name}: {black_seconds:.1f} s of black for {len(files)} hostile files; slideshow "
              f"peak {peak_mb:.0f} MB, {peak_mb - own_mb:.0f} MB above the {own_mb:.0f} MB it held "
              f"showing picture 001 (budget {BUDGET_MB} MB)")
        # One interval of black each. The black starts once the first file is refused, which may take
        # a few seconds of its interval (a scan bomb is stopped only after its allowed scans, a hanging
        # decoder after its watchdog's time).
        self.assertGreater(black_seconds, (len(files) - 0.75) * TICK)
        self.assertLess(black_seconds, (len(files) + 0.5) * TICK)
        self.assertLess(peak_mb - own_mb, BUDGET_MB)
        session.press_key("a", "^Form1$")
        self.assert_ended(program, "a key press")
        self.assert_desktop_given_back()
        self.assertEqual(self.session.x_windows("Program Error"), [], "a crash was reported on the screen")

    def test_slideshow_shows_a_black_interval_for_each_refused_file_and_ends_on_a_key(self):
        self.run_slideshow("hostile-run", SLIDESHOW_FILES)

    def test_a_decoder_that_hangs_crashes_or_outgrows_its_memory_costs_one_interval_each(self):
        self.run_slideshow("decoder-run", TRIGGER_FILES, "kwobl_test_triggers.scr")


if __name__ == "__main__":
    unittest.main()

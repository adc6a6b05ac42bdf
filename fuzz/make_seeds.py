#!/usr/bin/env python3
"""Writes the fuzzers' seed corpus, fuzz/corpus/TARGET/, from the files of tests/e2e/hostile_files.py
(and, when ImageMagick's `convert` is there, a few JPEG files with real content: 4:2:0 progressive,
CMYK). The seeds are checked in; run this again only to change them.

    fuzz/make_seeds.py
"""

from __future__ import annotations

import random
import shutil
import struct
import subprocess
import sys
import tempfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "tests" / "e2e"))
sys.dont_write_bytecode = True

import hostile_files as h  # noqa: E402


def jpeg_seeds() -> dict[str, bytes]:
    # Each JPEG seed ends with the two bytes the target reads as the size kept.
    seeds = {
        "baseline-grey.jpg": h.jpeg(16, 16),
        "baseline-colour.jpg": h.jpeg(24, 16, 3),
        "exif-broken.jpg": h.jpeg(16, 8, 1, h.exif_segment(h.broken_exif())),
        "progressive-grey.jpg": h.progressive_jpeg(16, 16, 1, max_scans=50),
        "progressive-colour.jpg": h.progressive_jpeg(16, 8, 3, max_scans=50),
    }
    if shutil.which("convert"):
        with tempfile.TemporaryDirectory() as folder:
            for name, args in {
                "progressive-420.jpg": ["-size", "40x24", "gradient:red-blue", "-interlace", "Plane",
                                        "-sampling-factor", "2x2"],
                "cmyk.jpg": ["-size", "24x24", "gradient:", "-colorspace", "CMYK"],
                "restart.jpg": ["-size", "48x16", "plasma:fractal", "-seed", "1", "-define", "jpeg:restart-interval=1"],
            }.items():
                out = Path(folder) / name
                subprocess.run(["convert", "-seed", "1", *args, "-quality", "60", str(out)], check=True)
                seeds[name] = out.read_bytes()
    return {name: data + bytes([17, 23]) for name, data in seeds.items()}


def picture_seeds() -> dict[str, bytes]:
    return {
        "small.png": h.png(4, 3),
        "palette.png": h.png(5, 2, colour_type=3, depth=4),
        "huge.png": h.png_header(65535, 65535),
        "two-frames.gif": h.gif((8, 8), [(4, 4), (8, 2)]),
        "top-down.bmp": h.bmp(3, -2),
        "core-header.bmp": b"BM" + struct.pack("<IHHI", 26, 0, 0, 26) + struct.pack("<IHHHH", 12, 2, 2, 1, 24),
        "icon.ico": h.ico([h.png(4, 4), h.png(2, 2, colour_type=6)]),
        "icon-bitmap.ico": (struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", 2, 2, 0, 0, 1, 32, 56, 22) +
                            struct.pack("<IiiHHIIiiII", 40, 2, 4, 1, 32, 0, 0, 0, 0, 0, 0) + bytes(16)),
        "pages.tif": h.tiff([(4, 4), (2, 3)]),
        "loop.tif": h.tiff([(2, 2), (2, 2)], loop_to=0),
        "frame.jpg": h.jpeg(8, 8),
    }


def scale_seeds() -> dict[str, bytes]:
    rng = random.Random(8)
    seeds = {}
    for name, sizes in {"shrink": (128, 100, 7, 5), "enlarge": (3, 2, 127, 90), "same": (16, 16, 16, 16),
                        "tall": (1, 127, 2, 1)}.items():
        head = b"".join(struct.pack("<H", s - 1) for s in sizes) + struct.pack("<HH", 3, rng.randrange(5))
        seeds[name] = head + bytes(rng.randrange(256) for _ in range(512))
    return seeds


def exif_block(orientation: int, big_endian: bool = False) -> bytes:
    """An EXIF block (from the TIFF header on) whose first directory holds the orientation tag."""
    order = ">" if big_endian else "<"
    head = (b"MM\x00*" if big_endian else b"II*\x00") + struct.pack(order + "I", 8)
    entry = struct.pack(order + "HHI", 0x0112, 3, 1) + struct.pack(order + "HH", orientation, 0)
    return head + struct.pack(order + "H", 1) + entry + struct.pack(order + "I", 0)


def exif_seeds() -> dict[str, bytes]:
    return {
        "block-6-little": exif_block(6),
        "block-8-big": exif_block(8, big_endian=True),
        "jpeg-3.jpg": h.jpeg(8, 8, 1, h.exif_segment(exif_block(3))),
        "jpeg-broken.jpg": h.jpeg(8, 8, 1, h.exif_segment(h.broken_exif())),
        "tiff-5.tif": h.tiff([(2, 2)])[:8] + exif_block(5)[8:],
        "png-exif.png": h.png(2, 2)[:33] + struct.pack(">I", len(exif_block(2))) + b"eXIf" + exif_block(2) + bytes(4),
    }


def main() -> None:
    for target, seeds in {"jpeg_decode": jpeg_seeds(), "picture_limits": picture_seeds(),
                          "image_scale": scale_seeds(), "exif": exif_seeds()}.items():
        folder = HERE / "corpus" / target
        folder.mkdir(parents=True, exist_ok=True)
        for name, data in seeds.items():
            (folder / name).write_bytes(data)
            print(f"{folder.relative_to(HERE.parent)}/{name}: {len(data)} bytes")


if __name__ == "__main__":
    main()

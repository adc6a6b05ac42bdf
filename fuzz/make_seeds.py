#!/usr/bin/env python3
"""Writes the fuzzers' seed corpus, fuzz/corpus/TARGET/, from the files of tests/e2e/hostile_files.py
(and, when ImageMagick's `convert` is there, a few JPEG files with real content: 4:2:0 progressive,
CMYK). The seeds are checked in; run this again only to change them.

    fuzz/make_seeds.py [TARGET]...   (all targets when none is named)
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


def segment_seeds() -> dict[str, bytes]:
    """JPEG files with fill bytes, restarts and a comment before the frame, and PNG files with chunks
    before the image data and without IEND."""
    png = h.png(2, 2)
    chunk = lambda kind, data: struct.pack(">I", len(data)) + kind + data + bytes(4)  # noqa: E731
    frame = h.jpeg(8, 8)
    return {
        "jpeg-fill.jpg": frame[:2] + b"\xff\xff\xff\xfe\x00\x05abc\xff\xd0\xff\x01" + frame[2:],
        "jpeg-exif.jpg": h.jpeg(8, 8, 1, h.exif_segment(exif_block(6))),
        "png-chunks.png": png[:33] + chunk(b"gAMA", struct.pack(">I", 45455)) + chunk(b"tEXt", b"a\0b") + png[33:],
        "png-no-iend.png": png[:33] + chunk(b"sRGB", b"\0"),
    }


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


def icc_segments(profile: bytes, pieces: int) -> list[bytes]:
    """APP2 "ICC_PROFILE" segments holding `profile` in `pieces` parts, in order."""
    size = -(-len(profile) // pieces)
    return [b"\xff\xe2" + struct.pack(">H", 2 + 14 + len(part)) + b"ICC_PROFILE\0" + bytes([i + 1, pieces]) + part
            for i, part in enumerate(profile[k:k + size] for k in range(0, len(profile), size))]


def icc_profile(space: bytes, tags: dict[bytes, bytes]) -> bytes:
    """An ICC version 2 display profile of colour space `space` (b"RGB " or b"GRAY") with `tags`."""
    table = b""
    data = b""
    offset = 128 + 4 + 12 * len(tags)
    for signature, payload in tags.items():
        padded = payload + bytes(-len(payload) % 4)
        table += signature + struct.pack(">II", offset + len(data), len(payload))
        data += padded
    body = struct.pack(">I", len(tags)) + table + data
    header = (struct.pack(">I", 128 + len(body)) + b"none" + bytes([2, 0x10, 0, 0]) + b"mntr" + space + b"XYZ " +
              bytes(12) + b"acsp" + bytes(24) + bytes(4) + struct.pack(">3i", 63190, 65536, 54061) + bytes(48))
    return header + body


def xyz(x: float, y: float, z: float) -> bytes:
    return b"XYZ " + bytes(4) + struct.pack(">3i", *(round(v * 65536) for v in (x, y, z)))


def gamma_curve(gamma: float) -> bytes:
    return b"curv" + bytes(4) + struct.pack(">IH", 1, round(gamma * 256)) + bytes(2)


def description(text: str) -> bytes:
    return b"desc" + bytes(4) + struct.pack(">I", len(text) + 1) + text.encode() + bytes(1) + bytes(12) + bytes(67)


def matrix_profile(red, green, blue, gamma: float) -> bytes:
    """An RGB profile of primaries (their D50 XYZ) and one gamma curve."""
    curve = gamma_curve(gamma)
    return icc_profile(b"RGB ", {b"desc": description("seed"), b"wtpt": xyz(0.9642, 1.0, 0.8249),
                                 b"rXYZ": xyz(*red), b"gXYZ": xyz(*green), b"bXYZ": xyz(*blue),
                                 b"rTRC": curve, b"gTRC": curve, b"bTRC": curve})


def colour_seeds() -> dict[str, bytes]:
    """Profiles written here (display P3's primaries, red and green swapped, a grey of gamma 1.8) and
    files carrying them."""
    srgb = ((0.4361, 0.2225, 0.0139), (0.3851, 0.7169, 0.0971), (0.1431, 0.0606, 0.7141))
    p3 = matrix_profile((0.5151, 0.2412, -0.0011), (0.2920, 0.6922, 0.0419), (0.1571, 0.0666, 0.7841), 2.2)
    seeds = {
        "p3.icc": p3,
        "swapped.icc": matrix_profile(srgb[1], srgb[0], srgb[2], 2.2),
        "gray-1.8.icc": icc_profile(b"GRAY", {b"desc": description("grey"), b"wtpt": xyz(0.9642, 1.0, 0.8249),
                                              b"kTRC": gamma_curve(1.8)}),
    }
    frame = h.jpeg(8, 8)
    segments = icc_segments(p3, 3)
    seeds["jpeg-split.jpg"] = frame[:2] + b"".join(segments) + frame[2:]
    seeds["jpeg-out-of-order.jpg"] = frame[:2] + b"".join(reversed(segments)) + frame[2:]
    seeds["tiff-profile.tif"] = (b"II*\0" + struct.pack("<IH", 8, 1) + struct.pack("<HHII", 34675, 7, len(p3), 26) +
                                 struct.pack("<I", 0) + p3)
    png = h.png(2, 2)
    chunk = lambda kind, data: struct.pack(">I", len(data)) + kind + data + bytes(4)  # noqa: E731
    seeds["png-srgb.png"] = png[:33] + chunk(b"sRGB", b"\0") + png[33:]
    seeds["png-gamma.png"] = (png[:33] + chunk(b"gAMA", struct.pack(">I", 55556)) +
                              chunk(b"cHRM", struct.pack(">8I", 34570, 35850, 73470, 26530, 15960, 84040, 3660, 1)) + png[33:])
    return seeds


def main() -> None:
    targets = {"jpeg_decode": jpeg_seeds, "picture_limits": picture_seeds, "image_scale": scale_seeds,
               "picture_segments": segment_seeds, "exif": exif_seeds, "colour_profile": colour_seeds}
    chosen = sys.argv[1:] or list(targets)
    for target, seeds in {name: targets[name]() for name in chosen}.items():
        folder = HERE / "corpus" / target
        folder.mkdir(parents=True, exist_ok=True)
        for name, data in seeds.items():
            (folder / name).write_bytes(data)
            print(f"{folder.relative_to(HERE.parent)}/{name}: {len(data)} bytes")


if __name__ == "__main__":
    main()

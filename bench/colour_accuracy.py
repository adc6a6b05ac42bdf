#!/usr/bin/env python3
"""Measures how true the colours on the screen are: each test picture, a 512 x 384 chart of colour patches
and ramps stored in one colour space with its ICC profile embedded, is shown by kwobl.scr under Wine,
and the screen is compared, pixel by pixel, with what Little CMS makes of the same file (relative
colorimetric, into sRGB: tificc from liblcms2-utils). Prints CIEDE2000's mean and 95th percentile per
picture, beside the same figures for the file's numbers shown as they are stored (what a program without
colour management shows), and whether the sRGB controls are unchanged to the byte.

    bench/colour.sh            (starts the virtual display and Wine, then runs this)

Expects DISPLAY (a 640 x 480 virtual screen) and WINEPREFIX in the environment, and the profiles that
Debian's icc-profiles-free, colord-data, argyll-ref and libgs-common install.
"""

from __future__ import annotations

import argparse
import math
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zlib
from pathlib import Path

import numpy as np

SCREEN = (640, 480)
CHART = (512, 384)
PLACE = ((SCREEN[0] - CHART[0]) // 2, (SCREEN[1] - CHART[1]) // 2)

PROFILES = {
    "display-p3": "/usr/share/color/argyll/ref/DisplayP3.icm",
    "adobe-rgb": "/usr/share/color/icc/colord/AdobeRGB1998.icc",
    "prophoto": "/usr/share/color/icc/colord/ProPhotoRGB.icc",
    "swapped": "/usr/share/color/icc/colord/SwappedRedAndGreen.icc",
    "swop": "/usr/share/color/icc/ghostscript/default_cmyk.icc",
    "gray-1.8": "/usr/share/color/icc/ghostscript/sgray.icc",
    "srgb": "/usr/share/color/icc/colord/sRGB.icc",
}


# ---- The chart ----

def chart() -> np.ndarray:
    """Levels 0..1 as float, rows x columns x RGB: 12 x 8 patches of 32 x 32 (saturated primaries and
    secondaries at several strengths, skin and sky tones, greys) over the top two thirds, and smooth
    ramps of each primary, of grey and of a hue circle below."""
    width, height = CHART
    image = np.zeros((height, width, 3))
    rng = np.random.default_rng(7)
    patches = []
    for strength in (1.0, 0.75, 0.5, 0.25):
        for colour in ((1, 0, 0), (0, 1, 0), (0, 0, 1), (0, 1, 1), (1, 0, 1), (1, 1, 0)):
            patches.append(np.array(colour, float) * strength)
    for grey in np.linspace(0, 1, 12):
        patches.append(np.array([grey] * 3))
    patches += [np.array(c) for c in ((0.85, 0.65, 0.52), (0.76, 0.57, 0.45), (0.55, 0.38, 0.28), (0.38, 0.56, 0.82),
                                      (0.33, 0.55, 0.22), (0.9, 0.8, 0.2))]
    while len(patches) < 16 * 8:
        patches.append(rng.random(3))
    for index, colour in enumerate(patches[:16 * 8]):
        y, x = divmod(index, 16)
        image[y * 32:(y + 1) * 32, x * 32:(x + 1) * 32] = colour
    ramp = np.linspace(0, 1, width)
    band = (height - 256) // 4
    for i, channel in enumerate(((1, 0, 0), (0, 1, 0), (0, 0, 1), (1, 1, 1))):
        image[256 + i * band:256 + (i + 1) * band] = ramp[None, :, None] * np.array(channel, float)
    return image


def ppm(levels: np.ndarray, maxval: int) -> bytes:
    data = np.round(levels * maxval).astype(">u2" if maxval > 255 else "u1")
    return f"P6 {levels.shape[1]} {levels.shape[0]} {maxval}\n".encode() + data.tobytes()


def convert(args: list[str], data: bytes | None = None) -> bytes:
    return subprocess.run(["convert", *args], input=data, check=True, capture_output=True, timeout=60).stdout


# ---- Profiles put into files ----

def with_jpeg_profile(jpeg: bytes, profile: bytes) -> bytes:
    """The JPEG file with `profile` in APP2 segments right after its start marker."""
    size = 65519
    parts = [profile[i:i + size] for i in range(0, len(profile), size)]
    segments = b"".join(b"\xff\xe2" + struct.pack(">H", 16 + len(p)) + b"ICC_PROFILE\0" + bytes([i + 1, len(parts)]) + p
                        for i, p in enumerate(parts))
    return jpeg[:2] + segments + jpeg[2:]


def with_png_profile(png: bytes, profile: bytes) -> bytes:
    """The PNG file with `profile` in an iCCP chunk after its header chunk (and no other colour chunk)."""
    body = b"icc\0\0" + zlib.compress(profile)
    chunk = struct.pack(">I", len(body)) + b"iCCP" + body + struct.pack(">I", zlib.crc32(b"iCCP" + body))
    at = 33
    out = png[:at]
    rest = png[at:]
    while rest:
        length = struct.unpack(">I", rest[:4])[0]
        kind = rest[4:8]
        if kind not in (b"gAMA", b"cHRM", b"sRGB", b"iCCP"):
            out += rest[:12 + length]
        rest = rest[12 + length:]
    return out[:at] + chunk + out[at:]


def pictures(folder: Path) -> dict[str, Path]:
    """The test pictures, made in `folder`: name -> file."""
    made = {}
    levels = chart()
    raw8 = ppm(levels, 255)
    raw16 = ppm(levels, 65535)
    jpeg = convert(["ppm:-", "-quality", "95", "-sampling-factor", "1x1", "-strip", "jpeg:-"], raw8)
    profile = {name: Path(path).read_bytes() for name, path in PROFILES.items()}
    for name in ("display-p3", "adobe-rgb", "swapped", "srgb"):
        made[f"{name}.jpg"] = with_jpeg_profile(jpeg, profile[name])
    png16 = convert(["ppm:-", "-depth", "16", "-strip", "png48:-"], raw16)
    made["prophoto-16.png"] = with_png_profile(png16, profile["prophoto"])
    made["srgb.png"] = with_png_profile(convert(["ppm:-", "-strip", "png24:-"], raw8), profile["srgb"])
    made["prophoto-16.tif"] = convert(["ppm:-", "-depth", "16", "-strip", "-compress", "none", "-profile",
                                       PROFILES["prophoto"], "tiff:-"], raw16)
    # The SWOP picture holds the chart's colours as inks, as a print shop would send it; the grey one
    # its lightness.
    made["swop-cmyk.jpg"] = convert(["ppm:-", "-strip", "-profile", PROFILES["srgb"], "-profile", PROFILES["swop"],
                                     "-quality", "95", "-sampling-factor", "1x1", "jpeg:-"], raw8)
    grey = convert(["ppm:-", "-strip", "-colorspace", "gray", "-quality", "95", "jpeg:-"], raw8)
    made["gray-1.8.jpg"] = with_jpeg_profile(grey, profile["gray-1.8"])
    paths = {}
    for name, data in made.items():
        paths[name] = folder / name
        paths[name].write_bytes(data)
    return paths


# ---- The reference and the comparison ----

def decoded(path: Path, depth: int = 16) -> np.ndarray:
    """The pixels of a picture file as float RGB 0..1."""
    data = convert([str(path) + "[0]", "-depth", str(depth), "rgb:-"])
    dtype = "<u2" if depth == 16 else "u1"
    return np.frombuffer(data, dtype=dtype).reshape(CHART[1], CHART[0], 3).astype(float) / (2 ** depth - 1)


def reference(path: Path, work: Path) -> np.ndarray:
    """What Little CMS makes of the file: its numbers as a TIFF file with its profile (raw inks for
    CMYK), converted by tificc into sRGB with relative colorimetric intent."""
    source = work / (path.stem + "-source.tif")
    convert([str(path) + "[0]", "-compress", "none", str(source)])
    out = work / (path.stem + "-reference.tif")
    subprocess.run(["tificc", "-t1", "-o", PROFILES["srgb"], str(source), str(out)], check=True, capture_output=True)
    return decoded(out)


def lab(rgb: np.ndarray) -> np.ndarray:
    """sRGB levels 0..1 to CIELAB (D65)."""
    linear = np.where(rgb <= 0.04045, rgb / 12.92, ((rgb + 0.055) / 1.055) ** 2.4)
    matrix = np.array([[0.4124, 0.3576, 0.1805], [0.2126, 0.7152, 0.0722], [0.0193, 0.1192, 0.9505]])
    xyz = linear @ matrix.T / np.array([0.95047, 1.0, 1.08883])
    f = np.where(xyz > (6 / 29) ** 3, np.cbrt(xyz), xyz / (3 * (6 / 29) ** 2) + 4 / 29)
    return np.stack([116 * f[..., 1] - 16, 500 * (f[..., 0] - f[..., 1]), 200 * (f[..., 1] - f[..., 2])], axis=-1)


def ciede2000(lab1: np.ndarray, lab2: np.ndarray) -> np.ndarray:
    """CIEDE2000 colour difference (kL = kC = kH = 1), pixel by pixel."""
    l1, a1, b1 = lab1[..., 0], lab1[..., 1], lab1[..., 2]
    l2, a2, b2 = lab2[..., 0], lab2[..., 1], lab2[..., 2]
    c_mean = (np.hypot(a1, b1) + np.hypot(a2, b2)) / 2
    g = 0.5 * (1 - np.sqrt(c_mean ** 7 / (c_mean ** 7 + 25 ** 7)))
    a1p, a2p = a1 * (1 + g), a2 * (1 + g)
    c1p, c2p = np.hypot(a1p, b1), np.hypot(a2p, b2)
    h1p = np.degrees(np.arctan2(b1, a1p)) % 360
    h2p = np.degrees(np.arctan2(b2, a2p)) % 360
    dl = l2 - l1
    dc = c2p - c1p
    dh = h2p - h1p
    dh = np.where(dh > 180, dh - 360, np.where(dh < -180, dh + 360, dh))
    dh = np.where(c1p * c2p == 0, 0, dh)
    dH = 2 * np.sqrt(c1p * c2p) * np.sin(np.radians(dh / 2))
    l_mean = (l1 + l2) / 2
    cp_mean = (c1p + c2p) / 2
    h_sum = h1p + h2p
    h_mean = np.where(c1p * c2p == 0, h_sum,
                      np.where(np.abs(h1p - h2p) <= 180, h_sum / 2,
                               np.where(h_sum < 360, (h_sum + 360) / 2, (h_sum - 360) / 2)))
    t = (1 - 0.17 * np.cos(np.radians(h_mean - 30)) + 0.24 * np.cos(np.radians(2 * h_mean)) +
         0.32 * np.cos(np.radians(3 * h_mean + 6)) - 0.20 * np.cos(np.radians(4 * h_mean - 63)))
    d_theta = 30 * np.exp(-(((h_mean - 275) / 25) ** 2))
    rc = 2 * np.sqrt(cp_mean ** 7 / (cp_mean ** 7 + 25 ** 7))
    sl = 1 + 0.015 * (l_mean - 50) ** 2 / np.sqrt(20 + (l_mean - 50) ** 2)
    sc = 1 + 0.045 * cp_mean
    sh = 1 + 0.015 * cp_mean * t
    rt = -np.sin(np.radians(2 * d_theta)) * rc
    return np.sqrt((dl / sl) ** 2 + (dc / sc) ** 2 + (dH / sh) ** 2 + rt * (dc / sc) * (dH / sh))


# ---- The screen ----

def screenshot() -> np.ndarray:
    data = subprocess.run(["import", "-window", "root", "-depth", "8", "rgb:-"], check=True, capture_output=True,
                          timeout=30).stdout
    return np.frombuffer(data, dtype="u1").reshape(SCREEN[1], SCREEN[0], 3)


def shown(scr: Path, picture: Path, work: Path) -> np.ndarray:
    """The chart's pixels on the screen while kwobl.scr shows `picture` as its first picture."""
    folder = work / ("show-" + picture.name.replace(".", "-"))
    folder.mkdir()
    shutil.copy(scr, folder / "kwobl.scr")
    shutil.copy(picture, folder / "KWOBL001.DAT")
    program = subprocess.Popen(["wine", str(folder / "kwobl.scr"), "/s"], cwd=folder, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    try:
        previous = None
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            time.sleep(0.5)
            shot = screenshot()
            if shot.any() and previous is not None and np.array_equal(shot, previous):
                left, top = PLACE
                return shot[top:top + CHART[1], left:left + CHART[0]].copy()
            previous = shot
        raise RuntimeError(f"{picture.name}: no picture on the screen")
    finally:
        subprocess.run(["xdotool", "search", "--name", "^Form1$", "key", "a"], capture_output=True)
        try:
            program.wait(timeout=10)
        except subprocess.TimeoutExpired:
            program.kill()
            program.wait()


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--scr", type=Path, required=True)
    args = parser.parse_args()
    missing = [path for path in PROFILES.values() if not Path(path).exists()]
    if missing:
        print("missing profiles: " + ", ".join(missing), file=sys.stderr)
        return 1
    with tempfile.TemporaryDirectory(prefix="kwobl-colour-") as temp:
        work = Path(temp)
        files = pictures(work)
        print(f"kwobl colour accuracy: {CHART[0]}x{CHART[1]} charts at natural size on an sRGB screen under Wine;")
        print("CIEDE2000 against Little CMS (relative colorimetric into sRGB)")
        print(f"{'picture':22} {'mean':>6} {'p95':>6} {'max':>6}   numbers as stored: {'mean':>6} {'p95':>6}")
        for name, path in files.items():
            screen_rgb = shown(args.scr, path, work)
            if name.startswith("srgb"):
                stored = np.round(decoded(path, 8) * 255).astype("u1")
                same = np.array_equal(stored, screen_rgb)
                print(f"{name:22} {'unchanged to the byte' if same else 'CHANGED'}"
                      f"{'' if same else f' ({int((stored != screen_rgb).any(axis=2).sum())} pixels differ)'}")
                continue
            wanted = lab(reference(path, work))
            delta = ciede2000(wanted, lab(screen_rgb.astype(float) / 255))
            # The file's numbers shown as they are (cut to 8 bits; CMYK by ImageMagick's plain formula).
            stored = ciede2000(wanted, lab(np.round(decoded(path, 8) * 255) / 255))
            print(f"{name:22} {delta.mean():6.2f} {np.percentile(delta, 95):6.2f} {delta.max():6.2f}"
                  f"   {'':19} {stored.mean():6.2f} {np.percentile(stored, 95):6.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())

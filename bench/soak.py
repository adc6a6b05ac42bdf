"""A day of picture changes in an hour: runs the quick-ticking test copy of the slideshow under Wine over a
mixed set of fifty files and prints what its processes hold as the changes go by. Started by bench/soak.sh,
which gives it a virtual display and a Wine prefix.

Every picture is one colour of its own, so the centre pixel of the screen (read from the X server every
10 ms) tells which number is shown; the bad files (a missing number, a refused file, the decoder's crash
and hang triggers) must show black. The first cycle teaches the colours as the screen shows them (colour
profiles change them); every later cycle must show the same. A change that showed neither its picture nor,
for a bad file, black is a missed one.
"""

from __future__ import annotations

import argparse
import collections
import colorsys
import ctypes
import os
import random
import signal
import struct
import subprocess
import sys
import threading
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "tests" / "e2e"))
import hostile_files  # noqa: E402  (the decoder's trigger files)

DISPLAY_P3 = Path("/usr/share/color/argyll/ref/DisplayP3.icm")
MISSING, REFUSED, CRASH, HANG = 10, 20, 30, 40
BAD = {MISSING, REFUSED, CRASH, HANG}
FIELDS = ["private_kb", "working_set_kb", "handles", "gdi", "user", "threads"]


# ---- The fifty files ----

def colour_of(number: int) -> tuple[int, int, int]:
    """Neighbours far apart in hue, and never dark enough to pass for black."""
    hue = (number * 17 % 50) / 50
    value = 0.75 + 0.25 * (number % 2)
    r, g, b = colorsys.hsv_to_rgb(hue, 0.55 + 0.45 * (number % 3) / 2, value)
    return round(r * 255), round(g * 255), round(b * 255)


def with_orientation(jpeg: bytes, orientation: int) -> bytes:
    tiff = b"II*\x00" + struct.pack("<I", 8) + struct.pack("<H", 1) + \
        struct.pack("<HHIHH", 0x0112, 3, 1, orientation, 0) + struct.pack("<I", 0)
    segment = b"Exif\x00\x00" + tiff
    return jpeg[:2] + b"\xff\xe1" + struct.pack(">H", len(segment) + 2) + segment + jpeg[2:]


def with_profile(jpeg: bytes, profile: bytes) -> bytes:
    segment = b"ICC_PROFILE\0\x01\x01" + profile
    return jpeg[:2] + b"\xff\xe2" + struct.pack(">H", len(segment) + 2) + segment + jpeg[2:]


def make_pictures(folder: Path) -> str:
    """Writes KWOBL001.DAT ... KWOBL050.DAT and says what they are."""
    profile = DISPLAY_P3.read_bytes() if DISPLAY_P3.exists() else b""
    kinds = {"jpeg": 0, "jpeg+P3": 0, "jpeg+orientation": 0, "jpeg+P3+orientation": 0, "png": 0}
    for number in range(1, 51):
        path = folder / f"KWOBL{number:03d}.DAT"
        if number == MISSING:
            continue
        if number == REFUSED:
            path.write_bytes(os.urandom(4096))
            continue
        if number in (CRASH, HANG):
            word = "KWOBL-TEST-CRASH" if number == CRASH else "KWOBL-TEST-HANG"
            path.write_bytes(hostile_files.decoder_trigger(word))
            continue
        r, g, b = colour_of(number)
        width, height = (1600, 1200) if number % 5 else (1200, 1600)
        fmt = "png" if number % 7 == 0 else "jpeg"
        data = subprocess.run(["convert", "-size", f"{width}x{height}", f"xc:rgb({r},{g},{b})", "-quality", "92",
                               "-strip", f"{fmt}:-"], check=True, capture_output=True, timeout=60).stdout
        kind = fmt
        if fmt == "jpeg":
            if number % 3 == 0 and profile:
                data, kind = with_profile(data, profile), kind + "+P3"
            if number % 4 == 0:
                data, kind = with_orientation(data, 6), kind + "+orientation"
        kinds[kind] += 1
        path.write_bytes(data)
    listing = ", ".join(f"{count} {kind}" for kind, count in kinds.items())
    return f"{listing}; {MISSING:03d} missing, {REFUSED:03d} refused, {CRASH:03d} crashes the decoder, " \
           f"{HANG:03d} hangs it"


# ---- The screen ----

class Screen:
    """The colour of one pixel of the X screen, read straight from the server."""

    def __init__(self, x: int, y: int):
        self.lib = ctypes.CDLL("libX11.so.6")
        self.lib.XOpenDisplay.restype = ctypes.c_void_p
        self.lib.XDefaultRootWindow.restype = ctypes.c_ulong
        self.lib.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        self.lib.XGetImage.restype = ctypes.c_void_p
        self.lib.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                       ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        self.lib.XGetPixel.restype = ctypes.c_ulong
        self.lib.XGetPixel.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int]
        self.lib.XDestroyImage.argtypes = [ctypes.c_void_p]
        self.display = self.lib.XOpenDisplay(None)
        if not self.display:
            raise RuntimeError("no X display")
        self.root = self.lib.XDefaultRootWindow(self.display)
        self.x, self.y = x, y

    def colour(self) -> tuple[int, int, int]:
        image = self.lib.XGetImage(self.display, self.root, self.x, self.y, 1, 1, 0xFFFFFFFF, 2)
        pixel = self.lib.XGetPixel(image, 0, 0)
        self.lib.XDestroyImage(image)
        return (pixel >> 16) & 255, (pixel >> 8) & 255, pixel & 255


def near(a: tuple[int, int, int], b: tuple[int, int, int], tolerance: int = 24) -> bool:
    return max(abs(x - y) for x, y in zip(a, b)) <= tolerance


def is_black(c: tuple[int, int, int]) -> bool:
    return max(c) <= 8


class Watch:
    """Follows the changes on the screen and checks each against the picture its number should show."""

    def __init__(self):
        self.misses: list[str] = []  # what each missed change showed instead
        self.expected = 1        # the number the next change should show
        self.changes = 0
        self.missed = 0
        self.learnt: dict[int, tuple[int, int, int]] = {}
        self.cycle = 1
        self.lock = threading.Lock()
        # When the last changes were seen, and as what: a miss is told with the changes before it.
        self.recent: collections.deque[tuple[float, int]] = collections.deque(maxlen=6)
        # How long each number stayed on the screen at the shortest, from its change to the next one seen.
        self.shortest: dict[int, float] = {}

    def shows(self, number: int, c: tuple[int, int, int]) -> bool:
        if number in BAD:
            return is_black(c)
        if number in self.learnt:
            return near(c, self.learnt[number])
        return not is_black(c) and self.cycle == 1

    def advance(self) -> None:
        self.changes += 1
        self.expected = self.expected % 50 + 1
        if self.expected == 1:
            self.cycle += 1

    def seen(self, c: tuple[int, int, int]) -> None:
        """A new colour stayed on the screen: the next change, or the one after when one was missed."""
        with self.lock:
            now = time.monotonic()
            if self.recent and self.recent[-1][1] > 0:
                at, number = self.recent[-1]
                self.shortest[number] = min(self.shortest.get(number, now - at), now - at)
            if self.shows(self.expected, c):
                self.recent.append((now, self.expected))
                self.learnt.setdefault(self.expected, c)
                self.advance()
                return
            following = self.expected % 50 + 1
            skipped = self.shows(following, c)
            seen = f"{following:03d}'s" if skipped else "black" if is_black(c) else f"rgb{c}"
            before = ", ".join(f"{number:03d} {1000 * (at - now):+.0f} ms" for at, number in self.recent)
            self.misses.append(f"{self.expected:03d} at change {self.changes + 1} (cycle {self.cycle}): the screen "
                               f"went on to {seen}; the changes before it were seen as {before}")
            self.recent.append((now, following if skipped else -1))
            if skipped:
                self.missed += 1
                self.advance()
                self.learnt.setdefault(self.expected, c)
                self.advance()
                return
            # Neither: this change showed something else altogether.
            self.missed += 1
            self.advance()


def decoder_pids(folder: Path) -> set[int]:
    """The decoder processes started from this run's folder (other runs on the machine have their own)."""
    mark = str(folder).replace("/", "\\").encode()
    pids = set()
    for entry in os.scandir("/proc"):
        if entry.name.isdigit():
            try:
                with open(f"/proc/{entry.name}/cmdline", "rb") as f:
                    line = f.read()
                    if b"--kwobl-decoder-process" in line and mark in line:
                        pids.add(int(entry.name))
            except OSError:
                pass
    return pids


# ---- The run ----

def anonymous_kb(folder: Path) -> dict[str, int]:
    """Linux's view of the same processes: their anonymous resident memory (RssAnon), by role."""
    mark = str(folder).replace("/", "\\").encode()
    found = {}
    for entry in os.scandir("/proc"):
        if not entry.name.isdigit():
            continue
        try:
            with open(f"/proc/{entry.name}/comm") as f:
                if f.read().strip() != "kwobl.scr":
                    continue
            with open(f"/proc/{entry.name}/cmdline", "rb") as f:
                line = f.read()
            if mark not in line:
                continue
            role = "decoder" if b"--kwobl-decoder-process" in line else "slideshow"
            with open(f"/proc/{entry.name}/status") as f:
                for line in f:
                    if line.startswith("RssAnon:"):
                        found[role] = int(line.split()[1])
        except OSError:
            pass
    return found


def sample(helper: Path, program: str, folder: Path) -> dict[str, dict[str, int]]:
    out = subprocess.run(["wine", str(helper), "sample", program], capture_output=True, timeout=120).stdout
    found: dict[str, dict[str, int]] = {}
    for line in out.decode("utf-8", "replace").splitlines():
        fields = dict(part.split("=", 1) for part in line.strip().split()[1:])
        found[fields["role"]] = {k: int(fields[k]) for k in FIELDS}
    for role, kb in anonymous_kb(folder).items():
        if role in found:
            found[role]["anon_kb"] = kb
    return found


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--changes", type=int, default=8640)
    parser.add_argument("--tick-ms", type=int, default=250)
    parser.add_argument("--scr", type=Path, required=True)
    parser.add_argument("--helper", type=Path, required=True)
    parser.add_argument("--folder", type=Path, required=True)
    parser.add_argument("--screen", default="640x480")
    parser.add_argument("--kill-decoder-every", type=int, default=0, metavar="N",
                        help="end the decoder from outside every N changes, at a random moment of the interval")
    options = parser.parse_args()

    folder = options.folder
    print(f"soak: making the fifty files in {folder}", flush=True)
    print(f"soak: {make_pictures(folder)}", flush=True)
    (folder / "kwobl.scr").write_bytes(options.scr.read_bytes())
    width, height = (int(v) for v in options.screen.split("x"))
    screen = Screen(width // 2, height // 2)

    env = dict(os.environ, KWOBL_TEST_TICK_MS=str(options.tick_ms))
    program = subprocess.Popen(["wine", str(folder / "kwobl.scr"), "/s"], cwd=folder, env=env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    watch = Watch()
    decoders: set[int] = set()
    stop = threading.Event()

    def follow() -> None:
        last = (0, 0, 0)
        candidate, since = None, 0.0
        next_scan = 0.0
        while not stop.is_set():
            c = screen.colour()
            now = time.monotonic()
            # A colour counts once it has stayed for two readings: a half-drawn frame does not.
            if near(c, last, 4):
                candidate = None
            elif candidate is not None and near(c, candidate, 4):
                if now - since >= 0.015:
                    watch.seen(c)
                    last, candidate = c, None
            else:
                candidate, since = c, now
            if now >= next_scan:
                decoders.update(decoder_pids(folder))
                next_scan = now + 0.5
            time.sleep(0.008)

    # The first picture: the program has started.
    deadline = time.monotonic() + 60
    while is_black(screen.colour()) and time.monotonic() < deadline:
        time.sleep(0.05)
    follower = threading.Thread(target=follow, daemon=True)
    follower.start()
    kills: list[int] = []  # the change after which each kill came

    def kill_decoders() -> None:
        """As the task manager or the system short of memory would: at any moment, idle or decoding."""
        chance = random.Random(options.kill_decoder_every)
        due = options.kill_decoder_every
        while not stop.is_set():
            if watch.changes >= due:
                time.sleep(chance.uniform(0, options.tick_ms / 1000))
                for pid in decoder_pids(folder):
                    try:
                        os.kill(pid, signal.SIGKILL)
                        kills.append(watch.changes)
                    except OSError:
                        pass
                due += options.kill_decoder_every
            time.sleep(0.01)

    if options.kill_decoder_every > 0:
        threading.Thread(target=kill_decoders, daemon=True).start()
    started = time.monotonic()
    samples: list[tuple[int, float, dict[str, dict[str, int]]]] = []

    def take(changes: int) -> None:
        s = sample(options.helper, "kwobl.scr", folder)
        samples.append((changes, time.monotonic() - started, s))
        parts = []
        for role in ("slideshow", "decoder"):
            if role in s:
                parts.append(role + " " + " ".join(f"{k}={v}" for k, v in s[role].items()))
        print(f"soak: sample at {changes} changes, {time.monotonic() - started:.0f} s: " + "; ".join(parts)
              + f"; decoder starts {len(decoders)}; missed {watch.missed}", flush=True)

    take(0)
    marks = [m for m in [100] + list(range(500, options.changes, 500)) if m < options.changes]
    try:
        for mark in marks:
            while watch.changes < mark and program.poll() is None:
                time.sleep(0.2)
            if program.poll() is not None:
                break
            take(watch.changes)
        while watch.changes < options.changes and program.poll() is None:
            time.sleep(0.2)
        if program.poll() is None:
            take(watch.changes)
    finally:
        stop.set()
        follower.join(timeout=5)
        if program.poll() is None:
            program.kill()
    elapsed = time.monotonic() - started
    if program.returncode not in (None, -9) and watch.changes < options.changes:
        print(f"soak: the slideshow ended after {watch.changes} changes", flush=True)
    for miss in watch.misses:
        print(f"soak: missed {miss}", flush=True)
    if options.kill_decoder_every > 0:
        print(f"soak: the decoder ended from outside {len(kills)} times (each may cost the picture it was "
              f"decoding), besides the {CRASH:03d} and {HANG:03d} triggers every cycle", flush=True)
    stays = sorted(watch.shortest.items(), key=lambda item: item[1])
    if stays:
        print("soak: the shortest stays on the screen, by number: "
              + ", ".join(f"{number:03d} {1000 * stay:.0f} ms" for number, stay in stays[:4])
              + f"; every other number at least {1000 * stays[min(4, len(stays) - 1)][1]:.0f} ms", flush=True)
    print(f"soak: {watch.changes} changes in {elapsed:.0f} s ({watch.changes / elapsed:.2f} a second)", flush=True)

    base = next((s for c, _, s in samples if c >= 100), samples[0][2])
    last = samples[-1][2]

    def growth(field: str) -> int:
        return max((last[r][field] - base[r][field]) for r in ("slideshow", "decoder") if r in base and r in last)

    print(f"soak: {watch.changes} changes, private {growth('private_kb'):+d} KB, "
          f"working set {growth('working_set_kb'):+d} KB, handles {growth('handles'):+d}, gdi {growth('gdi'):+d}, "
          f"user {growth('user'):+d}, threads {growth('threads'):+d}, "
          f"decoder starts {len(decoders)}, missed {watch.missed}")
    return 0


if __name__ == "__main__":
    sys.exit(main())

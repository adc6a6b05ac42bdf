"""Processor time per hour of the slideshow's processes, split into the picture changes and the time between,
for 12-MP phone photos (Display P3) and 24-MP camera photos, with the display on and off, beside feh -F -D 10
on the same pictures. Started by bench/energy.sh, which gives it a virtual display of each size and a Wine
prefix; this script runs one screen size.

Each run is short (a warm-up interval, then --intervals intervals) and extrapolated to an hour. The processor
time of every thread of the measured processes is read from /proc/PID/task/*/schedstat (nanoseconds) every
50 ms. The time between is the rate of the quietest four seconds of each ten-second period; the rest is the
change (the tick, the copy to the screen and the preparation of the next picture). The X server (Xvfb) and
the Wine server are shown apart: both programs draw through the same X server, and only the slideshow
needs Wine's.
"""

from __future__ import annotations

import argparse
import os
import shutil
import struct
import subprocess
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
from soak import Screen, is_black  # noqa: E402

DISPLAY_P3 = Path("/usr/share/color/argyll/ref/DisplayP3.icm")
INTERVAL = 10.0
STEP = 0.05


def with_profile(jpeg: bytes, profile: bytes) -> bytes:
    segment = b"ICC_PROFILE\0\x01\x01" + profile
    return jpeg[:2] + b"\xff\xe2" + struct.pack(">H", len(segment) + 2) + segment + jpeg[2:]


def make_photos(folder: Path, kind: str, distinct: int) -> None:
    """Fifty numbers filled with `distinct` photo-like pictures in turn: plasma with sensor noise."""
    size, small = ("4032x3024", "504x378") if kind == "phone" else ("6000x4000", "600x400")
    photos = []
    for i in range(distinct):
        data = subprocess.run(["convert", "-seed", str(i + 1), "-size", small, "plasma:fractal", "-resize",
                               f"{size}!", "-attenuate", "0.4", "+noise", "Gaussian", "-quality", "90",
                               "jpeg:-"], check=True, capture_output=True, timeout=300).stdout
        if kind == "phone" and DISPLAY_P3.exists():
            data = with_profile(data, DISPLAY_P3.read_bytes())
        photos.append(data)
    for number in range(1, 51):
        (folder / f"KWOBL{number:03d}.DAT").write_bytes(photos[(number - 1) % distinct])


def cpu_ns(pid: int) -> int:
    total = 0
    try:
        for task in os.scandir(f"/proc/{pid}/task"):
            try:
                with open(f"{task.path}/schedstat") as f:
                    total += int(f.read().split()[0])
            except OSError:
                pass
    except OSError:
        pass
    return total


def pids_of(match) -> list[int]:
    found = []
    for entry in os.scandir("/proc"):
        if entry.name.isdigit():
            try:
                with open(f"/proc/{entry.name}/cmdline", "rb") as f:
                    if match(f.read()):
                        found.append(int(entry.name))
            except OSError:
                pass
    return found


def wineservers(prefix: str) -> list[int]:
    """The Wine server of this prefix (other programs on the machine may run servers of their own)."""
    wanted = f"WINEPREFIX={prefix}".encode()
    found = []
    for pid in pids_of(lambda line: b"wineserver" in line.split(b"\0")[0]):
        try:
            with open(f"/proc/{pid}/environ", "rb") as f:
                if wanted in f.read().split(b"\0"):
                    found.append(pid)
        except OSError:
            pass
    return found


class Meter:
    """Processor time of a changing set of processes (decoders come and go), summed over all of them."""

    def __init__(self, find):
        self.find = find
        self.seen: dict[int, int] = {}
        self.gone = 0
        self.next_scan = 0.0

    def read(self) -> int:
        now = time.monotonic()
        if now >= self.next_scan:
            for pid in self.find():
                self.seen.setdefault(pid, 0)
            self.next_scan = now + 0.5
        for pid in list(self.seen):
            ns = cpu_ns(pid)
            if ns == 0 and not os.path.exists(f"/proc/{pid}"):
                self.gone += self.seen.pop(pid)
            else:
                self.seen[pid] = max(ns, self.seen[pid])
        return self.gone + sum(self.seen.values())


def split(series: list[tuple[float, int]], start: float, periods: int) -> tuple[float, float]:
    """Processor ms in the changes and in the time between over `periods` ten-second periods from `start`.
    The time between is the rate of the quietest four seconds of each period over the whole period; the
    rest (the tick, the copy to the screen and the preparation of the next picture, however long that
    takes) is the change."""
    def at(t: float) -> int:
        best = series[0][1]
        for when, ns in series:
            if when > t:
                break
            best = ns
        return best

    changes = between = 0.0
    for k in range(periods):
        a = start + k * INTERVAL
        b = a + INTERVAL
        total = at(b) - at(a)
        quiet = min(at(t + 4.0) - at(t) for t in [a + i * 0.25 for i in range(int((INTERVAL - 4.0) / 0.25) + 1)])
        idle = quiet * INTERVAL / 4.0
        changes += (total - idle) / 1e6
        between += idle / 1e6
    return changes, between


def run(label: str, command: list[str], cwd: Path, env: dict, find, screen: Screen, intervals: int,
        helper: Path | None, off: bool, xvfb: int) -> str:
    program = subprocess.Popen(command, cwd=cwd, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    try:
        deadline = time.monotonic() + 60
        while is_black(screen.colour()) and time.monotonic() < deadline:
            time.sleep(0.05)
        if off and helper is not None:
            subprocess.run(["wine", str(helper), "display", "Form1", "off"], env=env, capture_output=True, timeout=60)
        meter = Meter(find)
        x_meter = Meter(lambda: [xvfb])
        server = Meter(lambda: wineservers(env["WINEPREFIX"])) if helper is not None else None
        series, x_series, s_series = [], [], []
        # One interval of warm-up: the first picture and the decoder's start are not what an hour is made of.
        begin = time.monotonic() + INTERVAL
        end = begin + intervals * INTERVAL
        while time.monotonic() < end + STEP:
            now = time.monotonic()
            series.append((now, meter.read()))
            x_series.append((now, x_meter.read()))
            if server:
                s_series.append((now, server.read()))
            time.sleep(STEP)
        held = ""
        if helper is not None:
            # What the processes hold at the end of the run (with the display off: after three dark ticks).
            out = subprocess.run(["wine", str(helper), "sample", "kwobl.scr"], env=env, capture_output=True,
                                 timeout=60).stdout.decode("utf-8", "replace")
            for line in out.splitlines():
                fields = dict(part.split("=", 1) for part in line.split()[1:])
                held += f" {fields['role']} {int(fields['private_kb']) // 1024} MB"
    finally:
        program.kill()
        program.wait(timeout=30)
    changes, between = split(series, begin, intervals)
    hours = intervals * INTERVAL / 3600
    x_ms = (x_series[-1][1] - x_series[0][1]) / 1e6 * (intervals * INTERVAL) / (x_series[-1][0] - x_series[0][0])
    s_ms = ((s_series[-1][1] - s_series[0][1]) / 1e6 * (intervals * INTERVAL) / (s_series[-1][0] - s_series[0][0])
            if s_series else 0.0)
    per_hour = lambda ms: ms / hours / 1000  # seconds of processor time an hour  # noqa: E731
    return (f"{label:44} {per_hour(changes + between):9.1f} {per_hour(changes):9.1f} {per_hour(between):9.2f} "
            f"{between / (intervals * INTERVAL):10.3f} {per_hour(x_ms):9.1f} {per_hour(s_ms):9.1f} {held}")


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--scr", type=Path, required=True)
    parser.add_argument("--helper", type=Path, required=True)
    parser.add_argument("--work", type=Path, required=True)
    parser.add_argument("--screen", required=True)
    parser.add_argument("--xvfb-pid", type=int, required=True)
    parser.add_argument("--intervals", type=int, default=3)
    parser.add_argument("--distinct", type=int, default=3)
    options = parser.parse_args()
    width, height = (int(v) for v in options.screen.split("x"))
    screen = Screen(width // 2, height // 2)
    env = dict(os.environ)
    print(f"energy: {options.screen}, {options.intervals} intervals of 10 s measured a run (after one of warm-up), "
          f"extrapolated to an hour", flush=True)
    print(f"{'run':44} {'total s/h':>9} {'change s/h':>9} {'between s/h':>9} {'between ms/s':>10} "
          f"{'Xvfb s/h':>9} {'wineserver s/h':>9}  private bytes at the end", flush=True)
    for kind, what in (("phone", "12-MP phone photos, Display P3"), ("camera", "24-MP camera photos")):
        folder = (options.work / kind).resolve()
        if not folder.exists():
            folder.mkdir(parents=True)
            make_photos(folder, kind, options.distinct)
        shutil.copy2(options.scr, folder / "kwobl.scr")
        mark = str(folder).replace("/", "\\").encode()
        find = lambda: pids_of(lambda line: mark in line and b"kwobl.scr" in line)  # noqa: E731
        for off in (False, True):
            print(run(f"kwobl, {what}, display {'off' if off else 'on'}", ["wine", str(folder / "kwobl.scr"), "/s"],
                      folder, env, find, screen, options.intervals, options.helper, off, options.xvfb_pid), flush=True)
            subprocess.run(["wineserver", "-k"], env=env, capture_output=True)
            subprocess.run(["wineserver", "-w"], env=env, capture_output=True)
        files = sorted(str(p) for p in folder.glob("KWOBL*.DAT"))
        feh = ["feh", "-F", "-D", "10", *files]
        print(run(f"feh -F -D 10, {what}", feh, folder, env,
                  lambda: pids_of(lambda line: line.startswith(b"feh\0-F\0-D\00010")), screen, options.intervals,
                  None, False, options.xvfb_pid), flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())

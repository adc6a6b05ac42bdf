"""The fifty change times of one cycle at the real interval: runs kwobl.scr (ten seconds) on fifty one-colour
pictures and times each change from the X server's own screen (its centre pixel, read every 5 ms). Started
by bench/ontime.sh, which gives it a virtual display and a Wine prefix.
"""

from __future__ import annotations

import argparse
import os
import subprocess
import sys
import time
from pathlib import Path

from soak import Screen, colour_of, is_black, near

INTERVAL = 10.0
TOLERANCE = 0.050


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--scr", type=Path, required=True)
    parser.add_argument("--folder", type=Path, required=True)
    parser.add_argument("--screen", default="640x480")
    options = parser.parse_args()
    folder = options.folder
    for number in range(1, 51):
        r, g, b = colour_of(number)
        subprocess.run(["convert", "-size", "200x150", f"xc:rgb({r},{g},{b})", "-strip",
                        f"png:{folder / f'KWOBL{number:03d}.DAT'}"], check=True, capture_output=True, timeout=60)
    (folder / "kwobl.scr").write_bytes(options.scr.read_bytes())
    width, height = (int(v) for v in options.screen.split("x"))
    screen = Screen(width // 2, height // 2)
    program = subprocess.Popen(["wine", str(folder / "kwobl.scr"), "/s"], cwd=folder, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    times: list[float] = []
    last = (0, 0, 0)
    deadline = time.monotonic() + 60 + 52 * INTERVAL
    try:
        # Picture 001 at the load, then the ticks: 002 ... 050 and 001 again, fifty changes closing the cycle.
        while len(times) < 51 and time.monotonic() < deadline and program.poll() is None:
            c = screen.colour()
            now = time.monotonic()
            if not is_black(c) and not near(c, last, 4):
                times.append(now)
                last = c
            time.sleep(0.005)
    finally:
        if program.poll() is None:
            program.kill()
    if len(times) < 51:
        print(f"ontime: only {len(times)} pictures were seen")
        return 1
    # The timer counts from the window's making; picture 001 shows once the load has read it, a little
    # later, so the first tick's distance from it is shown but is no interval.
    print(f"picture 001 shown at the load; the first tick {times[1] - times[0]:.3f} s later")
    print("change  picture  at (s) from change 1  since the last (s)  off by (ms)  from 10 s steps (ms)")
    worst = 0.0
    for i in range(1, 51):
        step = times[i] - times[i - 1]
        if i > 1:
            worst = max(worst, abs(step - INTERVAL))
        since = f"{step:18.3f}  {1000 * (step - INTERVAL):+11.1f}" if i > 1 else f"{'':18}  {'':11}"
        print(f"{i:6d}  {i % 50 + 1:7d}  {times[i] - times[1]:17.3f}  {since}  "
              f"{1000 * (times[i] - times[1] - (i - 1) * INTERVAL):+20.1f}")
    drift = times[50] - times[1] - 49 * INTERVAL
    within = worst <= TOLERANCE
    print(f"ontime: 50 changes, largest step error {1000 * worst:.1f} ms (allowed {1000 * TOLERANCE:.0f}), "
          f"drift over the cycle {1000 * drift:+.1f} ms, {'on time' if within else 'LATE'}")
    return 0 if within else 1


if __name__ == "__main__":
    sys.exit(main())

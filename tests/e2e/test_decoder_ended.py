"""The decoder process ended from outside, as the task manager, an antivirus or the system short of memory
end it (a Unix kill of its Wine process is what TerminateProcess looks like there): once while it waits for
its next request, once while it decodes a picture. The pictures after it show; at most the picture it was
decoding is lost.

The test copy kwobl_quick.scr ticks every two seconds here (KWOBL_TEST_TICK_MS). Wine shows a process's
Windows command line in /proc, so the decoder is found as the program file started with the decoder's
argument.
"""

from __future__ import annotations

import os
import signal
import subprocess
import time
import unittest
from pathlib import Path

from e2e_case import E2ECase
from screen import Rect
from wine_session import SLIDESHOW_CAPTION, Picture, wait_for, windows_path

TICK = 2.0
DECODER_ARGUMENT = "--kwobl-decoder-process-"
COLOURS = ["#ff0000", "#00ff00", "#0000ff", "#ffff00", "#ff00ff", "#00ffff", "#ff8000", "#8000ff"]
# An idle decoder is resident in about 16 MB under Wine (2 to 3 MB of its own, the rest Wine's libraries);
# one decoding the large picture below soon holds far more.
DECODING_MB = 64


def picture_box(number: int) -> Rect:
    """Where picture `number` lies on a 640 x 480 screen: each number has a size of its own."""
    width, height = 60 + 40 * number, 40 + 30 * number
    left, top = (640 - width) // 2, (480 - height) // 2
    return Rect(left, top, left + width, top + height)


def decoders(program: Path) -> list[int]:
    """The ids of the running decoder processes of `program`."""
    name = windows_path(program).lower()
    found = []
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            line = (entry / "cmdline").read_bytes().replace(b"\0", b" ").decode("utf-8", "replace").lower()
        except OSError:
            continue
        if DECODER_ARGUMENT in line and name in line:
            found.append(int(entry.name))
    return found


def full_width(shot) -> bool:
    box = shot.lit_box()
    return box is not None and box.width == 640


def resident_mb(pid: int) -> float:
    try:
        for line in Path(f"/proc/{pid}/status").read_text().splitlines():
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024
    except OSError:
        pass
    return 0.0


class DecoderEndedTest(E2ECase):
    def setUp(self) -> None:
        if (self.session.width, self.session.height) != (640, 480):
            self.skipTest("the picture boxes are worked out for a 640 x 480 screen")

    def shown(self, number: int, timeout: float) -> bool:
        return self.session.wait_for_screen(lambda s: s.lit_box() == picture_box(number), timeout) is not None

    def test_a_decoder_ended_from_outside_idle_or_decoding_costs_at_most_the_picture_it_was_decoding(self):
        # One run, the cases one after the other.
        cases = [
            # name, the picture shown when the decoder goes, a large picture after it that the decoder is
            # ended while preparing (None: it is ended while it waits), the pictures that must show after.
            # The first picture after the idle decoder went was prepared by it, the second needs a new one.
            ("idle", 2, None, [3, 4]),
            ("decoding", 5, 6, [7, 8, 9]),
        ]
        large = [case[2] for case in cases if case[2] is not None]
        folder = self.session.folder("decoder-ended",
                                     {n: Picture(picture_box(n).width, picture_box(n).height, COLOURS[n % 8], "png")
                                      for n in range(1, 10) if n not in large})
        for number in large:
            # 48 megapixels: its decode takes a good part of a second under Wine, and its pixels show in
            # the decoder's memory at once.
            subprocess.run(["convert", "-size", "8000x6000", "gradient:#404040-#c0c0c0",
                            f"png:{folder / f'KWOBL{number:03d}.DAT'}"], check=True, capture_output=True,
                           timeout=120)
        program_file = folder / "kwobl.scr"
        self.prepare_desktop((20, 20))
        program = self.session.start_quick(folder, TICK, "/s")
        self.wait_for_picture(picture_box(1), "decoder-ended-1")
        for name, at, large_next, after in cases:
            with self.subTest(case=name):
                self.assertTrue(self.shown(at, 2 * TICK + 5), f"picture {at} did not show")
                found = wait_for(lambda: decoders(program_file), 5)
                self.assertTrue(found, "no decoder process was found")
                victim = found[0]
                if large_next is None:
                    # The picture after it is prepared within milliseconds of the tick; the decoder then waits.
                    time.sleep(0.5)
                    self.assertLess(resident_mb(victim), DECODING_MB, "the decoder was not idle")
                else:
                    self.assertTrue(wait_for(lambda: resident_mb(victim) > DECODING_MB, TICK, interval=0.005),
                                    "the decoder was never seen decoding the large picture")
                held_mb = resident_mb(victim)
                os.kill(victim, signal.SIGKILL)
                # The large picture is the only one as wide as the screen: it shows late, or is lost and the
                # next one shows first.
                first = self.session.wait_for_screen(
                    lambda shot: shot.lit_box() == picture_box(after[0]) or full_width(shot), 2 * TICK + 5)
                lost = [] if large_next is None or (first is not None and full_width(first)) else [large_next]
                for number in after:
                    self.assertTrue(self.shown(number, 2 * TICK + 5),
                                    f"picture {number} did not show after the decoder was ended while {name}")
                self.session.screenshot(f"decoder-ended-{name}-{after[-1]}")
                replacement = decoders(program_file)
                print(f"\n    ended while {name} ({held_mb:.0f} MB held): lost {lost}, pictures {after} shown, "
                      f"decoder {victim} replaced by {replacement}")
                self.assertTrue(replacement and victim not in replacement, "no new decoder replaced the one ended")
        self.session.press_key("a", f"^{SLIDESHOW_CAPTION}$")
        self.assert_ended(program, "a key press")


if __name__ == "__main__":
    unittest.main()

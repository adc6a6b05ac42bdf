"""The display switched off and on again, as the system tells the slideshow: while it is off the ticks go
on and no picture file is opened; back on, the picture the sequence is at shows at once.

The test copy kwobl_quick.scr ticks every two seconds here (KWOBL_TEST_TICK_MS); the helper
kwobl_e2e_power.exe delivers the notification as Windows does (Wine never sends it). inotifywait sees every
open of the picture files by any process of the session.
"""

from __future__ import annotations

import shutil
import subprocess
import threading
import time
import unittest

from e2e_case import START_TIMEOUT, E2ECase
from screen import Rect
from wine_session import SLIDESHOW_CAPTION, Picture

TICK = 2.0
COLOURS = ["#ff0000", "#00ff00", "#0000ff", "#ffff00", "#ff00ff", "#00ffff"]


def picture_box(number: int) -> Rect:
    """Where picture `number` lies on a 640 x 480 screen: each number has a size of its own."""
    width, height = 60 + 40 * number, 40 + 30 * number
    left, top = (640 - width) // 2, (480 - height) // 2
    return Rect(left, top, left + width, top + height)


class DisplayPowerTest(E2ECase):
    def setUp(self) -> None:
        if (self.session.width, self.session.height) != (640, 480):
            self.skipTest("the picture boxes are worked out for a 640 x 480 screen")
        if shutil.which("inotifywait") is None:
            self.skipTest("inotifywait (inotify-tools) is not installed")

    def power(self, state: str) -> None:
        helper = self.session.helper_exe.parent / "kwobl_e2e_power.exe"
        result = subprocess.run(["wine", str(helper), "display", SLIDESHOW_CAPTION, state], env=self.session.env,
                                stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
        self.assertEqual(result.returncode, 0, f"the display could not be switched {state}")

    def shown(self, number: int, timeout: float) -> float | None:
        """Seconds until picture `number` is on the screen, or None."""
        start = time.monotonic()
        shot = self.session.wait_for_screen(lambda s: s.lit_box() == picture_box(number), timeout)
        return None if shot is None else time.monotonic() - start

    def test_display_off_for_two_ticks_opens_no_picture_and_back_on_shows_the_current_one(self):
        folder = self.session.folder("display-power", {n: Picture(picture_box(n).width, picture_box(n).height,
                                                                  COLOURS[n - 1], "png") for n in range(1, 7)})
        self.prepare_desktop((20, 20))
        program = self.session.start_quick(folder, TICK, "/s")
        # The timer counts from the window's making, before the first picture is read, so the first
        # interval is short; from the first tick on the ticks are regular, and the test starts from 002.
        # Just after a tick: 002 shows, 003 has been asked for ahead.
        self.assertIsNotNone(self.shown(2, START_TIMEOUT), "picture 002 did not show")
        self.session.screenshot("power-2")

        watch = subprocess.Popen(["inotifywait", "-m", "-q", "-e", "open", "--format", "%f", str(folder)],
                                 stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.addCleanup(watch.kill)
        opened: list[str] = []
        reader = threading.Thread(target=lambda: opened.extend(line.strip() for line in watch.stdout), daemon=True)
        reader.start()
        time.sleep(0.3)  # inotifywait watches once it has started
        self.power("off")
        off_at = time.monotonic()
        # Two ticks in the dark: 003 and 004 pass unseen.
        time.sleep(2 * TICK + 0.4)
        opened_while_off = [name for name in opened if name.upper().startswith("KWOBL")]
        self.power("on")
        dark = time.monotonic() - off_at
        back_in = self.shown(4, TICK - 0.5)
        self.session.screenshot("power-back-on")
        time.sleep(0.3)
        watch.terminate()
        watch.wait(timeout=10)
        print(f"\n    display off {dark:.1f} s: files opened {opened_while_off}; back on, 004 in "
              f"{back_in if back_in is None else round(back_in, 2)} s")
        self.assertEqual(opened_while_off, [], "picture files were opened while the display was off")
        self.assertIsNotNone(back_in, "back on, the picture the sequence is at (004) did not show at once")
        self.assertIn("KWOBL004.DAT", opened, "the watch saw no open of the picture shown: it proves nothing")
        self.assertIsNotNone(self.shown(5, TICK + 5), "the tick after did not show 005")
        self.session.press_key("a", f"^{SLIDESHOW_CAPTION}$")
        self.assert_ended(program, "a key press")


if __name__ == "__main__":
    unittest.main()

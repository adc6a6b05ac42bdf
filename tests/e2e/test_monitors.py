"""The slideshow on two monitors: the second one is black while it runs, input there ends it, and the
desktop comes back on both.

Runs on a display of its own (see run_e2e.py): monitor 1, the primary, at 0,0 and 1280 x 800; monitor 2
at 1280,0 and 1024 x 768. An ordinary X window, red, stands on monitor 2 for the desktop that must be
covered; it fills monitor 2, so that a cover a pixel short shows red. The picture, 200 x 100 and green,
sits at its natural size in the middle of monitor 1.
"""

from __future__ import annotations

import subprocess
import unittest

from e2e_case import END_TIMEOUT, START_TIMEOUT, E2ECase
from screen import Rect
from wine_session import Picture, wait_for

MONITOR_2 = Rect(1280, 0, 2304, 768)
PICTURE = Rect(540, 350, 740, 450)       # 200 x 100 centred on 1280 x 800
DESKTOP_WINDOW = MONITOR_2
DESKTOP_KEY = "HKCU\\Control Panel\\Desktop"


class TwoMonitorTest(E2ECase):
    def setUp(self) -> None:
        if (self.session.width, self.session.height) != (2304, 800):
            self.skipTest("needs the two-monitor display that run_e2e.py starts")
        red = self.session.work / "red.png"
        red.parent.mkdir(parents=True, exist_ok=True)
        subprocess.run(["convert", "-size", f"{DESKTOP_WINDOW.width}x{DESKTOP_WINDOW.height}", "xc:#ff0000",
                        f"png:{red}"], check=True, capture_output=True, timeout=30)
        self.window = subprocess.Popen(
            ["display", "-geometry", f"+{DESKTOP_WINDOW.left}+{DESKTOP_WINDOW.top}", str(red)],
            env=self.session.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.assertIsNotNone(self.session.wait_for_screen(self.desktop_window_shows, 15),
                             "the window on monitor 2 did not appear")

    def tearDown(self) -> None:
        super().tearDown()
        self.window.kill()
        self.window.wait(timeout=10)

    def desktop_window_shows(self, shot) -> bool:
        r, g, b = shot.mean_colour(DESKTOP_WINDOW.grown(-10))
        return r > 200 and g < 60 and b < 60

    def start(self, name: str, pointer: tuple[int, int]):
        folder = self.session.folder(name, {1: Picture(200, 100, "#00ff00", "png")})
        self.prepare_desktop(pointer)
        program = self.session.start(folder, "/s")
        # Exactly the picture is lit: monitor 2, its red window included, is black.
        self.wait_for_picture(PICTURE, name)
        return program

    def assert_desktop_back_on_both(self, name: str) -> None:
        self.assert_desktop_given_back()
        shot = self.session.wait_for_screen(self.desktop_window_shows, 10)
        if shot is None:
            self.session.screenshot(name + "-after")
            self.fail(f"the window on monitor 2 was not shown again (screenshot {name}-after.png)")
        self.assertNotEqual(shot.lit_box(), None)

    def test_the_second_monitor_is_black_while_the_picture_shows_on_the_first_and_a_key_ends_the_run(self):
        program = self.start("two-key", (1800, 600))
        shot = self.session.screenshot()
        self.assertTrue(all(channel < 20 for channel in shot.mean_colour(MONITOR_2)), "monitor 2 is not black")
        self.assertTrue(program.stays_alive(1.0))
        self.session.press_key("a", "^Form1$")
        self.assert_ended(program, "a key press with the pointer on monitor 2")
        self.assert_desktop_back_on_both("two-key")

    def test_at_150_and_200_percent_the_cover_still_fills_the_second_monitor(self):
        try:
            for dpi in (144, 192):
                with self.subTest(dpi=dpi):
                    self.session.stop_wine()
                    self.assertTrue(self.session.reg("add", DESKTOP_KEY, "/v", "LogPixels", "/t", "REG_DWORD",
                                                     "/d", str(dpi), "/f"))
                    self.session.stop_wine()  # the server reads it when it starts again
                    self.session.start_holder()
                    program = self.start(f"two-dpi-{dpi}", (1800, 600))
                    self.session.press_key("a", "^Form1$")
                    self.assert_ended(program, "a key press")
                    self.assert_desktop_back_on_both(f"two-dpi-{dpi}")
        finally:
            self.session.stop_wine()
            self.session.reg("delete", DESKTOP_KEY, "/v", "LogPixels", "/f")
            self.session.stop_wine()
            self.session.start_holder()

    def test_a_click_on_the_second_monitor_ends_the_run(self):
        program = self.start("two-click", (1800, 600))
        self.session.click(1)
        self.assert_ended(program, "a click on monitor 2")
        self.assert_desktop_back_on_both("two-click")

    def test_movements_on_the_second_monitor_are_judged_like_movements_on_the_first(self):
        program = self.start("two-move", (1800, 600))
        # Whichever of these is the baseline, the sweeps that follow keep one coordinate within 5 pixels.
        self.session.move(1802, 602)
        self.session.move(1803, 603)
        self.session.move(2200, 603)          # along monitor 2
        self.session.move(1803, 100)          # up monitor 2
        self.assertTrue(program.stays_alive(1.0), "a movement along one axis ended the run")
        self.session.move(1810, 610)
        self.assert_ended(program, "a movement of more than 5 pixels both ways on monitor 2")
        self.assert_desktop_back_on_both("two-move")

    def test_a_movement_across_monitors_is_measured_in_screen_pixels(self):
        program = self.start("two-across", (1800, 600))
        self.session.move(1802, 602)
        self.session.move(1803, 603)
        # Along the same row onto monitor 1, beside the picture: one coordinate kept, the run goes on.
        self.session.move(200, 603)
        self.assertTrue(program.stays_alive(1.0), "a movement along a row across the monitors ended the run")
        # 100 pixels up, at the place on monitor 1 that is as far from its left edge as the baseline is from
        # monitor 2's: measured in each monitor's own frame, X would seem unchanged and the run go on.
        self.session.move(1803 - 1280, 503)
        self.assert_ended(program, "a movement across the monitors of more than 5 pixels both ways")
        self.assert_desktop_back_on_both("two-across")


if __name__ == "__main__":
    unittest.main()

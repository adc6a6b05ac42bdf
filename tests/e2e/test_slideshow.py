"""Where the slideshow puts a picture, and the inputs that end it: one short run per placement.

Each run shows picture 001 on a 640 x 480 screen, checks the picture's edges to the pixel from a
screenshot, then ends the run with a different input. Positions that come out as halves (an odd
difference between screen and picture) are drawn from the next whole pixel: 269.5 starts at 270.
"""

from __future__ import annotations

import unittest

from e2e_case import E2ECase
from screen import Rect
from wine_session import Picture


class PlacementTest(E2ECase):
    def setUp(self) -> None:
        if (self.session.width, self.session.height) != (640, 480):
            self.skipTest("the expected edges are worked out for a 640 x 480 screen")

    def show(self, name: str, picture: Picture, expected: Rect, pointer=(20, 20)):
        """Starts the slideshow on a folder holding only picture 001 and waits for it at `expected`."""
        folder = self.session.folder(name, {1: picture})
        self.prepare_desktop(pointer)
        program = self.session.start(folder, "/s")
        self.wait_for_picture(expected, name)
        return program

    def assert_colour(self, rect: Rect, rgb: tuple[int, int, int]) -> None:
        got = self.session.screenshot().mean_colour(rect)
        for channel, (a, b) in enumerate(zip(got, rgb)):
            self.assertLessEqual(abs(a - b), 12, f"colour {got} inside {rect}, expected {rgb}")

    def test_small_picture_is_centred_at_natural_size_and_a_key_ends_the_run(self):
        # 101 x 81: left (640 - 101) / 2 = 269.5 and top (480 - 81) / 2 = 199.5, drawn from 270 and 200.
        program = self.show("natural-odd", Picture(101, 81, "#0000ff", "png"), Rect(270, 200, 371, 281))
        self.assert_colour(Rect(270, 200, 371, 281), (0, 0, 255))
        self.assertEqual(self.session.taskbar(), "hidden")
        self.session.press_key("a", "^Form1$")
        self.assert_ended(program, "a key press")
        self.assert_desktop_given_back()

    def test_wider_picture_takes_the_full_width_and_a_click_on_it_ends_the_run(self):
        # 1280 x 200 is wider than the screen: 640 wide, 640 / 6.4 = 100 high, top (480 - 100) / 2 = 190.
        program = self.show("full-width", Picture(1280, 200, "#ff0000", "bmp3"), Rect(0, 190, 640, 290),
                            pointer=(320, 240))
        self.assert_colour(Rect(0, 190, 640, 290), (255, 0, 0))
        self.session.click(1)
        self.assert_ended(program, "a left click on the picture")
        self.assert_desktop_given_back()

    def test_picture_as_wide_as_the_screen_takes_the_full_width_and_a_click_beside_it_ends_the_run(self):
        # 640 x 200 is not smaller than the screen in both directions, so it is not shown at natural
        # size: the full-width placement gives it the same size, centred at top 140.
        program = self.show("as-wide", Picture(640, 200, "#00ff00", "gif"), Rect(0, 140, 640, 340),
                            pointer=(30, 30))
        self.assert_colour(Rect(0, 140, 640, 340), (0, 255, 0))
        self.session.click(3)
        self.assert_ended(program, "a right click on the black background")
        self.assert_desktop_given_back()

    def test_taller_portrait_picture_takes_the_full_height_and_escape_ends_the_run(self):
        # 300 x 960: 480 high, 480 * 300 / 960 = 150 wide, left (640 - 150) / 2 = 245.
        program = self.show("full-height", Picture(300, 960, "#ffff00", "jpeg"), Rect(245, 0, 395, 480))
        self.assert_colour(Rect(245, 0, 395, 480), (255, 255, 0))
        self.session.press_key("Escape", "^Form1$")
        self.assert_ended(program, "Escape")
        self.assert_desktop_given_back()

    def test_large_square_picture_takes_the_full_height_and_a_middle_click_ends_the_run(self):
        # 600 x 600 is taller than the screen and square: 480 x 480 at left 80.
        program = self.show("square", Picture(600, 600, "#ff00ff", "tiff"), Rect(80, 0, 560, 480),
                            pointer=(320, 240))
        self.assert_colour(Rect(80, 0, 560, 480), (255, 0, 255))
        self.session.click(2)
        self.assert_ended(program, "a middle click")
        self.assert_desktop_given_back()

    def test_screen_sized_picture_fills_the_screen_and_a_shift_key_ends_the_run(self):
        program = self.show("screen-sized", Picture(640, 480, "#00ffff", "png"), Rect(0, 0, 640, 480))
        self.assert_colour(Rect(0, 0, 640, 480), (0, 255, 255))
        self.session.press_key("shift", "^Form1$")
        self.assert_ended(program, "a shift key press")
        self.assert_desktop_given_back()

    def test_scaled_height_with_a_fraction_is_rounded_to_whole_pixels_and_a_movement_ends_the_run(self):
        # 1000 x 333: height 640 / (1000 / 333) = 213.12, top (480 - 213.12) / 2 = 133.44; the edges
        # 133.44 and 346.56 are drawn from row 133 up to row 347.
        program = self.show("fraction", Picture(1000, 333, "#ffffff", "jpeg"), Rect(0, 133, 640, 347),
                            pointer=(20, 20))
        self.assert_colour(Rect(0, 133, 640, 347), (255, 255, 255))
        # Whichever of these positions the slideshow takes as its baseline, the last one lies more
        # than five pixels away from it in both directions.
        self.session.move(21, 21)
        self.session.move(60, 60)
        self.assert_ended(program, "a movement of 40 pixels in both directions")
        self.assert_desktop_given_back()

    def test_program_in_a_folder_with_a_japanese_name_finds_its_pictures_and_alt_ends_the_run(self):
        # The folder's name reaches the program only through the Unicode functions; 200 x 100 at
        # natural size sits at left 220, top 190.
        program = self.show("スライド 写真", Picture(200, 100, "#ff8000", "jpeg"), Rect(220, 190, 420, 290))
        self.assert_colour(Rect(220, 190, 420, 290), (255, 128, 0))
        self.session.press_key("alt", "^Form1$")
        self.assert_ended(program, "an Alt key press")
        self.assert_desktop_given_back()


if __name__ == "__main__":
    unittest.main()

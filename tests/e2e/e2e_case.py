"""Base class of the end-to-end tests: the shared session and the checks most tests end with."""

from __future__ import annotations

import unittest

import screen
import wine_session
from wine_session import Program, wait_for

# How long a program may take to end after the input that ends it: the unload shows the taskbar again,
# which under Wine can take the shell a couple of seconds.
END_TIMEOUT = 8
# How long a program may take from its start to its first picture on the screen.
START_TIMEOUT = 25


class E2ECase(unittest.TestCase):
    maxDiff = None

    @property
    def session(self) -> wine_session.Session:
        return wine_session.current()

    def tearDown(self) -> None:
        self.session.end_all()

    def prepare_desktop(self, pointer: tuple[int, int]) -> None:
        """Shows the taskbar (Wine starts it hidden) and puts the pointer where the test wants it."""
        self.assertEqual(self.session.show_taskbar(), "visible", "the helper could not show the taskbar")
        self.session.place_pointer(*pointer)

    def wait_for_picture(self, expected: screen.Rect, name: str) -> screen.Shot:
        """Waits until the lit part of the screen is exactly `expected`; fails with what was seen."""
        shot = self.session.wait_for_screen(lambda s: s.lit_box() == expected, START_TIMEOUT)
        if shot is None:
            last = self.session.screenshot(name)
            self.fail(f"expected a picture at {expected}, the screen shows {last.lit_box()}"
                      f" (screenshot {name}.png)")
        self.session.screenshot(name)
        return shot

    def assert_ended(self, program: Program, what: str) -> None:
        self.assertTrue(program.wait_end(END_TIMEOUT), f"the slideshow kept running after {what}")

    def assert_desktop_given_back(self) -> None:
        """After the slideshow: the taskbar is visible again and nothing of the program is left on screen."""
        self.assertTrue(wait_for(lambda: self.session.taskbar() == "visible", 5),
                        "the taskbar was not shown again")
        self.assertEqual(self.session.x_windows(f"^{wine_session.SLIDESHOW_CAPTION}$"), [],
                         "the slideshow window is still there")

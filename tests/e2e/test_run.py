"""One long slideshow run, watched from start to end: the picture cycle across a missing number, the
pointer tolerance bands, the baseline taken afresh after a picture change, and the desktop state.

The run takes about 25 seconds (two ticks of ten), so it happens once, in setUpClass, and writes down
what it sees; each test then checks one of those observations.

The folder holds 001 (100 x 80, red) and 003 (120 x 90, green); 002 is missing.

    start      001 on screen; pointer moves that keep one coordinate within 5 pixels do not end it;
               a second instance (/s or /a) ends at once
    tick 1     002 is missing: the screen is black for one interval
    tick 2     003 on screen; the first move after the change, far away and over the picture, only
               records a baseline in the picture's own frame (10, 10); moves within a band of that
               baseline, measured in the window's frame, do not end it; (16, 16) does.
"""

from __future__ import annotations

import time
import unittest

from e2e_case import END_TIMEOUT, START_TIMEOUT, E2ECase
from screen import Rect
from wine_session import APP_TITLE, SLIDESHOW_CAPTION, Picture, current, wait_for

RED_AT = Rect(270, 200, 370, 280)    # 100 x 80 centred on 640 x 480
GREEN_AT = Rect(260, 195, 380, 285)  # 120 x 90 centred on 640 x 480
TICK = 10.0


def _is(rect: Rect, colour: int):
    """A screen test: exactly `rect` is lit, and its centre has the given channel (0 red, 1 green) lit."""
    def test(shot) -> bool:
        if shot.lit_box() != rect:
            return False
        pixel = shot.pixel((rect.left + rect.right) // 2, (rect.top + rect.bottom) // 2)
        return pixel[colour] >= 128 and max(pixel[c] for c in range(3) if c != colour) < 128
    return test


class LongRunTest(E2ECase):
    facts: dict[str, object] = {}

    @classmethod
    def setUpClass(cls) -> None:
        cls.facts = {}
        session = current()
        if (session.width, session.height) != (640, 480):
            raise unittest.SkipTest("the expected edges are worked out for a 640 x 480 screen")
        try:
            cls._watch(session, cls.facts)
        except Exception as error:  # noqa: BLE001 - every test reports what was missed
            cls.facts["error"] = f"{type(error).__name__}: {error}"
        finally:
            session.end_all()

    @staticmethod
    def _watch(session, facts) -> None:
        folder = session.folder("long-run", {1: Picture(100, 80, "#ff0000", "png"),
                                             3: Picture(120, 90, "#00ff00", "bmp3")})
        facts["taskbar before"] = session.show_taskbar()
        session.place_pointer(40, 40)
        program = session.start(folder, "/s")

        # Picture 001 at its natural size.
        shot = session.wait_for_screen(_is(RED_AT, 0), START_TIMEOUT)
        shown = time.monotonic()
        session.screenshot("long-run-0-first-picture")
        facts["first picture"] = shot is not None
        if shot is None:
            facts["first picture seen"] = str(session.screenshot().lit_box())
            return
        facts["taskbar while running"] = session.taskbar()
        facts["cursor showing while running"] = session.cursor_showing()
        window = session.window(SLIDESHOW_CAPTION)
        facts["window"] = window[0] if window else None

        # A second start, in any mode, ends at once and leaves the first run alone.
        second = session.start(folder, "/s")
        facts["second /s ended"] = second.wait_end(END_TIMEOUT)
        third = session.start(folder, "/a")
        facts["second /a ended"] = third.wait_end(END_TIMEOUT)
        facts["second /a message box"] = session.window(APP_TITLE) is not None
        facts["windows after second starts"] = len(session.x_windows(f"^{SLIDESHOW_CAPTION}$"))

        # Moves that keep one coordinate within 5 pixels of the baseline (about (40, 40) or (41, 41),
        # depending on whether Wine reported the resting pointer when the window appeared).
        facts["time left for band moves"] = TICK - (time.monotonic() - shown)
        for x, y in [(41, 41), (42, 42), (42, 300), (42, 470), (42, 5), (300, 42), (630, 42), (5, 42), (42, 42)]:
            session.move(x, y)
        facts["alive after band moves"] = program.alive()
        facts["picture before tick 1"] = _is(RED_AT, 0)(session.screenshot())

        # Tick 1: 002 is missing, the screen goes black for one interval.
        black = session.wait_for_screen(lambda s: s.is_black(), TICK + 5)
        went_black = time.monotonic()
        facts["black after 001"] = black is not None
        facts["seconds of 001"] = went_black - shown
        session.screenshot("long-run-1-missing-002")

        # Tick 2: 003.
        green = session.wait_for_screen(_is(GREEN_AT, 1), TICK + 5)
        facts["003 after the gap"] = green is not None
        facts["seconds of black"] = time.monotonic() - went_black
        session.screenshot("long-run-2-third-picture")
        if green is None or not program.alive():
            facts["alive at 003"] = program.alive()
            return

        # The first move after the change lands over the picture, more than 5 pixels from the old
        # baseline in both directions: it only records (10, 10) in the picture's frame.
        session.move(GREEN_AT.left + 10, GREEN_AT.top + 10)
        facts["alive after first move after change"] = program.stays_alive(0.5)
        # The baseline is compared unchanged with positions in the window's frame: (12, 14) on the
        # black background is within both bands of (10, 10), though the pointer jumped 250 pixels.
        session.move(12, 14)
        facts["alive after frame change"] = program.stays_alive(0.3)
        inside = [(15, 5), (16, 10), (600, 12), (12, 470), (13, 13)]
        for x, y in inside:
            session.move(x, y)
            if not program.alive():
                facts["ended at"] = (x, y)
                break
        facts["alive inside bands"] = program.stays_alive(0.5)
        # A slow diagonal drift: (16, 16) is more than 5 pixels from (10, 10) in both directions.
        facts["alive before drift"] = program.alive()
        session.move(16, 16, settle=0)
        facts["ended by drift"] = program.wait_end(END_TIMEOUT)
        shown_again = wait_for(lambda: session.taskbar() == "visible", 5)
        facts["taskbar after"] = "visible" if shown_again else session.taskbar()
        # The cursor's display count belongs to the program's own input queue, which Wine drops when the
        # program ends, so whether the unload showed the cursor again cannot be seen from outside; the
        # unit tests check that call and its place in the unload.

    def fact(self, key: str):
        if key not in self.facts:
            self.fail(f"not observed ({self.facts.get('error', 'the run stopped earlier')}); "
                      f"observed: {self.facts}")
        return self.facts[key]

    def test_first_picture_is_001_at_its_natural_size(self):
        self.assertTrue(self.fact("first picture"),
                        f"expected red at {RED_AT}, saw {self.facts.get('first picture seen')}")

    def test_window_covers_the_screen_top_most_without_a_frame(self):
        window = self.fact("window")
        self.assertIsNotNone(window, "no window captioned Form1")
        self.assertEqual(window["rect"], "0,0,640,480")
        self.assertEqual(window["topmost"], "1")
        self.assertEqual(window["visible"], "1")
        style = int(window["style"], 16)
        self.assertEqual(style & 0x00C40000, 0, "the window has a caption, border or sizing frame")

    def test_taskbar_is_hidden_while_running(self):
        self.assertEqual(self.fact("taskbar before"), "visible")
        self.assertEqual(self.fact("taskbar while running"), "hidden")

    def test_cursor_is_hidden_while_running(self):
        self.assertIs(self.fact("cursor showing while running"), False)

    def test_second_instance_ends_at_once_whatever_its_switch(self):
        self.assertTrue(self.fact("second /s ended"), "a second /s kept running")
        self.assertTrue(self.fact("second /a ended"), "a second /a kept running")
        self.assertFalse(self.fact("second /a message box"), "a second /a showed its message box")
        self.assertEqual(self.fact("windows after second starts"), 1)

    def test_moves_that_keep_one_coordinate_within_its_band_do_not_end_the_run(self):
        self.assertGreater(self.fact("time left for band moves"), 2, "too slow to move before the tick")
        self.assertTrue(self.fact("alive after band moves"))
        self.assertTrue(self.fact("picture before tick 1"), "the moves changed the picture")

    def test_missing_number_gives_one_interval_of_black(self):
        self.assertTrue(self.fact("black after 001"), "the screen never went black after 001")
        # The timer counts from the window's creation; the window shows once the first picture is read.
        self.assertGreater(self.fact("seconds of 001"), TICK - 4)
        self.assertTrue(self.fact("003 after the gap"), "003 did not follow the black interval")
        self.assertGreater(self.fact("seconds of black"), TICK - 2)
        self.assertLess(self.fact("seconds of black"), TICK + 3)

    def test_first_move_after_a_picture_change_only_records_a_baseline(self):
        self.assertTrue(self.fact("alive after first move after change"))

    def test_baseline_is_compared_without_converting_between_picture_and_window(self):
        self.assertTrue(self.fact("alive after frame change"))

    def test_band_edges_are_inclusive_and_one_coordinate_inside_keeps_the_run(self):
        self.assertTrue(self.fact("alive inside bands"), f"ended by the move to {self.facts.get('ended at')}")

    def test_moving_beyond_both_bands_ends_the_run_and_gives_the_desktop_back(self):
        self.assertTrue(self.fact("alive before drift"), "the run had ended before the last move")
        self.assertTrue(self.fact("ended by drift"))
        self.assertEqual(self.fact("taskbar after"), "visible")


if __name__ == "__main__":
    unittest.main()

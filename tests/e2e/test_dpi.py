"""The program at 150 % and 200 % (144 and 192 dots per inch): dialogs scaled from twips and drawn sharp,
and a slideshow that still works in device pixels.

Wine takes its dots per inch from HKCU\\Control Panel\\Desktop LogPixels when its server starts. The
tests set that value, restart the server, and put the value back as it was (or remove it) with a
restart at the end, so no other test sees it. A dialog at 200 % is wider than a 640 x 480 screen,
and Windows keeps a window no larger than the screen, so the dialogs are shown on a second, larger
virtual display (a 640 x 480 screen at 200 %); the slideshow stays on the suite's own display.
"""

from __future__ import annotations

import os
import subprocess
import unittest

from screen import Rect, Shot
from test_dialogs import ABOUT_CAPTION, NOTICE, SYSINFO_BUTTON, DialogCase, client_rect, control, rect_of
from wine_session import APP_TITLE, Picture, current, wait_for

DESKTOP_KEY = r"HKCU\Control Panel\Desktop"
LARGE_SCREEN = (1280, 960)

# The settings dialog's definition in twips: inside size, then each control's left, top, width, height.
SETTINGS_INSIDE = (6495, 1095)
SETTINGS_OK = (5160, 120, 1215, 375)
SETTINGS_CANCEL = (5160, 600, 1215, 375)
SETTINGS_NOTICE = (120, 240, 3135, 255)
# The version dialog's, with the icon box, which takes its 32 x 32 picture's size in 1/96 inch.
ABOUT_INSIDE = (6105, 2880)
ABOUT_OK = (4560, 1980, 1380, 345)
ABOUT_SYSINFO = (4560, 2400, 1380, 345)
ABOUT_LABELS = [(180, 1200, 5820, 450), (180, 930, 5760, 225), (1050, 240, 4905, 285),
                (1050, 600, 4905, 225), (180, 2160, 4230, 525)]
ABOUT_ICON = (240, 240, 480, 480)


def px(twips: int, dpi: int) -> int:
    """Twips as device pixels at `dpi`, rounded half up as the program rounds them."""
    return (twips * dpi + 720) // 1440


def scaled(left_top_width_height: tuple[int, int, int, int], dpi: int) -> Rect:
    """A control's place in pixels: position and size are each rounded, as the program places it."""
    left, top, width, height = (px(v, dpi) for v in left_top_width_height)
    return Rect(left, top, left + width, top + height)


def at(dpi: int, large_screen: bool):
    """Marks a test with the dots per inch and the display it starts with."""
    def mark(test):
        test.dpi, test.large_screen = dpi, large_screen
        return test
    return mark


def display_taken(number: int) -> bool:
    return os.path.exists(f"/tmp/.X{number}-lock") or os.path.exists(f"/tmp/.X11-unix/X{number}")


class HighDpiTest(DialogCase):
    """Each test starts at the dots per inch and on the display its `at` mark names."""

    @classmethod
    def setUpClass(cls) -> None:
        s = current()
        cls.own_display = (s.env["DISPLAY"], s.display, s.width, s.height)
        cls.previous = cls.query_log_pixels(s)
        cls.large_xvfb: subprocess.Popen | None = None
        cls.large_display: str | None = None
        cls.applied: tuple[int, bool] | None = None

    @classmethod
    def tearDownClass(cls) -> None:
        """Puts LogPixels back as it was (or removes it) and the session back on its own display."""
        s = current()
        try:
            s.stop_wine()
            s.env["DISPLAY"], s.display, s.width, s.height = cls.own_display
            if cls.previous is None:
                s.reg("delete", DESKTOP_KEY, "/v", "LogPixels", "/f")
            else:
                value_type, data = cls.previous
                s.reg("add", DESKTOP_KEY, "/v", "LogPixels", "/t", value_type, "/d", data, "/f")
            s.stop_wine()
            s.start_holder()
        finally:
            if cls.large_xvfb is not None:
                cls.large_xvfb.terminate()
                cls.large_xvfb.wait(timeout=10)

    @staticmethod
    def query_log_pixels(s) -> tuple[str, str] | None:
        """Type and data of the current user's LogPixels as `reg add` takes them back (a number in
        decimal), or None when the value is not there."""
        result = subprocess.run(["wine", "reg", "query", DESKTOP_KEY, "/v", "LogPixels"], env=s.env,
                                stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
        for line in result.stdout.decode("utf-8", "replace").splitlines():
            parts = line.split(None, 2)
            if len(parts) >= 2 and parts[0] == "LogPixels":
                data = parts[2] if len(parts) == 3 else ""
                return parts[1], str(int(data, 0)) if parts[1] == "REG_DWORD" else data
        return None

    def setUp(self) -> None:
        test = getattr(self, self._testMethodName)
        self.apply(test.dpi, test.large_screen)

    def apply(self, dpi: int, large_screen: bool) -> None:
        """Sets LogPixels and the display and restarts the Wine server when either changes."""
        cls = type(self)
        if cls.applied == (dpi, large_screen):
            return
        s = self.session
        s.stop_wine()
        if large_screen:
            s.env["DISPLAY"] = s.display = self.start_large_display()
            s.width, s.height = LARGE_SCREEN
        else:
            s.env["DISPLAY"], s.display, s.width, s.height = cls.own_display
        self.assertTrue(s.reg("add", DESKTOP_KEY, "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(dpi), "/f"),
                        f"cannot set LogPixels to {dpi}")
        s.stop_wine()  # the server reads it when it starts again
        cls.applied = None
        s.start_holder()
        cls.applied = (dpi, large_screen)

    def start_large_display(self) -> str:
        cls = type(self)
        if cls.large_display is not None:
            return cls.large_display
        # The first free number after the suite's own display; another program may take a number at
        # the same moment, so a server that ends at once means: try the next one.
        first = int(cls.own_display[1].lstrip(":").split(".")[0]) + 1
        for number in range(first, first + 60):
            if display_taken(number):
                continue
            xvfb = subprocess.Popen(["Xvfb", f":{number}", "-screen", "0", "{}x{}x24".format(*LARGE_SCREEN),
                                     "-nolisten", "tcp", "-noreset"], stdin=subprocess.DEVNULL,
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            ready = wait_for(lambda: xvfb.poll() is not None or subprocess.run(
                ["xdpyinfo", "-display", f":{number}"], capture_output=True).returncode == 0, 10)
            if ready and xvfb.poll() is None:
                cls.large_xvfb, cls.large_display = xvfb, f":{number}"
                return cls.large_display
            xvfb.kill()
            xvfb.wait(timeout=10)
        self.fail("no free number for a second virtual display")

    # ---- checks ----

    def assert_settings_layout(self, layout, dpi: int) -> Rect:
        client, controls = layout
        self.assertEqual((int(client["width"]), int(client["height"])),
                         tuple(px(v, dpi) for v in SETTINGS_INSIDE), f"inside size at {dpi} dpi")
        got = {c["text"]: rect_of(c) for c in controls}
        self.assertEqual(got, {"ＯＫ": scaled(SETTINGS_OK, dpi), "キャンセル": scaled(SETTINGS_CANCEL, dpi),
                               NOTICE: scaled(SETTINGS_NOTICE, dpi)}, f"controls at {dpi} dpi")
        return client_rect(client)

    def notice_ink(self, inside: Rect, dpi: int, name: str) -> tuple[Shot, Rect]:
        """Waits for the notice to be drawn and returns the screenshot and the outline of its text."""
        label = scaled(SETTINGS_NOTICE, dpi).moved(inside.left, inside.top)
        shot = self.session.wait_for_screen(
            lambda sh: sh.box_of(label, self.background(sh, inside)) is not None, 10)
        self.assertIsNotNone(shot, f"the notice is not drawn at {dpi} dpi")
        shot = self.session.screenshot(name)
        ink = shot.box_of(label, self.background(shot, inside))
        self.assertEqual(len(self.label_lines(shot, inside, scaled(SETTINGS_NOTICE, dpi))), 1,
                         f"the notice is not one line at {dpi} dpi")
        return shot, ink

    def end_settings(self, program) -> None:
        self.session.press_key("Escape", f"^{APP_TITLE}$")
        self.assert_program_ended(program, "Esc")

    # ---- tests ----

    @at(144, large_screen=True)
    def test_at_150_percent_the_settings_dialog_is_laid_out_from_twips(self):
        # 6495 x 1095 twips are 649.5 x 109.5 pixels, rounded up to 650 x 110; ＯＫ 516,12 122 x 38.
        self.assertEqual(scaled(SETTINGS_OK, 144), Rect(516, 12, 638, 50))
        program, layout = self.start_settings("/c")
        self.assert_settings_layout(layout, 144)
        self.end_settings(program)

    @at(96, large_screen=True)
    def test_at_200_percent_both_dialogs_are_laid_out_from_twips_and_drawn_sharp(self):
        s = self.session
        # The notice at 96 dpi, to compare the height of its text with.
        program, layout = self.start_settings("/c")
        inside = self.assert_settings_layout(layout, 96)
        _, ink_96 = self.notice_ink(inside, 96, "dpi-096-settings")
        self.end_settings(program)

        self.apply(192, large_screen=True)
        self.assertEqual((scaled(SETTINGS_OK, 192), scaled(SETTINGS_CANCEL, 192), scaled(SETTINGS_NOTICE, 192)),
                         (Rect(688, 16, 850, 66), Rect(688, 80, 850, 130), Rect(16, 32, 434, 66)))
        program, layout = self.start_settings("/c")
        inside = self.assert_settings_layout(layout, 192)
        shot, ink = self.notice_ink(inside, 192, "dpi-192-settings")
        ratio = ink.height / ink_96.height
        self.assertTrue(1.7 <= ratio <= 2.4, f"the notice's text is {ink.height} pixels high at 192 dpi and"
                                             f" {ink_96.height} at 96 dpi: not drawn at twice the size")
        self.assert_not_stretched(shot, inside, ink)
        for name, twips in (("ＯＫ", SETTINGS_OK), ("キャンセル", SETTINGS_CANCEL)):
            self.assert_drawn_at(shot, inside, scaled(twips, 192), 3, name)

        client, controls = self.open_about()
        self.assertEqual((int(client["width"]), int(client["height"])), (814, 384), "version dialog inside")
        ok, sysinfo = control(controls, "OK"), control(controls, SYSINFO_BUTTON)
        self.assertEqual((rect_of(ok), rect_of(sysinfo)), (scaled(ABOUT_OK, 192), scaled(ABOUT_SYSINFO, 192)))
        self.assertEqual((rect_of(ok).left, rect_of(ok).top, rect_of(sysinfo).top), (608, 264, 320))
        labels = {rect_of(c) for c in controls if c["class"].lower() == "static"}
        self.assertEqual(labels, {scaled(t, 192) for t in ABOUT_LABELS}, "version dialog labels")
        about_inside = client_rect(client)
        icon = scaled(ABOUT_ICON, 192)
        self.assertEqual(icon, Rect(32, 32, 96, 96))
        s.wait_for_screen(lambda sh: sh.box_of(icon.moved(about_inside.left, about_inside.top).grown(4),
                                               self.background(sh, about_inside)) is not None, 10)
        about_shot = s.screenshot("dpi-192-version")
        self.assert_drawn_at(about_shot, about_inside, icon, 4, "the icon")
        self.assert_drawn_at(about_shot, about_inside, scaled(ABOUT_OK, 192), 3, "OK")
        self.assert_drawn_at(about_shot, about_inside, scaled(ABOUT_SYSINFO, 192), 3, "ｼｽﾃﾑ情報(S)...")
        title = scaled(ABOUT_LABELS[2], 192).moved(about_inside.left, about_inside.top)
        self.assert_not_stretched(about_shot, about_inside, about_shot.box_of(title, self.background(about_shot,
                                                                                                  about_inside)))

        s.press_key("Escape", f"^{ABOUT_CAPTION}$")
        self.wait_closed(ABOUT_CAPTION)
        self.wait_active(APP_TITLE)
        self.end_settings(program)

    def assert_not_stretched(self, shot: Shot, inside: Rect, ink: Rect | None) -> None:
        """Text drawn at this size, not a 96-dpi image doubled: in a doubled image every 2 x 2 block
        of pixels aligned with the client area is one colour."""
        self.assertIsNotNone(ink, "no text drawn")
        mixed = inked = 0
        for y in range(ink.top - (ink.top - inside.top) % 2, ink.bottom - 1, 2):
            for x in range(ink.left - (ink.left - inside.left) % 2, ink.right - 1, 2):
                block = {shot.pixel(x, y), shot.pixel(x + 1, y), shot.pixel(x, y + 1), shot.pixel(x + 1, y + 1)}
                if block != {self.background(shot, inside)}:
                    inked += 1
                    mixed += len(block) > 1
        self.assertGreater(inked, 20, f"hardly any text inside {ink}")
        self.assertGreater(mixed / inked, 0.5, f"the text inside {ink} looks like a doubled 96-dpi image:"
                                               f" {inked - mixed} of {inked} inked 2 x 2 blocks are one colour")

    @at(192, large_screen=False)
    def test_at_200_percent_the_slideshow_shows_pictures_in_device_pixels(self):
        s = self.session
        if (s.width, s.height) != (640, 480):
            self.skipTest("the expected edges are worked out for a 640 x 480 screen")
        # 101 x 81 stays at its natural size, drawn from 270, 200 as at 96 dpi; 1280 x 200 takes the
        # full width, 100 rows high from row 190.
        for name, picture, expected in (("dpi-192-natural", Picture(101, 81, "#0000ff"), Rect(270, 200, 371, 281)),
                                        ("dpi-192-full-width", Picture(1280, 200, "#ff0000", "bmp3"),
                                         Rect(0, 190, 640, 290))):
            with self.subTest(name):
                folder = s.folder(name, {1: picture})
                self.prepare_desktop((20, 20))
                program = s.start(folder, "/s")
                self.wait_for_picture(expected, name)
                colour = s.screenshot().mean_colour(expected)
                wanted = tuple(int(picture.colour[i:i + 2], 16) for i in (1, 3, 5))
                self.assertTrue(all(abs(a - b) <= 12 for a, b in zip(colour, wanted)),
                                f"colour {colour} inside {expected}, expected {wanted}")
                s.press_key("a", "^Form1$")
                self.assert_ended(program, "a key press")
                self.assert_desktop_given_back()
                s.end_all()


if __name__ == "__main__":
    unittest.main()

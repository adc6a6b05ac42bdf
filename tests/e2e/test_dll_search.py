"""DLLs beside the program are never loaded: the slideshow, its decoder process and the settings dialog
take their DLLs from the system's folder alone.

A screen saver is often run from a folder of downloads. Windows looks in the program's folder first for
every DLL that is not one of its known system DLLs; Wine does the same for the DLLs that
WINEDLLOVERRIDES tells it to prefer as native ones. The planted DLL leaves a marker file beside itself
when it is loaded.
"""

from __future__ import annotations

import shutil
import unittest
from pathlib import Path

from e2e_case import E2ECase
from screen import Rect
from wine_session import APP_TITLE, Picture, wait_for

# Not known system DLLs on Windows: each would be taken from the program's folder there. (Wine's own
# uxtheme also loads msimg32 at its first call into it without the program's search directories, which
# the loader of Windows applies to such loads too: that one is left out here.)
PLANTED = ["version", "uxtheme", "windowscodecs"]


class DllSearchTest(E2ECase):
    def setUp(self) -> None:
        if (self.session.width, self.session.height) != (640, 480):
            self.skipTest("the picture's place is worked out for a 640 x 480 screen")

    def plant(self, name: str) -> Path:
        folder = self.session.folder(name, {1: Picture(101, 81, "#0000ff", "bmp3")})
        planted = self.session.helper_exe.parent / "kwobl_e2e_planted.dll"
        self.assertTrue(planted.exists(), f"{planted} is not built")
        for dll in PLANTED:
            shutil.copy2(planted, folder / f"{dll}.dll")
        return folder

    def start_preferring_them(self, folder: Path, *switches: str):
        before = self.session.env
        self.session.env = dict(before, WINEDLLOVERRIDES=",".join(PLANTED) + "=n,b")
        try:
            return self.session.start(folder, *switches)
        finally:
            self.session.env = before

    def assert_none_loaded(self, folder: Path, mode: str) -> None:
        loaded = sorted(p.name for p in folder.glob("*.loaded"))
        self.assertEqual(loaded, [], f"{mode} loaded DLLs from the program's folder")

    def test_the_slideshow_and_its_decoder_load_no_dll_from_the_programs_folder(self):
        folder = self.plant("dll-search-slideshow")
        self.prepare_desktop((20, 20))
        program = self.start_preferring_them(folder, "/s")
        # The picture goes through the decoder process (the imaging component decodes a BMP). A planted
        # DLL, which has none of the functions asked of it, ends the program before it shows.
        expected = Rect(270, 200, 371, 281)
        shown = self.session.wait_for_screen(lambda s: s.lit_box() == expected, 25)
        self.assert_none_loaded(folder, "the slideshow")
        self.assertIsNotNone(shown, "the picture was not shown")
        self.session.press_key("a", "^Form1$")
        self.assert_ended(program, "a key press")
        self.assert_none_loaded(folder, "the slideshow's end")

    def test_the_settings_dialog_loads_no_dll_from_the_programs_folder(self):
        folder = self.plant("dll-search-settings")
        program = self.start_preferring_them(folder, "/c")
        dialog = wait_for(lambda: self.session.window(APP_TITLE), 20)
        self.assert_none_loaded(folder, "the settings dialog")
        self.assertIsNotNone(dialog, "no settings dialog")
        self.session.press_key("Escape", f"^{APP_TITLE}$")
        self.assert_ended(program, "Esc")
        self.assert_none_loaded(folder, "the settings dialog's end")


if __name__ == "__main__":
    unittest.main()

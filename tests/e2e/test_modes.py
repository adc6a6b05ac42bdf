"""The switches that open no slideshow: /p ends at once, /a answers with a message box."""

from __future__ import annotations

import time
import unittest

from e2e_case import END_TIMEOUT, E2ECase
from wine_session import APP_TITLE, SLIDESHOW_CAPTION, wait_for

PASSWORD_MESSAGE = "パスワードには対応しておりません。"


class ModesTest(E2ECase):
    def test_preview_switch_ends_at_once_without_a_window(self):
        folder = self.session.folder("preview", {})
        for switch in (["/p", "1234"], ["/P"]):
            program = self.session.start(folder, *switch)
            seen_windows = []
            deadline = time.monotonic() + END_TIMEOUT
            while program.alive() and time.monotonic() < deadline:
                seen_windows += self.session.x_windows(f"^({SLIDESHOW_CAPTION}|{APP_TITLE})$")
                time.sleep(0.05)
            self.assertTrue(program.wait_end(0.1), f"{' '.join(switch)} kept running")
            self.assertEqual(seen_windows, [], f"{' '.join(switch)} opened a window")

    def test_password_switch_shows_its_message_with_the_title_as_caption_and_ends_on_enter(self):
        folder = self.session.folder("password", {})
        program = self.session.start(folder, "/a", "1234")
        box = wait_for(lambda: self.session.window(APP_TITLE), 20)
        self.assertIsNotNone(box, f"no window captioned {APP_TITLE!r} appeared")
        window, controls = box
        self.assertEqual(window["visible"], "1")
        texts = [c["text"] for c in controls if c["class"].lower() == "static" and c["text"]]
        buttons = [c["text"] for c in controls if c["class"].lower() == "button" and c["visible"] == "1"]
        self.assertEqual(texts, [PASSWORD_MESSAGE])
        self.assertEqual(buttons, ["OK"])
        # X sees the same caption: the title travels through Wine as UTF-8.
        self.assertNotEqual(self.session.x_windows(f"^{APP_TITLE}$"), [])
        self.session.screenshot("password-message")
        self.assertTrue(program.alive(), "the program ended before the message box was answered")
        self.session.press_key("Return", f"^{APP_TITLE}$")
        self.assertTrue(program.wait_end(END_TIMEOUT), "the program kept running after OK")
        self.assertEqual(self.session.x_windows(f"^({SLIDESHOW_CAPTION}|{APP_TITLE})$"), [])


if __name__ == "__main__":
    unittest.main()

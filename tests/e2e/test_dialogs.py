"""The configuration mode: the settings dialog, the version dialog its help menu opens, and the
system-information button of the version dialog.

Layouts are checked twice: through the helper (where Windows places each control inside the client
area) and on screenshots (where the drawn outline of each button, the icon and the separator lines
really are). Positions are in pixels at 96 dpi, relative to the client area's top-left corner.
Wine draws no frames or title bars, so captions are read through the helper and through X.
"""

from __future__ import annotations

import shutil
import unittest

from e2e_case import END_TIMEOUT, E2ECase
from screen import Rect, Shot
from test_traces import Traces
from wine_session import APP_TITLE, Program, wait_for, windows_path

ABOUT_CAPTION = f"{APP_TITLE}のﾊﾞｰｼﾞｮﾝ情報"
NOTICE = "設定項目はございません。"
NOT_AVAILABLE = "この環境ではシステム情報を使用できません。"
SYSINFO_BUTTON = "ｼｽﾃﾑ情報(&S)..."
# The stand-in tool's caption is this followed by the full path it was started from.
TOOL_CAPTION = "KWOBL e2e tool "
MESSAGE_BOX_CLASS = "#32770"
OPEN_TIMEOUT = 20

# Window styles that tell a fixed frame without minimise and maximise boxes, and a taskbar button.
WS_CAPTION, WS_SYSMENU, WS_THICKFRAME = 0xC00000, 0x80000, 0x40000
WS_MINIMIZEBOX, WS_MAXIMIZEBOX = 0x20000, 0x10000
WS_EX_APPWINDOW = 0x40000
WS_MINIMIZE, WS_MAXIMIZE = 0x20000000, 0x01000000

SETTINGS_INSIDE = (433, 73)
SETTINGS_OK = Rect(344, 8, 425, 33)
SETTINGS_CANCEL = Rect(344, 40, 425, 65)
SETTINGS_NOTICE = Rect(8, 16, 217, 33)

ABOUT_INSIDE = (407, 192)
ABOUT_OK = Rect(304, 132, 396, 155)
ABOUT_SYSINFO = Rect(304, 160, 396, 183)
ABOUT_ICON = Rect(16, 16, 48, 48)
ABOUT_TITLE = Rect(70, 16, 397, 35)
ABOUT_VERSION = Rect(70, 40, 397, 55)
ABOUT_COMPANY = Rect(12, 62, 396, 77)
ABOUT_COPYRIGHT = Rect(12, 80, 400, 110)
ABOUT_DISCLAIMER = Rect(12, 144, 294, 179)
# The separator: a white line two pixels high over a grey one, from x 8 up to x 400.
ABOUT_SEPARATOR = Rect(8, 120, 400, 123)

Layout = tuple[dict[str, str], list[dict[str, str]]]


def rect_of(control: dict[str, str]) -> Rect:
    left, top = int(control["left"]), int(control["top"])
    return Rect(left, top, left + int(control["width"]), top + int(control["height"]))


def client_rect(client: dict[str, str]) -> Rect:
    """The client area on the screen."""
    return rect_of(client)


def controls_by_place(controls: list[dict[str, str]]) -> dict[tuple[str, Rect], str]:
    """Kind, place and text of every control: one dict says where each text stands."""
    return {(c["class"].lower(), rect_of(c)): c["text"] for c in controls}


def control(controls: list[dict[str, str]], text: str) -> dict[str, str]:
    for item in controls:
        if item["text"] == text:
            return item
    raise AssertionError(f"no control reads {text!r} among {[c['text'] for c in controls]}")


def outer_rect(window: dict[str, str]) -> Rect:
    return Rect(*(int(v) for v in window["rect"].split(",")))


def centre(rect: Rect) -> tuple[float, float]:
    return (rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2


class DialogCase(E2ECase):
    """Starting the configuration mode and finding its windows."""

    def start_settings(self, *switches: str) -> tuple[Program, Layout]:
        """Starts the program with `switches` and waits for the settings dialog; checks on the way
        that the design-time caption "設定" never reaches the screen."""
        folder = self.session.folder("dialogs", {})
        program = self.session.start(folder, *switches)
        seen_design_caption = []

        def probe():
            seen_design_caption.extend(self.session.x_visible_windows("^設定$"))
            return self.session.layout(APP_TITLE)

        layout = wait_for(probe, OPEN_TIMEOUT)
        what = " ".join(switches) or "no switch"
        self.assertIsNotNone(layout, f"{what}: no window captioned {APP_TITLE!r} appeared")
        self.assertEqual(seen_design_caption, [], f"{what}: the caption 設定 was seen")
        return program, layout

    def x_caption(self, caption: str) -> str:
        """The name of the X window that bears `caption`, as xdotool reads it."""
        ids = wait_for(lambda: self.session.x_windows(f"^{caption}$"), 5) or []
        self.assertNotEqual(ids, [], f"X has no window named {caption!r}")
        return self.session.window_name(ids[0])

    def open_about(self) -> Layout:
        """Opens the version dialog with Alt+H, V on the settings dialog."""
        self.wait_active(APP_TITLE)
        self.session.press_key("alt+h", f"^{APP_TITLE}$")
        self.session.press_key("v", f"^{APP_TITLE}$")
        layout = wait_for(lambda: self.session.layout(ABOUT_CAPTION), OPEN_TIMEOUT)
        self.assertIsNotNone(layout, "Alt+H, V opened no version dialog")
        return layout

    def wait_closed(self, caption: str, window_class: str = "") -> None:
        """Waits until no visible window has that caption (a closed window lingers about 2 s)."""
        gone = wait_for(lambda: self.session.layout(caption, window_class) is None, END_TIMEOUT)
        self.assertTrue(gone, f"the window {caption!r} did not close")

    def wait_off_screen(self, caption: str) -> None:
        """Waits until X no longer shows a window of that name either: Wine keeps a closed window
        on the screen for a moment, where it still takes the mouse clicks."""
        self.wait_closed(caption)
        gone = wait_for(lambda: self.session.x_visible_windows(f"^{caption}$") == [], END_TIMEOUT)
        self.assertTrue(gone, f"the window {caption!r} stays on the screen")

    def wait_active(self, caption: str) -> None:
        """Waits until the window with that caption is the active one, the one that takes the keys:
        a window that has just closed stays active for a moment under Wine."""
        def active() -> bool:
            lines = self.session.helper("foreground", check=False)
            return bool(lines) and f"\ttext={caption}\t" in lines[0] and "\tvisible=1" in lines[0]
        self.assertTrue(wait_for(active, END_TIMEOUT),
                        f"{caption!r} is not the active window: {self.session.helper('foreground', check=False)}")

    def settings_window(self) -> dict[str, str]:
        window = self.session.window(APP_TITLE)
        self.assertIsNotNone(window, "the settings dialog is gone")
        return window[0]

    def assert_program_ended(self, program: Program, what: str) -> None:
        self.assertTrue(program.wait_end(END_TIMEOUT), f"the program kept running after {what}")
        self.assertEqual(program.process.returncode, 0, f"exit status after {what}")
        self.assertIsNone(self.session.layout(APP_TITLE), f"a window {APP_TITLE!r} is left after {what}")

    def assert_fixed_frame(self, window: dict[str, str], what: str) -> None:
        style = int(window["style"], 16)
        self.assertEqual(style & (WS_CAPTION | WS_SYSMENU), WS_CAPTION | WS_SYSMENU,
                         f"{what}: no title bar with a system menu and close box")
        self.assertEqual(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0,
                         f"{what}: can be resized, minimised or maximised")

    def background(self, shot: Shot, client: Rect) -> tuple[int, int, int]:
        """The dialog's background colour, from a corner of the client area where nothing is drawn."""
        return shot.pixel(client.left + 2, client.top + 2)

    def assert_drawn_at(self, shot: Shot, client: Rect, expected: Rect, margin: int, what: str) -> None:
        """The outline of what is drawn around `expected` (within `margin` pixels) is exactly it."""
        on_screen = expected.moved(client.left, client.top)
        got = shot.box_of(on_screen.grown(margin), self.background(shot, client))
        self.assertEqual(got, on_screen, f"{what} is drawn at {got}, expected at {on_screen}"
                                         f" ({expected} in the client area)")

    def label_lines(self, shot: Shot, client: Rect, label: Rect) -> list[tuple[int, int]]:
        """The bands of text lines drawn inside a label, and a check that the text stays inside it:
        left-aligned and not cut at the right edge."""
        on_screen = label.moved(client.left, client.top)
        ink = shot.box_of(on_screen, self.background(shot, client))
        if ink is not None:
            self.assertLessEqual(ink.left - on_screen.left, 2, f"text in {label} is not left-aligned")
            self.assertLess(ink.right, on_screen.right, f"text in {label} reaches its right edge: cut off?")
        return shot.ink_rows(on_screen, self.background(shot, client))


class SettingsDialogTest(DialogCase):
    def test_each_configuration_switch_opens_the_dialog_and_each_way_out_ends_the_program(self):
        s = self.session

        def enter():
            s.press_key("Return", f"^{APP_TITLE}$")

        def escape():
            s.press_key("Escape", f"^{APP_TITLE}$")

        def tab_then_enter():
            s.press_key("Tab", f"^{APP_TITLE}$")
            moved = wait_for(lambda: control(s.layout(APP_TITLE)[1], "キャンセル")["focus"] == "1", 5)
            self.assertTrue(moved, "Tab did not move the focus to キャンセル")
            _, controls = s.layout(APP_TITLE)
            # Enter now presses the focused キャンセル, which the dialog shows as the default button.
            self.assertEqual(control(controls, "キャンセル")["default"], "1")
            self.assertEqual(control(controls, "ＯＫ")["default"], "0")
            enter()

        def close_box():
            self.assertTrue(s.close_window(APP_TITLE), "no window to close")

        def alt_f4():
            s.press_key("alt+F4", f"^{APP_TITLE}$")

        def close_message():
            self.assertTrue(s.close_window(APP_TITLE, message=True), "no window to close")

        cases = [
            ([], "Enter", enter),
            (["/c"], "Esc", escape),
            (["/C"], "Tab then Enter", tab_then_enter),
            (["/c:1234"], "the close box", close_box),
            (["/c", "5678"], "Alt+F4", alt_f4),
            (["/C:99"], "WM_CLOSE", close_message),
        ]
        for switches, way, act in cases:
            with self.subTest(switches=" ".join(switches) or "(none)", way=way):
                program, (client, controls) = self.start_settings(*switches)
                self.assertEqual(self.x_caption(APP_TITLE), APP_TITLE)
                self.assertEqual(client["text"], APP_TITLE)
                texts = sorted((c["class"].lower(), c["text"]) for c in controls if c["visible"] == "1")
                self.assertEqual(texts, [("button", "キャンセル"), ("button", "ＯＫ"), ("static", NOTICE)])
                ok = control(controls, "ＯＫ")
                self.assertEqual(ok["default"], "1", "ＯＫ is not the default button on opening")
                # Wine shows the dialog a moment before it activates it and gives ＯＫ the focus.
                def ok_focused() -> bool:
                    layout = s.layout(APP_TITLE)
                    return layout is not None and control(layout[1], "ＯＫ")["focus"] == "1"

                focused = wait_for(ok_focused, 5)
                self.assertTrue(focused, "ＯＫ does not have the focus on opening")
                act()
                self.assert_program_ended(program, way)
                s.end_all()

    def test_dialog_layout_menu_and_frame_match_the_definition_on_screen(self):
        s = self.session
        program, (client, controls) = self.start_settings("/c")
        self.assertEqual((int(client["width"]), int(client["height"])), SETTINGS_INSIDE, "inside size")
        self.assertEqual(controls_by_place(controls), {
            ("button", SETTINGS_OK): "ＯＫ",
            ("button", SETTINGS_CANCEL): "キャンセル",
            ("static", SETTINGS_NOTICE): NOTICE,
        })
        menu = [(m["path"], m["text"], m["enabled"], m["popup"]) for m in s.menu(APP_TITLE)]
        self.assertEqual(menu, [("0", "ヘルプ(&H)", "1", "1"), ("0.0", "バージョン情報(&V)...", "1", "0")])

        window = self.settings_window()
        self.assert_fixed_frame(window, "the settings dialog")
        self.assertEqual(client["owner"], "0x0", "the settings dialog has an owner")
        self.assertTrue(int(window["exstyle"], 16) & WS_EX_APPWINDOW,
                        "the settings dialog has no taskbar button")
        got_centre = centre(outer_rect(window))
        self.assertLessEqual(abs(got_centre[0] - s.width / 2), 1, f"not centred across: {window['rect']}")
        self.assertLessEqual(abs(got_centre[1] - s.height / 2), 1, f"not centred down: {window['rect']}")

        inside = client_rect(client)
        # Wait for the first paint, then keep the screenshot.
        s.wait_for_screen(lambda sh: sh.box_of(SETTINGS_OK.moved(inside.left, inside.top).grown(3),
                                               self.background(sh, inside)) is not None, 10)
        shot = s.screenshot("dialogs-settings")
        self.assert_drawn_at(shot, inside, SETTINGS_OK, 3, "ＯＫ")
        self.assert_drawn_at(shot, inside, SETTINGS_CANCEL, 3, "キャンセル")
        self.assertEqual(len(self.label_lines(shot, inside, SETTINGS_NOTICE)), 1, "the notice is not one line")
        # The menu bar lies just above the client area, inside the window's X frame, and shows its
        # title at the left.
        menu_bar = Rect(inside.left, inside.top - 15, inside.left + 80, inside.top - 1)
        self.assertIsNotNone(shot.box_of(menu_bar, self.background(shot, inside)), "no menu bar drawn")

        # A click as the user gives it, in the middle of ＯＫ.
        ok = SETTINGS_OK.moved(inside.left, inside.top)
        s.click_at(*(int(v) for v in centre(ok)))
        self.assert_program_ended(program, "a mouse click on ＯＫ")


class VersionDialogTest(DialogCase):
    def expected_texts(self) -> dict[tuple[str, Rect], str]:
        """Every control of the version dialog by place, with the texts from the program's version
        resource."""
        info = self.session.version_info(self.session.scr)
        self.assertIn("LegalCopyright", info, "the program file has no version texts")
        copyright_text = info["LegalCopyright"]
        # The copyright of this build breaks its line where it has two spaces.
        self.assertIn("  ", copyright_text)
        major, minor, revision, _ = info["version"].split(".")
        return {
            ("button", ABOUT_OK): "OK",
            ("button", ABOUT_SYSINFO): SYSINFO_BUTTON,
            ("static", ABOUT_TITLE): APP_TITLE,
            ("static", ABOUT_VERSION): f"ﾊﾞｰｼﾞｮﾝ {major}.{minor}.{revision}",
            ("static", ABOUT_COMPANY): info["CompanyName"],
            ("static", ABOUT_COPYRIGHT): copyright_text.replace("  ", "\r\n"),
            ("static", ABOUT_DISCLAIMER): "",
        }

    def test_menu_opens_the_version_dialog_over_a_settings_dialog_that_takes_no_input(self):
        s = self.session
        expected = self.expected_texts()
        self.assertEqual(expected[("static", ABOUT_VERSION)], "ﾊﾞｰｼﾞｮﾝ 1.0.0")
        program, (settings_client, _) = self.start_settings()
        client, controls = self.open_about()

        self.assertEqual(client["text"], ABOUT_CAPTION)
        self.assertEqual(self.x_caption(ABOUT_CAPTION), ABOUT_CAPTION)
        self.assertEqual((int(client["width"]), int(client["height"])), ABOUT_INSIDE, "inside size")
        self.assertEqual(controls_by_place(controls), expected)
        ok = control(controls, "OK")
        self.assertEqual((ok["focus"], ok["default"]), ("1", "1"), "OK does not have the focus on opening")

        about_window = s.window(ABOUT_CAPTION)[0]
        settings = self.settings_window()
        self.assert_fixed_frame(about_window, "the version dialog")
        self.assertNotEqual(client["owner"], "0x0", "the version dialog is not owned: it gets a taskbar button")
        self.assertFalse(int(about_window["exstyle"], 16) & WS_EX_APPWINDOW,
                         "the version dialog has a taskbar button")
        about_centre, settings_centre = centre(outer_rect(about_window)), centre(outer_rect(settings))
        for axis in (0, 1):
            self.assertLessEqual(abs(about_centre[axis] - settings_centre[axis]), 1, "not centred over its owner")
        self.assertEqual(settings["enabled"], "0", "the settings dialog is enabled under the version dialog")

        inside = client_rect(client)
        # Wait for the first paint, then keep the screenshot.
        s.wait_for_screen(lambda sh: sh.box_of(ABOUT_ICON.moved(inside.left, inside.top).grown(4),
                                               self.background(sh, inside)) is not None, 10)
        shot = s.screenshot("dialogs-version")
        self.assert_drawn_at(shot, inside, ABOUT_OK, 3, "OK")
        self.assert_drawn_at(shot, inside, ABOUT_SYSINFO, 3, "ｼｽﾃﾑ情報(S)...")
        self.assert_drawn_at(shot, inside, ABOUT_ICON, 4, "the icon")
        self.assert_drawn_at(shot, inside, ABOUT_SEPARATOR, 3, "the separator")
        x = inside.left + 200
        self.assertEqual([shot.pixel(x, inside.top + y) for y in (120, 121, 122)],
                         [(255, 255, 255), (255, 255, 255), (128, 128, 128)], "separator colours")
        self.assertEqual(len(self.label_lines(shot, inside, ABOUT_TITLE)), 1, "title lines")
        self.assertEqual(len(self.label_lines(shot, inside, ABOUT_VERSION)), 1, "version lines")
        self.assertEqual(len(self.label_lines(shot, inside, ABOUT_COMPANY)), 1, "company lines")
        self.assertEqual(len(self.label_lines(shot, inside, ABOUT_COPYRIGHT)), 2, "copyright lines")
        self.assertEqual(self.label_lines(shot, inside, ABOUT_DISCLAIMER), [], "the disclaimer shows something")

        # Mouse clicks on the parts of ＯＫ and キャンセル that the version dialog leaves uncovered.
        settings_inside = client_rect(settings_client)
        for name, button in (("ＯＫ", SETTINGS_OK), ("キャンセル", SETTINGS_CANCEL)):
            on_screen = button.moved(settings_inside.left, settings_inside.top)
            x = max(on_screen.left, inside.right + 1)
            if x >= on_screen.right - 1:
                self.skipTest("the version dialog covers the settings dialog's buttons on this screen")
            s.click_at(x, (on_screen.top + on_screen.bottom) // 2)
            self.assertTrue(program.stays_alive(1.0),
                            f"a click on {name} under the version dialog ended the program")
        self.assertIsNotNone(s.layout(ABOUT_CAPTION), "the clicks closed the version dialog")
        self.assertEqual(self.settings_window()["enabled"], "0")

        # Esc closes it, and the settings dialog is usable again.
        s.press_key("Escape", f"^{ABOUT_CAPTION}$")
        self.wait_closed(ABOUT_CAPTION)
        self.assertTrue(wait_for(lambda: self.settings_window()["enabled"] == "1", 5),
                        "the settings dialog stays disabled")
        self.assertTrue(program.alive(), "Esc on the version dialog ended the program")

        # Every opening is a new window whose texts are filled again; the close box closes it.
        client_2, controls_2 = self.open_about()
        self.assertNotEqual(client_2["hwnd"], client["hwnd"],
                            "the version dialog was only hidden and shown again")
        self.assertEqual(client_2["text"], ABOUT_CAPTION)
        self.assertEqual(controls_by_place(controls_2), expected)
        self.assertTrue(s.close_window(ABOUT_CAPTION))
        self.wait_closed(ABOUT_CAPTION)
        self.assertTrue(program.alive(), "closing the version dialog ended the program")

        # Enter presses OK too.
        _, controls_3 = self.open_about()
        self.assertEqual(controls_by_place(controls_3), expected)
        s.press_key("Return", f"^{ABOUT_CAPTION}$")
        self.wait_off_screen(ABOUT_CAPTION)
        self.assertTrue(wait_for(lambda: self.settings_window()["enabled"] == "1", 5))

        # The settings dialog takes mouse clicks again: キャンセル ends the program.
        cancel = SETTINGS_CANCEL.moved(settings_inside.left, settings_inside.top)
        s.click_at(*(int(v) for v in centre(cancel)))
        self.assert_program_ended(program, "a mouse click on キャンセル")


class ToolCase(DialogCase):
    """Registry values and copies of the stand-in tool for the system-information button. The values
    are put back as they were afterwards, and the copies are removed."""

    TOOL_KEY = r"HKLM\SOFTWARE\Microsoft\Shared Tools\MSINFO"
    FOLDER_KEY = r"HKLM\SOFTWARE\Microsoft\Shared Tools Location"
    # A folder with a Japanese name and a space, on the Windows drive.
    FOLDER = "共有 ツール"

    def setUp(self) -> None:
        s = self.session
        if not s.tool_exe.is_file():
            self.skipTest(f"the stand-in tool {s.tool_exe} is not built")
        self.folder_key_existed = s.reg("query", self.FOLDER_KEY)
        self.addCleanup(self.restore_registry)
        self.tool_folder = s.prefix / "drive_c" / self.FOLDER
        self.addCleanup(shutil.rmtree, self.tool_folder, True)
        (self.tool_folder / "空").mkdir(parents=True, exist_ok=True)
        shutil.copy2(s.tool_exe, self.tool_folder / "MSINFO32.EXE")
        self.work_tool = s.work / "tools" / "KWOBLTOOL.EXE"
        self.work_tool.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy2(s.tool_exe, self.work_tool)
        self.path_tool = windows_path(self.work_tool)
        self.missing_tool = windows_path(s.work / "tools" / "missing" / "KWOBLTOOL.EXE")
        self.folder_tool = f"C:\\{self.FOLDER}\\MSINFO32.EXE"

    def restore_registry(self) -> None:
        s = self.session
        s.reg("delete", self.TOOL_KEY, "/v", "PATH", "/f")
        if self.folder_key_existed:
            s.reg("delete", self.FOLDER_KEY, "/v", "MSINFO", "/f")
        else:
            s.reg("delete", self.FOLDER_KEY, "/f")

    def set_values(self, path: str | None, folder: str | None) -> None:
        s = self.session
        for key, name, value in ((self.TOOL_KEY, "PATH", path), (self.FOLDER_KEY, "MSINFO", folder)):
            if value is None:
                s.reg("delete", key, "/v", name, "/f")
            else:
                self.assertTrue(s.reg("add", key, "/v", name, "/t", "REG_SZ", "/d", value, "/f"),
                                f"cannot set {key}\\{name}")

    def tools_running(self) -> list[str]:
        lines = self.session.helper("windows")
        return [line.split("\ttext=")[1].split("\t")[0] for line in lines
                if "\ttext=" + TOOL_CAPTION in line and "\tvisible=1" in line]

    def press_sysinfo(self, how: str) -> None:
        if how == "Alt+S":
            self.session.press_key("alt+s", f"^{ABOUT_CAPTION}$")
        else:
            self.assertEqual(self.session.helper("click", ABOUT_CAPTION, SYSINFO_BUTTON, check=False), [])

    def expect_tool(self, path: str) -> None:
        """The tool started from `path`, alone, in a normal activated window; then closes it."""
        s = self.session
        caption = TOOL_CAPTION + path
        started = wait_for(lambda: s.layout(caption), OPEN_TIMEOUT)
        self.assertIsNotNone(started, f"no tool started from {path}; running: {self.tools_running()}")
        self.assertEqual(self.tools_running(), [caption], "other tools started too")
        self.assertIsNone(s.layout(APP_TITLE, MESSAGE_BOX_CLASS), "a message box came with the tool")
        self.wait_active(caption)
        window = s.window(caption)[0]
        self.assertEqual(int(window["style"], 16) & (WS_MINIMIZE | WS_MAXIMIZE), 0,
                         "the tool is minimised or maximised")
        self.assertTrue(s.close_window(caption))
        self.wait_closed(caption)
        self.wait_active(ABOUT_CAPTION)

    def expect_message(self) -> None:
        """The message that there is no tool, over a version dialog that takes no input; then OK."""
        s = self.session
        box = wait_for(lambda: s.layout(APP_TITLE, MESSAGE_BOX_CLASS), OPEN_TIMEOUT)
        if box is None:
            s.screenshot("dialogs-sysinfo-no-message")
        self.assertIsNotNone(box, f"no message box; the active window: {s.helper('foreground')}")
        client, controls = box
        self.assertEqual(client["text"], APP_TITLE)
        texts = [c["text"] for c in controls if c["class"].lower() == "static" and c["text"]]
        buttons = [c["text"] for c in controls if c["class"].lower() == "button" and c["visible"] == "1"]
        self.assertEqual((texts, buttons), ([NOT_AVAILABLE], ["OK"]))
        self.assertEqual(self.tools_running(), [], "a tool started as well")
        self.assertEqual(s.window(ABOUT_CAPTION)[0]["enabled"], "0",
                         "the version dialog takes input under the message")
        s.press_key("Return", f"^{APP_TITLE}$")
        self.wait_closed(APP_TITLE, MESSAGE_BOX_CLASS)
        self.wait_active(ABOUT_CAPTION)


class SystemInformationTest(ToolCase):
    def test_button_starts_the_tool_the_registry_names_or_says_that_there_is_none(self):
        s = self.session
        program, _ = self.start_settings("/c")
        self.open_about()
        folder = f"C:\\{self.FOLDER}"
        steps = [
            ("no values", None, None, "Alt+S", None),
            ("PATH names a tool, MSINFO a folder with another", self.path_tool, folder, "Alt+S", self.path_tool),
            ("PATH names a missing file, MSINFO a folder with a tool", self.missing_tool, folder, "click", None),
            ("no PATH, MSINFO a folder with MSINFO32.EXE", None, folder, "click", self.folder_tool),
            ("no PATH, MSINFO a folder without it", None, folder + "\\空", "Alt+S", None),
        ]
        for what, path, folder_value, how, tool in steps:
            with self.subTest(what):
                self.set_values(path, folder_value)
                self.press_sysinfo(how)
                if tool is None:
                    self.expect_message()
                else:
                    self.expect_tool(tool)
                self.assertIsNotNone(s.layout(ABOUT_CAPTION), "the version dialog closed")
                self.assertEqual(s.window(ABOUT_CAPTION)[0]["enabled"], "1", "the version dialog stays disabled")
                self.assertTrue(program.alive())
        s.press_key("Escape", f"^{ABOUT_CAPTION}$")
        self.wait_closed(ABOUT_CAPTION)
        self.wait_active(APP_TITLE)
        s.press_key("Escape", f"^{APP_TITLE}$")
        self.assert_program_ended(program, "Esc")


class DialogTracesTest(ToolCase):
    def test_dialog_runs_write_nothing_whether_the_tool_starts_or_not(self):
        s = self.session
        folder = s.folder("dialogs", {})
        # The registry stays as it is during the run; the tool's file goes away half-way instead.
        self.set_values(self.path_tool, None)
        s.stop_wine()
        traces = Traces(s.prefix, folder)
        try:
            s.start_holder()
            program, _ = self.start_settings("/c")
            self.open_about()
            self.press_sysinfo("Alt+S")
            self.expect_tool(self.path_tool)
            self.work_tool.unlink()
            self.press_sysinfo("Alt+S")
            self.expect_message()
            s.press_key("Escape", f"^{ABOUT_CAPTION}$")
            self.wait_closed(ABOUT_CAPTION)
            self.wait_active(APP_TITLE)
            s.press_key("Return", f"^{APP_TITLE}$")
            self.assert_program_ended(program, "Enter")
        finally:
            s.stop_wine()
            s.start_holder()

        traces.assert_unchanged(self)


if __name__ == "__main__":
    unittest.main()

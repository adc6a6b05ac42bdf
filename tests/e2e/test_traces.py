"""The program leaves no trace: nothing written to the registry, to its own folder or to the Windows drive.

Wine writes its registry to system.reg and user.reg only when its server ends, so the test ends the
server before and after the runs and compares the files. Wine itself rewrites every key's time stamp
and the value DriverDateData on each start; those are left out of the comparison.
"""

from __future__ import annotations

import difflib
import re
import unittest
from pathlib import Path

from e2e_case import END_TIMEOUT, E2ECase
from screen import Rect
from wine_session import APP_TITLE, Picture, folder_state, wait_for

_KEY_STAMP = re.compile(r"^(\[.*\]) \d+$")


def registry_lines(path: Path) -> list[str]:
    lines = []
    for line in path.read_text(encoding="utf-8", errors="replace").splitlines():
        if line.startswith("#time=") or line.startswith('"DriverDateData"='):
            continue
        lines.append(_KEY_STAMP.sub(r"\1", line))
    return lines


def drive_files(drive: Path) -> dict[str, tuple[int, int]]:
    """Size and modification time of every file on the Windows drive (the program's own folder is
    elsewhere); links into the Linux file system are not followed."""
    files = {}
    for path in drive.rglob("*"):
        if path.is_file() and not path.is_symlink():
            info = path.stat()
            files[str(path.relative_to(drive))] = (info.st_size, info.st_mtime_ns)
    return files


class Traces:
    """What a run could leave behind: the registry files, the Windows drive and the program's folder.
    Taken with the Wine server stopped, since Wine writes its registry files only when it ends."""

    def __init__(self, prefix: Path, folder: Path) -> None:
        self.prefix = prefix
        self.folder = folder
        self.registry = {name: registry_lines(prefix / name) for name in ("system.reg", "user.reg")}
        self.drive = drive_files(prefix / "drive_c")
        self.folder_files = folder_state(folder)

    def assert_unchanged(self, case: unittest.TestCase) -> None:
        for name, before in self.registry.items():
            after = registry_lines(self.prefix / name)
            diff = list(difflib.unified_diff(before, after, "before", "after", lineterm="", n=1))
            case.assertEqual(diff[:40], [], f"{name} changed")
        case.assertEqual(folder_state(self.folder), self.folder_files, "the program's folder changed")
        drive_after = drive_files(self.prefix / "drive_c")
        changed = sorted(k for k in self.drive.keys() | drive_after.keys()
                         if self.drive.get(k) != drive_after.get(k))
        case.assertEqual(changed, [], "files on the Windows drive changed")


class TracesTest(E2ECase):
    def test_slideshow_preview_and_password_runs_write_nothing(self):
        s = self.session
        folder = s.folder("traces", {1: Picture(200, 150, "#ff8000", "png")})
        s.stop_wine()
        traces = Traces(s.prefix, folder)
        try:
            s.start_holder()
            self.prepare_desktop((20, 20))
            program = s.start(folder, "/s")
            self.wait_for_picture(Rect(220, 165, 420, 315), "traces-slideshow")
            s.press_key("space", "^Form1$")
            self.assert_ended(program, "a key press")

            program = s.start(folder, "/p")
            self.assertTrue(program.wait_end(END_TIMEOUT), "/p kept running")

            program = s.start(folder, "/a")
            self.assertIsNotNone(wait_for(lambda: s.window(APP_TITLE), 20), "no message box for /a")
            s.press_key("Return", f"^{APP_TITLE}$")
            self.assertTrue(program.wait_end(END_TIMEOUT), "/a kept running after OK")
        finally:
            s.stop_wine()
            s.start_holder()

        traces.assert_unchanged(self)


if __name__ == "__main__":
    unittest.main()

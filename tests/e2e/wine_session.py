"""The Wine session the end-to-end tests run in: the screen saver, the helper, the pointer and the keyboard.

One session serves the whole suite. It expects DISPLAY (a virtual X display) and WINEPREFIX (a prepared
prefix) in the environment, as scripts/test.sh sets them, and keeps Wine's desktop alive between runs
with the helper's `hold` command, so that the taskbar window's state and the pointer position carry over
from one step of a test to the next.
"""

from __future__ import annotations

import dataclasses
import os
import select
import shutil
import subprocess
import time
from pathlib import Path
from typing import Callable, TypeVar

import screen

T = TypeVar("T")

# The program's title, from its version resource: the caption of its message boxes.
APP_TITLE = "KWOBL スライドショー"
# The slideshow window's caption, which no title bar shows but X and Windows both report.
SLIDESHOW_CAPTION = "Form1"


def wait_for(probe: Callable[[], T], timeout: float, interval: float = 0.1) -> T | None:
    """Calls `probe` until it returns something true, or until `timeout` seconds have passed."""
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() >= deadline:
            return None
        time.sleep(interval)


def unescape(text: str) -> str:
    """Undoes the helper's escapes of texts that may hold line breaks (\\\\, \\t, \\r, \\n)."""
    out = []
    at = 0
    while at < len(text):
        if text[at] == "\\" and at + 1 < len(text):
            out.append({"\\": "\\", "t": "\t", "r": "\r", "n": "\n"}.get(text[at + 1], text[at:at + 2]))
            at += 2
        else:
            out.append(text[at])
            at += 1
    return "".join(out)


def windows_path(path: Path) -> str:
    """The path under which Windows programs see a Linux file (Wine's drive Z: is the root folder)."""
    return "Z:" + str(path).replace("/", "\\")


def parse_fields(line: str) -> dict[str, str]:
    """Turns a helper line "kind<TAB>key=value<TAB>..." into a dict, with the kind under "kind"."""
    parts = line.split("\t")
    fields = {"kind": parts[0]}
    for part in parts[1:]:
        key, _, value = part.partition("=")
        fields[key] = value
    return fields


@dataclasses.dataclass
class Picture:
    """A test picture: its size, its one colour and its file format."""

    width: int
    height: int
    colour: str
    fmt: str = "png"


class Program:
    """One run of the screen saver (or of any Windows program) under Wine."""

    def __init__(self, session: "Session", args: list[str], cwd: Path):
        self.session = session
        self.args = args
        self.started = time.monotonic()
        self.process = subprocess.Popen(["wine", *args], cwd=cwd, env=session.env,
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)

    def alive(self) -> bool:
        return self.process.poll() is None

    def wait_end(self, timeout: float) -> bool:
        """True when the program has ended within `timeout` seconds."""
        try:
            self.process.wait(timeout=timeout)
            return True
        except subprocess.TimeoutExpired:
            return False

    def stays_alive(self, seconds: float) -> bool:
        """True when the program is still running after `seconds`: the way to see that an input was
        taken without ending it."""
        return not self.wait_end(seconds)

    def kill(self) -> None:
        if self.alive():
            self.process.kill()
            self.process.wait(timeout=10)


class Session:
    def __init__(self, scr: Path, helper: Path, work: Path, shots: Path):
        self.scr = scr
        self.helper_exe = helper
        self.work = work
        self.shots = shots
        self.env = dict(os.environ)
        self.display = self.env["DISPLAY"]
        self.prefix = Path(self.env["WINEPREFIX"])
        self.holder: subprocess.Popen | None = None
        self.make_pictures: Path | None = None  # the native demo-picture generator, when built
        self.programs: list[Program] = []
        self.width, self.height = self._screen_size()

    # ---- Wine and the helper ----

    def start_holder(self) -> None:
        """Starts the helper that keeps Wine's desktop (and the taskbar window) alive between runs."""
        self.holder = subprocess.Popen(["wine", str(self.helper_exe), "hold"], env=self.env,
                                       stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                       stderr=subprocess.DEVNULL)
        ready, _, _ = select.select([self.holder.stdout], [], [], 60)
        line = self.holder.stdout.readline().decode("utf-8", "replace").strip() if ready else ""
        if line != "holding":
            raise RuntimeError(f"the helper did not start holding the desktop (got {line!r})")

    def stop_wine(self) -> None:
        """Ends every Windows program of the prefix and its server; the registry reaches its files."""
        for program in self.programs:
            program.kill()
        self.programs.clear()
        subprocess.run(["wineserver", "-k"], env=self.env, capture_output=True, timeout=60)
        subprocess.run(["wineserver", "-w"], env=self.env, capture_output=True, timeout=60)
        if self.holder is not None:
            try:
                self.holder.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.holder.kill()
            self.holder = None

    def helper(self, *args: str, check: bool = True) -> list[str]:
        """Runs one helper command and returns its output lines."""
        result = subprocess.run(["wine", str(self.helper_exe), *args], env=self.env,
                                stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
        if check and result.returncode != 0:
            raise RuntimeError(f"helper {' '.join(args)} failed with status {result.returncode}")
        return [line.rstrip("\r") for line in result.stdout.decode("utf-8", "replace").splitlines()]

    def taskbar(self) -> str:
        """"visible", "hidden" or "none"."""
        return self.helper("taskbar")[0].split()[1]

    def show_taskbar(self) -> str:
        return self.helper("taskbar-show")[0].split()[1]

    def cursor_showing(self) -> bool:
        return self.helper("cursor")[0].split()[1] == "showing"

    def window(self, caption: str) -> tuple[dict[str, str], list[dict[str, str]]] | None:
        """The top-level window with that caption and its controls, or None."""
        lines = self.helper("window", caption, check=False)
        if not lines:
            return None
        return parse_fields(lines[0]), [parse_fields(line) for line in lines[1:]]

    def layout(self, caption: str, window_class: str = "") -> tuple[dict[str, str], list[dict[str, str]]] | None:
        """The first visible window with that caption (and class): its client area on the screen and
        its controls placed inside the client area, texts unescaped; None when there is none."""
        args = ["layout", caption] + ([window_class] if window_class else [])
        lines = self.helper(*args, check=False)
        if not lines:
            return None
        fields = [parse_fields(line) for line in lines]
        for item in fields:
            if "text" in item:
                item["text"] = unescape(item["text"])
        return fields[0], fields[1:]

    def menu(self, caption: str) -> list[dict[str, str]]:
        """The entries of the menu bar of the first visible window with that caption, depth first."""
        return [parse_fields(line) for line in self.helper("menu", caption, check=False)]

    def close_window(self, caption: str, message: bool = False) -> bool:
        """Asks the first visible window with that caption to close as its close box does, or with
        WM_CLOSE; False when there is no such window."""
        args = ["close", caption] + (["message"] if message else [])
        return subprocess.run(["wine", str(self.helper_exe), *args], env=self.env, stdin=subprocess.DEVNULL,
                              capture_output=True, timeout=60).returncode == 0

    def version_info(self, program: Path) -> dict[str, str]:
        """The version resource of a program file: the texts by name, and "version" as "a.b.c.d"."""
        info = {}
        for line in self.helper("version-info", windows_path(program), check=False):
            fields = parse_fields(line)
            if fields["kind"] == "version":
                info["version"] = ".".join(fields[k] for k in ("major", "minor", "revision", "build"))
            elif fields["kind"] == "field":
                info[fields["name"]] = unescape(fields["value"])
        return info

    @property
    def tool_exe(self) -> Path:
        """The stand-in for a tool that a program starts, built beside the helper."""
        return self.helper_exe.parent / "kwobl_e2e_tool.exe"

    def reg(self, *args: str) -> bool:
        """Runs Wine's `reg` command (add, delete, query ...); True when it succeeded."""
        result = subprocess.run(["wine", "reg", *args], env=self.env, stdin=subprocess.DEVNULL,
                                capture_output=True, timeout=60)
        return result.returncode == 0

    # ---- X: pointer, keys, windows, screenshots ----

    def xdotool(self, *args: str) -> str:
        result = subprocess.run(["xdotool", *args], env=self.env, capture_output=True, timeout=30)
        return result.stdout.decode("utf-8", "replace")

    def place_pointer(self, x: int, y: int) -> None:
        """Puts the pointer at (x, y) both for X and for Wine, before a program's window appears, so
        that the first position the program sees is certain."""
        self.xdotool("mousemove", str(x), str(y))
        self.helper("cursor-pos", str(x), str(y))

    def move(self, x: int, y: int, settle: float = 0.25) -> None:
        """Moves the pointer in one jump (one motion event) and gives Wine time to deliver it."""
        self.xdotool("mousemove", str(x), str(y))
        time.sleep(settle)

    def x_windows(self, name: str) -> list[str]:
        """X window ids whose name matches the regular expression `name`."""
        return self.xdotool("search", "--name", name).split()

    def press_key(self, key: str, window_name: str) -> None:
        """Delivers a key press to the Wine window of that name (Wine passes it on to the window it
        last activated)."""
        ids = wait_for(lambda: self.x_windows(window_name), 10) or []
        if ids:
            self.xdotool("windowfocus", ids[0])
        self.xdotool("key", key)

    def x_visible_windows(self, name: str) -> list[str]:
        """X window ids whose name matches the regular expression `name` and that are mapped: a
        window that Windows has closed can stay on screen for a moment."""
        return self.xdotool("search", "--onlyvisible", "--name", name).split()

    def window_name(self, x_window: str) -> str:
        """The name X has for a window: the caption, as Wine passes it on through the UTF-8 locale."""
        return self.xdotool("getwindowname", x_window).rstrip("\n")

    def click_at(self, x: int, y: int, button: int = 1) -> None:
        """Moves the pointer to (x, y) and clicks there: input as a user gives it, which a disabled
        window refuses."""
        self.xdotool("mousemove", str(x), str(y))
        time.sleep(0.1)
        self.xdotool("click", str(button))

    def click(self, button: int) -> None:
        """A click where the pointer is, without moving it."""
        self.xdotool("click", str(button))

    def screenshot(self, name: str | None = None) -> screen.Shot:
        return screen.screenshot(self.display, self.shots / f"{name}.png" if name else None)

    def wait_for_screen(self, test: Callable[[screen.Shot], bool], timeout: float) -> screen.Shot | None:
        """Waits until a screenshot passes `test` twice in a row (so a half-painted frame never counts)."""
        previous: list[bool] = [False]

        def probe() -> screen.Shot | None:
            shot = self.screenshot()
            passed = test(shot)
            ok = passed and previous[0]
            previous[0] = passed
            return shot if ok else None

        return wait_for(probe, timeout, interval=0.05)

    def _screen_size(self) -> tuple[int, int]:
        shot = screen.screenshot(self.display)
        return shot.width, shot.height

    # ---- Folders and runs ----

    def folder(self, name: str, pictures: dict[int, Picture]) -> Path:
        """A fresh application folder: a copy of the program and the numbered pictures given."""
        folder = self.work / name
        if folder.exists():
            shutil.rmtree(folder)
        folder.mkdir(parents=True)
        shutil.copy2(self.scr, folder / "kwobl.scr")
        for number, picture in pictures.items():
            screen.make_picture(folder / f"KWOBL{number:03d}.DAT", picture.width, picture.height,
                                picture.colour, picture.fmt)
        return folder

    def start(self, folder: Path, *switches: str) -> Program:
        program = Program(self, [str(folder / "kwobl.scr"), *switches], folder)
        self.programs.append(program)
        return program

    def start_quick(self, folder: Path, tick_seconds: float, *switches: str) -> Program:
        """Runs the test copy kwobl_quick.scr as the folder's kwobl.scr, its timers ticking every
        `tick_seconds`."""
        shutil.copy2(self.scr.parent / "kwobl_quick.scr", folder / "kwobl.scr")
        self.env["KWOBL_TEST_TICK_MS"] = str(int(tick_seconds * 1000))
        try:
            return self.start(folder, *switches)
        finally:
            del self.env["KWOBL_TEST_TICK_MS"]

    def end_all(self) -> None:
        """Kills whatever a failed test left running."""
        for program in self.programs:
            program.kill()
        self.programs.clear()


def folder_state(folder: Path) -> dict[str, tuple[int, int, bytes]]:
    """Name, size, modification time and content of every file below `folder`."""
    state = {}
    for path in sorted(folder.rglob("*")):
        if path.is_file():
            info = path.stat()
            state[str(path.relative_to(folder))] = (info.st_size, info.st_mtime_ns, path.read_bytes())
    return state


_current: Session | None = None


def current() -> Session:
    if _current is None:
        raise RuntimeError("no Wine session: run the suite through tests/e2e/run_e2e.py")
    return _current


def set_current(session: Session | None) -> None:
    global _current
    _current = session

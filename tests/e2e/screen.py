"""Screenshots of the virtual display and the test pictures the slideshow is shown, made with ImageMagick."""

from __future__ import annotations

import dataclasses
import subprocess
from pathlib import Path

# A channel at or above this value counts as lit: the test pictures use full-strength colours on a
# black screen, so anything a filter blends at an edge is either clearly in or clearly out.
LIT = 128
_LIT_TABLE = bytes(1 if value >= LIT else 0 for value in range(256))


@dataclasses.dataclass(frozen=True)
class Rect:
    """A rectangle of pixels: left and top inclusive, right and bottom exclusive."""

    left: int
    top: int
    right: int
    bottom: int

    @property
    def width(self) -> int:
        return self.right - self.left

    @property
    def height(self) -> int:
        return self.bottom - self.top

    def __str__(self) -> str:
        return f"({self.left},{self.top})-({self.right},{self.bottom}) {self.width}x{self.height}"

    def moved(self, dx: int, dy: int) -> "Rect":
        return Rect(self.left + dx, self.top + dy, self.right + dx, self.bottom + dy)

    def grown(self, by: int) -> "Rect":
        return Rect(self.left - by, self.top - by, self.right + by, self.bottom + by)

    def overlaps(self, other: "Rect") -> bool:
        return (self.left < other.right and other.left < self.right and
                self.top < other.bottom and other.top < self.bottom)


@dataclasses.dataclass(frozen=True)
class Shot:
    """One screenshot: size and top-down RGB rows."""

    width: int
    height: int
    rgb: bytes

    def pixel(self, x: int, y: int) -> tuple[int, int, int]:
        i = (y * self.width + x) * 3
        return self.rgb[i], self.rgb[i + 1], self.rgb[i + 2]

    def lit_box(self) -> Rect | None:
        """The smallest rectangle holding every lit pixel, or None for an all-black screen."""
        lit = self.rgb.translate(_LIT_TABLE)
        stride = self.width * 3
        top = bottom = None
        left, right = self.width, 0
        for y in range(self.height):
            row = lit[y * stride:(y + 1) * stride]
            first = row.find(1)
            if first < 0:
                continue
            top = y if top is None else top
            bottom = y + 1
            left = min(left, first // 3)
            right = max(right, row.rfind(1) // 3 + 1)
        if top is None:
            return None
        return Rect(left, top, right, bottom)

    def box_of(self, rect: Rect, background: tuple[int, int, int]) -> Rect | None:
        """The smallest rectangle inside `rect` holding every pixel that is not exactly `background`:
        on a flat dialog background, the outline of whatever is drawn there."""
        bg = bytes(background)
        top = bottom = None
        left, right = rect.right, rect.left
        for y in range(max(0, rect.top), min(self.height, rect.bottom)):
            for x in range(max(0, rect.left), min(self.width, rect.right)):
                i = (y * self.width + x) * 3
                if self.rgb[i:i + 3] != bg:
                    top = y if top is None else top
                    bottom = y + 1
                    left = min(left, x)
                    right = max(right, x + 1)
        if top is None:
            return None
        return Rect(left, top, right, bottom)

    def ink_rows(self, rect: Rect, background: tuple[int, int, int]) -> list[tuple[int, int]]:
        """The bands of rows inside `rect` that hold something other than `background`, as
        (first, end) pairs: one band per line of text in a label."""
        bg = bytes(background)
        bands: list[tuple[int, int]] = []
        for y in range(max(0, rect.top), min(self.height, rect.bottom)):
            row = self.rgb[(y * self.width + rect.left) * 3:(y * self.width + rect.right) * 3]
            inked = any(row[i:i + 3] != bg for i in range(0, len(row), 3))
            if inked and bands and bands[-1][1] == y:
                bands[-1] = (bands[-1][0], y + 1)
            elif inked:
                bands.append((y, y + 1))
        return bands

    def is_black(self) -> bool:
        return self.lit_box() is None

    def mean_colour(self, rect: Rect) -> tuple[int, int, int]:
        """Average colour inside a rectangle, to tell which picture is on screen."""
        sums = [0, 0, 0]
        for y in range(rect.top, rect.bottom):
            row = self.rgb[(y * self.width + rect.left) * 3:(y * self.width + rect.right) * 3]
            for c in range(3):
                sums[c] += sum(row[c::3])
        count = max(1, rect.width * rect.height)
        return sums[0] // count, sums[1] // count, sums[2] // count


def parse_ppm(data: bytes) -> Shot:
    """Reads a binary PPM (P6, 8 bits per channel), the form `import` and `convert` write to a pipe."""
    fields: list[bytes] = []
    at = 0
    while len(fields) < 4:
        while data[at:at + 1].isspace():
            at += 1
        if data[at:at + 1] == b"#":
            at = data.index(b"\n", at) + 1
            continue
        end = at
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[at:end])
        at = end
    if fields[0] != b"P6" or fields[3] != b"255":
        raise ValueError(f"not an 8-bit binary PPM: {fields!r}")
    width, height = int(fields[1]), int(fields[2])
    at += 1  # the single whitespace byte after the maximum value
    rgb = data[at:at + width * height * 3]
    if len(rgb) != width * height * 3:
        raise ValueError("the PPM is cut short")
    return Shot(width, height, rgb)


def screenshot(display: str, save_as: Path | None = None) -> Shot:
    """Takes a screenshot of the whole display; `save_as` also keeps it as a PNG file."""
    data = subprocess.run(["import", "-display", display, "-window", "root", "-depth", "8", "ppm:-"],
                          check=True, capture_output=True, timeout=30).stdout
    shot = parse_ppm(data)
    if save_as is not None:
        subprocess.run(["convert", "ppm:-", f"png:{save_as}"], input=data, check=True,
                       capture_output=True, timeout=30)
    return shot


def make_picture(path: Path, width: int, height: int, colour: str, fmt: str) -> None:
    """Writes a one-colour picture of the given size in the given format (png, bmp3, jpeg, gif, tiff),
    under whatever name `path` has: the slideshow reads pictures whatever their extension says."""
    options = ["-quality", "95"] if fmt == "jpeg" else []
    subprocess.run(["convert", "-size", f"{width}x{height}", f"xc:{colour}", *options, "-strip",
                    f"{fmt}:{path}"], check=True, capture_output=True, timeout=30)

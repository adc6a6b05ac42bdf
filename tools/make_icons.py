#!/usr/bin/env python3
"""Draws the program's two icons and writes them as .ico files (deterministic, standard library only).

program.ico   the program file's and the settings dialog's icon: a framed landscape picture,
              32 x 32 and 16 x 16, 16 colours each (1078 bytes).
slideshow.ico the slideshow window's icon: two framed pictures, one behind the other,
              32 x 32 in 16 colours and in 256 colours (2998 bytes).

Usage: make_icons.py [output folder]   (default: the resources folder beside this tool)
"""

import math
import os
import struct
import sys

# The standard 16-colour palette of Windows, in its usual order.
VGA = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = VGA[0:8]
GREY, RED, LIME, YELLOW, BLUE, FUCHSIA, AQUA, WHITE = VGA[8:16]


def palette_256():
    """A fixed 256-colour palette: the 6 x 6 x 6 colour cube, then greys and sky blues."""
    levels = [0, 51, 102, 153, 204, 255]
    colours = [(r, g, b) for r in levels for g in levels for b in levels]
    colours += [(v, v, v) for v in range(8, 256, 12)][:20]
    colours += [(40 + 8 * i, 110 + 6 * i, 230 - i) for i in range(20)]
    return colours[:256]


def nearest(colour, palette):
    r, g, b = colour
    best, best_d = 0, None
    for i, (pr, pg, pb) in enumerate(palette):
        d = 2 * (r - pr) ** 2 + 4 * (g - pg) ** 2 + 3 * (b - pb) ** 2
        if best_d is None or d < best_d:
            best, best_d = i, d
    return best


def mix(a, b, t):
    return tuple(round(a[i] + (b[i] - a[i]) * t) for i in range(3))


# ---- Scenes: each maps a point (u, v) in 0..1 across the icon to a colour, or None for transparent.

def landscape(u, v, rich, night=False):
    """The picture inside a frame: sky, sun (or moon), a cloud and two green hills; u, v in 0..1."""
    if night:
        sky = mix((20, 30, 90), (70, 60, 140), v) if rich else NAVY
        body, body_colour = (0.72, 0.28, 0.14), (250, 250, 210) if rich else WHITE
    else:
        sky = mix((40, 110, 235), (160, 215, 255), v) if rich else (BLUE if v < 0.3 else AQUA)
        body, body_colour = (0.74, 0.26, 0.15), (255, 220, 40) if rich else YELLOW
    colour = sky
    if math.hypot(u - body[0], v - body[1]) <= body[2]:
        colour = body_colour
    if not night:
        cloud = [(0.22, 0.32, 0.11), (0.34, 0.28, 0.13), (0.45, 0.33, 0.10)]
        if any(math.hypot((u - cx) * 0.8, v - cy) <= r for cx, cy, r in cloud) and v < 0.37:
            colour = WHITE
    back_hill = 0.58 + 0.35 * (u - 0.72) ** 2
    front_hill = 0.70 + 0.45 * (u - 0.22) ** 2
    if v >= back_hill:
        colour = (40, 140, 60) if rich else GREEN
        if night:
            colour = (20, 70, 40) if rich else TEAL
    if v >= front_hill:
        colour = mix((110, 200, 70), (60, 150, 40), (v - front_hill) * 3) if rich else LIME
        if night:
            colour = (30, 100, 50) if rich else GREEN
    return colour


def framed(x, y, left, top, size, border, rich, night=False):
    """A picture with a gilded frame occupying the square [left, left + size) at pixel (x, y)."""
    px, py = x - left, y - top
    if not (0 <= px < size and 0 <= py < size):
        return None
    edge = min(px, py, size - px, size - py)
    if edge < 1:
        return BLACK if not rich else (40, 30, 10)
    if edge < border:
        lit = px + py < size          # the top-left half catches the light
        if rich:
            return (235, 200, 90) if lit and edge < 2 else (170, 125, 40) if lit else (120, 85, 25)
        return YELLOW if lit and edge < 2 else OLIVE
    if edge < border + 1:
        return BLACK if not rich else (60, 45, 15)
    inner = size - 2 * (border + 1)
    return landscape((px - border - 1) / inner, (py - border - 1) / inner, rich, night)


def program_scene(size):
    border = 3 if size >= 32 else 2
    return lambda x, y, rich: framed(x, y, 0, 0, size, border, rich)


def slideshow_scene(x, y, rich):
    front = framed(x, y, 0, 8, 24, 3, rich)
    if front is not None:
        return front
    return framed(x, y, 8, 0, 24, 3, rich, night=True)


# ---- Rendering and the icon file format.

def render(scene, size, rich, palette):
    """Colour indices (top row first) and a transparency mask for one image."""
    samples = 4 if rich else 1
    indices, mask = [], []
    for row in range(size):
        for col in range(size):
            got = []
            for sy in range(samples):
                for sx in range(samples):
                    x = col + (sx + 0.5) / samples
                    y = row + (sy + 0.5) / samples
                    c = scene(x, y, rich)
                    if c is not None:
                        got.append(c)
            if len(got) * 2 < samples * samples:
                indices.append(0)
                mask.append(1)
                continue
            avg = tuple(round(sum(c[i] for c in got) / len(got)) for i in range(3))
            indices.append(nearest(avg, palette))
            mask.append(0)
    return indices, mask


def dib(size, bpp, palette, indices, mask):
    """One icon image: BITMAPINFOHEADER, palette, colour rows and mask rows, both bottom-up."""
    colours = 1 << bpp
    pal = list(palette[:colours]) + [(0, 0, 0)] * (colours - len(palette[:colours]))
    xor_stride = ((size * bpp + 31) // 32) * 4
    and_stride = ((size + 31) // 32) * 4
    xor = bytearray()
    and_mask = bytearray()
    for row in reversed(range(size)):
        line = indices[row * size:(row + 1) * size]
        if bpp == 4:
            packed = bytearray((line[i] << 4) | line[i + 1] for i in range(0, size, 2))
        else:
            packed = bytearray(line)
        xor += packed + bytes(xor_stride - len(packed))
        bits = mask[row * size:(row + 1) * size]
        packed_mask = bytearray()
        for i in range(0, size, 8):
            byte = 0
            for b in bits[i:i + 8]:
                byte = (byte << 1) | b
            packed_mask.append(byte)
        and_mask += packed_mask + bytes(and_stride - len(packed_mask))
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, bpp, 0, len(xor) + len(and_mask), 0, 0, 0, 0)
    quads = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in pal)
    return header + quads + bytes(xor) + bytes(and_mask)


def icon_file(images):
    """An .ico file from (size, bpp, image bytes) entries."""
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, bpp, data in images:
        colour_count = 16 if bpp == 4 else 0
        out += struct.pack('<BBBBHHII', size % 256, size % 256, colour_count, 0, 1, bpp, len(data), offset)
        offset += len(data)
    for _, _, data in images:
        out += data
    return out


def image(scene, size, bpp):
    palette = VGA if bpp == 4 else palette_256()
    indices, mask = render(scene, size, bpp == 8, palette)
    return size, bpp, dib(size, bpp, palette, indices, mask)


def main():
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                                  '..', 'resources')
    program = icon_file([image(program_scene(32), 32, 4), image(program_scene(16), 16, 4)])
    slideshow = icon_file([image(slideshow_scene, 32, 4), image(slideshow_scene, 32, 8)])
    assert len(program) == 1078, len(program)
    assert len(slideshow) == 2998, len(slideshow)
    for name, data in (('program.ico', program), ('slideshow.ico', slideshow)):
        with open(os.path.join(out_dir, name), 'wb') as f:
            f.write(data)


if __name__ == '__main__':
    main()

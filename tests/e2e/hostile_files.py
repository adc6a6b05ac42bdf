"""Picture files written byte by byte: valid small ones, and hostile ones whose headers lie or whose
decoding would cost without bound (decompression bombs, huge frames, looping directories, scan bombs).

Used by the hostile-file end-to-end test and by fuzz/make_seeds.py, which writes the fuzzers' seeds.
Everything is made here from the formats' own rules, so no sample file is needed.
"""

from __future__ import annotations

import struct
import zlib

# ---- PNG ----


def _png_chunk(kind: bytes, data: bytes) -> bytes:
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def png_header(width: int, height: int, colour_type: int = 2, depth: int = 8) -> bytes:
    """A PNG signature and image header, nothing more."""
    ihdr = struct.pack(">IIBBBBB", width, height, depth, colour_type, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + _png_chunk(b"IHDR", ihdr)


def png(width: int, height: int, colour_type: int = 2, depth: int = 8, level: int = 9) -> bytes:
    """A PNG of one colour (all samples 0x40): whole rows are compressed in one stream, so a large
    picture makes a small file (a decompression bomb)."""
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[colour_type]
    row = b"\x00" + b"\x40" * ((width * channels * depth + 7) // 8)
    packer = zlib.compressobj(level)
    parts = []
    rows_at_once = max(1, (1 << 22) // len(row))
    done = 0
    while done < height:
        count = min(rows_at_once, height - done)
        parts.append(packer.compress(row * count))
        done += count
    parts.append(packer.flush())
    body = png_header(width, height, colour_type, depth)
    if colour_type == 3:
        body += _png_chunk(b"PLTE", b"\x40\x80\xc0")
    return body + _png_chunk(b"IDAT", b"".join(parts)) + _png_chunk(b"IEND", b"")


# ---- GIF ----


def _lzw_literals(pixels: bytes, min_code_size: int = 2) -> bytes:
    """LZW data that codes each pixel as a literal, with a clear code before the table would grow."""
    clear = 1 << min_code_size
    end = clear + 1
    width = min_code_size + 1
    room = (1 << width) - (clear + 2) - 1
    codes = [clear]
    for i, value in enumerate(pixels):
        if i and i % room == 0:
            codes.append(clear)
        codes.append(value)
    codes.append(end)
    bits = 0
    count = 0
    out = bytearray()
    for code in codes:
        bits |= code << count
        count += width
        while count >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            count -= 8
    if count:
        out.append(bits & 0xFF)
    blocks = bytearray([min_code_size])
    for at in range(0, len(out), 255):
        piece = out[at:at + 255]
        blocks += bytes([len(piece)]) + piece
    return bytes(blocks + b"\x00")


def gif(screen: tuple[int, int], frames: list[tuple[int, int]]) -> bytes:
    """A GIF with a four-colour table: frames up to 64 x 64 hold real pixels, larger ones only a
    header and the start of their data (a decoder that reads them allocates them first)."""
    out = bytearray(b"GIF89a" + struct.pack("<HHBBB", screen[0], screen[1], 0x81, 0, 0))
    out += bytes([0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255])
    for width, height in frames:
        out += struct.pack("<BHHHHB", 0x2C, 0, 0, width, height, 0)
        if width * height <= 64 * 64:
            out += _lzw_literals(bytes((x // 4) % 4 for x in range(width * height)))
        else:
            out += _lzw_literals(bytes(4096))
    return bytes(out + b"\x3b")


def gif_without_colour_table() -> bytes:
    """A 1 x 1 GIF87a with neither a global nor a local colour table. Its headers are sound; Wine 8's
    imaging component reads through a null pointer when it decodes it."""
    out = bytearray(b"GIF87a" + struct.pack("<HHBBB", 1, 1, 0, 0, 0))
    out += struct.pack("<BHHHHB", 0x2C, 0, 0, 1, 1, 0)
    return bytes(out + _lzw_literals(bytes(1)) + b"\x3b")


def decoder_trigger(word: str) -> bytes:
    """A file that the test copy of the program's decoder acts on instead of decoding it
    (platform/win32/decoder/win32_decoder_test_triggers.h): KWOBL-TEST-HANG, -CRASH or -GROW."""
    return word.encode("ascii") + bytes(64)


# ---- BMP and ICO ----


def bmp(width: int, height: int, bits: int = 24, with_pixels: bool = True) -> bytes:
    """A bitmap with a 40-byte header; the sizes are written as given (negative ones too)."""
    stride = ((abs(width) * bits + 31) // 32) * 4
    pixels = bytes(stride * abs(height)) if with_pixels else b""
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, len(pixels), 2835, 2835, 0, 0)
    return b"BM" + struct.pack("<IHHI", 14 + len(header) + len(pixels), 0, 0, 14 + len(header)) + header + pixels


def ico(pictures: list[bytes]) -> bytes:
    """An icon file of PNG pictures (their directory entries say 0, for 256 pixels)."""
    out = bytearray(struct.pack("<HHH", 0, 1, len(pictures)))
    offset = 6 + 16 * len(pictures)
    for data in pictures:
        out += struct.pack("<BBBBHHII", 0, 0, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for data in pictures:
        out += data
    return bytes(out)


# ---- TIFF ----


def tiff(pages: list[tuple[int, int]], loop_to: int | None = None) -> bytes:
    """A little-endian TIFF of greyscale pages, each one strip of zeros. With `loop_to`, the last
    page's next-directory offset points back to that page's directory instead of ending the chain."""
    out = bytearray(b"II*\x00" + struct.pack("<I", 8))
    directories = []
    for index, (width, height) in enumerate(pages):
        at = len(out)
        directories.append(at)
        entries = [(256, 4, width), (257, 4, height), (258, 3, 8), (259, 3, 1), (262, 3, 1),
                   (273, 4, 0), (277, 3, 1), (278, 4, height), (279, 4, width * height)]
        size = 2 + 12 * len(entries) + 4
        strip = at + size
        out += struct.pack("<H", len(entries))
        for tag, kind, value in entries:
            if tag == 273:
                value = strip
            out += struct.pack("<HHII", tag, kind, 1, value)
        last = index == len(pages) - 1
        small = width * height <= 64 * 64
        next_at = strip + (width * height if small else 0)
        out += struct.pack("<I", 0 if last else next_at)
        if small:
            out += bytes(width * height)
    if loop_to is not None:
        # The last directory's next offset sits just before its strip.
        last_dir = directories[-1]
        count = struct.unpack_from("<H", out, last_dir)[0]
        struct.pack_into("<I", out, last_dir + 2 + 12 * count, directories[loop_to])
    return bytes(out)


# ---- JPEG ----

# Huffman tables that code only what these files need: DC difference category 0 as "0", and the
# end-of-band runs EOB0 ... EOB14 as the fifteen 4-bit codes (0x00 is EOB, the end of a block).
_DC_TABLE = bytes([1] + [0] * 15) + bytes([0])
_AC_TABLE = bytes([0, 0, 0, 15] + [0] * 12) + bytes(r << 4 for r in range(15))


def _segment(marker: int, data: bytes) -> bytes:
    return struct.pack(">BBH", 0xFF, marker, len(data) + 2) + data


class _Bits:
    def __init__(self):
        self.out = bytearray()
        self.value = 0
        self.count = 0

    def put(self, value: int, count: int) -> None:
        self.value = (self.value << count) | value
        self.count += count
        while self.count >= 8:
            byte = (self.value >> (self.count - 8)) & 0xFF
            self.out.append(byte)
            if byte == 0xFF:
                self.out.append(0)
            self.count -= 8
        self.value &= (1 << self.count) - 1

    def flush(self) -> bytes:
        if self.count:
            self.put((1 << (8 - self.count)) - 1, 8 - self.count)
        return bytes(self.out)


def _blocks(size: int) -> int:
    return (size + 7) // 8


def _frame(marker: int, width: int, height: int, components: int, sampling: int = 0x11) -> bytes:
    """A frame header; the first component has `sampling` (0xHV), the others 1 x 1."""
    head = struct.pack(">BHHB", 8, height, width, components)
    for c in range(components):
        head += bytes([c + 1, sampling if c == 0 else 0x11, 0])
    return _segment(marker, head)


def _component_blocks(width: int, height: int, components: int, sampling: int) -> list[int]:
    """The blocks of each component in a scan of that component alone."""
    h, v = sampling >> 4, sampling & 15
    sizes = [(width, height)] + [((width + h - 1) // h, (height + v - 1) // v)] * (components - 1)
    return [_blocks(w) * _blocks(hh) for w, hh in sizes]


def _tables() -> bytes:
    return (_segment(0xDB, bytes([0]) + bytes([1] * 64)) +
            _segment(0xC4, bytes([0x00]) + _DC_TABLE + bytes([0x10]) + _AC_TABLE))


def _scan(components: list[int], ss: int, se: int, ah: int, al: int) -> bytes:
    body = bytes([len(components)])
    for c in components:
        body += bytes([c + 1, 0x00])
    return _segment(0xDA, body + bytes([ss, se, (ah << 4) | al]))


def jpeg(width: int, height: int, components: int = 1, app_segments: bytes = b"") -> bytes:
    """A baseline JPEG of one grey level: every block's DC difference 0 ("0"), then end of block
    ("0000"), so eight blocks take five bytes."""
    count = _blocks(width) * _blocks(height) * components
    data = bytes(count // 8 * 5)
    bits = _Bits()
    for _ in range(count % 8):
        bits.put(0, 5)
    data += bits.flush()
    return (b"\xff\xd8" + app_segments + _tables() + _frame(0xC0, width, height, components) +
            _scan(list(range(components)), 0, 63, 0, 0) + data + b"\xff\xd9")


def _eob_runs(bits: _Bits, blocks: int) -> None:
    """Codes `blocks` empty blocks as end-of-band runs of up to 32767 blocks each."""
    while blocks:
        run = min(blocks, 32767)
        r = run.bit_length() - 1
        bits.put(r, 4)
        if r:
            bits.put(run - (1 << r), r)
        blocks -= run


def progressive_jpeg(width: int, height: int, components: int = 1, max_scans: int | None = None,
                     sampling: int = 0x11) -> bytes:
    """A progressive JPEG that is valid scan after scan: one DC scan, then every AC coefficient of
    every component in its own band, first at the lowest precision and then refined bit by bit (13
    refinements), each scan a few end-of-band runs. Grey has 883 scans, three components 2647: a
    scan bomb, since a decoder passes over all blocks for each one. `max_scans` cuts the file short;
    `sampling` 0x22 gives 4:2:0 colour."""
    h, v = sampling >> 4, sampling & 15
    mcus = ((width + 8 * h - 1) // (8 * h)) * ((height + 8 * v - 1) // (8 * v))
    per_component = _component_blocks(width, height, components, sampling)
    out = bytearray(b"\xff\xd8" + _tables() + _frame(0xC2, width, height, components, sampling))
    out += _scan(list(range(components)), 0, 0, 0, 0)
    # Every block's DC difference is category 0, a single 0 bit; the last byte is padded with 1 bits.
    dc_bits = mcus * (h * v + components - 1)
    out += bytes(dc_bits // 8) + (bytes([(1 << (8 - dc_bits % 8)) - 1]) if dc_bits % 8 else b"")
    scans = 1
    for k in range(1, 64):
        for al in range(13, -1, -1):
            ah = 0 if al == 13 else al + 1
            for c in range(components):
                if max_scans is not None and scans >= max_scans:
                    return bytes(out + b"\xff\xd9")
                out += _scan([c], k, k, ah, al)
                bits = _Bits()
                _eob_runs(bits, per_component[c])
                out += bits.flush()
                scans += 1
    return bytes(out + b"\xff\xd9")


def exif_segment(tiff_bytes: bytes) -> bytes:
    """An APP1 segment holding EXIF data (a TIFF structure) as given."""
    return _segment(0xE1, b"Exif\x00\x00" + tiff_bytes)


def broken_exif() -> bytes:
    """EXIF data whose first directory claims 65535 entries and lies near the end of 32-bit offsets,
    with an orientation entry of an impossible type."""
    return (b"II*\x00" + struct.pack("<I", 8) + struct.pack("<H", 0xFFFF) +
            struct.pack("<HHII", 0x0112, 0x7777, 0xFFFFFFFF, 0xFFFFFFF0))

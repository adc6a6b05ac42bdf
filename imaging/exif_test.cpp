// Tests of reading a picture's orientation: EXIF blocks in both byte orders, malformed blocks, and the
// places JPEG, PNG and TIFF files keep them.
#include "imaging/exif.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace imaging {
namespace {

using Bytes = std::vector<std::uint8_t>;

// An EXIF block (TIFF structure) with one directory holding `entries_before` other tags, then the
// orientation tag as described.
struct Block {
    bool little = true;
    std::uint16_t value = 1;
    std::uint16_t type = 3; // SHORT
    std::uint32_t count = 1;
    std::uint32_t directory = 8;
    std::uint16_t claimed_entries = 0; // 0: the real number
    int entries_before = 1;
    std::size_t cut = 0; // bytes cut off the end
};

void put16(Bytes& b, std::size_t at, std::uint16_t v, bool little)
{
    b[at] = static_cast<std::uint8_t>(little ? v : v >> 8);
    b[at + 1] = static_cast<std::uint8_t>(little ? v >> 8 : v);
}

void put32(Bytes& b, std::size_t at, std::uint32_t v, bool little)
{
    put16(b, at + (little ? 0 : 2), static_cast<std::uint16_t>(v), little);
    put16(b, at + (little ? 2 : 0), static_cast<std::uint16_t>(v >> 16), little);
}

Bytes make_block(const Block& shape)
{
    const int entries = shape.entries_before + 1;
    Bytes b(8 + 2 + static_cast<std::size_t>(entries) * 12 + 4, 0);
    b[0] = b[1] = shape.little ? 'I' : 'M';
    put16(b, 2, 42, shape.little);
    put32(b, 4, shape.directory, shape.little);
    put16(b, 8, shape.claimed_entries ? shape.claimed_entries : static_cast<std::uint16_t>(entries), shape.little);
    std::size_t at = 10;
    for (int i = 0; i < shape.entries_before; ++i, at += 12) {
        put16(b, at, 0x010F, shape.little); // the camera's maker, an ASCII text elsewhere
        put16(b, at + 2, 2, shape.little);
        put32(b, at + 4, 6, shape.little);
        put32(b, at + 8, 0x7FFFFFF0, shape.little);
    }
    put16(b, at, 0x0112, shape.little);
    put16(b, at + 2, shape.type, shape.little);
    put32(b, at + 4, shape.count, shape.little);
    put16(b, at + 8, shape.value, shape.little);
    b.resize(b.size() - std::min(shape.cut, b.size()));
    return b;
}

TEST(Exif, OrientationOfWellFormedAndMalformedBlocks)
{
    const struct {
        const char* what;
        Block block;
        int expected;
    } cases[] = {
        {"1, little-endian", {.little = true, .value = 1}, 1},
        {"2, little-endian", {.little = true, .value = 2}, 2},
        {"3, little-endian", {.little = true, .value = 3}, 3},
        {"4, little-endian", {.little = true, .value = 4}, 4},
        {"5, little-endian", {.little = true, .value = 5}, 5},
        {"6, little-endian", {.little = true, .value = 6}, 6},
        {"7, little-endian", {.little = true, .value = 7}, 7},
        {"8, little-endian", {.little = true, .value = 8}, 8},
        {"1, big-endian", {.little = false, .value = 1}, 1},
        {"2, big-endian", {.little = false, .value = 2}, 2},
        {"3, big-endian", {.little = false, .value = 3}, 3},
        {"4, big-endian", {.little = false, .value = 4}, 4},
        {"5, big-endian", {.little = false, .value = 5}, 5},
        {"6, big-endian", {.little = false, .value = 6}, 6},
        {"7, big-endian", {.little = false, .value = 7}, 7},
        {"8, big-endian", {.little = false, .value = 8}, 8},
        {"the tag first in its directory", {.value = 6, .entries_before = 0}, 6},
        {"value 0", {.value = 0}, 1},
        {"value 9", {.value = 9}, 1},
        {"value 65535", {.value = 65535}, 1},
        {"value 65535, big-endian", {.little = false, .value = 65535}, 1},
        {"a LONG instead of a SHORT", {.value = 6, .type = 4}, 1},
        {"an ASCII text instead of a SHORT", {.value = 6, .type = 2}, 1},
        {"two values", {.value = 6, .count = 2}, 1},
        {"a count of 2^32 - 1", {.value = 6, .count = 0xFFFFFFFF}, 1},
        {"the directory past the end", {.value = 6, .directory = 4000}, 1},
        {"the directory at 2^32 - 2", {.value = 6, .directory = 0xFFFFFFFE}, 1},
        {"the directory pointing back at the header", {.value = 6, .directory = 0}, 1},
        {"the directory claiming 65535 entries", {.value = 6, .claimed_entries = 65535}, 1},
        {"cut inside the orientation entry", {.value = 6, .cut = 4 + 6}, 1},
        {"cut just after the orientation entry", {.value = 6, .cut = 4}, 6},
        {"cut inside the header", {.value = 6, .cut = 1000}, 1},
    };
    for (const auto& c : cases) {
        const Bytes block = make_block(c.block);
        EXPECT_EQ(static_cast<int>(exif_orientation(block)), c.expected) << c.what;
    }
}

TEST(Exif, BlocksThatAreNoTiffStructure)
{
    Bytes wrong_order = make_block({.value = 6});
    wrong_order[0] = wrong_order[1] = 'X';
    Bytes mixed_order = make_block({.value = 6});
    mixed_order[1] = 'M';
    Bytes wrong_magic = make_block({.value = 6});
    wrong_magic[2] = 43;
    for (const Bytes& block : {Bytes{}, Bytes{'I', 'I', 42}, wrong_order, mixed_order, wrong_magic})
        EXPECT_EQ(exif_orientation(block), Orientation::Normal);
}

// ---- Files ----

Bytes segment(std::uint8_t code, const Bytes& payload)
{
    Bytes s = {0xFF, code, static_cast<std::uint8_t>((payload.size() + 2) >> 8),
               static_cast<std::uint8_t>(payload.size() + 2)};
    s.insert(s.end(), payload.begin(), payload.end());
    return s;
}

Bytes exif_payload(const Bytes& block, const char* prefix = "Exif")
{
    Bytes p(prefix, prefix + std::strlen(prefix));
    p.push_back(0);
    p.push_back(0);
    p.insert(p.end(), block.begin(), block.end());
    return p;
}

Bytes jpeg(std::initializer_list<Bytes> segments)
{
    Bytes j = {0xFF, 0xD8};
    for (const Bytes& s : segments)
        j.insert(j.end(), s.begin(), s.end());
    return j;
}

// The orientation of `file`, read as a file rather than as a block in memory.
Orientation file_orientation_of(const Bytes& file)
{
    MemoryByteSource source(file);
    return file_orientation(source);
}

TEST(Exif, OrientationOfJpegFiles)
{
    const Bytes tagged = exif_payload(make_block({.little = false, .value = 6}));
    const Bytes jfif = {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};
    const Bytes scan = {0x01, 0x01, 0x00, 0x00, 0x3F, 0x00};
    Bytes cut = jpeg({segment(0xE0, jfif), segment(0xE1, tagged)});
    cut.resize(cut.size() - 3);
    Bytes filled = jpeg({segment(0xE0, jfif)});
    filled.insert(filled.end(), {0xFF, 0xFF, 0xFF});
    const Bytes after_fill = segment(0xE1, tagged);
    filled.insert(filled.end(), after_fill.begin() + 1, after_fill.end());
    const struct {
        const char* what;
        Bytes file;
        int expected;
    } cases[] = {
        {"after a JFIF segment", jpeg({segment(0xE0, jfif), segment(0xE1, tagged), segment(0xDA, scan)}), 6},
        {"right after the start", jpeg({segment(0xE1, tagged)}), 6},
        {"after an XMP segment, also APP1", jpeg({segment(0xE1, exif_payload({}, "http")), segment(0xE1, tagged)}), 6},
        {"after fill bytes", filled, 6},
        {"only the first EXIF segment counts",
         jpeg({segment(0xE1, exif_payload(make_block({.value = 3}))), segment(0xE1, tagged)}), 3},
        {"after the first scan", jpeg({segment(0xDA, scan), segment(0xE1, tagged)}), 1},
        {"a segment longer than the file", cut, 1},
        {"a malformed block inside", jpeg({segment(0xE1, exif_payload(make_block({.value = 6, .type = 4})))}), 1},
        {"a length below 2", jpeg({Bytes{0xFF, 0xE1, 0x00, 0x01}, segment(0xE1, tagged)}), 1},
        {"no marker where one belongs", jpeg({Bytes{0x00}, segment(0xE1, tagged)}), 1},
        {"no segments at all", jpeg({}), 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(static_cast<int>(jpeg_exif_orientation(c.file)), c.expected) << c.what;
        EXPECT_EQ(static_cast<int>(file_orientation_of(c.file)), c.expected) << c.what << " (as a file)";
    }
    Bytes not_jpeg = jpeg({segment(0xE1, tagged)});
    not_jpeg[1] = 0xD9;
    EXPECT_EQ(jpeg_exif_orientation(not_jpeg), Orientation::Normal);
}

Bytes png_chunk(const char* type, const Bytes& data)
{
    Bytes c;
    c.reserve(12 + data.size());
    for (int shift = 24; shift >= 0; shift -= 8)
        c.push_back(static_cast<std::uint8_t>(data.size() >> shift));
    c.insert(c.end(), type, type + 4);
    c.insert(c.end(), data.begin(), data.end());
    c.insert(c.end(), 4, 0); // the checksum is not looked at
    return c;
}

Bytes png(std::initializer_list<Bytes> chunks)
{
    Bytes p = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    for (const Bytes& c : chunks)
        p.insert(p.end(), c.begin(), c.end());
    return p;
}

TEST(Exif, OrientationOfPngAndTiffFiles)
{
    const Bytes ihdr(13, 1);
    const Bytes block = make_block({.value = 8});
    Bytes huge_chunk = png_chunk("eXIf", block);
    huge_chunk[0] = 0x7F; // claims two gigabytes
    Bytes cut_png = png({png_chunk("IHDR", ihdr), png_chunk("eXIf", block)});
    cut_png.resize(8 + 25 + 4); // the eXIf chunk's length, but not its type
    Bytes tiff_file = make_block({.little = false, .value = 5, .directory = 64});
    tiff_file.insert(tiff_file.begin() + 8, 56, 0xAB); // pixel data before the directory
    const struct {
        const char* what;
        Bytes file;
        int expected;
    } cases[] = {
        {"PNG with eXIf before the data", png({png_chunk("IHDR", ihdr), png_chunk("eXIf", block), png_chunk("IDAT", {1})}), 8},
        {"PNG with eXIf after the data", png({png_chunk("IHDR", ihdr), png_chunk("IDAT", {1}), png_chunk("eXIf", block)}), 1},
        {"PNG without eXIf", png({png_chunk("IHDR", ihdr), png_chunk("IEND", {})}), 1},
        {"PNG whose eXIf claims 2 GB", png({png_chunk("IHDR", ihdr), huge_chunk}), 1},
        {"PNG cut inside a chunk's head", cut_png, 1},
        {"TIFF file, directory after the pixels", tiff_file, 5},
        {"GIF file", Bytes{'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0}, 1},
        {"empty file", Bytes{}, 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(static_cast<int>(file_orientation_of(c.file)), c.expected) << c.what;
}

} // namespace
} // namespace imaging

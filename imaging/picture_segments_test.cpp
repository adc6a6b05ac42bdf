// Tests of the one reader of JPEG segments and PNG chunks, on hostile files.
#include "imaging/picture_segments.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <type_traits>
#include <vector>

namespace imaging {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes join(std::initializer_list<Bytes> parts, int times = 1)
{
    Bytes out;
    for (int i = 0; i < times; ++i)
        for (const Bytes& part : parts)
            out.insert(out.end(), part.begin(), part.end());
    return out;
}

// A JPEG segment whose length field says `length`, followed by `payload` bytes (fewer, for a cut one).
Bytes segment(std::uint8_t code, unsigned length, std::size_t payload)
{
    Bytes out = {0xFF, code, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)};
    out.resize(out.size() + payload, 0x5A);
    return out;
}

// A PNG chunk whose length field says `length`, followed by `rest` bytes of data and checksum.
Bytes chunk(const char* type, std::uint32_t length, std::size_t rest)
{
    Bytes out;
    for (const int shift : {24, 16, 8, 0})
        out.push_back(static_cast<std::uint8_t>(length >> shift));
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(type[i]));
    out.resize(out.size() + rest, 0x5A);
    return out;
}

// What a walk hands out ("E1@8+2": marker or type, offset, length; only their count when many) and how
// it ends.
template <class Walker>
std::string walk(const Bytes& file)
{
    MemoryByteSource source(file);
    Walker walker(source);
    std::string seen;
    int count = 0;
    char item[40];
    while (const auto part = walker.next()) {
        if constexpr (std::is_same_v<Walker, JpegSegments>)
            std::snprintf(item, sizeof item, "%02X", part->marker);
        else
            std::snprintf(item, sizeof item, "%.4s", part->type.data());
        seen += item + ("@" + std::to_string(part->offset) + "+" + std::to_string(part->length) + " ");
        ++count;
    }
    if (count > 3)
        seen = std::to_string(count) + " ";
    constexpr const char* kEnds[] = {"Walking", "Data", "FileEnd", "Broken", "Limit"};
    return seen + kEnds[static_cast<int>(walker.end())] + (walker.next() ? " and on" : "");
}

TEST(PictureSegments, JpegSegmentsOfHostileFiles)
{
    const Bytes soi = {0xFF, 0xD8};
    const Bytes scan = {0xFF, 0xDA, 0x00, 0x02};
    const Bytes fill(kMaxJpegFillBytes, 0xFF);
    const struct {
        const char* what;
        Bytes file;
        const char* walk;
    } cases[] = {
        {"up to the first scan", join({soi, segment(0xE0, 5, 3), segment(0xE1, 2, 0), scan, segment(0xE2, 3, 1)}),
         "E0@6+3 E1@13+0 Data"},
        {"the end marker", join({soi, segment(0xDB, 4, 2), {0xFF, 0xD9}}), "DB@6+2 Data"},
        {"the file ends between segments", join({soi, segment(0xC0, 8, 6)}), "C0@6+6 FileEnd"},
        {"a segment cut short", join({soi, segment(0xE0, 5, 3), segment(0xE1, 12, 5)}), "E0@6+3 Broken"},
        {"a length past the end of the file", join({soi, segment(0xE1, 0xFFFF, 4)}), "Broken"},
        {"length 0", join({soi, segment(0xE1, 0, 8), scan}), "Broken"},
        {"length 1", join({soi, segment(0xE1, 1, 8), scan}), "Broken"},
        {"the length cut off", join({soi, {0xFF, 0xE1, 0x00}}), "Broken"},
        {"the file ends inside fill bytes", join({soi, {0xFF, 0xFF, 0xFF}}), "Broken"},
        {"fill bytes before a marker", join({soi, {0xFF, 0xFF}, segment(0xE1, 4, 2), scan}), "E1@8+2 Data"},
        {"as many fill bytes as allowed", join({soi, fill, segment(0xE1, 3, 1)}), "E1@70+1 FileEnd"},
        {"one fill byte too many", join({soi, fill, {0xFF}, segment(0xE1, 3, 1)}), "Limit"},
        {"nothing but fill", join({soi, Bytes(1000, 0xFF)}), "Limit"},
        {"no marker where one belongs", join({soi, segment(0xE0, 3, 1), {0x00}, segment(0xE1, 3, 1)}), "E0@6+1 Broken"},
        {"restarts and TEM carry no length", join({soi, {0xFF, 0xD0, 0xFF, 0x01, 0xFF, 0xD7}, segment(0xFE, 3, 1)}),
         "FE@12+1 FileEnd"},
        {"as many markers as allowed", join({soi, join({segment(0xFE, 2, 0)}, kMaxHeaderSegments), scan}), "1024 Data"},
        {"one marker too many", join({soi, join({{0xFF, 0xD0}}, kMaxHeaderSegments), segment(0xC0, 8, 6)}), "Limit"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(walk<JpegSegments>(c.file), c.walk) << c.what;
}

TEST(PictureSegments, PngChunksOfHostileFiles)
{
    const Bytes signature(kPngSignature.begin(), kPngSignature.end());
    const Bytes ihdr = chunk("IHDR", 13, 17);
    const struct {
        const char* what;
        Bytes file;
        const char* walk;
    } cases[] = {
        {"up to the image data", join({signature, ihdr, chunk("gAMA", 4, 8), chunk("IDAT", 5, 9)}),
         "IHDR@16+13 gAMA@41+4 Data"},
        {"up to IEND", join({signature, ihdr, chunk("IEND", 0, 4)}), "IHDR@16+13 Data"},
        {"IDAT's own length is not looked at", join({signature, chunk("IDAT", 0xFFFFFFFF, 0)}), "Data"},
        {"no IEND: the file ends after a chunk", join({signature, ihdr}), "IHDR@16+13 FileEnd"},
        {"a length over the limit", join({signature, chunk("eXIf", 0x80000000, 16)}), "Broken"},
        {"a length past the end of the file", join({signature, chunk("eXIf", 0x7FFFFFFF, 16)}), "Broken"},
        {"the checksum cut off", join({signature, ihdr, chunk("sRGB", 1, 3)}), "IHDR@16+13 Broken"},
        {"cut inside a chunk's head", join({signature, ihdr, {0, 0, 0, 4, 'g'}}), "IHDR@16+13 Broken"},
        {"as many chunks as allowed", join({signature, join({chunk("tEXt", 0, 4)}, kMaxHeaderSegments)}), "1024 FileEnd"},
        {"one chunk too many", join({signature, join({chunk("tEXt", 0, 4)}, kMaxHeaderSegments + 1)}), "1024 Limit"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(walk<PngChunks>(c.file), c.walk) << c.what;
}

} // namespace
} // namespace imaging

// Tests of the colour profile reader: JPEG ICC segments, PNG colour chunks, the TIFF profile tag.
#include "imaging/colour_profile.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace imaging {
namespace {

using Bytes = std::vector<std::uint8_t>;

void put16(Bytes& out, unsigned value)
{
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

void put32(Bytes& out, std::uint32_t value)
{
    put16(out, value >> 16);
    put16(out, value & 0xFFFF);
}

Bytes profile_of(std::size_t size, std::uint8_t seed)
{
    Bytes profile(size);
    for (std::size_t i = 0; i < size; ++i)
        profile[i] = static_cast<std::uint8_t>(seed + i * 7);
    return profile;
}

// An APP2 ICC segment holding `piece`, numbered `sequence` of `count`.
Bytes icc_segment(const Bytes& piece, int sequence, int count)
{
    Bytes out = {0xFF, 0xE2};
    put16(out, static_cast<unsigned>(2 + 12 + 2 + piece.size()));
    for (const char c : std::string("ICC_PROFILE"))
        out.push_back(static_cast<std::uint8_t>(c));
    out.push_back(0);
    out.push_back(static_cast<std::uint8_t>(sequence));
    out.push_back(static_cast<std::uint8_t>(count));
    for (const std::uint8_t byte : piece)
        out.push_back(byte);
    return out;
}

// JPEG data: SOI, the segments, a scan header and the end.
Bytes jpeg_with(std::initializer_list<Bytes> segments)
{
    Bytes out = {0xFF, 0xD8};
    const Bytes app0 = {0xFF, 0xE0, 0x00, 0x04, 'J', 'F'};
    out.insert(out.end(), app0.begin(), app0.end());
    for (const Bytes& segment : segments)
        out.insert(out.end(), segment.begin(), segment.end());
    const Bytes scan = {0xFF, 0xDA, 0x00, 0x02, 0x12, 0x34, 0xFF, 0xD9};
    out.insert(out.end(), scan.begin(), scan.end());
    return out;
}

Bytes slice(const Bytes& bytes, std::size_t from, std::size_t count)
{
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                 bytes.begin() + static_cast<std::ptrdiff_t>(from + count));
}

TEST(JpegIccProfile, OneSegmentIsTheProfile)
{
    const Bytes profile = profile_of(300, 1);
    EXPECT_EQ(jpeg_icc_profile(jpeg_with({icc_segment(profile, 1, 1)})), profile);
}

TEST(JpegIccProfile, SplitSegmentsAreJoinedInTheOrderOfTheirNumbers)
{
    const Bytes profile = profile_of(1000, 3);
    const Bytes a = slice(profile, 0, 400), b = slice(profile, 400, 400), c = slice(profile, 800, 200);
    EXPECT_EQ(jpeg_icc_profile(jpeg_with({icc_segment(a, 1, 3), icc_segment(b, 2, 3), icc_segment(c, 3, 3)})), profile);
    // Out of order, and with other segments between them.
    const Bytes comment = {0xFF, 0xFE, 0x00, 0x05, 'a', 'b', 'c'};
    EXPECT_EQ(jpeg_icc_profile(jpeg_with({icc_segment(c, 3, 3), comment, icc_segment(a, 1, 3), icc_segment(b, 2, 3)})),
              profile);
}

TEST(JpegIccProfile, InconsistentSegmentsAreIgnored)
{
    const Bytes a = profile_of(100, 5), b = profile_of(100, 9);
    EXPECT_FALSE(jpeg_icc_profile(jpeg_with({icc_segment(a, 1, 2)})));                         // one missing
    EXPECT_FALSE(jpeg_icc_profile(jpeg_with({icc_segment(a, 1, 2), icc_segment(b, 1, 2)})));   // one repeated
    EXPECT_FALSE(jpeg_icc_profile(jpeg_with({icc_segment(a, 1, 2), icc_segment(b, 2, 3)})));   // counts differ
    EXPECT_FALSE(jpeg_icc_profile(jpeg_with({icc_segment(a, 0, 1)})));                         // numbered 0
    EXPECT_FALSE(jpeg_icc_profile(jpeg_with({icc_segment(a, 2, 1)})));                         // beyond its count
    EXPECT_FALSE(jpeg_icc_profile(jpeg_with({icc_segment(Bytes{}, 1, 1)})));                   // empty
    EXPECT_FALSE(jpeg_icc_profile(jpeg_with({})));                                             // none at all
}

TEST(JpegIccProfile, TruncatedOrOversizedProfilesAreIgnored)
{
    const Bytes profile = profile_of(500, 2);
    const Bytes whole = jpeg_with({icc_segment(profile, 1, 1)});
    // Cut inside the segment: its length runs past the end of the data.
    EXPECT_FALSE(jpeg_icc_profile(slice(whole, 0, 300)));
    // Longer than allowed, as one segment or as the sum of several.
    EXPECT_FALSE(jpeg_icc_profile(whole, 499));
    EXPECT_EQ(jpeg_icc_profile(whole, 500), profile);
    EXPECT_FALSE(jpeg_icc_profile(jpeg_with({icc_segment(slice(profile, 0, 250), 1, 2),
                                             icc_segment(slice(profile, 250, 250), 2, 2)}),
                                  400));
}

TEST(JpegIccProfile, SegmentsAfterTheFirstScanAreNotRead)
{
    Bytes data = jpeg_with({});
    const Bytes late = icc_segment(profile_of(50, 1), 1, 1);
    data.insert(data.end() - 2, late.begin(), late.end());
    EXPECT_FALSE(jpeg_icc_profile(data));
    EXPECT_FALSE(jpeg_icc_profile(Bytes{0x89, 'P', 'N', 'G'}));
}

// ---- PNG ----

Bytes chunk(const char* type, const Bytes& data)
{
    Bytes out;
    put32(out, static_cast<std::uint32_t>(data.size()));
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    put32(out, 0); // the CRC is not checked here
    return out;
}

Bytes png_with(std::initializer_list<Bytes> chunks)
{
    Bytes out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    const Bytes header = chunk("IHDR", Bytes(13, 1));
    out.insert(out.end(), header.begin(), header.end());
    for (const Bytes& c : chunks)
        out.insert(out.end(), c.begin(), c.end());
    const Bytes data = chunk("IDAT", Bytes(4, 0));
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

Bytes gama(std::uint32_t value)
{
    Bytes out;
    put32(out, value);
    return out;
}

Bytes chrm(std::initializer_list<std::uint32_t> values)
{
    Bytes out;
    for (const std::uint32_t value : values)
        put32(out, value);
    return out;
}

EmbeddedColour png(const Bytes& bytes)
{
    MemoryByteSource source(bytes);
    return file_colour(source);
}

TEST(PngColour, ChunksTakeTheirPrecedence)
{
    using Kind = EmbeddedColour::Kind;
    const Bytes iccp = chunk("iCCP", Bytes{'x', 0, 0, 0x78, 0x9C, 1, 2, 3});
    const Bytes srgb = chunk("sRGB", Bytes{0});
    EXPECT_EQ(png(png_with({})).kind, Kind::Untagged);
    EXPECT_EQ(png(png_with({srgb})).kind, Kind::Srgb);
    EXPECT_EQ(png(png_with({iccp})).kind, Kind::CompressedProfile);
    EXPECT_EQ(png(png_with({srgb, iccp})).kind, Kind::CompressedProfile);
    EXPECT_EQ(png(png_with({chunk("gAMA", gama(55556)), srgb})).kind, Kind::Srgb);
    // Chunks after the image data do not count.
    Bytes late = png_with({});
    late.insert(late.end(), srgb.begin(), srgb.end());
    EXPECT_EQ(png(late).kind, Kind::Untagged);
}

TEST(PngColour, GammaAndChromaticitiesStandForAProfile)
{
    using Kind = EmbeddedColour::Kind;
    const Bytes srgb_primaries = chrm({31270, 32900, 64000, 33000, 30000, 60000, 15000, 6000});
    const Bytes wide_primaries = chrm({34570, 35850, 73470, 26530, 15960, 84040, 3660, 1});
    // 1 / 2.2 with sRGB's primaries, or none, is what writers store for sRGB.
    EXPECT_EQ(png(png_with({chunk("gAMA", gama(45455))})).kind, Kind::Srgb);
    EXPECT_EQ(png(png_with({chunk("gAMA", gama(45455)), chunk("cHRM", srgb_primaries)})).kind, Kind::Srgb);

    const EmbeddedColour mac = png(png_with({chunk("gAMA", gama(55556))}));
    EXPECT_EQ(mac.kind, Kind::Gamma);
    EXPECT_NEAR(mac.gamma, 0.55556, 1e-9);
    EXPECT_FALSE(mac.chromaticities);

    const EmbeddedColour wide = png(png_with({chunk("gAMA", gama(45455)), chunk("cHRM", wide_primaries)}));
    ASSERT_EQ(wide.kind, Kind::Gamma);
    ASSERT_TRUE(wide.chromaticities);
    EXPECT_NEAR(wide.chromaticities->red_x, 0.7347, 1e-9);
    EXPECT_NEAR(wide.chromaticities->blue_y, 0.00001, 1e-9);

    // Nonsense is ignored: a gamma of 0, a chunk of the wrong length, cHRM alone.
    EXPECT_EQ(png(png_with({chunk("gAMA", gama(0))})).kind, Kind::Untagged);
    EXPECT_EQ(png(png_with({chunk("gAMA", Bytes{0, 1})})).kind, Kind::Untagged);
    EXPECT_EQ(png(png_with({chunk("cHRM", wide_primaries)})).kind, Kind::Untagged);
}

TEST(PngColour, AnOversizedCompressedProfileIsIgnored)
{
    const Bytes bytes = png_with({chunk("iCCP", Bytes(5000, 1))});
    MemoryByteSource source(bytes);
    EXPECT_EQ(png_colour(source, 4000).kind, EmbeddedColour::Kind::Untagged);
    EXPECT_EQ(png_colour(source, 6000).kind, EmbeddedColour::Kind::CompressedProfile);
}

// ---- TIFF ----

// A little-endian TIFF file whose first directory has one entry, tag 34675 of `type` and `count`, at
// `offset`, followed by `profile`.
Bytes tiff_with(const Bytes& profile, std::uint16_t type, std::uint32_t count, std::uint32_t offset, bool little = true)
{
    Bytes out;
    const auto u16 = [&](unsigned v) {
        if (little) {
            out.push_back(static_cast<std::uint8_t>(v));
            out.push_back(static_cast<std::uint8_t>(v >> 8));
        } else {
            put16(out, v);
        }
    };
    const auto u32 = [&](std::uint32_t v) {
        if (little) {
            u16(v & 0xFFFF);
            u16(v >> 16);
        } else {
            put32(out, v);
        }
    };
    out.push_back(little ? 'I' : 'M');
    out.push_back(little ? 'I' : 'M');
    u16(42);
    u32(8);
    u16(2);
    u16(256), u16(3), u32(1), u32(16); // the width, an entry of no interest
    u16(34675), u16(type), u32(count), u32(offset);
    u32(0);
    out.insert(out.end(), profile.begin(), profile.end());
    return out;
}

constexpr std::uint32_t kTiffProfileAt = 8 + 2 + 2 * 12 + 4;

std::optional<Bytes> tiff_profile(const Bytes& file, std::uint64_t max_bytes = kMaxColourProfileBytes)
{
    MemoryByteSource source(file);
    return tiff_icc_profile(source, max_bytes);
}

TEST(TiffIccProfile, TheTagGivesTheProfileInEitherByteOrder)
{
    const Bytes profile = profile_of(200, 4);
    EXPECT_EQ(tiff_profile(tiff_with(profile, 7, 200, kTiffProfileAt)), profile);
    EXPECT_EQ(tiff_profile(tiff_with(profile, 7, 200, kTiffProfileAt, false)), profile);
    EXPECT_EQ(tiff_profile(tiff_with(profile, 1, 200, kTiffProfileAt)), profile);
    const Bytes file = tiff_with(profile, 7, 200, kTiffProfileAt);
    MemoryByteSource whole(file);
    const EmbeddedColour colour = file_colour(whole);
    EXPECT_EQ(colour.kind, EmbeddedColour::Kind::Profile);
    EXPECT_EQ(colour.profile, profile);
}

TEST(TiffIccProfile, BrokenTagsAreIgnored)
{
    const Bytes profile = profile_of(200, 4);
    EXPECT_FALSE(tiff_profile(tiff_with(profile, 3, 200, kTiffProfileAt)));            // a type of numbers
    EXPECT_FALSE(tiff_profile(tiff_with(profile, 7, 201, kTiffProfileAt)));            // past the end
    EXPECT_FALSE(tiff_profile(tiff_with(profile, 7, 200, 0xFFFFFFF0)));                // outside the file
    EXPECT_FALSE(tiff_profile(tiff_with(profile, 7, 200, kTiffProfileAt), 199));       // too long
    EXPECT_FALSE(tiff_profile(slice(tiff_with(profile, 7, 200, kTiffProfileAt), 0, 20))); // directory cut short
}

} // namespace
} // namespace imaging

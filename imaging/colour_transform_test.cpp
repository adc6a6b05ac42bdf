// Tests of colour management: conversions into the display's colours, when none is made, and their cache.
#include "imaging/colour_transform.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace imaging {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Pixel = std::array<std::uint8_t, 4>; // B, G, R, A

// sRGB's primaries with red and green swapped: what a file stored as red means green.
Bytes swapped_profile()
{
    return gamma_profile(1.0 / 2.4, Chromaticities{0.3127, 0.3290, 0.30, 0.60, 0.64, 0.33, 0.15, 0.06});
}

// A linear profile on sRGB's primaries.
Bytes linear_profile()
{
    return gamma_profile(1.0, std::nullopt);
}

Bytes read_file(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), {});
}

// A profile that Debian's colour profile packages install, or nothing when it is not there.
Bytes installed_profile(const char* path)
{
    return std::filesystem::exists(path) ? read_file(path) : Bytes{};
}

Pixel convert(const ColourTransform& transform, Pixel pixel)
{
    transform.convert(pixel.data(), pixel.data(), 1);
    return pixel;
}

EmbeddedColour tagged(Bytes profile)
{
    EmbeddedColour colour;
    colour.kind = EmbeddedColour::Kind::Profile;
    colour.profile = std::move(profile);
    return colour;
}

TEST(ColourTransforms, SrgbAndUntaggedPicturesNeedNoConversionOnAnSrgbDisplay)
{
    ColourTransforms colours;
    EXPECT_TRUE(colours.display_is_srgb());
    EXPECT_EQ(colours.find(srgb_profile(), ColourInput::Bgra8Premultiplied), nullptr);
    EXPECT_EQ(colours.find(EmbeddedColour{}, ColourInput::Bgra8Premultiplied), nullptr);
    EmbeddedColour srgb;
    srgb.kind = EmbeddedColour::Kind::Srgb;
    EXPECT_EQ(colours.find(srgb, ColourInput::Bgra8Premultiplied), nullptr);
    // Another program's sRGB profile, written with a table for its curve, is the same colours.
    const Bytes colord_srgb = installed_profile("/usr/share/color/icc/colord/sRGB.icc");
    if (!colord_srgb.empty()) {
        EXPECT_EQ(colours.find(colord_srgb, ColourInput::Bgra8Premultiplied), nullptr);
    }
    // A display profile that is sRGB counts as sRGB.
    EXPECT_TRUE(ColourTransforms(srgb_profile()).display_is_srgb());
}

TEST(ColourTransforms, RedStoredInASwappedProfileShowsGreen)
{
    ColourTransforms colours;
    const auto transform = colours.find(swapped_profile(), ColourInput::Bgra8Premultiplied);
    ASSERT_NE(transform, nullptr);
    const Pixel red = convert(*transform, {0, 0, 255, 255});
    EXPECT_LE(red[2], 5);
    EXPECT_GE(red[1], 250);
    EXPECT_LE(red[0], 5);
    EXPECT_EQ(red[3], 255);
    // White and black stay where they are.
    EXPECT_EQ(convert(*transform, {255, 255, 255, 255}), (Pixel{255, 255, 255, 255}));
    EXPECT_EQ(convert(*transform, {0, 0, 0, 255}), (Pixel{0, 0, 0, 255}));
}

TEST(ColourTransforms, TranslucentPixelsAreConvertedAsTheirStraightColour)
{
    ColourTransforms colours;
    const auto transform = colours.find(swapped_profile(), ColourInput::Bgra8Premultiplied);
    ASSERT_NE(transform, nullptr);
    // Red at half alpha, premultiplied: the same green as the opaque one, at half.
    const Pixel half = convert(*transform, {0, 0, 128, 128});
    EXPECT_EQ(half[3], 128);
    EXPECT_NEAR(half[1], 128, 2);
    EXPECT_LE(half[2], 3);
    EXPECT_EQ(convert(*transform, {0, 0, 0, 0}), (Pixel{0, 0, 0, 0}));
}

TEST(ColourTransforms, ProfilesThatDoNotFitThePixelsOrAreBrokenAreIgnored)
{
    ColourTransforms colours;
    EXPECT_EQ(colours.find(swapped_profile(), ColourInput::Cmyk8), nullptr);
    EXPECT_EQ(colours.find(swapped_profile(), ColourInput::Gray16), nullptr);
    Bytes broken = swapped_profile();
    broken.resize(broken.size() / 2);
    EXPECT_EQ(colours.find(broken, ColourInput::Bgra8Premultiplied), nullptr);
    Bytes noise(3000);
    for (std::size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<std::uint8_t>(i * 131 + 17);
    EXPECT_EQ(colours.find(noise, ColourInput::Bgra8Premultiplied), nullptr);
    EXPECT_EQ(colours.find(Bytes{}, ColourInput::Bgra8Premultiplied), nullptr);
    EXPECT_TRUE(gamma_profile(0.0, std::nullopt).empty());
}

TEST(ColourTransforms, ConversionsAreKeptByProfileUpToTheLimit)
{
    ColourTransforms colours;
    const auto first = colours.find(swapped_profile(), ColourInput::Bgra8Premultiplied);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(colours.find(tagged(swapped_profile()), ColourInput::Bgra8Premultiplied), first);
    EXPECT_EQ(colours.cached(), 1u);
    // The same profile for another layout is another conversion.
    EXPECT_NE(colours.find(swapped_profile(), ColourInput::Rgb16), nullptr);
    EXPECT_EQ(colours.cached(), 2u);
    // Decisions that nothing is needed are kept too.
    EXPECT_EQ(colours.find(srgb_profile(), ColourInput::Bgra8Premultiplied), nullptr);
    EXPECT_EQ(colours.cached(), 3u);
    for (int i = 0; i < 10; ++i)
        (void)colours.find(gamma_profile(0.3 + 0.02 * i, std::nullopt), ColourInput::Bgra8Premultiplied);
    EXPECT_EQ(colours.cached(), ColourTransforms::kMaxCached);
    // The first one fell out and is made again.
    const auto again = colours.find(swapped_profile(), ColourInput::Bgra8Premultiplied);
    ASSERT_NE(again, nullptr);
    EXPECT_NE(again, first);
}

TEST(ColourTransforms, SixteenBitPixelsAreConvertedBeforeTheyAreCut)
{
    ColourTransforms colours;
    const auto transform = colours.find(linear_profile(), ColourInput::Rgb16);
    ASSERT_NE(transform, nullptr);
    // A dark linear level, 0.2 % of white, is 0 in 8 bits but about 6 in sRGB.
    const std::uint16_t in[6] = {128, 128, 128, 32768, 32768, 32768};
    std::uint8_t out[8] = {};
    transform->convert(reinterpret_cast<const std::uint8_t*>(in), out, 2);
    EXPECT_NEAR(out[0], 6, 1);
    EXPECT_EQ(out[0], out[2]);
    EXPECT_EQ(out[3], 255);
    EXPECT_NEAR(out[4], 188, 1);
    EXPECT_EQ(out[7], 255);

    const auto with_alpha = colours.find(linear_profile(), ColourInput::Rgba16);
    ASSERT_NE(with_alpha, nullptr);
    const std::uint16_t translucent[4] = {32768, 32768, 32768, 32768};
    std::uint8_t premultiplied[4] = {};
    with_alpha->convert(reinterpret_cast<const std::uint8_t*>(translucent), premultiplied, 1);
    EXPECT_EQ(premultiplied[3], 128);
    EXPECT_NEAR(premultiplied[1], 94, 2);
}

TEST(ColourTransforms, OnAnotherDisplaySrgbPicturesAreConvertedAndItsOwnColoursAreNot)
{
    ColourTransforms colours(swapped_profile());
    EXPECT_FALSE(colours.display_is_srgb());
    EXPECT_EQ(colours.find(swapped_profile(), ColourInput::Bgra8Premultiplied), nullptr);
    EmbeddedColour srgb;
    srgb.kind = EmbeddedColour::Kind::Srgb;
    const auto transform = colours.find(srgb, ColourInput::Bgra8Premultiplied);
    ASSERT_NE(transform, nullptr);
    // sRGB red is the swapped display's green number.
    const Pixel red = convert(*transform, {0, 0, 255, 255});
    EXPECT_GE(red[1], 250);
    EXPECT_LE(red[2], 5);
    // Untagged pictures are taken to be sRGB.
    const auto untagged = colours.find(EmbeddedColour{}, ColourInput::Bgra8Premultiplied);
    ASSERT_NE(untagged, nullptr);
    EXPECT_GE(convert(*untagged, {0, 0, 255, 255})[1], 250);
    // A display profile that cannot be read leaves the display sRGB.
    EXPECT_TRUE(ColourTransforms(Bytes(500, 7)).display_is_srgb());
}

TEST(ColourTransforms, CmykGoesThroughItsProfile)
{
    const Bytes swop = installed_profile("/usr/share/color/icc/ghostscript/default_cmyk.icc");
    if (swop.empty())
        GTEST_SKIP() << "libgs-common's CMYK profile is not installed";
    ColourTransforms colours;
    const auto inks = colours.find(swop, ColourInput::Cmyk8);
    const auto inverted = colours.find(swop, ColourInput::Cmyk8Inverted);
    ASSERT_NE(inks, nullptr);
    ASSERT_NE(inverted, nullptr);
    EXPECT_EQ(colours.find(swop, ColourInput::Bgra8Premultiplied), nullptr);
    std::uint8_t out[4] = {};
    const std::uint8_t paper[4] = {0, 0, 0, 0};
    inks->convert(paper, out, 1);
    EXPECT_GE(out[0], 235);
    EXPECT_GE(out[2], 235);
    EXPECT_EQ(out[3], 255);
    const std::uint8_t cyan_inverted[4] = {0, 255, 255, 255};
    inverted->convert(cyan_inverted, out, 1);
    EXPECT_LT(out[2], 100); // little red
    EXPECT_GT(out[0], 150); // much blue
}

TEST(ColourTransforms, GreyPicturesGoThroughAGreyProfile)
{
    // Ghostscript's grey profile with a gamma of 1.8: its middle grey is lighter in sRGB.
    const Bytes gray = installed_profile("/usr/share/color/icc/ghostscript/sgray.icc");
    if (gray.empty())
        GTEST_SKIP() << "libgs-common's grey profile is not installed";
    ColourTransforms colours;
    const auto transform = colours.find(gray, ColourInput::Bgra8Premultiplied);
    ASSERT_NE(transform, nullptr);
    const Pixel grey = convert(*transform, {50, 50, 50, 255});
    EXPECT_NEAR(grey[0], 65, 2);
    EXPECT_EQ(grey[0], grey[1]);
    EXPECT_EQ(grey[1], grey[2]);
    EXPECT_NE(colours.find(gray, ColourInput::Gray16), nullptr);
    EXPECT_EQ(colours.find(gray, ColourInput::Rgba16), nullptr);
}

} // namespace
} // namespace imaging

// Tests of the conversions between twips, device-independent pixels and the pixels an element covers.
#include "platform/win32/ui/win32_dpi.h"
#include "platform/win32/ui/win32_image.h"

#include <gtest/gtest.h>

#include <limits>

namespace platform::win32 {
namespace {

TEST(Win32GeometryTest, TwipsBecomePixelsAtTheWindowsDpi)
{
    EXPECT_EQ(twips_to_pixels(5160, 96), 344);
    EXPECT_EQ(twips_to_pixels(1215, 96), 81);
    EXPECT_EQ(twips_to_pixels(6105, 144), 611) << "610.5 rounds up";
    EXPECT_EQ(twips_to_pixels(7, 96), 0) << "0.47 rounds down";
    EXPECT_EQ(twips_to_pixels(8, 96), 1) << "0.53 rounds up";
    EXPECT_EQ(twips_to_pixels(-480, 96), -32);
    EXPECT_EQ(twips_to_pixels(480, 120), 40);
    EXPECT_EQ(dips_to_pixels(32, 96), 32);
    EXPECT_EQ(dips_to_pixels(32, 144), 48);
    EXPECT_EQ(dips_to_pixels(1, 120), 1);
    EXPECT_EQ(dips_to_pixels(2, 168), 4) << "3.5 rounds up";
}

TEST(Win32GeometryTest, HalfPixelsRoundUpOnEveryEdge)
{
    EXPECT_EQ(round_to_pixel(50.5), 51);
    EXPECT_EQ(round_to_pixel(50.49), 50);
    EXPECT_EQ(round_to_pixel(-0.5), 0);
    EXPECT_EQ(round_to_pixel(-1.5), -1);
    EXPECT_EQ(round_to_pixel(std::numeric_limits<double>::quiet_NaN()), 0);

    // A natural-size picture 101 pixels narrower than the screen sits at 50.5: it keeps its width.
    const PixelRect centred = pixel_rect(50.5, 80.5, 1179, 639, 1.0);
    EXPECT_EQ(centred, (PixelRect{51, 81, 1230, 720}));
    EXPECT_EQ(centred.width(), 1179);
    EXPECT_EQ(centred.height(), 639);

    // A scaled picture whose height came back slightly short of the screen still reaches its edge.
    const PixelRect scaled = pixel_rect(0, 0.00003, 1280, 799.99994, 1.0);
    EXPECT_EQ(scaled, (PixelRect{0, 0, 1280, 800}));

    // Twips windows scale by dpi / 1440 before rounding.
    EXPECT_EQ(pixel_rect(480, 480, 6150, 4950, 96 / 1440.0), (PixelRect{32, 32, 442, 362}));
    EXPECT_EQ(pixel_rect(10, 10, -5, 3, 1.0), (PixelRect{10, 10, 10, 13})) << "no negative width";
}

TEST(Win32GeometryTest, ContainsIsHalfOpen)
{
    const PixelRect r{10, 20, 30, 40};
    EXPECT_TRUE(r.contains(10, 20));
    EXPECT_TRUE(r.contains(29, 39));
    EXPECT_FALSE(r.contains(30, 25));
    EXPECT_FALSE(r.contains(15, 40));
    EXPECT_FALSE(r.contains(9, 25));
}

} // namespace
} // namespace platform::win32

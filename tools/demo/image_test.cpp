// Tests of the demo pictures' pixel buffer and of the BMP and PPM encoders.
#include "image.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>

namespace demo {
namespace {

std::uint32_t u32(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

Image two_by_two()
{
    Image image(2, 2);
    image.set(0, 0, {1, 0, 0}); // top left red
    image.set(1, 0, {0, 1, 0}); // top right green
    image.set(0, 1, {0, 0, 1}); // bottom left blue
    image.set(1, 1, {1, 1, 1}); // bottom right white
    return image;
}

TEST(ImageTest, BmpHasHeadersForA24BitBottomUpPicture)
{
    const auto bmp = encode_bmp(two_by_two());
    ASSERT_EQ(bmp.size(), 54u + 2 * 8); // two rows of 6 bytes, each padded to 8
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[1], 'M');
    EXPECT_EQ(u32(bmp, 2), bmp.size());
    EXPECT_EQ(u32(bmp, 10), 54u); // pixels start after both headers
    EXPECT_EQ(u32(bmp, 14), 40u);
    EXPECT_EQ(u32(bmp, 18), 2u);
    EXPECT_EQ(u32(bmp, 22), 2u); // positive: bottom-up
    EXPECT_EQ(bmp[28], 24);
    EXPECT_EQ(u32(bmp, 30), 0u); // no compression
}

TEST(ImageTest, BmpStoresTheBottomRowFirstInBlueGreenRedOrder)
{
    const auto bmp = encode_bmp(two_by_two());
    const std::vector<std::uint8_t> bottom(bmp.begin() + 54, bmp.begin() + 62);
    const std::vector<std::uint8_t> top(bmp.begin() + 62, bmp.begin() + 70);
    EXPECT_EQ(bottom, (std::vector<std::uint8_t>{255, 0, 0, 255, 255, 255, 0, 0}));
    EXPECT_EQ(top, (std::vector<std::uint8_t>{0, 0, 255, 0, 255, 0, 0, 0}));
}

TEST(ImageTest, PpmIsAHeaderFollowedByTopDownRgbRows)
{
    const auto ppm = encode_ppm(two_by_two());
    const std::string header = "P6\n2 2\n255\n";
    ASSERT_EQ(ppm.size(), header.size() + 12);
    EXPECT_EQ(std::string(ppm.begin(), ppm.begin() + static_cast<long>(header.size())), header);
    const std::vector<std::uint8_t> pixels(ppm.begin() + static_cast<long>(header.size()), ppm.end());
    EXPECT_EQ(pixels, (std::vector<std::uint8_t>{255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255}));
}

TEST(ImageTest, ColoursAreClampedAndRoundedToBytes)
{
    Image image(1, 1);
    image.set(0, 0, {1.7, -0.3, 0.5});
    EXPECT_EQ(image.bytes(), (std::vector<std::uint8_t>{255, 0, 128}));
}

TEST(ImageTest, BlendMixesByOpacityAndIgnoresPixelsOutside)
{
    Image image(2, 1);
    image.blend(0, 0, {1, 1, 1}, 0.5);
    image.blend(-1, 0, {1, 1, 1}, 1);
    image.blend(2, 0, {1, 1, 1}, 1);
    image.blend(1, 0, {1, 1, 1}, 0);
    EXPECT_EQ(image.bytes(), (std::vector<std::uint8_t>{128, 128, 128, 0, 0, 0}));
}

TEST(ImageTest, SampleInterpolatesBetweenPixelsAndClampsAtTheEdges)
{
    Image image(2, 1);
    image.set(1, 0, {1, 1, 1});
    EXPECT_NEAR(image.sample(0.5, 0).r, 0.5, 1e-9);
    EXPECT_NEAR(image.sample(-3, 0).r, 0.0, 1e-9);
    EXPECT_NEAR(image.sample(9, 5).r, 1.0, 1e-9);
}

TEST(ImageTest, APictureNeedsAPositiveSize)
{
    EXPECT_THROW(Image(0, 5), std::invalid_argument);
    EXPECT_THROW(Image(5, -1), std::invalid_argument);
}

} // namespace
} // namespace demo

// Tests of the JPEG decoding scale: the sizes the decoder gives and the scale chosen for a kept size.
#include "imaging/jpeg_scale.h"

#include <gtest/gtest.h>

namespace imaging {
namespace {

TEST(JpegScale, ScaledSideRoundsUpLikeTheDecoder)
{
    EXPECT_EQ(jpeg_scaled_side(6000, 8), 6000);
    EXPECT_EQ(jpeg_scaled_side(6000, 3), 2250);
    EXPECT_EQ(jpeg_scaled_side(4000, 3), 1500);
    EXPECT_EQ(jpeg_scaled_side(6001, 1), 751); // 750.125
    EXPECT_EQ(jpeg_scaled_side(6007, 7), 5257); // 5256.125
    EXPECT_EQ(jpeg_scaled_side(1, 1), 1);
    EXPECT_EQ(jpeg_scaled_side(65535, 8), 65535);
    EXPECT_EQ(jpeg_scaled_side(65535, 5), 40960); // 40959.375
    EXPECT_EQ(jpeg_scaled_side(0, 4), 0);
}

TEST(JpegScale, LargePhotographOnAFullHdScreen)
{
    // 6000 x 4000 is kept at 1620 x 1080: 2/8 gives 1500 x 1000, too small; 3/8 gives 2250 x 1500.
    EXPECT_EQ(jpeg_scale_eighths(6000, 4000, 1620, 1080), 3);
    // 4000 x 3000 is kept at 1440 x 1080: 2/8 gives 1000 x 750; 3/8 gives 1500 x 1125.
    EXPECT_EQ(jpeg_scale_eighths(4000, 3000, 1440, 1080), 3);
    // A portrait picture is bound by its height.
    EXPECT_EQ(jpeg_scale_eighths(4000, 6000, 720, 1080), 2);
    // A panorama is bound by its width.
    EXPECT_EQ(jpeg_scale_eighths(16000, 2000, 1920, 240), 1);
    EXPECT_EQ(jpeg_scale_eighths(16000, 2000, 2560, 320), 2);
}

TEST(JpegScale, ExactCoverIsEnoughAndOnePixelShortIsNot)
{
    EXPECT_EQ(jpeg_scale_eighths(8000, 4000, 1000, 500), 1);
    EXPECT_EQ(jpeg_scale_eighths(8000, 4000, 1001, 500), 2);
    EXPECT_EQ(jpeg_scale_eighths(8000, 4000, 1000, 501), 2);
    EXPECT_EQ(jpeg_scale_eighths(8000, 4000, 7000, 3500), 7);
    EXPECT_EQ(jpeg_scale_eighths(8000, 4000, 7001, 3500), 8);
    // Rounding up counts: 6001 / 8 gives 751 pixels.
    EXPECT_EQ(jpeg_scale_eighths(6001, 4000, 751, 500), 1);
    EXPECT_EQ(jpeg_scale_eighths(6001, 4000, 752, 500), 2);
}

TEST(JpegScale, EveryChoiceCoversTheKeptSizeAndNoSmallerOneDoes)
{
    for (int width : {1, 2, 3, 7, 9, 17, 640, 1921, 4001, 6000}) {
        for (int height : {1, 5, 8, 480, 1081, 4000}) {
            for (int kept_width : {1, width / 3 + 1, width / 2, width}) {
                for (int kept_height : {1, height / 4 + 1, height}) {
                    if (kept_width < 1 || kept_height < 1)
                        continue;
                    const int m = jpeg_scale_eighths(width, height, kept_width, kept_height);
                    ASSERT_GE(m, 1);
                    ASSERT_LE(m, 8);
                    EXPECT_GE(jpeg_scaled_side(width, m), kept_width) << width << "x" << height << " m " << m;
                    EXPECT_GE(jpeg_scaled_side(height, m), kept_height) << width << "x" << height << " m " << m;
                    if (m < 8) {
                        EXPECT_TRUE(jpeg_scaled_side(width, m) < width || jpeg_scaled_side(height, m) < height);
                    }
                    for (int smaller = 1; smaller < m; ++smaller) {
                        const bool covers = jpeg_scaled_side(width, smaller) >= kept_width &&
                                            jpeg_scaled_side(height, smaller) >= kept_height;
                        const bool saves = jpeg_scaled_side(width, smaller) < width ||
                                           jpeg_scaled_side(height, smaller) < height;
                        EXPECT_FALSE(covers && saves) << width << "x" << height << " m " << m << " smaller " << smaller;
                    }
                }
            }
        }
    }
}

TEST(JpegScale, TinyAndSmallPicturesAreDecodedAtFullSize)
{
    // 1/8 of one pixel is still one pixel, but nothing is saved by it.
    EXPECT_EQ(jpeg_scale_eighths(1, 1, 1, 1), 8);
    EXPECT_EQ(jpeg_scale_eighths(2, 3, 2, 3), 8);
    // A picture that fits the screen is kept at its natural size.
    EXPECT_EQ(jpeg_scale_eighths(1920, 1080, 1920, 1080), 8);
    EXPECT_EQ(jpeg_scale_eighths(800, 600, 800, 600), 8);
    // A size kept larger than the picture (never asked for by the loader) is the full size too.
    EXPECT_EQ(jpeg_scale_eighths(800, 600, 1600, 1200), 8);
}

} // namespace
} // namespace imaging

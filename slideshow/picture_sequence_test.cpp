// Picture naming, the counter and the choice of placement.
#include "slideshow/picture_sequence.h"

#include "platform/errors.h"

#include <gtest/gtest.h>

#include <limits>

namespace slideshow {
namespace {

TEST(PicturePath, JoinsFolderAndNumberWithExactlyOneSeparator)
{
    EXPECT_EQ(picture_path("C:\\Pictures", 1), "C:\\Pictures\\KWOBL001.DAT");
    EXPECT_EQ(picture_path("C:\\", 1), "C:\\KWOBL001.DAT");
    EXPECT_EQ(picture_path("\\\\server\\share\\", 7), "\\\\server\\share\\KWOBL007.DAT");
    EXPECT_EQ(picture_path("D:\\写真\\スライド", 50), "D:\\写真\\スライド\\KWOBL050.DAT");
    EXPECT_EQ(picture_path("", 12), "\\KWOBL012.DAT");
}

TEST(PicturePath, PadsToThreeDigitsAndNeverTruncates)
{
    EXPECT_EQ(picture_path("F", 9), "F\\KWOBL009.DAT");
    EXPECT_EQ(picture_path("F", 10), "F\\KWOBL010.DAT");
    EXPECT_EQ(picture_path("F", 999), "F\\KWOBL999.DAT");
    EXPECT_EQ(picture_path("F", 1000), "F\\KWOBL1000.DAT");
}

TEST(NextPictureNumber, CountsUpAndWrapsAfterTheLast)
{
    EXPECT_EQ(next_picture_number(1, 50), 2);
    EXPECT_EQ(next_picture_number(49, 50), 50);
    EXPECT_EQ(next_picture_number(50, 50), 1);
    EXPECT_EQ(next_picture_number(1, 1), 1);
}

TEST(NextPictureNumber, SixteenBitOverflowIsAnError)
{
    EXPECT_THROW(next_picture_number(std::numeric_limits<std::int16_t>::max(), 50), platform::RuntimeError);
    EXPECT_EQ(next_picture_number(std::numeric_limits<std::int16_t>::max() - 1, 50), 1);
}

TEST(ChoosePlacement, SmallerBothWaysIsNaturalSize)
{
    EXPECT_EQ(choose_placement(1920, 1080, 800, 600), Placement::NaturalSize);
    EXPECT_EQ(choose_placement(1920, 1080, 1919, 1079), Placement::NaturalSize);
    EXPECT_EQ(choose_placement(1920, 1080, 0, 5), Placement::NaturalSize);
}

TEST(ChoosePlacement, ExactlyAsWideOrAsTallIsScaled)
{
    // As wide, less tall, landscape: full width at its own size.
    EXPECT_EQ(choose_placement(1920, 1080, 1920, 500), Placement::FullWidth);
    // As tall, narrower: a portrait picture fills the height.
    EXPECT_EQ(choose_placement(1920, 1080, 600, 1080), Placement::FullHeight);
    // Exactly the screen's size: equal aspects, landscape takes the full height.
    EXPECT_EQ(choose_placement(1920, 1080, 1920, 1080), Placement::FullHeight);
}

TEST(ChoosePlacement, LargerPicturesTouchTheNearerEdges)
{
    EXPECT_EQ(choose_placement(1920, 1080, 6000, 2000), Placement::FullWidth);  // wide panorama
    EXPECT_EQ(choose_placement(1920, 1080, 4000, 3000), Placement::FullHeight); // 4:3 on 16:9
    EXPECT_EQ(choose_placement(1920, 1080, 2000, 4000), Placement::FullHeight); // portrait
    EXPECT_EQ(choose_placement(1080, 1920, 2000, 4000), Placement::FullHeight); // narrower than a portrait screen
    EXPECT_EQ(choose_placement(1080, 1920, 3000, 4000), Placement::FullWidth);  // wider than a portrait screen
    EXPECT_EQ(choose_placement(1920, 1080, 3000, 3000), Placement::FullHeight); // square, landscape screen
    EXPECT_EQ(choose_placement(1080, 1920, 3000, 3000), Placement::FullWidth);  // square, portrait screen
}

TEST(ChoosePlacement, EqualAspectsTieByOrientation)
{
    // Landscape with the window's aspect: full height; portrait or square: full width.
    EXPECT_EQ(choose_placement(1920, 1080, 3840, 2160), Placement::FullHeight);
    EXPECT_EQ(choose_placement(1080, 1920, 2160, 3840), Placement::FullWidth);
    EXPECT_EQ(choose_placement(1000, 1000, 2000, 2000), Placement::FullWidth);
    // Aspects that differ only beyond single precision count as equal.
    EXPECT_EQ(choose_placement(1920, 1080, 16000009, 9000005), Placement::FullHeight);
}

TEST(ChoosePlacement, ZeroSizesAndWindowsFail)
{
    EXPECT_THROW(choose_placement(1920, 1080, 2000, 0), platform::RuntimeError);
    // An empty picture counts as smaller than the window; the picture step fails earlier,
    // on its aspect.
    EXPECT_EQ(choose_placement(1920, 1080, 0, 0), Placement::NaturalSize);
    EXPECT_THROW(choose_placement(1920, 0, 2000, 1000), platform::RuntimeError);
    // A zero width with a height is a portrait of aspect 0: it fills the height.
    EXPECT_EQ(choose_placement(1920, 1080, 0, 2000), Placement::FullHeight);
}

TEST(ChoosePlacement, AnAspectBeyondSinglePrecisionIsAnError)
{
    EXPECT_THROW(choose_placement(1920, 1080, 3e38f, 1e-3f), platform::RuntimeError);
}

} // namespace
} // namespace slideshow

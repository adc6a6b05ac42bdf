// Picture naming and the counter.
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

} // namespace
} // namespace slideshow

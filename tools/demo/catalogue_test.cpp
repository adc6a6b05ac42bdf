// Tests of the demo folder's list of pictures: numbering, sizes and formats around a 1920 x 1080 screen.
#include "catalogue.h"
#include "lettering.h"

#include <gtest/gtest.h>

#include <set>

namespace demo {
namespace {

constexpr int kScreenWidth = 1920;
constexpr int kScreenHeight = 1080;

TEST(CatalogueTest, NumbersRunFromOneToFiftyWithOneLeftOut)
{
    const auto pictures = catalogue();
    ASSERT_EQ(pictures.size(), 49u);
    int expected = 1;
    for (const PictureEntry& p : pictures) {
        if (expected == kSkippedNumber)
            ++expected;
        EXPECT_EQ(p.number, expected);
        ++expected;
    }
    EXPECT_EQ(expected, 51);
    EXPECT_EQ(kSkippedNumber, 17);
}

TEST(CatalogueTest, TheSkippedPictureFillsTheGapWithANewScene)
{
    const PictureEntry skipped = skipped_picture();
    EXPECT_EQ(skipped.number, kSkippedNumber);
    EXPECT_GT(skipped.width, 0);
    EXPECT_GT(skipped.height, 0);
    // Its scene comes from its own seed, so that the other pictures stay the bytes they were.
    for (const PictureEntry& p : catalogue()) {
        EXPECT_NE(p.number, skipped.number);
        EXPECT_NE(p.scene.seed, skipped.scene.seed);
    }
}

TEST(CatalogueTest, FileNamesCarryTheNumberInThreeDigits)
{
    EXPECT_EQ(file_name(1), "KWOBL001.DAT");
    EXPECT_EQ(file_name(17), "KWOBL017.DAT");
    EXPECT_EQ(file_name(50), "KWOBL050.DAT");
}

TEST(CatalogueTest, SizesCoverEveryPlacementOnAFullHdScreen)
{
    int smaller = 0, exact = 0, larger = 0, as_wide = 0, as_tall = 0, portrait = 0, square = 0;
    for (const PictureEntry& p : catalogue()) {
        EXPECT_GT(p.width, 0);
        EXPECT_GT(p.height, 0);
        EXPECT_LE(p.width, 4000);
        EXPECT_LE(p.height, 4000);
        smaller += p.width < kScreenWidth && p.height < kScreenHeight;
        exact += p.width == kScreenWidth && p.height == kScreenHeight;
        larger += p.width > kScreenWidth && p.height > kScreenHeight;
        as_wide += p.width == kScreenWidth && p.height != kScreenHeight;
        as_tall += p.height == kScreenHeight && p.width != kScreenWidth;
        portrait += p.height > p.width;
        square += p.height == p.width;
    }
    EXPECT_GE(smaller, 10);
    EXPECT_GE(exact, 3);
    EXPECT_GE(larger, 10);
    EXPECT_GE(as_wide, 1);
    EXPECT_GE(as_tall, 1);
    EXPECT_GE(portrait, 5);
    EXPECT_GE(square, 3);
}

TEST(CatalogueTest, EveryFormatAndSceneIsUsed)
{
    std::set<Format> formats;
    std::set<Scene> scenes;
    for (const PictureEntry& p : catalogue()) {
        formats.insert(p.format);
        scenes.insert(p.scene.scene);
    }
    EXPECT_EQ(formats.size(), 5u);
    EXPECT_EQ(scenes.size(), 7u);
}

TEST(CatalogueTest, TheFontHasEveryCharacterOfTheLabels)
{
    for (const PictureEntry& p : catalogue()) {
        const std::string caption =
            format_name(p.format) + " " + std::to_string(p.width) + "x" + std::to_string(p.height);
        for (char c : caption + "0123456789")
            EXPECT_NE(glyph(c), nullptr) << "character '" << c << "' of " << caption;
    }
    EXPECT_EQ(glyph('Q'), nullptr);
}

} // namespace
} // namespace demo

// Tests of the demo pictures' lettering: strokes land where the glyphs are, and nowhere else.
#include "lettering.h"

#include <gtest/gtest.h>

namespace demo {
namespace {

bool white(const Image& image, int x, int y)
{
    const Rgb c = image.at(x, y);
    return c.r > 0.9 && c.g > 0.9 && c.b > 0.9;
}

int count_white(const Image& image, int x0, int y0, int x1, int y1)
{
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            n += white(image, x, y);
    return n;
}

TEST(LetteringTest, TheOneIsAVerticalStrokeNearTheMiddleOfItsBox)
{
    Image image(200, 200);
    draw_text(image, "1", 50, 50, 100, {1, 1, 1});
    // The stem stands at 0.34 of the height from the glyph's left edge, from top to bottom.
    EXPECT_TRUE(white(image, 84, 60));
    EXPECT_TRUE(white(image, 84, 100));
    EXPECT_TRUE(white(image, 84, 140));
    // Left of the stem, half-way down, is empty.
    EXPECT_FALSE(white(image, 60, 100));
    // Nothing white beyond the box and its halo.
    EXPECT_EQ(count_white(image, 0, 0, 200, 40), 0);
    EXPECT_EQ(count_white(image, 0, 160, 200, 200), 0);
    EXPECT_EQ(count_white(image, 130, 0, 200, 200), 0);
}

TEST(LetteringTest, TheZeroIsARingWithAnEmptyMiddle)
{
    Image image(200, 200);
    draw_text(image, "0", 50, 50, 100, {1, 1, 1});
    EXPECT_TRUE(white(image, 80, 55));  // top of the ring
    EXPECT_TRUE(white(image, 80, 145)); // bottom
    EXPECT_TRUE(white(image, 54, 100)); // left
    EXPECT_TRUE(white(image, 106, 100)); // right
    EXPECT_FALSE(white(image, 80, 100)); // the hole
}

TEST(LetteringTest, GlyphsFollowEachOtherAtAFixedAdvance)
{
    EXPECT_DOUBLE_EQ(text_width("", 100), 0);
    EXPECT_DOUBLE_EQ(text_width("1", 100), 60);
    EXPECT_DOUBLE_EQ(text_width("111", 100), 220);
    Image image(300, 200);
    draw_text(image, "11", 10, 50, 100, {1, 1, 1});
    EXPECT_TRUE(white(image, 44, 100));  // first stem
    EXPECT_TRUE(white(image, 124, 100)); // second stem, 80 pixels on
}

TEST(LetteringTest, TheLabelSitsInTheLowerRightCornerAndLeavesTheRestAlone)
{
    Image image(800, 600);
    draw_label(image, "017", "PNG 800x600");
    const int lower_right = count_white(image, 400, 300, 800, 600);
    EXPECT_GT(lower_right, 1000); // the digits are large
    EXPECT_EQ(count_white(image, 0, 0, 800, 300), 0);
    EXPECT_EQ(count_white(image, 0, 0, 400, 600), 0);
}

} // namespace
} // namespace demo

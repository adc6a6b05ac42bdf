// Tests of turning pictures upright: every orientation of a small picture, and strides wider than a row.
#include "imaging/image_orient.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace imaging {
namespace {

// A picture whose pixels are letters, so that a turned one reads as rows of letters.
std::vector<std::uint8_t> letters_image(const std::string& letters, std::ptrdiff_t stride, int height)
{
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(stride * height), 0xEE);
    const int width = static_cast<int>(letters.size()) / height;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 4; ++c)
                bytes[static_cast<std::size_t>(y * stride + x * 4 + c)] =
                    static_cast<std::uint8_t>(letters[static_cast<std::size_t>(y * width + x)] + c);
    return bytes;
}

// The rows of an image as letters, separated by "/"; "?" for a pixel whose channels do not belong together.
std::string read_letters(const std::vector<std::uint8_t>& bytes, int width, int height, std::ptrdiff_t stride)
{
    std::string out;
    for (int y = 0; y < height; ++y) {
        if (y)
            out += '/';
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* p = &bytes[static_cast<std::size_t>(y * stride + x * 4)];
            const bool whole = p[1] == p[0] + 1 && p[2] == p[0] + 2 && p[3] == p[0] + 3;
            out += whole ? static_cast<char>(p[0]) : '?';
        }
    }
    return out;
}

TEST(ImageOrient, EveryOrientationOfAThreeByTwoPicture)
{
    // A B C
    // D E F
    const struct {
        Orientation orientation;
        const char* shown;
    } cases[] = {
        {Orientation::Normal, "ABC/DEF"},          {Orientation::MirrorLeftRight, "CBA/FED"},
        {Orientation::Turn180, "FED/CBA"},         {Orientation::MirrorTopBottom, "DEF/ABC"},
        {Orientation::Transpose, "AD/BE/CF"},      {Orientation::TurnRight, "DA/EB/FC"},
        {Orientation::Transverse, "FC/EB/DA"},     {Orientation::TurnLeft, "CF/BE/AD"},
    };
    for (const auto& c : cases) {
        // Rows padded past their pixels on both sides, so that a stride mixed up with a width shows.
        const std::ptrdiff_t source_stride = 3 * 4 + 8;
        const auto source = letters_image("ABCDEF", source_stride, 2);
        const OrientedSize size = oriented_size(3, 2, c.orientation);
        const std::ptrdiff_t target_stride = size.width * 4 + 4;
        std::vector<std::uint8_t> target(static_cast<std::size_t>(target_stride * size.height), 0);
        orient_image(c.orientation, source.data(), 3, 2, source_stride, target.data(), target_stride);
        EXPECT_EQ(read_letters(target, size.width, size.height, target_stride), c.shown)
            << "orientation " << static_cast<int>(c.orientation);
        // The padding of the target rows is left alone.
        for (int y = 0; y < size.height; ++y)
            for (int b = 0; b < 4; ++b)
                EXPECT_EQ(target[static_cast<std::size_t>(y * target_stride + size.width * 4 + b)], 0);
    }
}

TEST(ImageOrient, SidesSwapOnlyForTheQuarterTurns)
{
    for (int value = 1; value <= 8; ++value) {
        const auto orientation = static_cast<Orientation>(value);
        const OrientedSize size = oriented_size(6000, 4000, orientation);
        EXPECT_EQ(size.width, value >= 5 ? 4000 : 6000) << value;
        EXPECT_EQ(size.height, value >= 5 ? 6000 : 4000) << value;
    }
}

TEST(ImageOrient, OnePixelWideAndTallPictures)
{
    const auto column = letters_image("ABC", 4, 3); // one pixel wide, three tall
    std::vector<std::uint8_t> row(12);
    orient_image(Orientation::TurnRight, column.data(), 1, 3, 4, row.data(), 12);
    EXPECT_EQ(read_letters(row, 3, 1, 12), "CBA");
    orient_image(Orientation::TurnLeft, column.data(), 1, 3, 4, row.data(), 12);
    EXPECT_EQ(read_letters(row, 3, 1, 12), "ABC");
}

} // namespace
} // namespace imaging

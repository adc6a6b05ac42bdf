// Tests of the picture resampler: exact cases, agreement with a plain floating-point filter, strips.
#include "imaging/image_scale.h"

#include "platform/errors.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

namespace imaging {
namespace {

struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> bytes; // exactly width * height * 4, so that a sanitiser sees any overrun

    Pixels(int w, int h) : width(w), height(h), bytes(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4) {}
    [[nodiscard]] std::uint8_t at(int x, int y, int c) const
    {
        return bytes[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 4 +
                     static_cast<std::size_t>(c)];
    }
    std::uint8_t& at(int x, int y, int c)
    {
        return bytes[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 4 +
                     static_cast<std::size_t>(c)];
    }
};

Pixels random_pixels(int w, int h, unsigned seed)
{
    Pixels p(w, h);
    std::mt19937 gen(seed);
    for (auto& b : p.bytes)
        b = static_cast<std::uint8_t>(gen() & 0xFF);
    return p;
}

Pixels scaled(const Pixels& source, int w, int h)
{
    Pixels target(w, h);
    scale_image(source.bytes.data(), source.width, source.height, std::ptrdiff_t{source.width} * 4, target.bytes.data(),
                w, h, std::ptrdiff_t{w} * 4);
    return target;
}

// One axis of the intended filter in plain floating point: the area average when shrinking,
// bilinear interpolation between pixel centres (clamped at the edges) when enlarging.
std::vector<std::vector<double>> reference_weights(int source, int target)
{
    std::vector<std::vector<double>> m(static_cast<std::size_t>(target),
                                       std::vector<double>(static_cast<std::size_t>(source), 0.0));
    const double scale = static_cast<double>(source) / target;
    for (int d = 0; d < target; ++d) {
        auto& row = m[static_cast<std::size_t>(d)];
        if (source == target) {
            row[static_cast<std::size_t>(d)] = 1.0;
        } else if (source > target) {
            const double lo = d * scale;
            const double hi = (d + 1) * scale;
            for (int i = 0; i < source; ++i)
                row[static_cast<std::size_t>(i)] =
                    std::max(0.0, std::min<double>(i + 1, hi) - std::max<double>(i, lo)) / scale;
        } else {
            const double c = std::clamp((d + 0.5) * scale - 0.5, 0.0, source - 1.0);
            const int i0 = std::min(static_cast<int>(std::floor(c)), source - 1);
            const double f = c - i0;
            row[static_cast<std::size_t>(i0)] += 1.0 - f;
            if (f > 0)
                row[static_cast<std::size_t>(i0 + 1)] += f;
        }
    }
    return m;
}

Pixels reference_scaled(const Pixels& source, int w, int h)
{
    const auto across = reference_weights(source.width, w);
    const auto down = reference_weights(source.height, h);
    Pixels target(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 4; ++c) {
                double sum = 0;
                for (int sy = 0; sy < source.height; ++sy) {
                    const double wy = down[static_cast<std::size_t>(y)][static_cast<std::size_t>(sy)];
                    if (wy == 0)
                        continue;
                    for (int sx = 0; sx < source.width; ++sx)
                        sum += wy * across[static_cast<std::size_t>(x)][static_cast<std::size_t>(sx)] *
                               source.at(sx, sy, c);
                }
                target.at(x, y, c) = static_cast<std::uint8_t>(std::lround(std::clamp(sum, 0.0, 255.0)));
            }
    return target;
}

int largest_difference(const Pixels& a, const Pixels& b)
{
    int most = 0;
    for (std::size_t i = 0; i < a.bytes.size(); ++i)
        most = std::max(most, std::abs(a.bytes[i] - b.bytes[i]));
    return most;
}

struct SizeChange {
    int sw, sh, tw, th;
};

// Shrinking, enlarging, one axis only, mixed directions, odd sizes and single pixels.
constexpr SizeChange kSizeChanges[] = {
    {7, 5, 3, 2},     {3, 2, 7, 5},     {100, 3, 7, 9}, {5, 64, 12, 11},  {64, 48, 21, 16}, {31, 17, 31, 40},
    {31, 17, 12, 17}, {17, 31, 17, 12}, {13, 9, 1, 1},  {13, 9, 1, 9},    {13, 9, 13, 1},   {1, 1, 9, 4},
    {1, 7, 5, 3},     {9, 1, 4, 6},     {2, 2, 3, 3},   {50, 40, 49, 39}, {49, 39, 50, 40},
};

TEST(ImageScale, FlatColourStaysExactlyFlat)
{
    for (const auto& s : kSizeChanges) {
        Pixels source(s.sw, s.sh);
        for (std::size_t i = 0; i < source.bytes.size(); i += 4) {
            source.bytes[i] = 12;
            source.bytes[i + 1] = 200;
            source.bytes[i + 2] = 255;
            source.bytes[i + 3] = 1;
        }
        const Pixels target = scaled(source, s.tw, s.th);
        for (std::size_t i = 0; i < target.bytes.size(); i += 4) {
            SCOPED_TRACE(testing::Message() << s.sw << "x" << s.sh << " to " << s.tw << "x" << s.th << " byte " << i);
            ASSERT_EQ(target.bytes[i], 12);
            ASSERT_EQ(target.bytes[i + 1], 200);
            ASSERT_EQ(target.bytes[i + 2], 255);
            ASSERT_EQ(target.bytes[i + 3], 1);
        }
    }
}

TEST(ImageScale, HalvingAveragesEachTwoByTwoBlockExactly)
{
    const Pixels source = random_pixels(64, 38, 7);
    const Pixels target = scaled(source, 32, 19);
    for (int y = 0; y < 19; ++y)
        for (int x = 0; x < 32; ++x)
            for (int c = 0; c < 4; ++c) {
                const int sum = source.at(2 * x, 2 * y, c) + source.at(2 * x + 1, 2 * y, c) +
                                source.at(2 * x, 2 * y + 1, c) + source.at(2 * x + 1, 2 * y + 1, c);
                ASSERT_EQ(target.at(x, y, c), (sum + 2) / 4) << x << "," << y << " channel " << c;
            }
}

TEST(ImageScale, SameSizeIsACopy)
{
    const Pixels source = random_pixels(13, 7, 3);
    EXPECT_EQ(scaled(source, 13, 7).bytes, source.bytes);
}

TEST(ImageScale, AgreesWithAreaAverageAndBilinearReference)
{
    unsigned seed = 100;
    for (const auto& s : kSizeChanges) {
        SCOPED_TRACE(testing::Message() << s.sw << "x" << s.sh << " to " << s.tw << "x" << s.th);
        const Pixels source = random_pixels(s.sw, s.sh, seed++);
        EXPECT_LE(largest_difference(scaled(source, s.tw, s.th), reference_scaled(source, s.tw, s.th)), 1);
    }
    // A large shrink by an uneven factor, as for a photograph going to the screen.
    const Pixels photo = random_pixels(601, 401, 5);
    EXPECT_LE(largest_difference(scaled(photo, 162, 108), reference_scaled(photo, 162, 108)), 1);
}

TEST(ImageScale, OnePixelTargetIsTheMeanColour)
{
    const Pixels source = random_pixels(13, 9, 11);
    const Pixels target = scaled(source, 1, 1);
    for (int c = 0; c < 4; ++c) {
        double sum = 0;
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 13; ++x)
                sum += source.at(x, y, c);
        EXPECT_NEAR(target.at(0, 0, c), sum / (13 * 9), 1.0) << "channel " << c;
    }
}

TEST(ImageScale, FineDetailShrinksToItsMeanInsteadOfAliasing)
{
    // A one-pixel checkerboard and one-pixel stripes, shrunk by factors that are not whole numbers:
    // picking source pixels would give black and white patches; averaging gives grey everywhere, within
    // the few levels by which a box of fractional width can hold more of one colour than the other.
    Pixels checks(1001, 777);
    Pixels stripes(1001, 777);
    for (int y = 0; y < 777; ++y)
        for (int x = 0; x < 1001; ++x)
            for (int c = 0; c < 4; ++c) {
                checks.at(x, y, c) = ((x + y) % 2 != 0) ? 255 : 0;
                stripes.at(x, y, c) = (x % 2 != 0) ? 255 : 0;
            }
    for (const Pixels* source : {&checks, &stripes}) {
        const Pixels target = scaled(*source, 173, 91);
        const auto [lo, hi] = std::minmax_element(target.bytes.begin(), target.bytes.end());
        EXPECT_GE(*lo, 120);
        EXPECT_LE(*hi, 135);
    }
}

TEST(ImageScale, StripsGiveTheSameResultAsTheWholePicture)
{
    const SizeChange changes[] = {
        {97, 61, 31, 20}, {31, 20, 97, 61}, {40, 61, 40, 30}, {40, 30, 13, 30}, {64, 64, 64, 64}};
    for (const auto& s : changes) {
        const Pixels source = random_pixels(s.sw, s.sh, 42);
        const Pixels whole = scaled(source, s.tw, s.th);
        for (int strip : {1, 2, 5, 17, 1000}) {
            SCOPED_TRACE(testing::Message()
                         << s.sw << "x" << s.sh << " to " << s.tw << "x" << s.th << " in strips of " << strip);
            Pixels target(s.tw, s.th);
            ImageScaler scaler(s.sw, s.sh, target.bytes.data(), s.tw, s.th, std::ptrdiff_t{s.tw} * 4);
            // Each strip is a separate buffer of its own exact size.
            for (int y = 0; y < s.sh; y += strip) {
                const int rows = std::min(strip, s.sh - y);
                const auto from = source.bytes.begin() + std::ptrdiff_t{y} * s.sw * 4;
                const std::vector<std::uint8_t> part(from, from + std::ptrdiff_t{rows} * s.sw * 4);
                scaler.push_rows(part.data(), std::ptrdiff_t{s.sw} * 4, rows);
            }
            EXPECT_EQ(scaler.rows_pushed(), s.sh);
            EXPECT_EQ(scaler.rows_written(), s.th);
            EXPECT_EQ(target.bytes, whole.bytes);
        }
    }
}

TEST(ImageScale, TargetRowsAreWrittenAsSoonAsTheirSourceRowsArrive)
{
    const Pixels big = random_pixels(40, 40, 1);
    Pixels half(20, 20);
    ImageScaler shrink(40, 40, half.bytes.data(), 20, 20, 80);
    std::vector<int> written;
    for (int y = 0; y < 5; ++y) {
        shrink.push_rows(big.bytes.data() + y * 160, 160, 1);
        written.push_back(shrink.rows_written());
    }
    EXPECT_EQ(written, (std::vector<int>{0, 1, 1, 2, 2}));

    // Enlarging twice: target row 0 lies on source row 0; rows 1 and 2 lie between source rows 0 and 1.
    const Pixels small = random_pixels(10, 10, 2);
    Pixels twice(20, 20);
    ImageScaler enlarge(10, 10, twice.bytes.data(), 20, 20, 80);
    written.clear();
    for (int y = 0; y < 3; ++y) {
        enlarge.push_rows(small.bytes.data() + y * 40, 40, 1);
        written.push_back(enlarge.rows_written());
    }
    EXPECT_EQ(written, (std::vector<int>{1, 3, 5}));
}

TEST(ImageScale, WritesOnlyTheTargetRowsPixels)
{
    // Rows of the target are wider than its pixels; the bytes between must stay as they were.
    for (const auto& s : kSizeChanges) {
        const Pixels source = random_pixels(s.sw, s.sh, 9);
        const std::ptrdiff_t stride = std::ptrdiff_t{s.tw} * 4 + 12;
        std::vector<std::uint8_t> target(static_cast<std::size_t>(stride) * static_cast<std::size_t>(s.th), 0xA5);
        scale_image(source.bytes.data(), s.sw, s.sh, std::ptrdiff_t{s.sw} * 4, target.data(), s.tw, s.th, stride);
        const Pixels expected = scaled(source, s.tw, s.th);
        for (int y = 0; y < s.th; ++y) {
            const auto row = target.begin() + stride * y;
            EXPECT_TRUE(std::equal(row, row + s.tw * 4, expected.bytes.begin() + std::ptrdiff_t{y} * s.tw * 4));
            EXPECT_TRUE(std::all_of(row + s.tw * 4, row + stride, [](std::uint8_t b) { return b == 0xA5; }));
        }
    }
}

TEST(ImageScale, RefusesEmptySizesShortRowsAndExtraRows)
{
    std::vector<std::uint8_t> target(64);
    EXPECT_THROW(ImageScaler(0, 4, target.data(), 2, 2, 8), platform::RuntimeError);
    EXPECT_THROW(ImageScaler(4, 4, target.data(), 2, -1, 8), platform::RuntimeError);
    EXPECT_THROW(ImageScaler(4, 4, target.data(), 2, 2, 7), platform::RuntimeError);
    EXPECT_THROW(ImageScaler(4, 4, nullptr, 2, 2, 8), platform::RuntimeError);

    const Pixels source = random_pixels(4, 4, 1);
    ImageScaler scaler(4, 4, target.data(), 2, 2, 8);
    scaler.push_rows(source.bytes.data(), 16, 3);
    EXPECT_THROW(scaler.push_rows(source.bytes.data(), 16, 2), platform::RuntimeError);
    scaler.push_rows(source.bytes.data(), 16, 1);
    EXPECT_EQ(scaler.rows_written(), 2);
    EXPECT_THROW(scaler.push_rows(source.bytes.data(), 16, 1), platform::RuntimeError);
}

TEST(ImageScale, ConvertsDecodedRowsToPremultipliedPixels)
{
    const std::uint8_t bgr[] = {1, 2, 3, 250, 251, 252};
    const std::uint8_t bgrx[] = {1, 2, 3, 0, 250, 251, 252, 7};
    const std::uint8_t gray[] = {0, 77, 255};
    const std::uint8_t straight[] = {200, 100, 50, 0, 200, 100, 50, 128, 200, 100, 50, 255};
    std::vector<std::uint8_t> out(12, 0xEE);

    convert_row(RowLayout::Bgr24, bgr, out.data(), 2);
    EXPECT_EQ(out, (std::vector<std::uint8_t>{1, 2, 3, 255, 250, 251, 252, 255, 0xEE, 0xEE, 0xEE, 0xEE}));
    convert_row(RowLayout::Bgrx32, bgrx, out.data(), 2);
    EXPECT_EQ(out, (std::vector<std::uint8_t>{1, 2, 3, 255, 250, 251, 252, 255, 0xEE, 0xEE, 0xEE, 0xEE}));
    convert_row(RowLayout::Gray8, gray, out.data(), 3);
    EXPECT_EQ(out, (std::vector<std::uint8_t>{0, 0, 0, 255, 77, 77, 77, 255, 255, 255, 255, 255}));
    // Transparent becomes black, half transparent halves the colours, opaque keeps them.
    convert_row(RowLayout::Bgra32, straight, out.data(), 3);
    EXPECT_EQ(out, (std::vector<std::uint8_t>{0, 0, 0, 0, 100, 50, 25, 128, 200, 100, 50, 255}));
    convert_row(RowLayout::Bgra32Premultiplied, straight, out.data(), 3);
    EXPECT_EQ(out, std::vector<std::uint8_t>(std::begin(straight), std::end(straight)));

    EXPECT_EQ(bytes_per_pixel(RowLayout::Bgr24), 3);
    EXPECT_EQ(bytes_per_pixel(RowLayout::Gray8), 1);
    EXPECT_EQ(bytes_per_pixel(RowLayout::Bgrx32), 4);
}

TEST(ImageScale, PremultipliesWithRoundingToNearest)
{
    // Every colour with every alpha: colour * alpha / 255, rounded to nearest.
    std::vector<std::uint8_t> in;
    for (int a = 0; a < 256; ++a)
        for (int c = 0; c < 256; ++c)
            in.insert(in.end(), {static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(255 - c), 0,
                                 static_cast<std::uint8_t>(a)});
    std::vector<std::uint8_t> out(in.size());
    convert_row(RowLayout::Bgra32, in.data(), out.data(), 65536);
    for (std::size_t i = 0; i < in.size(); i += 4) {
        const int a = in[i + 3];
        ASSERT_EQ(out[i], std::lround(in[i] * a / 255.0)) << "colour " << int(in[i]) << " alpha " << a;
        ASSERT_EQ(out[i + 1], std::lround(in[i + 1] * a / 255.0));
        ASSERT_EQ(out[i + 3], a);
    }
}

} // namespace
} // namespace imaging

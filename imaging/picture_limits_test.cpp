#include "imaging/picture_limits.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace imaging {
namespace {

// File bytes written field by field.
struct Bytes {
    std::vector<std::uint8_t> data;

    Bytes& raw(std::initializer_list<int> bytes)
    {
        for (int b : bytes)
            data.push_back(static_cast<std::uint8_t>(b));
        return *this;
    }
    Bytes& text(const std::string& s)
    {
        data.insert(data.end(), s.begin(), s.end());
        return *this;
    }
    Bytes& le16(std::uint32_t v) { return raw({int(v & 0xFF), int(v >> 8 & 0xFF)}); }
    Bytes& le32(std::uint32_t v) { return le16(v & 0xFFFF).le16(v >> 16); }
    Bytes& be32(std::uint32_t v) { return raw({int(v >> 24), int(v >> 16 & 0xFF), int(v >> 8 & 0xFF), int(v & 0xFF)}); }
    Bytes& zeros(std::size_t n)
    {
        data.resize(data.size() + n);
        return *this;
    }
    Bytes& append(const Bytes& other)
    {
        data.insert(data.end(), other.data.begin(), other.data.end());
        return *this;
    }
    [[nodiscard]] std::size_t size() const { return data.size(); }
};

Bytes png(std::uint32_t width, std::uint32_t height, int depth, int colour)
{
    // The checks read no CRC, so it is left 0.
    return Bytes().raw({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}).be32(13).text("IHDR").be32(width).be32(height)
        .raw({depth, colour, 0, 0, 0}).be32(0);
}

Bytes gif(std::uint32_t width, std::uint32_t height, const std::vector<std::pair<int, int>>& frames)
{
    Bytes out;
    out.text("GIF89a").le16(width).le16(height).raw({0x80, 0, 0}).zeros(6); // two-colour table
    out.raw({0x21, 0xF9, 4, 0, 0, 0, 0, 0});                                // a graphic control extension
    for (const auto& [w, h] : frames)
        out.raw({0x2C}).le16(0).le16(0).le16(w).le16(h).raw({0, 2, 2, 0x4C, 0x01, 0});
    return out.raw({0x3B});
}

Bytes bmp_header(std::int32_t width, std::int32_t height, int bits, std::uint32_t compression = 0)
{
    return Bytes().le32(40).le32(static_cast<std::uint32_t>(width)).le32(static_cast<std::uint32_t>(height))
        .le16(1).le16(bits).le32(compression).zeros(20);
}

Bytes bmp(std::int32_t width, std::int32_t height, int bits, std::uint32_t compression = 0)
{
    return Bytes().text("BM").le32(0).le32(0).le32(54).append(bmp_header(width, height, bits, compression));
}

Bytes ico(const std::vector<Bytes>& pictures)
{
    Bytes out;
    out.le16(0).le16(1).le16(static_cast<std::uint32_t>(pictures.size()));
    std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(pictures.size());
    for (const Bytes& picture : pictures) {
        out.raw({0, 0, 0, 0}).le16(1).le16(32).le32(static_cast<std::uint32_t>(picture.size())).le32(offset);
        offset += static_cast<std::uint32_t>(picture.size());
    }
    for (const Bytes& picture : pictures)
        out.append(picture);
    return out;
}

// A little-endian TIFF of pages (width, height, bits per sample, samples); `loop` points the last
// page's next-directory offset back at the first.
Bytes tiff(const std::vector<std::array<std::uint32_t, 4>>& pages, bool loop = false)
{
    Bytes out;
    out.text("II").le16(42).le32(8);
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const auto& [width, height, bits, samples] = pages[i];
        out.le16(4);
        out.le16(256).le16(4).le32(1).le32(width);
        out.le16(257).le16(3).le32(1).le16(height).le16(0);
        out.le16(258).le16(3).le32(1).le16(bits).le16(0);
        out.le16(277).le16(3).le32(1).le16(samples).le16(0);
        const bool last = i + 1 == pages.size();
        out.le32(last ? (loop ? 8 : 0) : static_cast<std::uint32_t>(out.size() + 4));
    }
    return out;
}

// A JPEG file whose frame header follows its APP0 segment and `comments` empty comments.
Bytes jpeg(int width, int height, int components, int comments = 0)
{
    Bytes out;
    out.raw({0xFF, 0xD8, 0xFF, 0xE0, 0, 4, 'J', 'F'});
    for (int i = 0; i < comments; ++i)
        out.raw({0xFF, 0xFE, 0, 2});
    out.raw({0xFF, 0xC0, 0, 8 + 3 * components, 8, height >> 8, height & 0xFF, width >> 8, width & 0xFF, components});
    for (int c = 0; c < components; ++c)
        out.raw({c + 1, 0x11, 0});
    return out.raw({0xFF, 0xDA, 0, 8, 1, 1, 0, 0, 63, 0});
}

PictureCost cost_of(const Bytes& bytes, std::uint64_t budget = kDecoderBudgetBytes)
{
    MemoryByteSource source(bytes.data);
    return picture_cost(source, budget);
}

struct Case {
    const char* name;
    Bytes bytes;
    PictureFormat format;
    bool refused;
    // What decoding the file costs, when it is not refused.
    std::uint64_t decode_bytes;
};

TEST(PictureCost, ReadsEachFormatsHeadersAndRefusesWhatLiesOrCostsTooMuch)
{
    const Case cases[] = {
        {"png rgb 8", png(100, 50, 8, 2), PictureFormat::Png, false, 100 * 50 * 3},
        {"png rgba 16", png(100, 50, 16, 6), PictureFormat::Png, false, 100 * 50 * 8},
        {"png grey and alpha, as rgba", png(100, 50, 8, 4), PictureFormat::Png, false, 100 * 50 * 4},
        {"png palette 4 bits, a byte each", png(100, 50, 4, 3), PictureFormat::Png, false, 100 * 50},
        {"png 0 wide", png(0, 10, 8, 2), PictureFormat::Png, true, 0},
        {"png 65536 x 1", png(65536, 1, 8, 2), PictureFormat::Png, true, 0},
        {"png 65535 x 65535", png(65535, 65535, 8, 2), PictureFormat::Png, true, 0},
        {"png rgb at 4 bits", png(10, 10, 4, 2), PictureFormat::Png, true, 0},
        {"png 10000 x 10000 rgb, 300 MB", png(10000, 10000, 8, 2), PictureFormat::Png, true, 0},
        {"png signature alone", Bytes().raw({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}), PictureFormat::Png, true, 0},
        {"gif, both frames and the screen", gif(16, 16, {{16, 16}, {8, 4}}), PictureFormat::Gif, false,
         (16 * 16 + 16 * 16 + 8 * 4) * 4},
        {"gif with a later frame of 65535 x 2048", gif(16, 16, {{16, 16}, {65535, 2048}}), PictureFormat::Gif, true,
         0},
        {"gif screen 0 x 0", gif(0, 0, {{16, 16}}), PictureFormat::Gif, true, 0},
        {"gif ending after its screen", Bytes().text("GIF87a").le16(4).le16(4).raw({0, 0, 0}), PictureFormat::Gif,
         false, 4 * 4 * 4},
        {"bmp top down", bmp(16, -16, 24), PictureFormat::Bmp, false, 48 * 16},
        {"bmp rows padded to 4 bytes", bmp(3, 2, 8), PictureFormat::Bmp, false, 4 * 2},
        {"bmp run-length, decoded to 32 bits", bmp(10, 10, 8, 1), PictureFormat::Bmp, false, 10 * 10 * 4},
        {"bmp core header", Bytes().text("BM").zeros(12).le32(12).le16(2).le16(2).le16(1).le16(24), PictureFormat::Bmp,
         false, 8 * 2},
        {"bmp negative width", bmp(-16, 16, 24), PictureFormat::Bmp, true, 0},
        {"bmp height INT_MIN", bmp(16, INT32_MIN, 24), PictureFormat::Bmp, true, 0},
        {"bmp 30000 x 30000", bmp(30000, 30000, 24), PictureFormat::Bmp, true, 0},
        {"bmp unknown header size", Bytes().text("BM").zeros(12).le32(7), PictureFormat::Bmp, true, 0},
        {"ico of a png, and its 32-bit copy", ico({png(32, 32, 8, 6), png(16, 16, 8, 2)}), PictureFormat::Ico, false,
         32 * 32 * 4 * 2},
        {"ico of a bitmap, its mask counted in its height", ico({bmp_header(8, 16, 32).zeros(8 * 8 * 4 + 32)}),
         PictureFormat::Ico, false, 8 * 16 * 4 + 8 * 8 * 4},
        {"ico of a bitmap with the 12-byte header, its sides in 16 bits",
         ico({Bytes().le32(12).le16(32).le16(64).le16(1).le16(32).zeros(32 * 32 * 4 + 128)}), PictureFormat::Ico, false,
         32 * 64 * 4 + 32 * 32 * 4},
        {"ico of a png bomb", ico({png(20000, 20000, 8, 0)}), PictureFormat::Ico, true, 0},
        {"ico without icons", Bytes().le16(0).le16(1).le16(0), PictureFormat::Ico, true, 0},
        {"ico whose icon lies outside the file", Bytes().le16(0).le16(1).le16(1).zeros(12).le32(5000),
         PictureFormat::Ico, true, 0},
        {"tiff, the dearest page", tiff({{16, 16, 8, 1}, {8, 8, 16, 3}}), PictureFormat::Tiff, false, 16 * 16 * 4},
        {"tiff directories that loop", tiff({{16, 16, 8, 1}, {8, 8, 8, 1}}, true), PictureFormat::Tiff, true, 0},
        {"tiff with a later page of 60000 x 60000", tiff({{16, 16, 8, 1}, {60000, 60000, 8, 1}}), PictureFormat::Tiff,
         true, 0},
        {"tiff page without a size", tiff({{0, 16, 8, 1}}), PictureFormat::Tiff, true, 0},
        {"tiff directory outside the file", Bytes().text("II").le16(42).le32(4000), PictureFormat::Tiff, true, 0},
        {"BigTIFF", Bytes().text("II").le16(43).le32(8).zeros(8), PictureFormat::Tiff, true, 0},
        {"jpeg frame", jpeg(640, 480, 3), PictureFormat::Jpeg, false, 640 * 480 * 3},
        {"jpeg frame of 0 rows", jpeg(640, 0, 3), PictureFormat::Jpeg, true, 0},
        {"jpeg frame as the last marker walked", jpeg(64, 48, 3, kMaxHeaderSegments - 2), PictureFormat::Jpeg, false,
         64 * 48 * 3},
        {"jpeg frame beyond the markers walked", jpeg(64, 48, 3, kMaxHeaderSegments - 1), PictureFormat::Jpeg, true, 0},
        {"something else", Bytes().text("not a picture at all"), PictureFormat::Unknown, false, 0},
        {"nothing", Bytes(), PictureFormat::Unknown, false, 0},
    };
    for (const Case& c : cases) {
        const PictureCost cost = cost_of(c.bytes);
        EXPECT_EQ(cost.format, c.format) << c.name;
        EXPECT_EQ(cost.refused(), c.refused) << c.name << ": " << cost.refusal;
        if (!c.refused) {
            EXPECT_EQ(cost.decode_bytes, c.decode_bytes) << c.name;
        }
    }
}

TEST(PictureCost, RefusesOnlyWhatIsOverTheBudgetItIsGiven)
{
    const Bytes picture = png(1000, 1000, 8, 6); // 4,000,000 bytes decoded
    EXPECT_FALSE(cost_of(picture, 4'000'000).refused());
    EXPECT_TRUE(cost_of(picture, 3'999'999).refused());
    const PictureCost cost = cost_of(picture, 1);
    EXPECT_EQ(cost.width, 1000u);
    EXPECT_EQ(cost.height, 1000u);
    EXPECT_NE(cost.refusal.find("MB"), std::string::npos) << cost.refusal;
}

TEST(PictureCost, WalksEveryFrameOfALongGifAndStopsAtTooMany)
{
    std::vector<std::pair<int, int>> frames(10000, {1, 1});
    EXPECT_FALSE(cost_of(gif(1, 1, frames)).refused());
    frames.emplace_back(1, 1);
    EXPECT_TRUE(cost_of(gif(1, 1, frames)).refused());
}

TEST(PictureCost, ReadsBigEndianTiff)
{
    Bytes out;
    out.text("MM").raw({0, 42, 0, 0, 0, 8});
    out.raw({0, 2});
    out.raw({1, 0, 0, 3, 0, 0, 0, 1, 0x10, 0x00, 0, 0}); // width 4096 as a SHORT
    out.raw({1, 1, 0, 4, 0, 0, 0, 1, 0, 0, 0x08, 0x00}); // height 2048 as a LONG
    out.raw({0, 0, 0, 0});
    const PictureCost cost = cost_of(out);
    EXPECT_FALSE(cost.refused()) << cost.refusal;
    EXPECT_EQ(cost.width, 4096u);
    EXPECT_EQ(cost.height, 2048u);
}

} // namespace
} // namespace imaging

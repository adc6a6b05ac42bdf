// Tests of colour management in the picture loader: JPEG, PNG and TIFF files with embedded profiles, on
// the system's display and on displays whose profile is given to the loader.
#include "imaging/colour_transform.h"
#include "platform/win32/app/win32_app.h"
#include "platform/win32/common/win32_text.h"
#include "platform/win32/decoder/win32_decoder_process.h"
#include "platform/win32/loader/win32_pictures.h"
#include "platform/win32/testing/win32_test_files.h"
#include "platform/win32/testing/win32_test_jpeg.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace platform::win32 {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using Rgb = std::array<std::uint8_t, 3>;

constexpr platform::SizeF kScreen{192, 108};
constexpr int kSide = 24;

// sRGB's primaries with red and green swapped: a file's red means green.
Bytes swapped_profile()
{
    return imaging::gamma_profile(1.0 / 2.4, imaging::Chromaticities{0.3127, 0.3290, 0.30, 0.60, 0.64, 0.33, 0.15, 0.06});
}

// ---- Files made here ----

// A kSide x kSide JPEG file of one colour (R, G, B; or C, M, Y, K inverted as Adobe stores them, for
// `cmyk`), with `profile` in its APP2 segments when it is not empty.
Bytes jpeg_file(const Bytes& colour, const Bytes& profile, bool cmyk = false)
{
    JpegCoding coding;
    coding.width = coding.height = kSide;
    coding.components = cmyk ? 4 : 3;
    coding.space = cmyk ? JCS_CMYK : JCS_RGB;
    coding.set_up = [](jpeg_compress_struct& info) { jpeg_set_quality(&info, 98, TRUE); };
    coding.profile = profile;
    coding.row = [&colour, samples = std::size_t(kSide) * std::size_t(coding.components)](int, std::uint8_t* row) {
        for (std::size_t i = 0; i < samples; ++i)
            row[i] = colour[i % colour.size()];
    };
    return compress_jpeg(coding);
}

// `data` as a zlib stream of stored (not compressed) blocks, which every inflater reads.
Bytes zlib_stored(const Bytes& data)
{
    Bytes out = {0x78, 0x01};
    std::size_t at = 0;
    do {
        const std::size_t length = std::min<std::size_t>(data.size() - at, 65535);
        out.push_back(at + length == data.size() ? 1 : 0);
        out.push_back(static_cast<std::uint8_t>(length));
        out.push_back(static_cast<std::uint8_t>(length >> 8));
        out.push_back(static_cast<std::uint8_t>(~length));
        out.push_back(static_cast<std::uint8_t>(~length >> 8));
        out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(at),
                   data.begin() + static_cast<std::ptrdiff_t>(at + length));
        at += length;
    } while (at < data.size());
    std::uint32_t a = 1, b = 0;
    for (const std::uint8_t byte : data) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    put_be32(out, (b << 16) | a);
    return out;
}

// A kSide x kSide RGB PNG file of one colour, 8 or 16 bits a channel, with `profile` in an iCCP chunk.
Bytes png_file(const std::array<std::uint16_t, 3>& colour, int bits, const Bytes& profile)
{
    Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes header;
    put_be32(header, kSide);
    put_be32(header, kSide);
    header.insert(header.end(), {static_cast<std::uint8_t>(bits), 2, 0, 0, 0});
    put_chunk(out, "IHDR", header);
    if (!profile.empty()) {
        Bytes iccp = {'t', 'e', 's', 't', 0, 0};
        const Bytes compressed = zlib_stored(profile);
        iccp.insert(iccp.end(), compressed.begin(), compressed.end());
        put_chunk(out, "iCCP", iccp);
    }
    Bytes rows;
    for (int y = 0; y < kSide; ++y) {
        rows.push_back(0);
        for (int x = 0; x < kSide; ++x)
            for (const std::uint16_t level : colour) {
                if (bits == 16)
                    rows.push_back(static_cast<std::uint8_t>(level >> 8));
                rows.push_back(static_cast<std::uint8_t>(level));
            }
    }
    put_chunk(out, "IDAT", zlib_stored(rows));
    put_chunk(out, "IEND", {});
    return out;
}

// A kSide x kSide little-endian RGB TIFF file of one colour, 8 bits a channel, with `profile` in tag 34675.
Bytes tiff_file(const Rgb& colour, const Bytes& profile)
{
    Bytes out = {'I', 'I', 42, 0, 8, 0, 0, 0};
    const auto u16 = [&](unsigned v) { out.insert(out.end(), {std::uint8_t(v), std::uint8_t(v >> 8)}); };
    const auto u32 = [&](std::uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); };
    const std::uint32_t entries = 10;
    const std::uint32_t after = 8 + 2 + entries * 12 + 4;
    const std::uint32_t bits_at = after, pixels_at = after + 8;
    const std::uint32_t pixel_bytes = kSide * kSide * 3;
    const std::uint32_t profile_at = pixels_at + pixel_bytes;
    u16(entries);
    const auto entry = [&](unsigned tag, unsigned type, std::uint32_t count, std::uint32_t value) {
        u16(tag), u16(type), u32(count), u32(value);
    };
    entry(256, 3, 1, kSide);            // width
    entry(257, 3, 1, kSide);            // height
    entry(258, 3, 3, bits_at);          // 8, 8, 8 bits
    entry(259, 3, 1, 1);                // not compressed
    entry(262, 3, 1, 2);                // RGB
    entry(273, 4, 1, pixels_at);        // the one strip
    entry(277, 3, 1, 3);                // three samples a pixel
    entry(278, 3, 1, kSide);            // rows in the strip
    entry(279, 4, 1, pixel_bytes);      // its length
    entry(34675, 7, static_cast<std::uint32_t>(profile.size()), profile_at);
    u32(0);
    u16(8), u16(8), u16(8), u16(0);
    for (int i = 0; i < kSide * kSide; ++i)
        out.insert(out.end(), colour.begin(), colour.end());
    out.insert(out.end(), profile.begin(), profile.end());
    return out;
}

// ---- What the loader shows ----

class ColourTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        s_folder = fs::path(temp) / (L"kwobl-colour-" + std::to_wstring(::GetCurrentProcessId()));
        fs::create_directories(s_folder);
    }
    static void TearDownTestSuite()
    {
        std::error_code ignored;
        fs::remove_all(s_folder, ignored);
    }

    // The R, G, B of the middle pixel of `bytes` loaded as a file by `pictures`.
    static Rgb shown(Win32Pictures& pictures, const Bytes& bytes, const wchar_t* name)
    {
        const fs::path path = s_folder / name;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        const PictureRef picture = pictures.load(narrow(path.wstring()), kScreen);
        const auto& pixels = *dynamic_cast<const Win32Picture&>(*picture).pixels();
        const std::uint8_t* p = pixels.bits() + pixels.stride() * (pixels.height() / 2) + (pixels.width() / 2) * 4;
        return Rgb{p[2], p[1], p[0]};
    }

    CoInit m_com;
    Win32Pictures m_system; // the system's display: sRGB under Wine
    static inline fs::path s_folder;
};

bool close_to(const Rgb& a, const Rgb& b, int tolerance)
{
    for (int c = 0; c < 3; ++c)
        if (std::abs(int(a[c]) - int(b[c])) > tolerance)
            return false;
    return true;
}

std::string text(const Rgb& c)
{
    return std::to_string(c[0]) + "," + std::to_string(c[1]) + "," + std::to_string(c[2]);
}

TEST_F(ColourTest, RedStoredInTheSwappedProfileShowsGreenFromEachFormat)
{
    const Bytes swapped = swapped_profile();
    const Rgb green{0, 255, 0};
    Rgb seen = shown(m_system, jpeg_file({255, 0, 0}, swapped), L"swapped.jpg");
    EXPECT_TRUE(close_to(seen, green, 12)) << "JPEG " << text(seen);
    seen = shown(m_system, png_file({255, 0, 0}, 8, swapped), L"swapped.png");
    EXPECT_TRUE(close_to(seen, green, 2)) << "PNG " << text(seen);
    seen = shown(m_system, tiff_file({255, 0, 0}, swapped), L"swapped.tif");
    EXPECT_TRUE(close_to(seen, green, 2)) << "TIFF " << text(seen);
}

TEST_F(ColourTest, UntaggedAndSrgbPicturesAreShownAsStoredOnAnSrgbDisplay)
{
    const Bytes untagged = jpeg_file({200, 40, 90}, {});
    const Bytes srgb = jpeg_file({200, 40, 90}, imaging::srgb_profile());
    Win32Pictures plain{std::span<const std::uint8_t>{}};
    const Rgb stored = shown(plain, untagged, L"untagged.jpg");
    EXPECT_EQ(shown(m_system, untagged, L"untagged2.jpg"), stored);
    EXPECT_EQ(shown(m_system, srgb, L"srgb.jpg"), stored);
    Win32Pictures given_srgb{imaging::srgb_profile()};
    EXPECT_EQ(shown(given_srgb, srgb, L"srgb2.jpg"), stored);
}

TEST_F(ColourTest, ABrokenProfileShowsThePictureAsStored)
{
    Bytes broken = swapped_profile();
    broken.resize(broken.size() / 2);
    Bytes noise(600);
    for (std::size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<std::uint8_t>(i * 29 + 3);
    const Rgb red{255, 0, 0};
    Rgb seen = shown(m_system, jpeg_file({255, 0, 0}, broken), L"broken.jpg");
    EXPECT_TRUE(close_to(seen, red, 12)) << text(seen);
    seen = shown(m_system, png_file({255, 0, 0}, 8, noise), L"noise.png");
    EXPECT_TRUE(close_to(seen, red, 0)) << text(seen);
    seen = shown(m_system, tiff_file({255, 0, 0}, noise), L"noise.tif");
    EXPECT_TRUE(close_to(seen, red, 0)) << text(seen);
}

TEST_F(ColourTest, TheDecoderProcessConvertsIntoTheDisplaysProfileToo)
{
    // The test program serves as the decoder process (DecoderChild.DISABLED_Serve).
    const DecoderCommand decoder{module_path(), L"--gtest_also_run_disabled_tests --gtest_filter=DecoderChild.DISABLED_Serve"};
    Win32Pictures swapped_display{swapped_profile(), decoder};
    ASSERT_NE(swapped_display.decoder_process(), nullptr);
    const Rgb seen = shown(swapped_display, jpeg_file({255, 0, 0}, {}), L"untagged-in-decoder.jpg");
    EXPECT_TRUE(close_to(seen, Rgb{0, 255, 0}, 12)) << text(seen);
    EXPECT_EQ(swapped_display.decoder_process()->starts(), 1) << "not decoded by the decoder process";
}

TEST_F(ColourTest, OnADisplayWithItsOwnProfilePicturesAreConvertedIntoIt)
{
    // On a display that swaps red and green, sRGB red is shown with the display's green.
    Win32Pictures swapped_display{swapped_profile()};
    Rgb seen = shown(swapped_display, jpeg_file({255, 0, 0}, imaging::srgb_profile()), L"on-swapped.jpg");
    EXPECT_TRUE(close_to(seen, Rgb{0, 255, 0}, 12)) << text(seen);
    seen = shown(swapped_display, jpeg_file({255, 0, 0}, {}), L"untagged-on-swapped.jpg");
    EXPECT_TRUE(close_to(seen, Rgb{0, 255, 0}, 12)) << text(seen);
    // A picture in the display's own colours is shown as stored.
    seen = shown(swapped_display, png_file({255, 0, 0}, 8, swapped_profile()), L"own.png");
    EXPECT_EQ(seen, (Rgb{255, 0, 0}));
}

TEST_F(ColourTest, SixteenBitPicturesAreConvertedBeforeTheyAreCut)
{
    // Linear light at 0.2 % of white: 0 in 8 bits, about 6 once converted to sRGB.
    const Bytes linear = imaging::gamma_profile(1.0, std::nullopt);
    const Rgb seen = shown(m_system, png_file({128, 128, 128}, 16, linear), L"linear16.png");
    EXPECT_TRUE(close_to(seen, Rgb{6, 6, 6}, 1)) << text(seen);
    const Rgb middle = shown(m_system, png_file({32768, 32768, 32768}, 16, linear), L"linear16-mid.png");
    EXPECT_TRUE(close_to(middle, Rgb{188, 188, 188}, 1)) << text(middle);
}

TEST_F(ColourTest, CmykJpegWithAProfileGoesThroughIt)
{
    // Without a profile, inverted cyan ink is pure cyan; a press profile makes it a duller cyan.
    const Bytes cyan = {0, 255, 255, 255};
    const Rgb plain = shown(m_system, jpeg_file(cyan, {}, true), L"cmyk.jpg");
    EXPECT_TRUE(close_to(plain, Rgb{0, 255, 255}, 12)) << text(plain);
    // A profile that is not CMYK leaves the inks converted as without one.
    EXPECT_EQ(shown(m_system, jpeg_file(cyan, swapped_profile(), true), L"cmyk-rgb-profile.jpg"), plain);
    const wchar_t* swop_path = L"Z:\\usr\\share\\color\\icc\\ghostscript\\default_cmyk.icc";
    std::ifstream swop_file(swop_path, std::ios::binary);
    if (!swop_file)
        GTEST_SKIP() << "libgs-common's CMYK profile is not reachable from Wine";
    const Bytes swop((std::istreambuf_iterator<char>(swop_file)), std::istreambuf_iterator<char>());
    const Rgb managed = shown(m_system, jpeg_file(cyan, swop, true), L"cmyk-swop.jpg");
    EXPECT_LT(managed[0], 100) << text(managed);
    EXPECT_GT(managed[2], 180) << text(managed);
    EXPECT_FALSE(close_to(managed, plain, 20)) << text(managed);
}

} // namespace
} // namespace platform::win32

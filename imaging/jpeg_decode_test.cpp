#include "imaging/jpeg_decode.h"

#include "platform/errors.h"

#include <gtest/gtest.h>

#include <cstdio> // before jpeglib.h, which uses FILE
#include <cstdint>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace imaging {
namespace {

struct Encoding {
    int width = 64;
    int height = 48;
    J_COLOR_SPACE space = JCS_RGB; // of the input: JCS_RGB, JCS_GRAYSCALE, JCS_CMYK or JCS_UNKNOWN (2 channels)
    bool progressive = false;
    int sampling = 1; // 2 gives 4:2:0 colour
    // Scans of every AC coefficient on its own, refined bit by bit from the lowest precision libjpeg's
    // encoder allows: 1 + 63 * 11 scans per component.
    bool scan_bomb = false;
};

// A JPEG picture of one colour (B, G, R for colour input; the first byte for grey; C, M, Y, K for CMYK)
// made with libjpeg's encoder.
std::vector<std::uint8_t> encode(const Encoding& how, std::vector<std::uint8_t> colour = {40, 120, 200, 0})
{
    jpeg_compress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &out, &size);
    info.image_width = static_cast<JDIMENSION>(how.width);
    info.image_height = static_cast<JDIMENSION>(how.height);
    info.in_color_space = how.space;
    info.input_components = how.space == JCS_GRAYSCALE ? 1 : how.space == JCS_CMYK ? 4 : how.space == JCS_UNKNOWN ? 2 : 3;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    info.comp_info[0].h_samp_factor = how.sampling;
    info.comp_info[0].v_samp_factor = how.sampling;
    std::vector<jpeg_scan_info> script;
    if (how.scan_bomb) {
        const int components = info.num_components;
        jpeg_scan_info dc{};
        dc.comps_in_scan = components;
        for (int c = 0; c < components; ++c)
            dc.component_index[c] = c;
        script.push_back(dc);
        for (int k = 1; k < 64; ++k)
            for (int al = 10; al >= 0; --al)
                for (int c = 0; c < components; ++c) {
                    jpeg_scan_info scan{};
                    scan.comps_in_scan = 1;
                    scan.component_index[0] = c;
                    scan.Ss = k;
                    scan.Se = k;
                    scan.Ah = al == 10 ? 0 : al + 1;
                    scan.Al = al;
                    script.push_back(scan);
                }
        info.scan_info = script.data();
        info.num_scans = static_cast<int>(script.size());
    } else if (how.progressive) {
        jpeg_simple_progression(&info);
    }
    jpeg_start_compress(&info, TRUE);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(how.width * info.input_components));
    for (std::size_t i = 0; i < row.size(); ++i)
        row[i] = colour[i % static_cast<std::size_t>(info.input_components)];
    while (info.next_scanline < info.image_height) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<std::uint8_t> bytes(out, out + size);
    std::free(out);
    return bytes;
}

// Decodes into pixels of `kept` (or the natural size when it is 0 x 0) and keeps them.
struct Decode {
    std::vector<std::uint8_t> pixels;
    int width = 0;
    int height = 0;
    bool target_made = false;

    JpegDecoded run(const std::vector<std::uint8_t>& bytes, const JpegLimits& limits, int kept_width = 0,
                    int kept_height = 0, CmykPixels cmyk = CmykPixels::Converted)
    {
        return decode_jpeg_data(
            bytes, limits,
            [&](int natural_width, int natural_height) {
                target_made = true;
                width = kept_width ? kept_width : natural_width;
                height = kept_height ? kept_height : natural_height;
                pixels.assign(static_cast<std::size_t>(width * height * 4), 0);
                return PixelTarget{pixels.data(), width, height, std::ptrdiff_t{width} * 4};
            },
            cmyk);
    }

    // The mean of one byte of every pixel.
    [[nodiscard]] double mean(int channel) const
    {
        double sum = 0;
        for (std::size_t i = static_cast<std::size_t>(channel); i < pixels.size(); i += 4)
            sum += pixels[i];
        return sum / (static_cast<double>(pixels.size()) / 4);
    }
};

TEST(JpegDecode, DecodesEachKindAtTheFewestEighthsThatCoverTheSizeKept)
{
    struct Case {
        const char* name;
        Encoding how;
        int kept_width, kept_height;
        int eighths;
        double blue, green, red; // the mean of each byte of the BGRA pixels
    };
    // Colour input is R, G, B = 40, 120, 200; grey 40; CMYK with 0 ink is white and with C = 255 cyan.
    const Case cases[] = {
        {"baseline colour, same size", {64, 48}, 64, 48, 8, 200, 120, 40},
        {"baseline colour, a quarter", {64, 48}, 16, 12, 2, 200, 120, 40},
        {"baseline colour, an eighth and below", {64, 48}, 5, 3, 1, 200, 120, 40},
        {"progressive 4:2:0, three eighths", {80, 64, JCS_RGB, true, 2}, 30, 24, 3, 200, 120, 40},
        {"grey, half", {64, 48, JCS_GRAYSCALE}, 32, 24, 4, 40, 40, 40},
        {"grey progressive, enlarged", {16, 8, JCS_GRAYSCALE, true}, 40, 20, 8, 40, 40, 40},
    };
    for (const Case& c : cases) {
        Decode decode;
        const JpegDecoded result = decode.run(encode(c.how), JpegLimits{}, c.kept_width, c.kept_height);
        ASSERT_TRUE(result.decoded) << c.name;
        EXPECT_EQ(result.natural_width, c.how.width) << c.name;
        EXPECT_EQ(result.natural_height, c.how.height) << c.name;
        EXPECT_EQ(result.eighths, c.eighths) << c.name;
        EXPECT_EQ(result.decoded_width, (c.how.width * c.eighths + 7) / 8) << c.name;
        EXPECT_NEAR(decode.mean(0), c.blue, 3) << c.name;
        EXPECT_NEAR(decode.mean(1), c.green, 3) << c.name;
        EXPECT_NEAR(decode.mean(2), c.red, 3) << c.name;
        EXPECT_EQ(decode.mean(3), 255) << c.name;
    }
}

TEST(JpegDecode, ConvertsCmykToOpaqueColour)
{
    Decode decode;
    // libjpeg's encoder writes an Adobe marker, so the inks are stored inverted (0 is full ink): full
    // cyan and nothing else is no red, full green and blue.
    const JpegDecoded result = decode.run(encode({32, 16, JCS_CMYK}, {0, 255, 255, 255}), JpegLimits{});
    ASSERT_TRUE(result.decoded);
    EXPECT_NEAR(decode.mean(2), 0, 3);
    EXPECT_NEAR(decode.mean(1), 255, 3);
    EXPECT_NEAR(decode.mean(0), 255, 3);
    EXPECT_EQ(decode.mean(3), 255);
}

TEST(JpegDecode, KeepsCmykInksAsStoredForAProfileWhenAsked)
{
    Decode decode;
    // Scaled to half: the inks are averaged like any other bytes, and stay inverted as stored.
    const JpegDecoded result =
        decode.run(encode({32, 16, JCS_CMYK}, {0, 255, 200, 100}), JpegLimits{}, 16, 8, CmykPixels::AsStored);
    ASSERT_TRUE(result.decoded);
    EXPECT_TRUE(result.cmyk);
    EXPECT_TRUE(result.cmyk_as_stored);
    EXPECT_TRUE(result.inverted_inks);
    Decode converted;
    const JpegDecoded plain = converted.run(encode({32, 16, JCS_CMYK}, {0, 255, 200, 100}), JpegLimits{});
    EXPECT_TRUE(plain.cmyk);
    EXPECT_FALSE(plain.cmyk_as_stored);
    EXPECT_NEAR(decode.mean(0), 0, 3);
    EXPECT_NEAR(decode.mean(1), 255, 3);
    EXPECT_NEAR(decode.mean(2), 200, 3);
    EXPECT_NEAR(decode.mean(3), 100, 3);
    // Colour files are not affected by the choice.
    Decode colour;
    const JpegDecoded rgb = colour.run(encode({16, 16}), JpegLimits{}, 0, 0, CmykPixels::AsStored);
    EXPECT_FALSE(rgb.cmyk);
    EXPECT_FALSE(rgb.cmyk_as_stored);
    EXPECT_NEAR(colour.mean(2), 40, 3);
}

TEST(JpegDecode, CmykWithoutAProfileConvertsInPlace)
{
    std::uint8_t pixels[8] = {0, 255, 255, 255, 255, 255, 255, 0}; // inverted: cyan; full black
    cmyk_to_bgra(pixels, pixels, 2, true);
    EXPECT_EQ(std::vector<std::uint8_t>(pixels, pixels + 8), (std::vector<std::uint8_t>{255, 255, 0, 255, 0, 0, 0, 255}));
}

TEST(JpegDecode, LeavesColourSpacesItCannotConvertToAnotherDecoder)
{
    Decode decode;
    const JpegDecoded result = decode.run(encode({16, 16, JCS_UNKNOWN}, {10, 20}), JpegLimits{});
    EXPECT_FALSE(result.decoded);
    EXPECT_FALSE(decode.target_made);
}

TEST(JpegDecode, RefusesWhatIsOverItsLimitsBeforeMakingThePixels)
{
    const std::vector<std::uint8_t> progressive = encode({256, 256, JCS_RGB, true, 2}); // 4:2:0: 196,608 bytes
    const std::vector<std::uint8_t> baseline = encode({256, 256, JCS_RGB, false, 2});
    const std::vector<std::uint8_t> bomb = encode({32, 32, JCS_GRAYSCALE, false, 1, true}); // 694 scans
    JpegLimits small_side;
    small_side.max_side = 255;
    JpegLimits few_pixels;
    few_pixels.max_pixels = 256 * 256 - 1;
    JpegLimits little_memory;
    little_memory.max_memory = 196'608 - 1;
    JpegLimits enough_memory;
    enough_memory.max_memory = 196'608 + 64 * 1024; // with room for libjpeg's other buffers
    JpegLimits fifty_scans;
    fifty_scans.max_scans = 50;
    fifty_scans.min_scans = 50;
    JpegLimits all_scans;
    all_scans.max_scans = 694;
    struct Case {
        const char* name;
        const std::vector<std::uint8_t>* bytes;
        const JpegLimits* limits;
        bool refused;
        bool target_made;
    };
    const Case cases[] = {
        {"side over the limit", &baseline, &small_side, true, false},
        {"pixels over the limit", &baseline, &few_pixels, true, false},
        {"progressive coefficients over the memory", &progressive, &little_memory, true, false},
        {"progressive coefficients within the memory", &progressive, &enough_memory, false, true},
        {"baseline keeps no coefficients", &baseline, &little_memory, false, true},
        {"scans over the limit", &bomb, &fifty_scans, true, true},
        {"scans within the limit", &bomb, &all_scans, false, true},
    };
    for (const Case& c : cases) {
        Decode decode;
        bool refused = false;
        try {
            EXPECT_TRUE(decode.run(*c.bytes, *c.limits, 16, 16).decoded) << c.name;
        } catch (const platform::RuntimeError&) {
            refused = true;
        }
        EXPECT_EQ(refused, c.refused) << c.name;
        EXPECT_EQ(decode.target_made, c.target_made) << c.name;
    }
}

TEST(JpegDecode, FailsOnBrokenData)
{
    const std::vector<std::uint8_t> whole = encode({64, 48});
    const std::vector<std::vector<std::uint8_t>> broken = {
        {},
        std::vector<std::uint8_t>(100, 0),
        std::vector<std::uint8_t>(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(whole.size() / 2)),
        std::vector<std::uint8_t>(whole.begin(), whole.begin() + 20),
    };
    for (std::size_t i = 0; i < broken.size(); ++i) {
        Decode decode;
        EXPECT_THROW((void)decode.run(broken[i], JpegLimits{}), platform::RuntimeError) << "case " << i;
    }
}

TEST(JpegDecode, CountsCoefficientsAsLibjpegKeepsThem)
{
    const int h420[] = {2, 1, 1};
    const int h444[] = {1, 1, 1};
    const int grey[] = {1};
    // 8000 x 6000 at 4:2:0: 1000 x 750 luma blocks and twice 500 x 375 chroma blocks, 128 bytes each.
    EXPECT_EQ(jpeg_coefficient_bytes(8000, 6000, h420, h420), 144'000'000u);
    // 65500 x 2048 at 4:4:4: 8188 x 256 blocks for each of three components.
    EXPECT_EQ(jpeg_coefficient_bytes(65500, 2048, h444, h444), 3u * 8188 * 256 * 128);
    EXPECT_EQ(jpeg_coefficient_bytes(16384, 8192, grey, grey), 2048u * 1024 * 128);
    // 17 x 9 at 4:2:0: luma 3 x 2 blocks rounded up to 4 x 2; chroma 9 x 5 samples, 2 x 1 blocks.
    EXPECT_EQ(jpeg_coefficient_bytes(17, 9, h420, h420), (8u + 2 + 2) * 128);
}

TEST(JpegDecode, AllowsFewerScansTheLargerThePicture)
{
    JpegLimits limits;
    limits.max_scans = 100;
    limits.min_scans = 24;
    limits.max_scan_blocks = 48'000'000;
    EXPECT_EQ(jpeg_max_scans(limits, 100'000), 100);
    EXPECT_EQ(jpeg_max_scans(limits, 1'000'000), 48);
    EXPECT_EQ(jpeg_max_scans(limits, 50'000'000), 24);
    EXPECT_EQ(jpeg_max_scans(limits, 0), 100);
}

} // namespace
} // namespace imaging

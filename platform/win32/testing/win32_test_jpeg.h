// JPEG files for the backend's tests, coded by libjpeg-turbo: synthetic photographs in each kind of
// JPEG coding the loader meets, and files of any layout (one colour with a profile, say).
#pragma once

#include "platform/win32/testing/win32_test_files.h"

#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE
#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

namespace platform::win32 {

// Pixels as R, G, B bytes, row after row.
struct RgbImage {
    int width = 0;
    int height = 0;
    TestBytes bytes;
};

// A synthetic photograph: smooth colour waves with a seeded grain on top, so that the coders see
// gradients and fine detail as in a real one.
inline RgbImage photograph(int width, int height)
{
    RgbImage image{width, height, TestBytes(std::size_t(width) * std::size_t(height) * 3)};
    std::uint32_t seed = 12345;
    std::uint8_t* p = image.bytes.data();
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double u = double(x) / width;
            const double v = double(y) / height;
            const double waves[3] = {std::sin(6.0 * u + 2.0 * v), std::cos(4.0 * v - 3.0 * u), std::sin(5.0 * (u + v))};
            for (double wave : waves) {
                seed = seed * 1103515245u + 12345u;
                const int grain = int((seed >> 16) % 17) - 8;
                *p++ = std::uint8_t(std::clamp(int(128 + 100 * wave) + grain, 0, 255));
            }
        }
    }
    return image;
}

enum class JpegKind { Baseline, Progressive, Arithmetic, Gray, Cmyk };

// What a test JPEG file is made of: its size, its samples per pixel in `space`, how the coder is set
// up after its defaults (quality, progression...), an ICC profile for its APP2 segments, and each row's
// samples.
struct JpegCoding {
    int width = 0;
    int height = 0;
    int components = 3;
    J_COLOR_SPACE space = JCS_RGB;
    std::function<void(jpeg_compress_struct&)> set_up;
    TestBytes profile;
    std::function<void(int y, std::uint8_t* samples)> row;
};

struct JpegErrors {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

// The file that libjpeg-turbo codes as `coding` says; empty when it fails.
inline TestBytes compress_jpeg(const JpegCoding& coding)
{
    jpeg_compress_struct info{};
    JpegErrors errors{};
    info.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = [](j_common_ptr common) {
        std::longjmp(reinterpret_cast<JpegErrors*>(common->err)->jump, 1);
    };
    unsigned char* out = nullptr;
    unsigned long size = 0;
    TestBytes row(std::size_t(coding.width) * std::size_t(coding.components));
    if (setjmp(errors.jump)) {
        jpeg_destroy_compress(&info);
        std::free(out);
        return {};
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &out, &size);
    info.image_width = JDIMENSION(coding.width);
    info.image_height = JDIMENSION(coding.height);
    info.input_components = coding.components;
    info.in_color_space = coding.space;
    jpeg_set_defaults(&info);
    if (coding.set_up)
        coding.set_up(info);
    jpeg_start_compress(&info, TRUE);
    if (!coding.profile.empty())
        jpeg_write_icc_profile(&info, coding.profile.data(), static_cast<unsigned>(coding.profile.size()));
    while (info.next_scanline < info.image_height) {
        coding.row(int(info.next_scanline), row.data());
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    TestBytes bytes(out, out + size);
    std::free(out);
    return bytes;
}

// The picture coded as a JPEG file of the given kind at quality 90; empty when libjpeg-turbo fails.
// CMYK files are written as Adobe's inverted YCCK, the way photograph tools write them.
inline TestBytes encode_jpeg(const RgbImage& image, JpegKind kind)
{
    JpegCoding coding;
    coding.width = image.width;
    coding.height = image.height;
    coding.components = kind == JpegKind::Gray ? 1 : kind == JpegKind::Cmyk ? 4 : 3;
    coding.space = kind == JpegKind::Gray ? JCS_GRAYSCALE : kind == JpegKind::Cmyk ? JCS_CMYK : JCS_RGB;
    coding.set_up = [kind](jpeg_compress_struct& info) {
        jpeg_set_quality(&info, 90, TRUE);
        if (kind == JpegKind::Cmyk)
            jpeg_set_colorspace(&info, JCS_YCCK);
        if (kind == JpegKind::Progressive)
            jpeg_simple_progression(&info);
        info.arith_code = kind == JpegKind::Arithmetic ? TRUE : FALSE;
    };
    coding.row = [&image, kind](int y, std::uint8_t* row) {
        const std::uint8_t* rgb = image.bytes.data() + std::size_t(y) * image.width * 3;
        for (int x = 0; x < image.width; ++x) {
            const std::uint8_t r = rgb[x * 3], g = rgb[x * 3 + 1], b = rgb[x * 3 + 2];
            if (kind == JpegKind::Gray) {
                row[x] = std::uint8_t((r * 77 + g * 150 + b * 29) >> 8);
            } else if (kind == JpegKind::Cmyk) {
                // Inverted: 255 - cyan is the red level; no black ink.
                row[x * 4] = r;
                row[x * 4 + 1] = g;
                row[x * 4 + 2] = b;
                row[x * 4 + 3] = 255;
            } else {
                std::memcpy(&row[x * 3], rgb + x * 3, 3);
            }
        }
    };
    return compress_jpeg(coding);
}

} // namespace platform::win32

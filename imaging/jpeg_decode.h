// JPEG data decoded with libjpeg-turbo at the fewest eighths of its size that still cover the size kept,
// its rows scaled into the caller's pixels as they come, within a bound on time and memory.
#pragma once

#include "imaging/picture_budget.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

namespace imaging {

// Where decoded pixels go: height rows of width premultiplied BGRA pixels, `stride` bytes apart.
struct PixelTarget {
    std::uint8_t* bits = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0;
};

// What decode_jpeg_data made of the data.
struct JpegDecoded {
    // False when libjpeg-turbo lacks the coding the data needs (12-bit samples, lossless coding, an
    // unknown colour space): another decoder may know it. Nothing was written to a target then.
    bool decoded = false;
    // The frame's own size, the scale it was decoded at in eighths, and the size that gave.
    int natural_width = 0;
    int natural_height = 0;
    int eighths = 0;
    int decoded_width = 0;
    int decoded_height = 0;
    // True when the file's pixels are CMYK or YCCK, whatever they were written as.
    bool cmyk = false;
    // True when the pixels written are CMYK inks as stored (CmykPixels::AsStored and a CMYK or YCCK
    // file), with `inverted_inks` when the file stores them inverted (Adobe files: 255 is no ink).
    bool cmyk_as_stored = false;
    bool inverted_inks = false;
};

// What a CMYK or YCCK file's pixels become: BGRA converted here, or the inks as stored (C, M, Y, K in
// the four bytes of each pixel, scaled like any other) for a colour profile to convert.
enum class CmykPixels : std::uint8_t { Converted, AsStored };

// Limits of one decode.
struct JpegLimits {
    // Frames wider or higher than this, or with more pixels than max_pixels, are refused unread.
    std::uint32_t max_side = kMaxPictureSide;
    std::uint64_t max_pixels = kMaxPicturePixels;
    // The most memory libjpeg may take for the decode. A file whose scans are not interleaved (every
    // progressive file) keeps all its coefficients, 128 bytes per 8 x 8 block of each component; one
    // that needs more than this is refused before anything is allocated for it.
    std::uint64_t max_memory = kDecoderBudgetBytes;
    // A progressive file with more scans than this is refused when the next one starts. Ordinary
    // files have about ten; each scan costs a pass over every block of the picture, so a large picture
    // may have fewer: no more than max_scan_blocks / its blocks (of all components), but at least
    // min_scans.
    int max_scans = kMaxJpegScans;
    int min_scans = kMinJpegScans;
    std::uint64_t max_scan_blocks = kMaxJpegScanBlocks;
};

// The most scans a file with separate scans and `blocks` blocks (8 x 8 coefficients of all components)
// may have under `limits`.
[[nodiscard]] int jpeg_max_scans(const JpegLimits& limits, std::uint64_t blocks);

// The memory libjpeg keeps for the coefficients of all components of a frame of width x height with
// those sampling factors when its scans are not interleaved: each component's blocks, rounded up to
// whole units of its sampling, at 64 coefficients of 2 bytes. `h` and `v` hold one factor per
// component (1 to 4).
[[nodiscard]] std::uint64_t jpeg_coefficient_bytes(std::uint32_t width, std::uint32_t height,
                                                   std::span<const int> h, std::span<const int> v);

// Decodes the JPEG data `bytes` (baseline or progressive; greyscale, colour or CMYK). Once the header
// is read, `make_target` is called with the natural size and gives the pixels to fill, of any size
// (normally the picture's fit inside the screen); the data is decoded at the smallest scale M/8 that
// still covers that size and its rows are scaled into it as they come, so neither the full-size nor
// the reduced decode is ever held whole. Colour goes straight to BGRA with an opaque alpha byte; CMYK
// is converted (Adobe files store the inks inverted).
//
// Throws platform::RuntimeError when the data is truncated or corrupt (libjpeg's warnings of made-up data count
// as errors), claims a size beyond `limits`, would need more memory than they allow or has too many
// scans. Exceptions from `make_target` pass through.
[[nodiscard]] JpegDecoded decode_jpeg_data(std::span<const std::uint8_t> bytes, const JpegLimits& limits,
                                           const std::function<PixelTarget(int width, int height)>& make_target,
                                           CmykPixels cmyk_pixels = CmykPixels::Converted);

// Converts `count` CMYK pixels at `in` to opaque BGRA at `out` (which may be `in`) without a profile:
// each colour is its ink's complement times black's. `inverted` for inks stored inverted.
void cmyk_to_bgra(const std::uint8_t* in, std::uint8_t* out, int count, bool inverted);

} // namespace imaging

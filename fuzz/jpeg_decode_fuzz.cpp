// Fuzz target: JPEG data through the decoder as the loader uses it (memory source, scale choice,
// rows scaled into the pixels kept, CMYK conversion), with its limits on size, memory and scans.
//
// The last two bytes of the input pick the size the pixels are kept at (1 x 1 to 96 x 64), so that
// every scale from 1/8 to 8/8 and both enlarging and shrinking are reached.
#include "platform/errors.h"
#include "imaging/jpeg_decode.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 3)
        return 0;
    const int bound_width = 1 + data[size - 1] % 96;
    const int bound_height = 1 + data[size - 2] % 64;
    imaging::JpegLimits limits;
    // Smaller than the program's, so that each run stays quick; the checks are the same.
    limits.max_memory = std::uint64_t{24} << 20;
    limits.max_scans = 40;
    std::vector<std::uint8_t> pixels;
    int target_width = 0;
    int target_height = 0;
    try {
        const imaging::JpegDecoded decoded = imaging::decode_jpeg_data(
            std::span<const std::uint8_t>(data, size - 2), limits, [&](int width, int height) {
                // The picture's fit inside the bound, as the loader keeps it.
                target_width = width;
                target_height = height;
                if (width > bound_width || height > bound_height) {
                    const double scale = std::min(double(bound_width) / width, double(bound_height) / height);
                    target_width = std::max(1, int(width * scale));
                    target_height = std::max(1, int(height * scale));
                }
                pixels.assign(std::size_t(target_width) * target_height * 4, 0);
                return imaging::PixelTarget{pixels.data(), target_width, target_height,
                                             std::ptrdiff_t{target_width} * 4};
            });
        if (decoded.decoded) {
            // Every pixel comes out opaque: a missed row or column would stay 0.
            for (std::size_t i = 3; i < pixels.size(); i += 4)
                if (pixels[i] != 255)
                    std::abort();
            if (decoded.natural_width < 1 || decoded.eighths < 1 || decoded.eighths > 8)
                std::abort();
        }
    } catch (const platform::RuntimeError&) {
        // Corrupt, truncated or over the limits: the loader shows a black interval.
    }
    return 0;
}

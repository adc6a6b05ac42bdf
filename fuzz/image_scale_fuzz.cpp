// Fuzz target: the scaler with random sizes, strides and strips, fed rows of each layout through
// convert_row, and the whole-picture scale_image beside it.
//
// The first bytes of the input pick the sizes (1 to 128 each way), the target's padding, the layout
// and the strip heights; the rest is the pixel data, repeated as far as needed.
#include "platform/errors.h"
#include "imaging/image_scale.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

struct Input {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;

    int next(int modulo)
    {
        const int value = at < size ? data[at] | (at + 1 < size ? data[at + 1] << 8 : 0) : 0;
        at += 2;
        return value % modulo;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Input in{data, size};
    const int source_width = 1 + in.next(128);
    const int source_height = 1 + in.next(128);
    const int target_width = 1 + in.next(128);
    const int target_height = 1 + in.next(128);
    const int padding = in.next(16) * 4;
    const auto layout = static_cast<imaging::RowLayout>(in.next(5));
    const std::uint8_t* pixels = data + std::min(in.at, size);
    const std::size_t pixel_bytes = size - std::min(in.at, size);

    const int in_bytes = imaging::bytes_per_pixel(layout);
    std::vector<std::uint8_t> source(std::size_t(source_width) * source_height * in_bytes);
    for (std::size_t i = 0; i < source.size(); ++i)
        source[i] = pixel_bytes ? pixels[i % pixel_bytes] : std::uint8_t(i);
    std::vector<std::uint8_t> converted(std::size_t(source_width) * source_height * 4);
    for (int y = 0; y < source_height; ++y)
        imaging::convert_row(layout, source.data() + std::size_t(y) * source_width * in_bytes,
                              converted.data() + std::size_t(y) * source_width * 4, source_width);

    const std::ptrdiff_t stride = std::ptrdiff_t{target_width} * 4 + padding;
    // The target sits between guard bytes that must stay untouched.
    constexpr std::uint8_t kGuard = 0xA5;
    std::vector<std::uint8_t> target(std::size_t(stride) * target_height + 64, kGuard);
    std::uint8_t* bits = target.data() + 32;
    imaging::ImageScaler scaler(source_width, source_height, bits, target_width, target_height, stride);
    for (int y = 0; y < source_height;) {
        const int strip = std::min(1 + in.next(40), source_height - y);
        scaler.push_rows(converted.data() + std::size_t(y) * source_width * 4, std::ptrdiff_t{source_width} * 4,
                         strip);
        y += strip;
    }
    if (scaler.rows_pushed() != source_height || scaler.rows_written() != target_height)
        std::abort();
    // One row too many is refused.
    try {
        scaler.push_rows(converted.data(), std::ptrdiff_t{source_width} * 4, 1);
        std::abort();
    } catch (const platform::RuntimeError&) {
    }
    for (int i = 0; i < 32; ++i)
        if (target[std::size_t(i)] != kGuard || target[target.size() - 1 - std::size_t(i)] != kGuard)
            std::abort();
    for (int y = 0; y < target_height; ++y)
        for (int p = 0; p < padding; ++p)
            if (bits[stride * y + std::ptrdiff_t{target_width} * 4 + p] != kGuard)
                std::abort();

    // The whole-picture scale gives the same pixels as the strips.
    std::vector<std::uint8_t> whole(std::size_t(stride) * target_height, kGuard);
    imaging::scale_image(converted.data(), source_width, source_height, std::ptrdiff_t{source_width} * 4,
                          whole.data(), target_width, target_height, stride);
    for (int y = 0; y < target_height; ++y)
        if (!std::equal(bits + stride * y, bits + stride * y + std::ptrdiff_t{target_width} * 4,
                        whole.data() + stride * y))
            std::abort();
    return 0;
}

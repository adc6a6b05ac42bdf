// Fuzz target: the EXIF orientation reader, on the input as an EXIF block, as JPEG data and as a
// whole file of any format read through its offset reader.
#include "platform/exif.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

namespace {

void check(platform::Orientation orientation)
{
    const int value = static_cast<int>(orientation);
    if (value < 1 || value > 8)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> bytes(data, size);
    check(platform::exif_orientation(bytes));
    check(platform::jpeg_exif_orientation(bytes));
    check(platform::file_orientation([&](std::uint64_t offset, std::span<std::uint8_t> out) -> std::size_t {
        if (offset >= size)
            return 0;
        const std::size_t count = std::min<std::size_t>(out.size(), size - offset);
        std::memcpy(out.data(), data + offset, count);
        return count;
    }));
    return 0;
}

// Fuzz target: the EXIF orientation reader, on the input as an EXIF block, as JPEG data and as a
// whole file of any format read through a byte source.
#include "platform/exif.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
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
    platform::MemoryByteSource file(bytes);
    check(platform::file_orientation(file));
    return 0;
}

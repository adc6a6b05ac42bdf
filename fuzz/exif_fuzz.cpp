// Fuzz target: the EXIF orientation reader, on the input as an EXIF block, as JPEG data and as a
// whole file of any format read through a byte source.
#include "imaging/exif.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

namespace {

void check(imaging::Orientation orientation)
{
    const int value = static_cast<int>(orientation);
    if (value < 1 || value > 8)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> bytes(data, size);
    check(imaging::exif_orientation(bytes));
    check(imaging::jpeg_exif_orientation(bytes));
    imaging::MemoryByteSource file(bytes);
    check(imaging::file_orientation(file));
    return 0;
}

// Fuzz target: the header checks that decide what a picture file costs before any decoder sees it.
#include "imaging/picture_limits.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    imaging::MemoryByteSource source(std::span<const std::uint8_t>(data, size));
    constexpr std::uint64_t kBudget = std::uint64_t{64} << 20;
    const imaging::PictureCost cost = imaging::picture_cost(source, kBudget);
    // What is accepted fits the budget and the size limits; what is known and accepted has a size.
    if (!cost.refused()) {
        if (cost.decode_bytes > kBudget || cost.width > imaging::kMaxPictureSide ||
            cost.height > imaging::kMaxPictureSide)
            std::abort();
        if (cost.format == imaging::PictureFormat::Unknown && (cost.width != 0 || cost.decode_bytes != 0))
            std::abort();
    }
    return 0;
}

// Pictures turned and mirrored upright, as the orientation their camera wrote says.
#pragma once

#include "imaging/exif.h"

#include <cstddef>
#include <cstdint>

namespace imaging {

// Width and height of a picture stored as width x height once it is shown as `orientation` says.
struct OrientedSize {
    int width = 0;
    int height = 0;
};
[[nodiscard]] constexpr OrientedSize oriented_size(int width, int height, Orientation orientation)
{
    return swaps_sides(orientation) ? OrientedSize{height, width} : OrientedSize{width, height};
}

// Copies the source's width x height 4-byte pixels into `target`, turned and mirrored as `orientation` says;
// the target holds oriented_size(width, height, orientation) pixels, `target_stride` bytes a row. The two
// must not overlap.
void orient_image(Orientation orientation, const std::uint8_t* source, int width, int height,
                  std::ptrdiff_t source_stride, std::uint8_t* target, std::ptrdiff_t target_stride);

} // namespace imaging

// Pictures turned and mirrored upright, as the orientation their camera wrote says.
#include "imaging/image_orient.h"

#include <cstring>

namespace imaging {

void orient_image(Orientation orientation, const std::uint8_t* source, int width, int height,
                  std::ptrdiff_t source_stride, std::uint8_t* target, std::ptrdiff_t target_stride)
{
    const OrientedSize out = oriented_size(width, height, orientation);
    // Each target pixel (x, y) comes from the source pixel at origin + x * step_x + y * step_y, in bytes.
    const std::ptrdiff_t right = 4;
    const std::ptrdiff_t down = source_stride;
    const std::ptrdiff_t last_column = std::ptrdiff_t{width - 1} * right;
    const std::ptrdiff_t last_row = std::ptrdiff_t{height - 1} * down;
    std::ptrdiff_t origin = 0;
    std::ptrdiff_t step_x = right;
    std::ptrdiff_t step_y = down;
    switch (orientation) {
    case Orientation::Normal:
        for (int y = 0; y < height; ++y)
            std::memcpy(target + y * target_stride, source + y * source_stride, std::size_t(width) * 4);
        return;
    case Orientation::MirrorLeftRight: origin = last_column; step_x = -right; step_y = down; break;
    case Orientation::Turn180: origin = last_row + last_column; step_x = -right; step_y = -down; break;
    case Orientation::MirrorTopBottom: origin = last_row; step_x = right; step_y = -down; break;
    case Orientation::Transpose: origin = 0; step_x = down; step_y = right; break;
    case Orientation::TurnRight: origin = last_row; step_x = -down; step_y = right; break;
    case Orientation::Transverse: origin = last_row + last_column; step_x = -down; step_y = -right; break;
    case Orientation::TurnLeft: origin = last_column; step_x = down; step_y = -right; break;
    }
    for (int y = 0; y < out.height; ++y) {
        const std::uint8_t* from = source + origin + std::ptrdiff_t{y} * step_y;
        std::uint8_t* to = target + std::ptrdiff_t{y} * target_stride;
        for (int x = 0; x < out.width; ++x, from += step_x, to += 4)
            std::memcpy(to, from, 4);
    }
}

} // namespace imaging

// Rectangles in whole device pixels, and the rounding that takes a rectangle in scale units to them.
#include "platform/win32/common/win32_pixel_rect.h"

#include <algorithm>
#include <cmath>

namespace platform::win32 {

long round_to_pixel(double value)
{
    if (!std::isfinite(value))
        return 0;
    const double clamped = std::clamp(value, -1.0e9, 1.0e9);
    return static_cast<long>(std::floor(clamped + 0.5));
}

PixelRect pixel_rect(double left, double top, double width, double height, double pixels_per_unit)
{
    PixelRect r;
    r.left = round_to_pixel(left * pixels_per_unit);
    r.top = round_to_pixel(top * pixels_per_unit);
    r.right = std::max(r.left, round_to_pixel((left + width) * pixels_per_unit));
    r.bottom = std::max(r.top, round_to_pixel((top + height) * pixels_per_unit));
    return r;
}

} // namespace platform::win32

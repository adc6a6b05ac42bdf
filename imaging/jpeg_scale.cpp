// The reduced scale a JPEG picture is decoded at: the fewest eighths of its size that still cover the size kept.
#include "imaging/jpeg_scale.h"

#include <cstdint>

namespace imaging {

int jpeg_scaled_side(int side, int eighths)
{
    if (side < 1 || eighths < 1)
        return 0;
    // As libjpeg's output size: the side times the scale, rounded up.
    return static_cast<int>((std::int64_t{side} * eighths + 7) / 8);
}

int jpeg_scale_eighths(int width, int height, int kept_width, int kept_height)
{
    for (int eighths = 1; eighths < 8; ++eighths) {
        const int w = jpeg_scaled_side(width, eighths);
        const int h = jpeg_scaled_side(height, eighths);
        if (w >= kept_width && h >= kept_height)
            return w == width && h == height ? 8 : eighths;
    }
    return 8;
}

} // namespace imaging

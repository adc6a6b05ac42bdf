// The reduced scale a JPEG picture is decoded at: the fewest eighths of its size that still cover the size kept.
#pragma once

namespace imaging {

// The length of a side of `side` pixels of a JPEG picture decoded at eighths / 8 of its size. The
// decoder rounds a partial pixel up, so the result is at least 1 for a side of at least 1.
[[nodiscard]] int jpeg_scaled_side(int side, int eighths);

// The number of eighths, 1 to 8, to decode a JPEG picture of width x height at so that it is at least
// kept_width x kept_height and no larger than it needs to be: the smallest such number. A scale that
// saves nothing gives 8: for a picture only a few pixels wide, a reduced decode can give as many pixels
// as the full one, only made from fewer coefficients. 8 also when even the full size does not cover the
// size kept.
[[nodiscard]] int jpeg_scale_eighths(int width, int height, int kept_width, int kept_height);

} // namespace imaging

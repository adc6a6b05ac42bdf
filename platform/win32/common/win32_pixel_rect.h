// Rectangles in whole device pixels, and the rounding that takes a rectangle in scale units to them.
#pragma once

namespace platform::win32 {

// Pixel edges of a rectangle given in a window's scale units: each edge is rounded to the nearest
// pixel, halves upwards, so that adjacent rectangles meet without a gap or an overlap.
struct PixelRect {
    long left = 0;
    long top = 0;
    long right = 0;
    long bottom = 0;
    [[nodiscard]] long width() const { return right - left; }
    [[nodiscard]] long height() const { return bottom - top; }
    [[nodiscard]] bool contains(long x, long y) const { return x >= left && x < right && y >= top && y < bottom; }
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};
[[nodiscard]] long round_to_pixel(double value);
[[nodiscard]] PixelRect pixel_rect(double left, double top, double width, double height, double pixels_per_unit);

} // namespace platform::win32

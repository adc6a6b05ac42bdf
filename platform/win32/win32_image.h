// The windowless picture element: its geometry, its picture and the prepared image it is painted from.
#pragma once

#include "platform/platform.h"
#include "platform/win32/win32_pictures.h"

#include <windows.h>

#include <optional>

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

// An Image element. Geometry is kept exactly as written (single precision, in the window's scale
// units) and only rounded when drawn.
class ImageElement {
public:
    float left = 0;
    float top = 0;
    float width = 0;
    float height = 0;
    bool visible = true;
    bool stretch = false;

    // Holds `picture`; with stretch off the element takes its natural size.
    void set_picture(PictureRef picture, double pixels_per_unit);
    [[nodiscard]] const PictureRef& picture() const { return m_picture; }

    // The element's rectangle in device pixels.
    [[nodiscard]] PixelRect rect(double pixels_per_unit) const;

    // Makes the image that paint() copies ready for the current picture and size, and returns the
    // part of the window it will cover; nothing when there is nothing to draw.
    [[nodiscard]] std::optional<PixelRect> prepare(double pixels_per_unit);
    // Copies the prepared image to `dc`; call after prepare().
    void paint(HDC dc) const;

private:
    PictureRef m_picture;
    PreparedImage m_prepared;
    unsigned m_generation = 0;               // counts the pictures assigned
    unsigned m_prepared_for = 0;             // the generation m_prepared was made from; 0: none
    PixelRect m_cover;                       // where m_prepared is copied to
};

} // namespace platform::win32

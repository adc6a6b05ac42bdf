// Picture sequence: the next file, its number, and which way a picture fits the screen.
#include "slideshow/picture_sequence.h"

#include "platform/checked.h"

#include <cstdio>

namespace slideshow {

using platform::checked_divide;
using platform::to_single;

Placement choose_placement(float sw, float sh, float w, float h)
{
    if (sw > w && sh > h)
        return Placement::NaturalSize;
    // Both aspects are rounded to single precision before they are compared, so that a
    // picture with the window's own aspect always takes the same, predictable branch.
    const float picture_aspect = to_single(checked_divide(w, h));
    const float window_aspect = to_single(checked_divide(sw, sh));
    if (w > h)
        return picture_aspect > window_aspect ? Placement::FullWidth : Placement::FullHeight;
    return window_aspect > picture_aspect ? Placement::FullHeight : Placement::FullWidth;
}

std::string picture_path(std::string_view folder, std::int16_t number)
{
    std::string path(folder);
    path += path.ends_with('\\') ? "KWOBL" : "\\KWOBL";
    char digits[8];
    std::snprintf(digits, sizeof digits, "%03d", static_cast<int>(number));
    path += digits;
    path += ".DAT";
    return path;
}

std::int16_t next_picture_number(std::int16_t current, std::int16_t count)
{
    const std::int16_t next = platform::checked_add(current, 1);
    return next > count ? std::int16_t{1} : next;
}

} // namespace slideshow

// Large, clear lettering for the demo pictures: a small stroke font and the number label.
#pragma once

#include "image.h"

#include <string_view>
#include <vector>

namespace demo {

struct Point {
    double x = 0;
    double y = 0;
};

// A glyph is a few polylines in a box one unit high and 0.6 wide, y growing downwards.
using Polyline = std::vector<Point>;
using Glyph = std::vector<Polyline>;

// The glyph of a character, or nullptr when the font has none. The font covers the digits,
// the capitals of the format names (B E F G I J M N P T), "x" and the space.
const Glyph* glyph(char c);

// Width of `text` drawn `height` pixels high, from the first glyph's left to the last one's right.
double text_width(std::string_view text, double height);

// Draws `text` with its top-left corner at (left, top): strokes of `fill`, anti-aliased, inside a
// soft dark halo that keeps them legible on any background.
void draw_text(Image& image, std::string_view text, double left, double top, double height, Rgb fill);

// The label every demo picture carries in its lower right corner: its three-digit number, large,
// and a smaller caption (format and size) beneath, on a translucent plate.
void draw_label(Image& image, std::string_view number, std::string_view caption);

} // namespace demo

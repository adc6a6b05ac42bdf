// Where a picture goes on a screen: which way it is placed, and its rectangle in single precision.
//
// The slideshow places each picture with these rules, the picture loader decodes and scales the pixels
// straight to the rectangle they give for the box the slideshow asks with, and the benchmark prepares
// the image of that size: one home for the rule, below both the core and the platform, so that the three
// never disagree.
#pragma once

namespace imaging {

// a / b in double precision; throws RuntimeError when b is zero or the result is not finite.
double checked_divide(double a, double b);

// x rounded to the nearest single-precision value; throws RuntimeError on NaN or when x is finite but
// outside the single-precision range.
float to_single(double x);

// How a picture is placed on the screen.
enum class Placement {
    NaturalSize, // smaller than the screen both ways: unscaled, centred
    FullWidth,   // scaled to the screen's width, centred vertically
    FullHeight,  // scaled to the screen's height, centred horizontally
};

// The placement of a picture of natural size w x h on a screen of inside size sw x sh.
// A picture exactly as wide or as tall as the screen is scaled, never shown at natural size.
// Throws RuntimeError when an aspect cannot be computed (a zero height) or overflows.
Placement choose_placement(float sw, float sh, float w, float h);

// A placed picture: its edges and size on the screen, in the screen's units, each one the single-
// precision value that is written for it.
struct PictureFit {
    Placement placement = Placement::NaturalSize;
    float left = 0;
    float top = 0;
    float width = 0;
    float height = 0;
};

// Where a picture of natural size w x h goes on a screen of sw x sh: at its natural size, centred,
// when it is smaller both ways; otherwise scaled without distortion to the screen's full width or
// full height (choose_placement) and centred the other way. Every value is worked out in double
// precision and rounded to single precision; a scaled picture is centred on its size as rounded.
// Throws RuntimeError on a zero height and where an aspect or a size overflows single precision.
[[nodiscard]] PictureFit fit_picture(float sw, float sh, float w, float h);

// The same for a picture whose aspect w / h the caller has already worked out in double precision.
[[nodiscard]] PictureFit fit_picture(float sw, float sh, float w, float h, double aspect);

// The offset that centres `size` in `room`: (room - size) / 2, rounded to single precision.
// Throws RuntimeError when the result is beyond single precision.
[[nodiscard]] float centred(double room, double size);

} // namespace imaging

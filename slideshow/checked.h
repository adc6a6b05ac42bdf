// Checked arithmetic: 16-bit integers and single-precision results that fail loudly.
#pragma once

#include <cstdint>

namespace slideshow {

// a + b in 16 bits; throws RuntimeError on overflow.
std::int16_t checked_add(std::int16_t a, std::int16_t b);

// a / b in double precision; throws RuntimeError when b is zero or the result is not finite.
double checked_divide(double a, double b);

// x rounded to the nearest single-precision value; throws RuntimeError on NaN or
// when x is finite but outside the single-precision range.
float to_single(double x);

} // namespace slideshow

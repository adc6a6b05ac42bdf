// Checked arithmetic: 16-bit integers and single-precision results that fail loudly.
#pragma once

#include "imaging/picture_placement.h"

#include <cstdint>

namespace slideshow {

// a + b in 16 bits; throws RuntimeError on overflow.
std::int16_t checked_add(std::int16_t a, std::int16_t b);

// The slideshow's geometry follows the placement rule's arithmetic: double precision, rounded to single
// precision when written, failing loudly.
using imaging::checked_divide;
using imaging::to_single;

} // namespace slideshow

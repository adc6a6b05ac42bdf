// Picture sequence: the next file, its number, and which way a picture fits the screen.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace slideshow {

constexpr std::int16_t kPictureCount = 50;

// How a picture is placed on the window.
enum class Placement {
    NaturalSize, // smaller than the window both ways: unscaled, centred
    FullWidth,   // scaled to the window's width, centred vertically
    FullHeight,  // scaled to the window's height, centred horizontally
};

// The placement of a picture of natural size w x h on a window of inside size sw x sh.
// A picture exactly as wide or as tall as the window is scaled, never shown at natural size.
// Throws RuntimeError when an aspect cannot be computed (a zero height) or overflows.
Placement choose_placement(float sw, float sh, float w, float h);

// The full path of picture `number` in `folder`, with exactly one "\" between them.
std::string picture_path(std::string_view folder, std::int16_t number);

// The number after `current` in a cycle of `count` pictures: 1 after `count`.
// Throws RuntimeError on 16-bit overflow.
std::int16_t next_picture_number(std::int16_t current, std::int16_t count);

} // namespace slideshow

// Picture sequence: the file each picture number names, and the number after it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace slideshow {

constexpr std::int16_t kPictureCount = 50;

// The full path of picture `number` in `folder`, with exactly one "\" between them.
std::string picture_path(std::string_view folder, std::int16_t number);

// The number after `current` in a cycle of `count` pictures: 1 after `count`.
// Throws RuntimeError on 16-bit overflow.
std::int16_t next_picture_number(std::int16_t current, std::int16_t count);

// The number before `current` in the same cycle: `count` before 1.
std::int16_t previous_picture_number(std::int16_t current, std::int16_t count);

} // namespace slideshow

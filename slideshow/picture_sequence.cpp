// Picture sequence: the file each picture number names, and the number after it.
#include "slideshow/picture_sequence.h"

#include "slideshow/checked.h"

#include <cstdio>

namespace slideshow {

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
    const std::int16_t next = checked_add(current, 1);
    return next > count ? std::int16_t{1} : next;
}

std::int16_t previous_picture_number(std::int16_t current, std::int16_t count)
{
    return current <= 1 ? count : checked_add(current, -1);
}

} // namespace slideshow

// The colours of the display pictures are shown on.
#pragma once

#include <cstdint>
#include <vector>

namespace platform::win32 {

// The ICC profile of the primary monitor, as the system's colour settings give it; empty when it has
// none, or it cannot be read or is longer than kMaxColourProfileBytes.
[[nodiscard]] std::vector<std::uint8_t> primary_display_profile();

} // namespace platform::win32

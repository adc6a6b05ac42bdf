// Texts of the version dialog, computed from the application metadata.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace about {

// The dialog's caption: the title followed directly by "のﾊﾞｰｼﾞｮﾝ情報".
[[nodiscard]] std::string about_caption(std::string_view title);

// "ﾊﾞｰｼﾞｮﾝ 1.0.0": each number in its shortest decimal form, "-" only when negative.
[[nodiscard]] std::string version_line(std::int16_t major, std::int16_t minor, std::int16_t revision);

// The copyright text with every pair of spaces turned into a line break ("\r\n"), scanning
// from the left without overlap: three spaces give a break and a space, four give two breaks.
[[nodiscard]] std::string copyright_lines(std::string_view copyright);

} // namespace about

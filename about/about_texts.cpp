// Texts of the version dialog, computed from the application metadata.
#include "about/about_texts.h"

namespace about {

std::string about_caption(std::string_view title)
{
    return std::string(title) + "のﾊﾞｰｼﾞｮﾝ情報";
}

std::string version_line(std::int16_t major, std::int16_t minor, std::int16_t revision)
{
    return "ﾊﾞｰｼﾞｮﾝ " + std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(revision);
}

std::string copyright_lines(std::string_view copyright)
{
    std::string out;
    out.reserve(copyright.size());
    std::size_t i = 0;
    while (i < copyright.size()) {
        if (copyright[i] == ' ' && i + 1 < copyright.size() && copyright[i + 1] == ' ') {
            out += "\r\n";
            i += 2;
        } else {
            out += copyright[i];
            ++i;
        }
    }
    return out;
}

} // namespace about

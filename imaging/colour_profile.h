// What a picture file says its colour numbers mean: the ICC profile it carries, or the PNG chunks that
// stand for one.
#pragma once

#include "imaging/byte_source.h"
#include "imaging/picture_budget.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace imaging {

// The chromaticities of a PNG file's cHRM chunk, as CIE x, y.
struct Chromaticities {
    double white_x = 0, white_y = 0;
    double red_x = 0, red_y = 0;
    double green_x = 0, green_y = 0;
    double blue_x = 0, blue_y = 0;
};

// The colours of a picture as its file describes them.
struct EmbeddedColour {
    enum class Kind : std::uint8_t {
        Untagged,         // nothing said: the numbers are shown as stored
        Profile,          // an ICC profile, in `profile`
        Srgb,             // said to be sRGB (a PNG sRGB chunk, or gAMA and cHRM that mean it)
        Gamma,            // a PNG gAMA chunk, perhaps with cHRM: `gamma` and `chromaticities`
        CompressedProfile // a PNG iCCP chunk: compressed, so the platform's decoder hands it out
    };
    Kind kind = Kind::Untagged;
    std::vector<std::uint8_t> profile;
    // The file's gamma, as gAMA stores it: 0.45455 for a transfer of about 1 / 2.2.
    double gamma = 0;
    std::optional<Chromaticities> chromaticities;
};

// The ICC profile of the JPEG data `jpeg`: its APP2 "ICC_PROFILE" segments before the first scan, joined in
// the order of their sequence numbers, whatever order they come in. Nothing when there is none, or when
// the segments disagree on their count, miss or repeat a number, or join to more than `max_bytes`.
[[nodiscard]] std::optional<std::vector<std::uint8_t>> jpeg_icc_profile(std::span<const std::uint8_t> jpeg,
                                                                         std::uint64_t max_bytes = kMaxColourProfileBytes);

// The ICC profile (tag 34675) of the first page of the TIFF file `file`, in either byte order. Nothing when
// there is none, when the tag is malformed, lies outside the file or is longer than `max_bytes`.
[[nodiscard]] std::optional<std::vector<std::uint8_t>> tiff_icc_profile(ByteSource& file,
                                                                         std::uint64_t max_bytes = kMaxColourProfileBytes);

// What the chunks of the PNG file `file` before its image data say of its colours, with the precedence
// the PNG format gives them: iCCP, then sRGB, then gAMA (with cHRM). A gAMA of 1 / 2.2 whose cHRM is
// absent or sRGB's own counts as sRGB, as the programs that write it mean. An iCCP chunk longer than
// `max_bytes` is ignored.
[[nodiscard]] EmbeddedColour png_colour(ByteSource& file, std::uint64_t max_bytes = kMaxColourProfileBytes);

// What the file `file` says of its colours, whatever its format: a JPEG file's ICC segments, a PNG file's
// chunks, a TIFF file's first page. Untagged for other formats and for anything malformed. Reads at most
// the file's headers and its profile.
[[nodiscard]] EmbeddedColour file_colour(ByteSource& file, std::uint64_t max_bytes = kMaxColourProfileBytes);

} // namespace imaging

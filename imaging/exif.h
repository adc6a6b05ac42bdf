// The orientation a camera wrote into a picture file: EXIF in JPEG and PNG files, the first page of a TIFF file.
#pragma once

#include "imaging/byte_source.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace imaging {

// The EXIF orientation of a picture, as the tag stores it: how the stored rows and columns must be turned
// and mirrored to show the picture the way the camera saw it.
enum class Orientation : std::uint8_t {
    Normal = 1,        // as stored
    MirrorLeftRight = 2,
    Turn180 = 3,
    MirrorTopBottom = 4,
    Transpose = 5,     // mirrored about the top-left to bottom-right diagonal
    TurnRight = 6,     // turned a quarter clockwise to be upright
    Transverse = 7,    // mirrored about the top-right to bottom-left diagonal
    TurnLeft = 8,      // turned a quarter anticlockwise to be upright
};

// Whether showing a picture of `orientation` swaps its stored width and height.
[[nodiscard]] constexpr bool swaps_sides(Orientation orientation)
{
    return static_cast<int>(orientation) >= 5;
}

// The orientation tag (0x0112) of the first image file directory of a TIFF-structured block (an EXIF block
// after its "Exif\0\0" prefix, or a whole TIFF file), in either byte order. A block that is malformed or
// truncated, a tag of another type or count, or a value outside 1..8 gives Normal. Reads only inside `tiff`.
[[nodiscard]] Orientation exif_orientation(std::span<const std::uint8_t> tiff);

// The orientation in the first APP1 "Exif" segment of the JPEG data `jpeg`, looked for among the segments
// before the first scan. Normal when there is none or the data is not JPEG.
[[nodiscard]] Orientation jpeg_exif_orientation(std::span<const std::uint8_t> jpeg);

// The orientation of the picture `file`, whatever its format: a JPEG file's EXIF segment, a PNG file's
// eXIf chunk, a TIFF file's first page. Normal for other formats and for any malformed data. Reads at
// most a few hundred kilobytes, however large the file is.
[[nodiscard]] Orientation file_orientation(ByteSource& file);

} // namespace imaging

// What a picture file's own headers say its decode will take, checked against the budget.
//
// A picture file is untrusted: its header may claim any size, and some decoders (the imaging component
// under Wine among them) decode a whole frame, or every frame, as soon as the file is opened. So the
// headers of the formats that go to such a decoder are read here first, and a file whose decode would
// take more memory than the budget is refused before any decoder sees it.
#pragma once

#include "imaging/byte_source.h"
#include "imaging/picture_budget.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace imaging {

enum class PictureFormat { Unknown, Png, Gif, Bmp, Ico, Tiff, Jpeg };

// What the headers of a picture file say.
struct PictureCost {
    PictureFormat format = PictureFormat::Unknown;
    // The largest frame, page or icon the file holds.
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    // The memory a decoder that decodes the whole file at once needs, worked out from the headers.
    std::uint64_t decode_bytes = 0;
    // Why the file is refused; empty when it is not.
    std::string refusal;

    [[nodiscard]] bool refused() const { return !refusal.empty(); }
};

// Reads the headers of the file in `source` and works out what decoding it costs: for PNG the image
// header (size, bit depth, colour type); for GIF the logical screen and every frame's image
// descriptor, found by walking all its blocks; for BMP the bitmap header (negative or huge sizes);
// for ICO and CUR every icon in the directory, as the PNG or bitmap it holds; for TIFF every page of
// the chain of image directories (offsets that loop or lead outside the file); for JPEG the frame
// header. The file is refused when a size is 0 or beyond kMaxPictureSide or kMaxPicturePixels, when
// its headers are broken, or when decode_bytes is over `budget`. A file of another format is not
// refused: what decodes it checks it.
[[nodiscard]] PictureCost picture_cost(ByteSource& source, std::uint64_t budget);

} // namespace imaging

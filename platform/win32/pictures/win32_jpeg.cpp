// JPEG pictures decoded with libjpeg-turbo at the fewest eighths of their size that still cover the size kept.
//
// The file is read into memory here and decoded by the portable decoder (imaging/jpeg_decode.h) into
// a DIB section of the size kept, within the picture budget (imaging/picture_budget.h).
#include "platform/win32/pictures/win32_jpeg.h"

#include "imaging/colour_profile.h"
#include "imaging/exif.h"
#include "imaging/jpeg_decode.h"
#include "imaging/picture_budget.h"
#include "platform/errors.h"
#include "platform/win32/common/win32_handles.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace platform::win32 {

using namespace imaging;

namespace {

// ---- The file ----

struct FileBytes {
    std::unique_ptr<std::uint8_t[]> data; // null when the file is left to the imaging component
    std::size_t size = 0;
};

// Reads up to `bytes` of `file` from `offset` into `out`, whatever its file pointer: the file may be a
// handle shared with the process that opened it. Returns how many were read.
std::size_t read_at(HANDLE file, std::uint64_t offset, std::uint8_t* out, std::size_t bytes)
{
    std::size_t done = 0;
    while (done < bytes) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset + done);
        at.OffsetHigh = static_cast<DWORD>((offset + done) >> 32);
        DWORD read = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes - done, std::size_t{1} << 24));
        if (!::ReadFile(file, out + done, want, &read, &at) || read == 0)
            break;
        done += read;
    }
    return done;
}

// The bytes of `file` when it starts as a JPEG file; nothing when it does not (the imaging component
// then gives the error). Throws RuntimeError for an overlong file.
FileBytes read_jpeg_file(HANDLE file)
{
    std::uint8_t head[3] = {};
    if (read_at(file, 0, head, sizeof head) != sizeof head || head[0] != 0xFF || head[1] != 0xD8 || head[2] != 0xFF)
        return {};
    LARGE_INTEGER length{};
    if (!::GetFileSizeEx(file, &length))
        return {};
    if (static_cast<std::uint64_t>(length.QuadPart) > kMaxJpegFileBytes)
        throw RuntimeError("picture file too large: " + std::to_string(length.QuadPart) + " bytes");

    FileBytes bytes;
    bytes.size = static_cast<std::size_t>(length.QuadPart);
    bytes.data = std::make_unique_for_overwrite<std::uint8_t[]>(bytes.size);
    // A file that shrinks meanwhile is decoded as far as it goes, and fails as a truncated one.
    bytes.size = read_at(file, 0, bytes.data.get(), bytes.size);
    return bytes;
}

// Turns the CMYK inks kept in `pixels` into BGRA through `transform`, or without a profile when there
// is none.
void convert_inks(const ColourTransform* transform, bool inverted, Dib& pixels)
{
    std::vector<std::uint8_t> inks(static_cast<std::size_t>(pixels.stride()));
    for (int y = 0; y < pixels.height(); ++y) {
        std::uint8_t* row = pixels.bits() + pixels.stride() * y;
        if (transform == nullptr) {
            cmyk_to_bgra(row, row, pixels.width(), inverted);
            continue;
        }
        std::memcpy(inks.data(), row, inks.size());
        transform->convert(inks.data(), row, pixels.width());
    }
}

} // namespace

JpegDecode decode_jpeg(const std::wstring& path, platform::SizeF box, ColourTransforms* colours,
                       const PixelMemory& memory)
{
    const UniqueHfile file = open_file(path.c_str(), GENERIC_READ, FILE_SHARE_READ, FILE_FLAG_SEQUENTIAL_SCAN);
    if (!file)
        return {};
    return decode_jpeg(file.get(), box, colours, memory);
}

JpegDecode decode_jpeg(HANDLE opened, platform::SizeF box, ColourTransforms* colours, const PixelMemory& memory)
{
    const FileBytes file = read_jpeg_file(opened);
    if (!file.data)
        return {};
    // The file's bytes come out of the same budget as libjpeg's own memory.
    JpegLimits limits;
    limits.max_memory = imaging::kDecoderBudgetBytes - file.size;
    std::shared_ptr<Dib> pixels;
    const std::span<const std::uint8_t> bytes(file.data.get(), file.size);
    const Orientation orientation = jpeg_exif_orientation(bytes);
    // The profile decides, before decoding, whether CMYK inks are kept for it to convert.
    EmbeddedColour colour;
    if (colours != nullptr) {
        if (auto profile = jpeg_icc_profile(bytes)) {
            colour.kind = EmbeddedColour::Kind::Profile;
            colour.profile = std::move(*profile);
        }
    }
    std::shared_ptr<const ColourTransform> cmyk_transform;
    if (colour.kind == EmbeddedColour::Kind::Profile) {
        // Which of the two ink layouts the file has is known only once its header is read; both
        // conversions come from the same profile, so asking for one tells whether the profile is CMYK.
        cmyk_transform = colours->find(colour, ColourInput::Cmyk8Inverted);
    }
    const JpegDecoded decoded = decode_jpeg_data(
        bytes, limits,
        [&](int width, int height) {
            const SIZE kept = stored_kept_size(SIZE{width, height}, box, orientation);
            pixels = make_pixels(memory, kept.cx, kept.cy);
            return PixelTarget{pixels->bits(), pixels->width(), pixels->height(), pixels->stride()};
        },
        cmyk_transform ? CmykPixels::AsStored : CmykPixels::Converted);
    if (!decoded.decoded)
        return {};
    if (decoded.cmyk_as_stored) {
        std::shared_ptr<const ColourTransform> transform =
            decoded.inverted_inks ? cmyk_transform : colours->find(colour, ColourInput::Cmyk8);
        convert_inks(transform.get(), decoded.inverted_inks, *pixels);
    } else if (colours != nullptr && !decoded.cmyk) {
        // CMYK converted without a profile (none, or one that is not CMYK) stays as it was converted.
        if (const auto transform = colours->find(colour, ColourInput::Bgra8Premultiplied))
            convert_picture(*transform, pixels->bits(), pixels->width(), pixels->height(), pixels->stride());
    }
    JpegDecode result;
    result.eighths = decoded.eighths;
    result.decoded = SIZE{decoded.decoded_width, decoded.decoded_height};
    result.picture = oriented_picture(SIZE{decoded.natural_width, decoded.natural_height}, std::move(pixels),
                                      orientation, memory);
    return result;
}

} // namespace platform::win32

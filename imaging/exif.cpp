// The orientation a camera wrote into a picture file: EXIF in JPEG and PNG files, the first page of a TIFF file.
//
// Everything here reads untrusted bytes. Each read goes through one function that checks the range it asks
// for, and any doubt about the data ends in Normal: the picture is then shown as it is stored.
#include "imaging/exif.h"

#include "imaging/picture_segments.h"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

namespace imaging {
namespace {

constexpr std::uint16_t kOrientationTag = 0x0112;
constexpr std::uint16_t kTypeShort = 3;

Orientation tiff_orientation(ByteSource& file)
{
    // The orientation tag sorts early: the first directory's first entries hold it.
    const std::optional<TiffEntry> entry = first_tiff_entry(file, kOrientationTag);
    if (!entry || entry->type != kTypeShort || entry->count != 1 || entry->value16 < 1 || entry->value16 > 8)
        return Orientation::Normal;
    return static_cast<Orientation>(entry->value16);
}

Orientation exif_block_orientation(std::span<const std::uint8_t> block)
{
    MemoryByteSource bytes(block);
    return tiff_orientation(bytes);
}

// The EXIF block of a JPEG file: the first APP1 segment that starts with "Exif\0\0", before the first scan.
Orientation jpeg_orientation(ByteSource& file)
{
    static constexpr std::array<std::uint8_t, 6> kExif = {'E', 'x', 'i', 'f', 0, 0};
    JpegSegments segments(file);
    while (const std::optional<JpegSegment> segment = segments.next()) {
        if (segment->marker != 0xE1 || segment->length < kExif.size())
            continue;
        const auto payload = read_exactly(file, segment->offset, segment->length);
        if (!payload)
            return Orientation::Normal;
        if (std::equal(kExif.begin(), kExif.end(), payload->begin()))
            return exif_block_orientation(std::span(*payload).subspan(kExif.size()));
    }
    return Orientation::Normal;
}

// The EXIF block of a PNG file: its eXIf chunk, which comes before the pictures' data.
Orientation png_orientation(ByteSource& file)
{
    PngChunks chunks(file);
    while (const std::optional<PngChunk> chunk = chunks.next()) {
        if (!chunk->is("eXIf"))
            continue;
        if (chunk->length > kMaxExifBytes)
            return Orientation::Normal;
        const auto payload = read_exactly(file, chunk->offset, chunk->length);
        return payload ? exif_block_orientation(*payload) : Orientation::Normal;
    }
    return Orientation::Normal;
}

} // namespace

Orientation exif_orientation(std::span<const std::uint8_t> tiff)
{
    return exif_block_orientation(tiff);
}

Orientation jpeg_exif_orientation(std::span<const std::uint8_t> jpeg)
{
    if (!starts_as_jpeg(jpeg))
        return Orientation::Normal;
    MemoryByteSource bytes(jpeg);
    return jpeg_orientation(bytes);
}

Orientation file_orientation(ByteSource& file)
{
    const auto head = read_exactly(file, 0, 8);
    if (!head)
        return Orientation::Normal;
    const std::uint8_t* h = head->data();
    if (starts_as_jpeg(*head))
        return jpeg_orientation(file);
    if (starts_as_png(*head))
        return png_orientation(file);
    if ((h[0] == 'I' && h[1] == 'I') || (h[0] == 'M' && h[1] == 'M'))
        return tiff_orientation(file);
    return Orientation::Normal;
}

} // namespace imaging

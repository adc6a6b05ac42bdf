// The orientation a camera wrote into a picture file: EXIF in JPEG and PNG files, the first page of a TIFF file.
//
// Everything here reads untrusted bytes. Each read goes through one function that checks the range it asks
// for, and any doubt about the data ends in Normal: the picture is then shown as it is stored.
#include "imaging/exif.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <vector>

namespace imaging {
namespace {

constexpr std::uint16_t kOrientationTag = 0x0112;
constexpr std::uint16_t kTypeShort = 3;
// Segments and chunks looked at before the pictures' data is given up on.
constexpr int kMaxSegments = 128;
// An EXIF chunk of a PNG file longer than this is not read (a JPEG segment cannot exceed 64 KB).
constexpr std::uint32_t kMaxExifBytes = 1U << 20;

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
    std::uint64_t at = 2;
    for (int segment = 0; segment < kMaxSegments; ++segment) {
        // A marker is 0xFF, any number of 0xFF fill bytes, and its code.
        std::array<std::uint8_t, 1> byte{};
        if (file.read(at, byte) != 1 || byte[0] != 0xFF)
            return Orientation::Normal;
        int fill = 0;
        do {
            ++at;
            if (file.read(at, byte) != 1 || ++fill > 64)
                return Orientation::Normal;
        } while (byte[0] == 0xFF);
        const std::uint8_t code = byte[0];
        ++at;
        if (code == 0xD9 || code == 0xDA) // the end, or the first scan: no EXIF before the pictures' data
            return Orientation::Normal;
        if ((code >= 0xD0 && code <= 0xD7) || code == 0x01) // markers without a length
            continue;
        const auto length_bytes = read_exactly(file, at, 2);
        if (!length_bytes)
            return Orientation::Normal;
        const std::uint16_t length = big16(length_bytes->data());
        if (length < 2)
            return Orientation::Normal;
        if (code == 0xE1 && length >= 2 + kExif.size()) {
            const auto payload = read_exactly(file, at + 2, length - 2U);
            if (!payload) // a segment cut short by the end of the file
                return Orientation::Normal;
            if (std::equal(kExif.begin(), kExif.end(), payload->begin()))
                return exif_block_orientation(std::span(*payload).subspan(kExif.size()));
        }
        at += length;
    }
    return Orientation::Normal;
}

// The EXIF block of a PNG file: its eXIf chunk, which comes before the pictures' data.
Orientation png_orientation(ByteSource& file)
{
    std::uint64_t at = 8;
    for (int chunk = 0; chunk < kMaxSegments; ++chunk) {
        const auto head = read_exactly(file, at, 8);
        if (!head)
            return Orientation::Normal;
        const std::uint32_t length = big32(head->data());
        const std::uint8_t* type = head->data() + 4;
        if (std::memcmp(type, "IDAT", 4) == 0 || std::memcmp(type, "IEND", 4) == 0)
            return Orientation::Normal;
        if (std::memcmp(type, "eXIf", 4) == 0) {
            if (length > kMaxExifBytes)
                return Orientation::Normal;
            const auto payload = read_exactly(file, at + 8, length);
            return payload ? exif_block_orientation(*payload) : Orientation::Normal;
        }
        at += 12 + std::uint64_t{length};
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
    if (jpeg.size() < 2 || jpeg[0] != 0xFF || jpeg[1] != 0xD8)
        return Orientation::Normal;
    MemoryByteSource bytes(jpeg);
    return jpeg_orientation(bytes);
}

Orientation file_orientation(ByteSource& file)
{
    static constexpr std::array<std::uint8_t, 8> kPng = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    const auto head = read_exactly(file, 0, 8);
    if (!head)
        return Orientation::Normal;
    const std::uint8_t* h = head->data();
    if (h[0] == 0xFF && h[1] == 0xD8)
        return jpeg_orientation(file);
    if (std::equal(kPng.begin(), kPng.end(), h))
        return png_orientation(file);
    if ((h[0] == 'I' && h[1] == 'I') || (h[0] == 'M' && h[1] == 'M'))
        return tiff_orientation(file);
    return Orientation::Normal;
}

} // namespace imaging

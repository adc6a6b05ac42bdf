// What a picture file says its colour numbers mean: JPEG ICC segments, PNG colour chunks, the TIFF profile tag.
//
// Everything here reads untrusted bytes. Each read asks the byte source for an exact range, and any doubt
// about the data ends in Untagged: the picture is then shown as it is stored.
#include "imaging/colour_profile.h"

#include "imaging/picture_segments.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace imaging {
namespace {

constexpr std::uint16_t kTiffIccTag = 34675;

// ---- JPEG ----

// One APP2 segment's piece of the profile.
struct IccPiece {
    int sequence = 0;
    int count = 0;
    std::uint64_t offset = 0; // of its bytes in the file
    std::size_t length = 0;
};

std::optional<std::vector<std::uint8_t>> jpeg_profile(ByteSource& file, std::uint64_t max_bytes)
{
    static constexpr std::array<std::uint8_t, 12> kIcc = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0};
    std::vector<IccPiece> pieces;
    std::uint64_t total = 0;
    // The pieces are those met before the walk ends, however it ends: each one lies whole inside the file,
    // and a piece missing after a break is found missing below.
    JpegSegments segments(file);
    while (const std::optional<JpegSegment> segment = segments.next()) {
        if (segment->marker != 0xE2 || segment->length < kIcc.size() + 2)
            continue;
        const auto head = read_exactly(file, segment->offset, kIcc.size() + 2);
        if (!head)
            return std::nullopt;
        if (!std::equal(kIcc.begin(), kIcc.end(), head->begin()))
            continue;
        IccPiece piece;
        piece.sequence = (*head)[kIcc.size()];
        piece.count = (*head)[kIcc.size() + 1];
        piece.offset = segment->offset + kIcc.size() + 2;
        piece.length = segment->length - kIcc.size() - 2;
        total += piece.length;
        if (total > max_bytes)
            return std::nullopt;
        pieces.push_back(piece);
    }
    if (pieces.empty())
        return std::nullopt;
    // Every piece names the same count, and each number from 1 to it comes exactly once.
    const int count = pieces.front().count;
    if (count < 1 || pieces.size() != static_cast<std::size_t>(count))
        return std::nullopt;
    std::sort(pieces.begin(), pieces.end(), [](const IccPiece& a, const IccPiece& b) { return a.sequence < b.sequence; });
    for (int i = 0; i < count; ++i)
        if (pieces[static_cast<std::size_t>(i)].sequence != i + 1 || pieces[static_cast<std::size_t>(i)].count != count)
            return std::nullopt;
    std::vector<std::uint8_t> profile;
    profile.reserve(static_cast<std::size_t>(total));
    for (const IccPiece& piece : pieces) {
        const auto bytes = read_exactly(file, piece.offset, piece.length);
        if (!bytes)
            return std::nullopt;
        profile.insert(profile.end(), bytes->begin(), bytes->end());
    }
    if (profile.empty())
        return std::nullopt;
    return profile;
}

// ---- PNG ----

bool near(double a, double b, double tolerance)
{
    return std::fabs(a - b) <= tolerance;
}

// Whether cHRM's numbers are sRGB's own (its primaries and D65), within the rounding writers apply.
bool srgb_chromaticities(const Chromaticities& c)
{
    constexpr double kTolerance = 0.002;
    return near(c.white_x, 0.3127, kTolerance) && near(c.white_y, 0.3290, kTolerance) &&
           near(c.red_x, 0.64, kTolerance) && near(c.red_y, 0.33, kTolerance) && near(c.green_x, 0.30, kTolerance) &&
           near(c.green_y, 0.60, kTolerance) && near(c.blue_x, 0.15, kTolerance) && near(c.blue_y, 0.06, kTolerance);
}

} // namespace

std::optional<std::vector<std::uint8_t>> jpeg_icc_profile(std::span<const std::uint8_t> jpeg, std::uint64_t max_bytes)
{
    if (!starts_as_jpeg(jpeg))
        return std::nullopt;
    MemoryByteSource bytes(jpeg);
    return jpeg_profile(bytes, max_bytes);
}

std::optional<std::vector<std::uint8_t>> tiff_icc_profile(ByteSource& file, std::uint64_t max_bytes)
{
    const std::optional<TiffEntry> entry = first_tiff_entry(file, kTiffIccTag);
    if (!entry)
        return std::nullopt;
    // UNDEFINED (7) as the TIFF notes define it; BYTE (1) as some writers store it.
    const std::uint32_t length = entry->count;
    if ((entry->type != 7 && entry->type != 1) || length < 4 || length > max_bytes)
        return std::nullopt;
    const std::uint64_t offset = entry->value32;
    if (offset + length > file.size())
        return std::nullopt;
    return read_exactly(file, offset, length);
}

EmbeddedColour png_colour(ByteSource& file, std::uint64_t max_bytes)
{
    EmbeddedColour colour;
    bool srgb = false;
    bool compressed_profile = false;
    std::optional<double> gamma;
    std::optional<Chromaticities> chromaticities;
    PngChunks chunks(file);
    while (const std::optional<PngChunk> chunk = chunks.next()) {
        if (chunk->is("iCCP")) {
            // A name of 1 to 79 bytes, its terminating zero, the method byte and at least some data.
            compressed_profile = chunk->length >= 4 && chunk->length <= max_bytes;
        } else if (chunk->is("sRGB") && chunk->length == 1) {
            srgb = true;
        } else if (chunk->is("gAMA") && chunk->length == 4) {
            if (const auto value = read_exactly(file, chunk->offset, 4); value && big32(value->data()) != 0)
                gamma = big32(value->data()) / 100000.0;
        } else if (chunk->is("cHRM") && chunk->length == 32) {
            if (const auto value = read_exactly(file, chunk->offset, 32)) {
                const auto n = [&](int i) { return big32(value->data() + 4 * i) / 100000.0; };
                chromaticities = Chromaticities{n(0), n(1), n(2), n(3), n(4), n(5), n(6), n(7)};
            }
        }
    }
    if (compressed_profile) {
        colour.kind = EmbeddedColour::Kind::CompressedProfile;
    } else if (srgb) {
        colour.kind = EmbeddedColour::Kind::Srgb;
    } else if (gamma) {
        const bool srgb_primaries = !chromaticities || srgb_chromaticities(*chromaticities);
        // 1 / 2.2 is what writers store for sRGB pictures; libpng and the browsers read it so.
        if (srgb_primaries && near(*gamma, 1.0 / 2.2, 0.005)) {
            colour.kind = EmbeddedColour::Kind::Srgb;
        } else if (*gamma >= 0.05 && *gamma <= 5.0) {
            colour.kind = EmbeddedColour::Kind::Gamma;
            colour.gamma = *gamma;
            colour.chromaticities = chromaticities;
        }
    }
    return colour;
}

EmbeddedColour file_colour(ByteSource& file, std::uint64_t max_bytes)
{
    EmbeddedColour colour;
    const auto head = read_exactly(file, 0, 8);
    if (!head)
        return colour;
    const std::uint8_t* h = head->data();
    std::optional<std::vector<std::uint8_t>> profile;
    if (starts_as_jpeg(*head))
        profile = jpeg_profile(file, max_bytes);
    else if (starts_as_png(*head))
        return png_colour(file, max_bytes);
    else if ((h[0] == 'I' && h[1] == 'I') || (h[0] == 'M' && h[1] == 'M'))
        profile = tiff_icc_profile(file, max_bytes);
    if (profile) {
        colour.kind = EmbeddedColour::Kind::Profile;
        colour.profile = std::move(*profile);
    }
    return colour;
}

} // namespace imaging

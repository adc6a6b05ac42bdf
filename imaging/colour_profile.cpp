// What a picture file says its colour numbers mean: JPEG ICC segments, PNG colour chunks, the TIFF profile tag.
//
// Everything here reads untrusted bytes. Each read asks the byte source for an exact range, and any doubt
// about the data ends in Untagged: the picture is then shown as it is stored.
#include "imaging/colour_profile.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace imaging {
namespace {

// Segments and chunks looked at before the pictures' data is given up on. A JPEG profile of the largest
// size allowed takes about 65 segments of its own.
constexpr int kMaxSegments = 512;
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
    std::uint64_t at = 2;
    for (int segment = 0; segment < kMaxSegments; ++segment) {
        std::array<std::uint8_t, 1> byte{};
        if (file.read(at, byte) != 1 || byte[0] != 0xFF)
            break;
        int fill = 0;
        do {
            ++at;
            if (file.read(at, byte) != 1 || ++fill > 64)
                return std::nullopt;
        } while (byte[0] == 0xFF);
        const std::uint8_t code = byte[0];
        ++at;
        if (code == 0xD9 || code == 0xDA) // the end, or the first scan: the profile comes before it
            break;
        if ((code >= 0xD0 && code <= 0xD7) || code == 0x01)
            continue;
        const auto length_bytes = read_exactly(file, at, 2);
        if (!length_bytes)
            return std::nullopt;
        const std::uint16_t length = big16(length_bytes->data());
        if (length < 2)
            return std::nullopt;
        if (code == 0xE2 && length >= 2 + kIcc.size() + 2) {
            const auto head = read_exactly(file, at + 2, kIcc.size() + 2);
            if (!head)
                return std::nullopt;
            if (std::equal(kIcc.begin(), kIcc.end(), head->begin())) {
                IccPiece piece;
                piece.sequence = (*head)[kIcc.size()];
                piece.count = (*head)[kIcc.size() + 1];
                piece.offset = at + 2 + kIcc.size() + 2;
                piece.length = length - 2U - kIcc.size() - 2U;
                total += piece.length;
                if (total > max_bytes)
                    return std::nullopt;
                pieces.push_back(piece);
            }
        }
        at += length;
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
    if (jpeg.size() < 2 || jpeg[0] != 0xFF || jpeg[1] != 0xD8)
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
    std::uint64_t at = 8;
    for (int chunk = 0; chunk < kMaxSegments; ++chunk) {
        const auto head = read_exactly(file, at, 8);
        if (!head)
            break;
        const std::uint32_t length = big32(head->data());
        const std::uint8_t* type = head->data() + 4;
        if (std::memcmp(type, "IDAT", 4) == 0 || std::memcmp(type, "IEND", 4) == 0)
            break;
        if (std::memcmp(type, "iCCP", 4) == 0) {
            // A name of 1 to 79 bytes, its terminating zero, the method byte and at least some data.
            compressed_profile = length >= 4 && length <= max_bytes;
        } else if (std::memcmp(type, "sRGB", 4) == 0 && length == 1) {
            srgb = true;
        } else if (std::memcmp(type, "gAMA", 4) == 0 && length == 4) {
            if (const auto value = read_exactly(file, at + 8, 4); value && big32(value->data()) != 0)
                gamma = big32(value->data()) / 100000.0;
        } else if (std::memcmp(type, "cHRM", 4) == 0 && length == 32) {
            if (const auto value = read_exactly(file, at + 8, 32)) {
                const auto n = [&](int i) { return big32(value->data() + 4 * i) / 100000.0; };
                chromaticities = Chromaticities{n(0), n(1), n(2), n(3), n(4), n(5), n(6), n(7)};
            }
        }
        at += 12 + std::uint64_t{length};
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
    static constexpr std::array<std::uint8_t, 8> kPng = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    EmbeddedColour colour;
    const auto head = read_exactly(file, 0, 8);
    if (!head)
        return colour;
    const std::uint8_t* h = head->data();
    std::optional<std::vector<std::uint8_t>> profile;
    if (h[0] == 0xFF && h[1] == 0xD8)
        profile = jpeg_profile(file, max_bytes);
    else if (std::equal(kPng.begin(), kPng.end(), h))
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

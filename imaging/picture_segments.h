// The segments of a JPEG file and the chunks of a PNG file before their pictures' data: the one reader of both.
//
// A picture file is untrusted. The header checks, the EXIF reader and the colour profile reader all walk
// these structures, so they walk them here, with one set of limits (imaging/picture_budget.h): every
// length is checked against the file before a segment or chunk is handed out, and a walk ends after
// kMaxHeaderSegments of them.
#pragma once

#include "imaging/byte_source.h"
#include "imaging/picture_budget.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace imaging {

// How a walk over segments or chunks ended.
enum class WalkEnd : std::uint8_t {
    Walking, // it has not ended yet
    Data,    // at the pictures' data: a JPEG file's first scan or end marker, a PNG file's IDAT or IEND chunk
    FileEnd, // the file ends where the next segment or chunk would begin
    Broken,  // no marker where one belongs, a length the format forbids, or a segment or chunk cut short
    Limit,   // more than kMaxHeaderSegments segments or chunks, or more than kMaxJpegFillBytes fill bytes
};

// One segment of a JPEG file: its marker's code and where its payload (what follows the length) lies.
struct JpegSegment {
    std::uint8_t marker = 0;
    std::uint64_t offset = 0;
    std::uint32_t length = 0;
};

// The segments of a JPEG file that carry a length, in the file's order, up to its first scan. A marker is
// 0xFF, at most kMaxJpegFillBytes fill bytes (0xFF) and its code; the markers without a length (restarts,
// TEM) are passed over. A segment is handed out only when all of it lies inside the file.
class JpegSegments {
public:
    // Walks `file` from `offset`, which is just after the start-of-image marker in a whole file.
    explicit JpegSegments(ByteSource& file, std::uint64_t offset = 2) : m_file(file), m_at(offset) {}

    // The next segment; nothing once the walk has ended, and end() then says why.
    [[nodiscard]] std::optional<JpegSegment> next();
    [[nodiscard]] WalkEnd end() const { return m_end; }

private:
    std::optional<JpegSegment> stop(WalkEnd why);

    ByteSource& m_file;
    std::uint64_t m_at;
    int m_count = 0;
    WalkEnd m_end = WalkEnd::Walking;
};

// One chunk of a PNG file: its type and where its data (between the type and the checksum) lies.
struct PngChunk {
    std::array<char, 4> type{};
    std::uint64_t offset = 0;
    std::uint32_t length = 0;

    [[nodiscard]] bool is(std::string_view name) const { return name == std::string_view(type.data(), type.size()); }
};

// The chunks of a PNG file in the file's order, up to its first IDAT (or its IEND). A chunk is handed out
// only when its data and its checksum lie inside the file and its length is one PNG allows (below 2^31);
// the checksum itself is not checked.
class PngChunks {
public:
    // Walks `file` from `offset`, which is just after the signature in a whole file.
    explicit PngChunks(ByteSource& file, std::uint64_t offset = 8) : m_file(file), m_at(offset) {}

    // The next chunk; nothing once the walk has ended, and end() then says why.
    [[nodiscard]] std::optional<PngChunk> next();
    [[nodiscard]] WalkEnd end() const { return m_end; }

private:
    std::optional<PngChunk> stop(WalkEnd why);

    ByteSource& m_file;
    std::uint64_t m_at;
    int m_count = 0;
    WalkEnd m_end = WalkEnd::Walking;
};

// The eight bytes every PNG file starts with.
constexpr std::array<std::uint8_t, 8> kPngSignature = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

// Whether `head` starts as a JPEG file (its start-of-image marker) or as a PNG file (its signature).
[[nodiscard]] bool starts_as_jpeg(std::span<const std::uint8_t> head);
[[nodiscard]] bool starts_as_png(std::span<const std::uint8_t> head);

} // namespace imaging

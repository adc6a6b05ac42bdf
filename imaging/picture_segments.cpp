// The segments of a JPEG file and the chunks of a PNG file before their pictures' data: the one reader of both.
#include "imaging/picture_segments.h"

#include <algorithm>
#include <cstring>

namespace imaging {
namespace {

// PNG allows no chunk of 2^31 bytes or more.
constexpr std::uint32_t kMaxPngChunkLength = 0x7FFFFFFF;

// Whether `length` bytes from `offset` on lie inside `file`.
bool inside(const ByteSource& file, std::uint64_t offset, std::uint64_t length)
{
    return offset <= file.size() && length <= file.size() - offset;
}

} // namespace

std::optional<JpegSegment> JpegSegments::stop(WalkEnd why)
{
    m_end = why;
    return std::nullopt;
}

std::optional<JpegSegment> JpegSegments::next()
{
    while (m_end == WalkEnd::Walking) {
        // The marker, its fill bytes, its code and its length, in one read.
        std::array<std::uint8_t, 1 + kMaxJpegFillBytes + 1 + 2> head{};
        const std::size_t got = m_file.read(m_at, head);
        if (got == 0)
            return stop(WalkEnd::FileEnd);
        if (head[0] != 0xFF)
            return stop(WalkEnd::Broken);
        std::size_t code_at = 1;
        while (code_at < got && head[code_at] == 0xFF)
            ++code_at;
        if (code_at - 1 > static_cast<std::size_t>(kMaxJpegFillBytes))
            return stop(WalkEnd::Limit);
        if (code_at == got) // the file ends inside the marker
            return stop(WalkEnd::Broken);
        const std::uint8_t code = head[code_at];
        if (code == 0xD9 || code == 0xDA) // the end, or the first scan
            return stop(WalkEnd::Data);
        // Every marker counts, those without a length too: each one costs a read.
        if (++m_count > kMaxHeaderSegments)
            return stop(WalkEnd::Limit);
        if (code == 0x01 || (code >= 0xD0 && code <= 0xD7)) { // TEM and the restarts carry no length
            m_at += code_at + 1;
            continue;
        }
        if (code_at + 3 > got)
            return stop(WalkEnd::Broken);
        // The length counts its own two bytes.
        const std::uint32_t length = big16(head.data() + code_at + 1);
        if (length < 2)
            return stop(WalkEnd::Broken);
        const JpegSegment segment{code, m_at + code_at + 3, length - 2};
        if (!inside(m_file, segment.offset, segment.length))
            return stop(WalkEnd::Broken);
        m_at = segment.offset + segment.length;
        return segment;
    }
    return std::nullopt;
}

std::optional<PngChunk> PngChunks::stop(WalkEnd why)
{
    m_end = why;
    return std::nullopt;
}

std::optional<PngChunk> PngChunks::next()
{
    if (m_end != WalkEnd::Walking)
        return std::nullopt;
    std::array<std::uint8_t, 8> head{};
    const std::size_t got = m_file.read(m_at, head);
    if (got == 0)
        return stop(WalkEnd::FileEnd);
    if (got < head.size())
        return stop(WalkEnd::Broken);
    PngChunk chunk;
    std::memcpy(chunk.type.data(), head.data() + 4, chunk.type.size());
    if (chunk.is("IDAT") || chunk.is("IEND"))
        return stop(WalkEnd::Data);
    chunk.length = big32(head.data());
    chunk.offset = m_at + head.size();
    // The data, then a checksum of four bytes.
    if (chunk.length > kMaxPngChunkLength || !inside(m_file, chunk.offset, std::uint64_t{chunk.length} + 4))
        return stop(WalkEnd::Broken);
    if (++m_count > kMaxHeaderSegments)
        return stop(WalkEnd::Limit);
    m_at = chunk.offset + chunk.length + 4;
    return chunk;
}

bool starts_as_jpeg(std::span<const std::uint8_t> head)
{
    return head.size() >= 2 && head[0] == 0xFF && head[1] == 0xD8;
}

bool starts_as_png(std::span<const std::uint8_t> head)
{
    return head.size() >= kPngSignature.size() && std::equal(kPngSignature.begin(), kPngSignature.end(), head.begin());
}

} // namespace imaging

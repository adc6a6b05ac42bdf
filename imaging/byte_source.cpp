// Random access to the bytes of a file, or of a file already in memory, for the readers of untrusted headers.
#include "imaging/byte_source.h"

#include <algorithm>
#include <cstring>

namespace imaging {

std::size_t MemoryByteSource::read(std::uint64_t offset, std::span<std::uint8_t> out)
{
    if (offset >= m_bytes.size())
        return 0;
    const std::size_t count = std::min<std::size_t>(out.size(), m_bytes.size() - offset);
    std::memcpy(out.data(), m_bytes.data() + offset, count);
    return count;
}

std::optional<std::vector<std::uint8_t>> read_exactly(ByteSource& file, std::uint64_t offset, std::size_t count)
{
    std::vector<std::uint8_t> bytes(count);
    if (count != 0 && file.read(offset, bytes) != count)
        return std::nullopt;
    return bytes;
}

std::uint16_t big16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

std::uint32_t big32(const std::uint8_t* p)
{
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

namespace {

// Numbers of a TIFF block in its own byte order.
struct ByteOrder {
    bool little = true;
    [[nodiscard]] std::uint16_t u16(const std::uint8_t* p) const
    {
        return little ? static_cast<std::uint16_t>(p[0] | (p[1] << 8)) : big16(p);
    }
    [[nodiscard]] std::uint32_t u32(const std::uint8_t* p) const
    {
        return little ? (std::uint32_t{p[3]} << 24) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0]
                      : big32(p);
    }
};

} // namespace

std::optional<TiffEntry> first_tiff_entry(ByteSource& file, std::uint16_t tag)
{
    const auto header = read_exactly(file, 0, 8);
    if (!header)
        return std::nullopt;
    const std::uint8_t* h = header->data();
    ByteOrder order;
    if (h[0] == 'I' && h[1] == 'I')
        order.little = true;
    else if (h[0] == 'M' && h[1] == 'M')
        order.little = false;
    else
        return std::nullopt;
    if (order.u16(h + 2) != 42)
        return std::nullopt;
    const std::uint64_t directory = order.u32(h + 4);
    const auto count_bytes = read_exactly(file, directory, 2);
    if (!count_bytes)
        return std::nullopt;
    const std::uint32_t count = std::min<std::uint32_t>(order.u16(count_bytes->data()), kMaxTiffEntries);
    const auto entries = read_exactly(file, directory + 2, std::size_t{count} * 12);
    if (!entries)
        return std::nullopt;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* entry = entries->data() + i * 12;
        if (order.u16(entry) == tag)
            return TiffEntry{order.u16(entry + 2), order.u32(entry + 4), order.u32(entry + 8), order.u16(entry + 8)};
    }
    return std::nullopt;
}

} // namespace imaging

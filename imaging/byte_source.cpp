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

} // namespace imaging

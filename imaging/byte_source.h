// Random access to the bytes of a file, or of a file already in memory, for the readers of untrusted headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace imaging {

// Random access to a file's bytes.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // The file's length in bytes.
    [[nodiscard]] virtual std::uint64_t size() const = 0;
    // Reads up to out.size() bytes from `offset` on into `out`; returns how many it read, fewer only at
    // the end of the file or on a read error.
    virtual std::size_t read(std::uint64_t offset, std::span<std::uint8_t> out) = 0;
};

// A file already in memory.
class MemoryByteSource final : public ByteSource {
public:
    explicit MemoryByteSource(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}
    [[nodiscard]] std::uint64_t size() const override { return m_bytes.size(); }
    std::size_t read(std::uint64_t offset, std::span<std::uint8_t> out) override;

private:
    std::span<const std::uint8_t> m_bytes;
};

} // namespace imaging

// Random access to the bytes of a file, or of a file already in memory, for the readers of untrusted headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

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

// Exactly `count` bytes of `file` from `offset` on, or nothing.
[[nodiscard]] std::optional<std::vector<std::uint8_t>> read_exactly(ByteSource& file, std::uint64_t offset,
                                                                    std::size_t count);

// Big-endian numbers, as JPEG and PNG store them.
[[nodiscard]] std::uint16_t big16(const std::uint8_t* p);
[[nodiscard]] std::uint32_t big32(const std::uint8_t* p);

// One entry of a TIFF image file directory, its numbers in the host's order.
struct TiffEntry {
    std::uint16_t type = 0;
    std::uint32_t count = 0;
    // The four bytes of the value or of its offset, read as one 32-bit number and as a first 16-bit one.
    std::uint32_t value32 = 0;
    std::uint16_t value16 = 0;
};

// The first entry `tag` of the first image file directory of the TIFF block that `file` holds from its
// start (either byte order). Nothing when the block's header or directory is broken, or has no such
// entry; a directory that claims more entries than the block holds is not believed at all. Only the
// directory's first kMaxTiffEntries entries are looked at, and no other directory.
[[nodiscard]] std::optional<TiffEntry> first_tiff_entry(ByteSource& file, std::uint16_t tag);
constexpr std::uint32_t kMaxTiffEntries = 1024;

} // namespace imaging

// The file mappings a decoder process writes pictures into, each kept for the next picture once nothing
// shows the last one it held.
#pragma once

#include "platform/win32/common/win32_handles.h"
#include "platform/win32/pictures/win32_dib.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace platform::win32 {

// Writing a screen's pixels into pages the system has just made costs the page faults and the zeroing of
// every page (at 3840 x 2160, about 33 MB, some 25 ms under Wine, for the decoder and again for the
// slideshow reading them), once a picture. A mapping whose picture nobody holds any more (neither the
// screen nor the picture prepared ahead) is written again instead. At most kKept of them wait unused; all
// of them are of the size of the last box asked for, so a screen that changes size costs one new one.
class PixelMappings {
public:
    static constexpr std::size_t kKept = 1;

    // A mapping of `bytes` that no picture uses: one handed back, or else a new one. It goes back to the
    // waiting ones when the lease and the pixels made from it (pixels()) are gone.
    class Lease;
    // Null when the system has no memory for a new mapping.
    [[nodiscard]] std::shared_ptr<Lease> take(std::uint64_t bytes);

    // The pixels at the start of `lease`'s mapping, a picture of `width` x `height`; they hold the lease.
    // Throws RuntimeError as Dib does.
    [[nodiscard]] static std::shared_ptr<const Dib> pixels(std::shared_ptr<Lease> lease, int width, int height);

    // Whether mappings handed back wait for the next picture. Off (the display went off, say), those that
    // wait go at once, and those in use go when they are done with.
    void keep(bool on);
    // How many wait unused.
    [[nodiscard]] std::size_t kept() const;

    PixelMappings();
    ~PixelMappings();
    PixelMappings(const PixelMappings&) = delete;
    PixelMappings& operator=(const PixelMappings&) = delete;

private:
    struct Shared;
    std::shared_ptr<Shared> m_shared;
};

class PixelMappings::Lease {
public:
    Lease(std::weak_ptr<Shared> owner, UniqueHandle mapping, std::uint64_t bytes)
        : m_owner(std::move(owner)), m_mapping(std::move(mapping)), m_bytes(bytes)
    {
    }
    ~Lease();
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;

    [[nodiscard]] HANDLE mapping() const { return m_mapping.get(); }
    [[nodiscard]] std::uint64_t bytes() const { return m_bytes; }

private:
    std::weak_ptr<Shared> m_owner;
    UniqueHandle m_mapping;
    std::uint64_t m_bytes;
};

} // namespace platform::win32

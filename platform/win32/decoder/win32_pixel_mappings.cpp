// File mappings for the decoder's pictures, handed back and written again rather than made anew.
#include "platform/win32/decoder/win32_pixel_mappings.h"

#include <algorithm>
#include <utility>

namespace platform::win32 {

struct PixelMappings::Shared {
    // Taken by whichever thread hands a mapping back: the user-interface thread letting go of a picture,
    // or the worker.
    std::mutex mutex;
    struct Waiting {
        UniqueHandle mapping;
        std::uint64_t bytes = 0;
    };
    std::vector<Waiting> waiting;
    std::uint64_t last_bytes = 0;
    bool keeping = true;
};

PixelMappings::PixelMappings() : m_shared(std::make_shared<Shared>()) {}

PixelMappings::~PixelMappings() = default;

std::shared_ptr<PixelMappings::Lease> PixelMappings::take(std::uint64_t bytes)
{
    {
        const std::lock_guard lock(m_shared->mutex);
        m_shared->last_bytes = bytes;
        std::vector<Shared::Waiting>& waiting = m_shared->waiting;
        // Those of another size will not be asked for again until the screen changes back.
        std::erase_if(waiting, [bytes](const Shared::Waiting& w) { return w.bytes != bytes; });
        if (!waiting.empty()) {
            UniqueHandle mapping = std::move(waiting.back().mapping);
            waiting.pop_back();
            return std::make_shared<Lease>(m_shared, std::move(mapping), bytes);
        }
    }
    UniqueHandle mapping(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, DWORD(bytes >> 32),
                                              DWORD(bytes), nullptr));
    if (!mapping)
        return nullptr;
    return std::make_shared<Lease>(m_shared, std::move(mapping), bytes);
}

PixelMappings::Lease::~Lease()
{
    const std::shared_ptr<Shared> owner = m_owner.lock();
    if (!owner || !m_mapping)
        return;
    const std::lock_guard lock(owner->mutex);
    if (owner->keeping && owner->waiting.size() < kKept && m_bytes == owner->last_bytes)
        owner->waiting.push_back({std::move(m_mapping), m_bytes});
}

std::shared_ptr<const Dib> PixelMappings::pixels(std::shared_ptr<Lease> lease, int width, int height)
{
    // The view the pixels are drawn from is the lease's until they go.
    auto dib = std::make_unique<Dib>(width, height, lease->mapping());
    return std::shared_ptr<const Dib>(dib.release(), [lease = std::move(lease)](const Dib* pixels) mutable {
        delete pixels;
        // Handed back now, not when the last weak reference to the pixels goes.
        lease.reset();
    });
}

void PixelMappings::keep(bool on)
{
    std::vector<Shared::Waiting> gone;
    const std::lock_guard lock(m_shared->mutex);
    m_shared->keeping = on;
    if (!on)
        gone.swap(m_shared->waiting);
}

std::size_t PixelMappings::kept() const
{
    const std::lock_guard lock(m_shared->mutex);
    return m_shared->waiting.size();
}

} // namespace platform::win32

// The windowless picture element: its geometry, its picture and the prepared image it is painted from.
#include "platform/win32/ui/win32_image.h"

#include <algorithm>
#include <cmath>

namespace platform::win32 {

namespace {

// Prepared images (screen-sized copies for painting) larger than this are not made: no screen is
// that large, and the memory would be wasted. This bounds drawing, not decoding.
constexpr long kMaxPreparedSide = 32768;

} // namespace


void ImageElement::set_picture(PictureRef picture)
{
    m_picture = std::move(picture);
    // A new picture may sit where an old one was freed: the generation, not the address, tells them apart.
    if (++m_generation == 0)
        m_generation = 1;
}

std::optional<PixelRect> ImageElement::prepare(const PixelRect& element)
{
    if (!m_picture)
        return std::nullopt;
    // Stretched, the picture fills the element; otherwise it is drawn at its natural size from the
    // element's corner, and the element clips it.
    long w = element.width();
    long h = element.height();
    if (!stretch) {
        w = m_picture->natural_width();
        h = m_picture->natural_height();
    }
    if (w <= 0 || h <= 0 || w > kMaxPreparedSide || h > kMaxPreparedSide || element.width() <= 0 || element.height() <= 0)
        return std::nullopt;
    // The loader keeps a picture's pixels at the rectangle the slideshow places it at in the box it was
    // asked for (kept_size, rounded as pixel_rect rounds the element), so this normally shares them and
    // scales nothing; only a picture asked for with another box (the display changed) is scaled here.
    if (m_prepared_for != m_generation || m_prepared.width() != w || m_prepared.height() != h) {
        m_prepared_for = 0;
        try {
            m_prepared = prepare_image(*m_picture, static_cast<int>(w), static_cast<int>(h));
        } catch (...) {
            // No memory for the image: the element shows nothing and the background stays.
            m_prepared = PreparedImage();
            return std::nullopt;
        }
        m_prepared_for = m_generation;
    }
    if (!m_prepared.bitmap())
        return std::nullopt;
    m_cover = PixelRect{element.left, element.top, std::min(element.right, element.left + w),
                        std::min(element.bottom, element.top + h)};
    return m_cover;
}

void ImageElement::paint(HDC dc) const
{
    if (!m_prepared.bitmap())
        return;
    const UniqueHdc memory(::CreateCompatibleDC(dc));
    if (!memory)
        return;
    const SelectedObject bitmap(memory.get(), m_prepared.bitmap());
    ::BitBlt(dc, m_cover.left, m_cover.top, m_cover.width(), m_cover.height(), memory.get(), 0, 0, SRCCOPY);
}

} // namespace platform::win32

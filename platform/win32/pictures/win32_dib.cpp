// Decoded pictures in memory: DIB sections, the loader's picture object and the images drawn from it.
#include "platform/win32/pictures/win32_dib.h"

#include "imaging/image_orient.h"
#include "imaging/image_scale.h"
#include "imaging/picture_budget.h"
#include "imaging/picture_placement.h"
#include "platform/errors.h"
#include "platform/win32/common/win32_pixel_rect.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <string>

namespace platform::win32 {

using namespace imaging;

std::shared_ptr<const Win32Picture> oriented_picture(SIZE stored, std::shared_ptr<const Dib> pixels,
                                                     Orientation orientation, const PixelMemory& memory)
{
    const OrientedSize natural = oriented_size(stored.cx, stored.cy, orientation);
    if (!pixels || orientation == Orientation::Normal)
        return std::make_shared<Win32Picture>(natural.width, natural.height, std::move(pixels));
    // Only the pixels kept are turned, never a full-size decode.
    const OrientedSize size = oriented_size(pixels->width(), pixels->height(), orientation);
    std::shared_ptr<Dib> turned = make_pixels(memory, size.width, size.height);
    orient_image(orientation, pixels->bits(), pixels->width(), pixels->height(), pixels->stride(), turned->bits(),
                 turned->stride());
    return std::make_shared<Win32Picture>(natural.width, natural.height, std::move(turned));
}

namespace {

void check_dib_size(int width, int height)
{
    if (width < 1 || height < 1 ||
        std::uint64_t(static_cast<unsigned>(width)) * static_cast<unsigned>(height) > imaging::kMaxPicturePixels)
        throw RuntimeError("no image can be made of " + std::to_string(width) + " x " + std::to_string(height));
}

[[noreturn]] void no_memory_for(int width, int height)
{
    throw RuntimeError("no memory for an image of " + std::to_string(width) + " x " + std::to_string(height));
}

} // namespace

std::shared_ptr<Dib> make_pixels(const PixelMemory& memory, int width, int height)
{
    return memory ? memory(width, height) : std::make_shared<Dib>(width, height);
}

Dib::Dib(int width, int height) : Dib(width, height, nullptr) {}

Dib::Dib(int width, int height, Memory memory) : m_memory(memory), m_width(width), m_height(height) {}

std::shared_ptr<Dib> Dib::without_bitmap(int width, int height, HANDLE mapping)
{
    check_dib_size(width, height);
    // Not make_shared: the constructor is private.
    std::shared_ptr<Dib> dib(new Dib(width, height, mapping ? Memory::View : Memory::Own));
    const SIZE_T bytes = SIZE_T(width) * SIZE_T(height) * 4;
    void* bits = mapping ? ::MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, bytes)
                         : ::VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (bits == nullptr)
        no_memory_for(width, height);
    dib->m_bits = static_cast<std::uint8_t*>(bits);
    return dib;
}

Dib::~Dib()
{
    if (m_bits == nullptr)
        return;
    if (m_memory == Memory::View)
        ::UnmapViewOfFile(m_bits);
    else if (m_memory == Memory::Own)
        ::VirtualFree(m_bits, 0, MEM_RELEASE);
}

Dib::Dib(int width, int height, HANDLE mapping) : m_width(width), m_height(height)
{
    check_dib_size(width, height);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    m_bitmap.reset(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, mapping, 0));
    if (!m_bitmap || bits == nullptr)
        no_memory_for(width, height);
    m_bits = static_cast<std::uint8_t*>(bits);
}

PreparedImage prepare_image(const platform::Picture& picture, int width, int height)
{
    const auto* own = dynamic_cast<const Win32Picture*>(&picture);
    if (own == nullptr)
        throw RuntimeError("only pictures of the Windows picture loader can be drawn");
    const std::shared_ptr<const Dib>& pixels = own->pixels();
    if (width < 1 || height < 1 || !pixels)
        return {};
    if (pixels->width() == width && pixels->height() == height)
        return PreparedImage(pixels);
    try {
        auto image = std::make_shared<Dib>(width, height);
        scale_image(pixels->bits(), pixels->width(), pixels->height(), pixels->stride(), image->bits(), width, height,
                    image->stride());
        return PreparedImage(std::move(image));
    } catch (const std::bad_alloc&) {
        throw RuntimeError("no memory for an image of " + std::to_string(width) + " x " + std::to_string(height));
    }
}

SIZE kept_size(SIZE natural, platform::SizeF box)
{
    if (box.empty() || natural.cx < 1 || natural.cy < 1)
        return natural;
    // The pixels the picture covers where the slideshow places it in the box, at least one each way. The
    // slideshow's window works in pixels (its scale units are device pixels at any dpi), so the element's
    // rectangle is this one and the image prepared for it shares these pixels.
    try {
        const imaging::PictureFit fit = imaging::fit_picture(box.width, box.height, static_cast<float>(natural.cx),
                                                             static_cast<float>(natural.cy));
        const PixelRect shown = pixel_rect(fit.left, fit.top, fit.width, fit.height, 1.0);
        const SIZE most = box_pixels(box);
        return SIZE{std::clamp(shown.width(), 1L, std::max(1L, most.cx)),
                    std::clamp(shown.height(), 1L, std::max(1L, most.cy))};
    } catch (const RuntimeError&) {
        // A box the slideshow could not place in (beyond single precision): the natural size.
        return natural;
    }
}

SIZE stored_kept_size(SIZE stored, platform::SizeF box, Orientation orientation)
{
    if (!swaps_sides(orientation))
        return kept_size(stored, box);
    const SIZE kept = kept_size(SIZE{stored.cy, stored.cx}, box);
    return SIZE{kept.cy, kept.cx};
}

SIZE box_pixels(platform::SizeF box)
{
    if (box.empty())
        return SIZE{0, 0};
    const auto side = [](float units) {
        return static_cast<LONG>(std::min<double>(std::ceil(units), imaging::kMaxPictureSide));
    };
    return SIZE{side(box.width), side(box.height)};
}

} // namespace platform::win32

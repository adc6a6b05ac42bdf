// Decoded pictures in memory: the DIB sections that hold their pixels, the picture object the loader
// hands out, the size its pixels are kept at, and the images prepared from it for drawing.
#pragma once

#include "imaging/exif.h"
#include "platform/platform.h"
#include "platform/win32/common/win32_handles.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace platform::win32 {

using imaging::Orientation;

// A 32-bit top-down DIB section of premultiplied BGRA pixels, rows width * 4 bytes apart.
class Dib {
public:
    // Throws RuntimeError when the system cannot make one of that size.
    Dib(int width, int height);
    // The pixels that the file mapping `mapping` holds from its start (a picture from the decoder
    // process), not copied; the mapping's handle may be closed afterwards.
    Dib(int width, int height, HANDLE mapping);
    // Pixels that are never drawn in this process (the decoder process's), so no bitmap: at the start
    // of the file mapping `mapping`, or in memory of their own without one. Unlike a DIB section they
    // need nothing of the graphics system. Throws RuntimeError as above.
    [[nodiscard]] static std::shared_ptr<Dib> without_bitmap(int width, int height, HANDLE mapping = nullptr);
    ~Dib();
    Dib(const Dib&) = delete;
    Dib& operator=(const Dib&) = delete;

    // Null for pixels without a bitmap.
    [[nodiscard]] HBITMAP bitmap() const { return m_bitmap.get(); }
    [[nodiscard]] std::uint8_t* bits() const { return m_bits; }
    [[nodiscard]] int width() const { return m_width; }
    [[nodiscard]] int height() const { return m_height; }
    [[nodiscard]] std::ptrdiff_t stride() const { return std::ptrdiff_t{m_width} * 4; }

private:
    enum class Memory { Bitmap, View, Own };
    Dib(int width, int height, Memory memory);

    UniqueHbitmap m_bitmap;
    Memory m_memory = Memory::Bitmap;
    std::uint8_t* m_bits = nullptr;
    int m_width = 0;
    int m_height = 0;
};

// Where a decoder puts the pixels it makes (width, height): DIB sections when it is empty.
using PixelMemory = std::function<std::shared_ptr<Dib>(int width, int height)>;
[[nodiscard]] std::shared_ptr<Dib> make_pixels(const PixelMemory& memory, int width, int height);

// Pixels ready to be drawn unscaled. It may share the pixels of the picture it was made from; it
// keeps them alive on its own, so it may outlive that picture.
class PreparedImage {
public:
    // Nothing to draw.
    PreparedImage() = default;
    explicit PreparedImage(std::shared_ptr<const Dib> pixels) : m_pixels(std::move(pixels)) {}

    // A 32-bit top-down DIB section; null when there is nothing to draw.
    [[nodiscard]] HBITMAP bitmap() const { return m_pixels ? m_pixels->bitmap() : nullptr; }
    [[nodiscard]] int width() const { return m_pixels ? m_pixels->width() : 0; }
    [[nodiscard]] int height() const { return m_pixels ? m_pixels->height() : 0; }
    // The pixels themselves, for a caller that reads them; null when there is nothing to draw.
    [[nodiscard]] const std::shared_ptr<const Dib>& pixels() const { return m_pixels; }

private:
    std::shared_ptr<const Dib> m_pixels;
};

// A picture decoded by Win32Pictures: its natural size, and its pixels at the largest size it is
// ever shown at (no pixels when the natural width or height is zero).
class Win32Picture final : public platform::Picture {
public:
    Win32Picture(int natural_width, int natural_height, std::shared_ptr<const Dib> pixels)
        : m_natural_width(natural_width), m_natural_height(natural_height), m_pixels(std::move(pixels))
    {
    }

    [[nodiscard]] int natural_width() const override { return m_natural_width; }
    [[nodiscard]] int natural_height() const override { return m_natural_height; }
    [[nodiscard]] const std::shared_ptr<const Dib>& pixels() const { return m_pixels; }

private:
    int m_natural_width;
    int m_natural_height;
    std::shared_ptr<const Dib> m_pixels;
};

// `picture` must come from Win32Pictures. Returns a 32-bit top-down DIB section of exactly width x height,
// scaled with the high-quality filter; shares the picture's own pixels (no copy) when the sizes match.
// A width or height below 1, or a picture without pixels, gives an image with nothing to draw.
// Throws RuntimeError for a picture of another loader or when there is no memory for the image.
PreparedImage prepare_image(const platform::Picture& picture, int width, int height);

// The picture of a file whose pixels were decoded as stored, `stored` its size in the file: its natural
// size and its pixels turned and mirrored as `orientation` says, into `memory`. Throws RuntimeError when
// there is no memory for the turned pixels.
[[nodiscard]] std::shared_ptr<const Win32Picture> oriented_picture(SIZE stored, std::shared_ptr<const Dib> pixels,
                                                                   Orientation orientation,
                                                                   const PixelMemory& memory = {});

// The size the pixels of a picture of natural size `natural` are kept at for `box` (the window's inside
// that the slideshow will place it in): the device pixels that the picture covers where the placement
// rule puts it (imaging::fit_picture), its edges rounded as the picture element rounds them, so that
// drawing it there scales nothing; the natural size when it is smaller both ways, or when the box is
// empty.
[[nodiscard]] SIZE kept_size(SIZE natural, platform::SizeF box);
// The size to decode the pixels of a picture stored as `stored` to, so that once turned as
// `orientation` says they are kept_size of the turned picture.
[[nodiscard]] SIZE stored_kept_size(SIZE stored, platform::SizeF box, Orientation orientation);
// Whole pixels enough for the pixels of any picture kept for `box` (nothing for an empty box).
[[nodiscard]] SIZE box_pixels(platform::SizeF box);

} // namespace platform::win32

// The picture loader: files decoded through the Windows Imaging Component and kept at the size shown.
#pragma once

#include "platform/exif.h"
#include "platform/picture_limits.h"
#include "platform/picture_prefetch.h"
#include "platform/platform.h"
#include "platform/win32/win32_handles.h"

#include <windows.h>
#include <wincodec.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace platform::win32 {

// A 32-bit top-down DIB section of premultiplied BGRA pixels, rows width * 4 bytes apart.
class Dib {
public:
    // Throws RuntimeError when the system cannot make one of that size.
    Dib(int width, int height);

    [[nodiscard]] HBITMAP bitmap() const { return m_bitmap.get(); }
    [[nodiscard]] std::uint8_t* bits() const { return m_bits; }
    [[nodiscard]] int width() const { return m_width; }
    [[nodiscard]] int height() const { return m_height; }
    [[nodiscard]] std::ptrdiff_t stride() const { return std::ptrdiff_t{m_width} * 4; }

private:
    UniqueHbitmap m_bitmap;
    std::uint8_t* m_bits = nullptr;
    int m_width = 0;
    int m_height = 0;
};

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
// size and its pixels turned and mirrored as `orientation` says. Throws RuntimeError when there is no memory
// for the turned pixels.
[[nodiscard]] std::shared_ptr<const Win32Picture> oriented_picture(SIZE stored, std::shared_ptr<const Dib> pixels,
                                                                   Orientation orientation);

// Decodes picture files on one thread, kept at the size they are shown at for `bound`. The imaging
// component is started on that thread when a file first needs it.
class FileDecoder {
public:
    explicit FileDecoder(SIZE bound) : m_bound(bound) {}
    // As Win32Pictures::load, for a path in the system's own form.
    [[nodiscard]] std::shared_ptr<const Win32Picture> decode(const std::wstring& path);

private:
    IWICImagingFactory& factory();

    SIZE m_bound;
    ComPtr<IWICImagingFactory> m_factory;
};

// What tells the file at `path` from another file or another content of it; nothing when it cannot be
// opened. A folder has a stamp too.
[[nodiscard]] std::optional<FileStamp> file_stamp(const std::wstring& path);

class Win32Pictures final : public platform::Pictures {
public:
    // The largest size a picture is ever shown at: the screen, in pixels. A picture larger than that
    // is kept at its fit inside `bound`; a smaller one at its natural size.
    explicit Win32Pictures(SIZE bound);
    ~Win32Pictures() override;
    Win32Pictures(const Win32Pictures&) = delete;
    Win32Pictures& operator=(const Win32Pictures&) = delete;

    // Loads the first frame of the picture file at the UTF-8 `path`, whatever its extension says, turned
    // upright as its EXIF orientation says (the natural size is that of the turned picture). When the
    // same file was prepared ahead and has not changed since, that picture is taken instead.
    // Throws RuntimeError when the file is missing, is no picture the imaging component can read,
    // or is too large to decode.
    [[nodiscard]] platform::PictureRef load(std::string_view path) override;

    // Starts preparing the picture file at `path` on the loader's worker thread; returns at once.
    void prefetch(std::string_view path) override;
    // Whether the worker has finished what it was asked for.
    [[nodiscard]] bool prefetch_idle() const { return m_prefetch.idle(); }

    // The size the pixels of a picture of natural size `natural` are kept at for `bound`: the pixels
    // that the picture's fit on a screen of that size covers (fit_picture), the natural size when it
    // is smaller both ways.
    [[nodiscard]] static SIZE kept_size(SIZE natural, SIZE bound);
    // The size to decode the pixels of a picture stored as `stored` to, so that once turned as
    // `orientation` says they are kept_size of the turned picture.
    [[nodiscard]] static SIZE stored_kept_size(SIZE stored, SIZE bound, Orientation orientation);

    // Pictures with more pixels than this, or a side longer than kMaxSide, are refused unread.
    static constexpr std::uint64_t kMaxPixels = platform::kMaxPicturePixels;
    static constexpr UINT kMaxSide = platform::kMaxPictureSide;

private:
    CoInit m_com;
    FileDecoder m_decoder;
    PicturePrefetch m_prefetch;
};

} // namespace platform::win32

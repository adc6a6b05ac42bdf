// Pictures decoded through the Windows Imaging Component and kept at the size shown.
//
// A picture is never shown larger than its fit inside the screen, so only that many pixels are kept.
// The frame is read in strips of rows, converted to premultiplied BGRA and fed straight into the
// resampler, so the full-size decode is never held here. Where the codec can decode at a reduced
// scale (JPEG on Windows), it does so first, but never below the size that is kept. The imaging
// component's own scaler is not used: some implementations of it only pick the nearest pixel.
#include "platform/win32/pictures/win32_wic.h"

#include "imaging/byte_source.h"
#include "imaging/colour_profile.h"
#include "imaging/image_scale.h"
#include "imaging/picture_limits.h"
#include "platform/errors.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace platform::win32 {

using namespace imaging;

namespace {

// The codecs' native scaling interface. The MinGW-w64 headers lack it; its layout and identity are
// fixed by the imaging component.
struct BitmapSourceTransform : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CopyPixels(const WICRect* rect, UINT width, UINT height,
                                                 WICPixelFormatGUID* format, WICBitmapTransformOptions transform,
                                                 UINT stride, UINT size, BYTE* buffer) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetClosestSize(UINT* width, UINT* height) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetClosestPixelFormat(WICPixelFormatGUID* format) = 0;
    virtual HRESULT STDMETHODCALLTYPE DoesSupportTransform(WICBitmapTransformOptions transform, BOOL* supported) = 0;
};
constexpr IID kIidBitmapSourceTransform = {
    0x3b16811b, 0x6a43, 0x4ec9, {0xb7, 0x13, 0x3d, 0x5a, 0x0c, 0x13, 0xb9, 0x40}};

// Rows are read from the converter in strips of about this many bytes: large enough to keep the
// number of calls low, small enough to stay in the processor's cache while they are scaled.
constexpr std::size_t kStripBytes = 256 * 1024;

void check(HRESULT hr, const char* what)
{
    if (FAILED(hr)) {
        char code[16];
        std::snprintf(code, sizeof code, "%08lX", static_cast<unsigned long>(hr));
        throw RuntimeError(std::string(what) + " failed (" + code + ")");
    }
}

// Decodes `frame` at a reduced scale when its codec offers one that is still at least `kept` in
// both directions; returns null when it does not, and the full-size frame is used instead.
ComPtr<IWICBitmapSource> reduced_decode(IWICImagingFactory& factory, IWICBitmapFrameDecode& frame, UINT width,
                                        UINT height, SIZE kept)
{
    ComPtr<BitmapSourceTransform> transform;
    if (FAILED(frame.QueryInterface(kIidBitmapSourceTransform, transform.put_void())))
        return {};
    const UINT kept_width = static_cast<UINT>(kept.cx);
    const UINT kept_height = static_cast<UINT>(kept.cy);
    // Codecs scale by powers of two (JPEG: 1/2, 1/4, 1/8): try the smallest first.
    for (int shift = 3; shift >= 1; --shift) {
        UINT w = ((width - 1) >> shift) + 1;
        UINT h = ((height - 1) >> shift) + 1;
        if (w < kept_width || h < kept_height)
            continue;
        if (FAILED(transform->GetClosestSize(&w, &h)))
            return {};
        if (w < kept_width || h < kept_height || (w >= width && h >= height))
            continue;
        WICPixelFormatGUID format = GUID_WICPixelFormat32bppPBGRA;
        if (FAILED(transform->GetClosestPixelFormat(&format)))
            return {};
        ComPtr<IWICBitmap> bitmap;
        if (FAILED(factory.CreateBitmap(w, h, format, WICBitmapCacheOnLoad, bitmap.put())))
            return {};
        {
            const WICRect all{0, 0, static_cast<INT>(w), static_cast<INT>(h)};
            ComPtr<IWICBitmapLock> lock;
            UINT stride = 0;
            UINT size = 0;
            BYTE* data = nullptr;
            if (FAILED(bitmap->Lock(&all, WICBitmapLockWrite, lock.put())) || FAILED(lock->GetStride(&stride)) ||
                FAILED(lock->GetDataPointer(&size, &data)) ||
                FAILED(transform->CopyPixels(nullptr, w, h, &format, WICBitmapTransformRotate0, stride, size, data)))
                return {};
        }
        ComPtr<IWICBitmapSource> source;
        if (FAILED(bitmap->QueryInterface(__uuidof(IWICBitmapSource), source.put_void())))
            return {};
        return source;
    }
    return {};
}

// The layout of rows of `format` when the program converts them itself, or nothing.
std::optional<RowLayout> own_layout(const WICPixelFormatGUID& format)
{
    struct Known {
        const GUID* format;
        RowLayout layout;
    };
    static const Known kKnown[] = {
        {&GUID_WICPixelFormat32bppPBGRA, RowLayout::Bgra32Premultiplied},
        {&GUID_WICPixelFormat32bppBGRA, RowLayout::Bgra32},
        {&GUID_WICPixelFormat32bppBGR, RowLayout::Bgrx32},
        {&GUID_WICPixelFormat24bppBGR, RowLayout::Bgr24},
        {&GUID_WICPixelFormat8bppGray, RowLayout::Gray8},
    };
    for (const Known& known : kKnown)
        if (IsEqualGUID(format, *known.format))
            return known.layout;
    return std::nullopt;
}

// Turns one row of `width` pixels as read from the source into premultiplied BGRA.
using RowConversion = std::function<void(const std::uint8_t* in, std::uint8_t* out, int width)>;

// Reads all rows of `source`, `pixel_bytes` bytes a pixel, into `target`: strip by strip, each row
// turned into premultiplied BGRA by `convert` (taken as it is when `convert` is empty), and scaled to
// the target's size.
void read_strips(IWICBitmapSource& source, int pixel_bytes, const RowConversion& convert, int width, int height,
                 Dib& target)
{
    const bool same_size = width == target.width() && height == target.height();
    const bool as_is = !convert;
    if (same_size && as_is) {
        // The rows go straight into the target.
        check(source.CopyPixels(nullptr, static_cast<UINT>(target.stride()),
                                static_cast<UINT>(target.stride() * target.height()), target.bits()),
              "decoding the picture");
        return;
    }
    std::optional<ImageScaler> scaler;
    if (!same_size)
        scaler.emplace(width, height, target.bits(), target.width(), target.height(), target.stride());
    const std::size_t in_row = static_cast<std::size_t>(width) * static_cast<std::size_t>(pixel_bytes);
    const std::size_t out_row = static_cast<std::size_t>(width) * 4;
    const int strip = static_cast<int>(
        std::clamp<std::size_t>(kStripBytes / std::max(in_row, out_row), 1, static_cast<std::size_t>(height)));
    std::vector<std::uint8_t> raw(in_row * static_cast<std::size_t>(strip));
    std::vector<std::uint8_t> converted(as_is || same_size ? 0 : out_row * static_cast<std::size_t>(strip));
    for (int y = 0; y < height; y += strip) {
        const int rows = std::min(strip, height - y);
        const WICRect rect{0, y, width, rows};
        check(source.CopyPixels(&rect, static_cast<UINT>(in_row),
                                static_cast<UINT>(in_row * static_cast<std::size_t>(rows)), raw.data()),
              "decoding the picture");
        if (as_is) {
            scaler->push_rows(raw.data(), static_cast<std::ptrdiff_t>(in_row), rows);
            continue;
        }
        for (int r = 0; r < rows; ++r) {
            std::uint8_t* out = same_size ? target.bits() + target.stride() * (y + r)
                                          : converted.data() + out_row * static_cast<std::size_t>(r);
            convert(raw.data() + in_row * static_cast<std::size_t>(r), out, width);
        }
        if (scaler)
            scaler->push_rows(converted.data(), static_cast<std::ptrdiff_t>(out_row), rows);
    }
}

// Reads all rows of `source`, laid out as `layout`, into `target`, converting them to premultiplied
// BGRA and scaling them to the target's size strip by strip.
void read_rows(IWICBitmapSource& source, RowLayout layout, int width, int height, Dib& target)
{
    RowConversion convert;
    if (layout != RowLayout::Bgra32Premultiplied)
        convert = [layout](const std::uint8_t* in, std::uint8_t* out, int pixels) { convert_row(layout, in, out, pixels); };
    read_strips(source, bytes_per_pixel(layout), convert, width, height, target);
}

// The bytes of a file, read where they are asked for.
class FileByteSource final : public ByteSource {
public:
    explicit FileByteSource(HANDLE file) : m_file(file)
    {
        LARGE_INTEGER length{};
        if (::GetFileSizeEx(m_file, &length))
            m_size = static_cast<std::uint64_t>(length.QuadPart);
    }
    [[nodiscard]] std::uint64_t size() const override { return m_size; }
    std::size_t read(std::uint64_t offset, std::span<std::uint8_t> out) override
    {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD read = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(out.size(), 1u << 30));
        if (!::ReadFile(m_file, out.data(), want, &read, &at))
            return 0;
        return read;
    }

private:
    HANDLE m_file;
    std::uint64_t m_size = 0;
};

// What the headers of a file say before the imaging component sees it.
struct Headers {
    Orientation orientation = Orientation::Normal;
    PictureFormat format = PictureFormat::Unknown;
    EmbeddedColour colour;
};

// Reads the headers of `file` before the imaging component sees it: the orientation its EXIF data asks
// for and, when `with_colour`, what it says of its colours. Refuses the file when its headers say that
// decoding it takes more than the budget (imaging/picture_limits.h): some implementations of the
// imaging component decode a whole file when they open it.
Headers inspect_headers(HANDLE file, bool with_colour)
{
    Headers headers;
    FileByteSource source(file);
    const PictureCost cost = picture_cost(source, kDecoderBudgetBytes);
    if (cost.refused())
        throw RuntimeError("picture refused: " + cost.refusal);
    headers.format = cost.format;
    headers.orientation = file_orientation(source);
    if (with_colour)
        headers.colour = file_colour(source);
    return headers;
}

// The ICC profile the imaging component reports for `frame`, if any, within the size allowed.
std::optional<std::vector<std::uint8_t>> reported_profile(IWICImagingFactory& factory, IWICBitmapFrameDecode& frame)
{
    UINT count = 0;
    if (FAILED(frame.GetColorContexts(0, nullptr, &count)) || count == 0 || count > 16)
        return std::nullopt;
    std::vector<ComPtr<IWICColorContext>> contexts(count);
    std::vector<IWICColorContext*> raw(count);
    for (UINT i = 0; i < count; ++i) {
        if (FAILED(factory.CreateColorContext(contexts[i].put())))
            return std::nullopt;
        raw[i] = contexts[i].get();
    }
    UINT got = 0;
    if (FAILED(frame.GetColorContexts(count, raw.data(), &got)))
        return std::nullopt;
    for (UINT i = 0; i < std::min(got, count); ++i) {
        WICColorContextType type{};
        UINT size = 0;
        if (FAILED(raw[i]->GetType(&type)) || type != WICColorContextProfile ||
            FAILED(raw[i]->GetProfileBytes(0, nullptr, &size)) || size == 0 || size > kMaxColourProfileBytes)
            continue;
        std::vector<std::uint8_t> bytes(size);
        if (SUCCEEDED(raw[i]->GetProfileBytes(size, bytes.data(), &size)) && size == bytes.size())
            return bytes;
    }
    return std::nullopt;
}

// What the colours of `frame` are, from the headers read by the program or else from the imaging
// component. The formats whose colour tags the program reads whole (JPEG, TIFF, and PNG but for its
// compressed profile) are not asked about again.
EmbeddedColour frame_colour(IWICImagingFactory& factory, IWICBitmapFrameDecode& frame, Headers& headers)
{
    EmbeddedColour colour = std::move(headers.colour);
    const bool read_whole = headers.format == PictureFormat::Jpeg || headers.format == PictureFormat::Tiff ||
                            headers.format == PictureFormat::Png;
    if (colour.kind == EmbeddedColour::Kind::CompressedProfile ||
        (colour.kind == EmbeddedColour::Kind::Untagged && !read_whole)) {
        if (auto profile = reported_profile(factory, frame)) {
            colour.kind = EmbeddedColour::Kind::Profile;
            colour.profile = std::move(*profile);
        }
    }
    return colour;
}

// The layout of 16-bit frames that are converted before they are cut to 8 bits.
std::optional<ColourInput> wide_layout(const WICPixelFormatGUID& format)
{
    if (IsEqualGUID(format, GUID_WICPixelFormat48bppRGB))
        return ColourInput::Rgb16;
    if (IsEqualGUID(format, GUID_WICPixelFormat64bppRGBA))
        return ColourInput::Rgba16;
    if (IsEqualGUID(format, GUID_WICPixelFormat16bppGray))
        return ColourInput::Gray16;
    return std::nullopt;
}

// Reads all rows of `source`, 16-bit as `transform` takes them, into `target`: each strip converted to
// the display's colours in premultiplied BGRA, then scaled.
void read_wide_rows(IWICBitmapSource& source, const ColourTransform& transform, int width, int height, Dib& target)
{
    read_strips(source, bytes_per_pixel(transform.input()),
                [&transform](const std::uint8_t* in, std::uint8_t* out, int pixels) { transform.convert(in, out, pixels); },
                width, height, target);
}

} // namespace

std::shared_ptr<const Win32Picture> decode_with_wic(IWICImagingFactory& factory, const std::wstring& path,
                                                    platform::SizeF box, ColourTransforms* colours,
                                                    const PixelMemory& memory)
{
    const UniqueHfile file = open_file(path.c_str(), GENERIC_READ, FILE_SHARE_READ);
    if (!file)
        throw RuntimeError("opening the picture file failed");
    return decode_with_wic(factory, file.get(), box, colours, memory);
}

std::shared_ptr<const Win32Picture> decode_with_wic(IWICImagingFactory& factory, HANDLE file, platform::SizeF box,
                                                    ColourTransforms* colours, const PixelMemory& memory)
{
    // The headers are checked and the picture decoded from the same open file: the bytes checked are
    // the bytes decoded.
    Headers headers = inspect_headers(file, colours != nullptr);
    const Orientation orientation = headers.orientation;
    ComPtr<IWICBitmapDecoder> decoder;
    LARGE_INTEGER start{};
    ::SetFilePointerEx(file, start, nullptr, FILE_BEGIN);
    check(factory.CreateDecoderFromFileHandle(reinterpret_cast<ULONG_PTR>(file), nullptr,
                                              WICDecodeMetadataCacheOnDemand, decoder.put()),
          "opening the picture file");
    ComPtr<IWICBitmapFrameDecode> frame;
    check(decoder->GetFrame(0, frame.put()), "reading the picture's first frame");
    UINT width = 0;
    UINT height = 0;
    check(frame->GetSize(&width, &height), "reading the picture's size");
    // A header may claim any size; refuse an absurd one before anything is allocated for it.
    if (width > imaging::kMaxPictureSide || height > imaging::kMaxPictureSide ||
        std::uint64_t{width} * height > imaging::kMaxPicturePixels)
        throw RuntimeError("picture too large: " + std::to_string(width) + " x " + std::to_string(height));
    const int natural_width = static_cast<int>(width);
    const int natural_height = static_cast<int>(height);
    const SIZE stored{natural_width, natural_height};
    if (natural_width == 0 || natural_height == 0)
        return oriented_picture(stored, nullptr, orientation);

    const SIZE kept = stored_kept_size(stored, box, orientation);
    std::shared_ptr<Dib> pixels = make_pixels(memory, kept.cx, kept.cy);

    const EmbeddedColour colour =
        colours != nullptr ? frame_colour(factory, *frame.get(), headers) : EmbeddedColour{};
    if (colours != nullptr) {
        WICPixelFormatGUID frame_format{};
        check(frame->GetPixelFormat(&frame_format), "reading the picture's pixel format");
        if (const std::optional<ColourInput> wide = wide_layout(frame_format)) {
            if (const auto transform = colours->find(colour, *wide)) {
                read_wide_rows(*frame.get(), *transform, natural_width, natural_height, *pixels);
                return oriented_picture(stored, std::move(pixels), orientation, memory);
            }
        }
    }

    ComPtr<IWICBitmapSource> reduced = reduced_decode(factory, *frame.get(), width, height, kept);
    IWICBitmapSource* source = reduced ? reduced.get() : frame.get();
    UINT source_width = 0;
    UINT source_height = 0;
    check(source->GetSize(&source_width, &source_height), "reading the picture's size");
    // The common layouts are converted here, in the same pass as the scaling: some implementations of
    // the imaging component's converter take a third of the decoding time over it. Any other layout
    // goes through that converter. Either way the pixels end up premultiplied, so that transparent
    // ones come out black, the colour of the screen behind.
    WICPixelFormatGUID format{};
    check(source->GetPixelFormat(&format), "reading the picture's pixel format");
    std::optional<RowLayout> layout = own_layout(format);
    ComPtr<IWICFormatConverter> converter;
    if (!layout) {
        check(factory.CreateFormatConverter(converter.put()), "creating a pixel converter");
        check(converter->Initialize(source, GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                    WICBitmapPaletteTypeMedianCut),
              "converting the picture's pixels");
        source = converter.get();
        layout = RowLayout::Bgra32Premultiplied;
    }
    read_rows(*source, *layout, static_cast<int>(source_width), static_cast<int>(source_height), *pixels);
    if (colours != nullptr) {
        if (const auto transform = colours->find(colour, ColourInput::Bgra8Premultiplied))
            convert_picture(*transform, pixels->bits(), pixels->width(), pixels->height(), pixels->stride());
    }
    return oriented_picture(stored, std::move(pixels), orientation, memory);
}


} // namespace platform::win32

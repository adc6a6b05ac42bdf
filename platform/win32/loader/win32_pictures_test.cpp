// Tests of the picture loader: files it refuses, the size it keeps, transparency, animation, and its
// JPEG decoder against the imaging component. The pictures are small ones made here, for a screen of
// 192 x 108 pixels, so that a large photograph is a few hundred pixels wide.
#include "platform/win32/loader/win32_pictures.h"

#include "imaging/image_scale.h"
#include "imaging/picture_placement.h"
#include "platform/errors.h"
#include "platform/win32/common/win32_pixel_rect.h"
#include "platform/win32/common/win32_text.h"
#include "platform/win32/pictures/win32_jpeg.h"
#include "platform/win32/testing/win32_test_files.h"
#include "platform/win32/testing/win32_test_jpeg.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>
#include <wincodec.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace platform::win32 {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using imaging::scale_image;

constexpr platform::SizeF kScreen{192, 108};

// ---- Files ----

void write_file(const fs::path& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes read_file(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// ---- Pictures made here ----

// A 24-bit BMP file of the picture.
Bytes bmp_file(const RgbImage& image)
{
    const int row_bytes = (image.width * 3 + 3) & ~3;
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = DWORD(file.bfOffBits + row_bytes * image.height);
    info.biSize = sizeof info;
    info.biWidth = image.width;
    info.biHeight = image.height; // bottom-up
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    Bytes out(file.bfSize, 0);
    std::memcpy(out.data(), &file, sizeof file);
    std::memcpy(out.data() + sizeof file, &info, sizeof info);
    for (int y = 0; y < image.height; ++y) {
        const std::uint8_t* rgb = image.bytes.data() + std::size_t(image.height - 1 - y) * image.width * 3;
        std::uint8_t* bgr = out.data() + file.bfOffBits + std::size_t(y) * row_bytes;
        for (int x = 0; x < image.width; ++x) {
            bgr[x * 3] = rgb[x * 3 + 2];
            bgr[x * 3 + 1] = rgb[x * 3 + 1];
            bgr[x * 3 + 2] = rgb[x * 3];
        }
    }
    return out;
}

// A BMP file and info header for a 24-bit picture of width x height, followed by `pixel_bytes` zeros.
Bytes bmp_claiming(std::int32_t width, std::int32_t height, std::size_t pixel_bytes)
{
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = DWORD(file.bfOffBits + pixel_bytes);
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    Bytes out(sizeof file + sizeof info + pixel_bytes, 0);
    std::memcpy(out.data(), &file, sizeof file);
    std::memcpy(out.data() + sizeof file, &info, sizeof info);
    return out;
}

// A well-formed PNG header that claims a picture of width x height, followed by a token of data.
Bytes png_claiming(std::uint32_t width, std::uint32_t height)
{
    Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes ihdr;
    put_be32(ihdr, width);
    put_be32(ihdr, height);
    ihdr.insert(ihdr.end(), {8, 6, 0, 0, 0}); // 8-bit RGBA, no interlace
    put_chunk(out, "IHDR", ihdr);
    put_chunk(out, "IDAT", {0x78, 0x9C, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01});
    put_chunk(out, "IEND", {});
    return out;
}

void check(HRESULT hr, const char* what)
{
    if (FAILED(hr))
        throw RuntimeError(what);
}

ComPtr<IWICImagingFactory> imaging_factory()
{
    ComPtr<IWICImagingFactory> factory;
    check(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IWICImagingFactory),
                             factory.put_void()),
          "the imaging component");
    return factory;
}

// One frame for the imaging component's encoder: rows of `format` pixels, and a palette for indexed ones.
struct Frame {
    int width;
    int height;
    WICPixelFormatGUID format;
    int bytes_per_pixel;
    Bytes pixels;
    std::vector<WICColor> palette;
};

// Writes `frames` to `path` with the imaging component's encoder for `container` (PNG, GIF).
void encode_with_imaging(const fs::path& path, const GUID& container, const std::vector<Frame>& frames)
{
    const ComPtr<IWICImagingFactory> factory = imaging_factory();
    ComPtr<IWICStream> stream;
    check(factory->CreateStream(stream.put()), "stream");
    check(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE), "file");
    ComPtr<IWICBitmapEncoder> encoder;
    check(factory->CreateEncoder(container, nullptr, encoder.put()), "encoder");
    check(encoder->Initialize(stream.get(), WICBitmapEncoderNoCache), "encoder start");
    for (const Frame& f : frames) {
        ComPtr<IWICBitmapFrameEncode> frame;
        ComPtr<IPropertyBag2> options;
        check(encoder->CreateNewFrame(frame.put(), options.put()), "frame");
        check(frame->Initialize(options.get()), "frame start");
        check(frame->SetSize(UINT(f.width), UINT(f.height)), "frame size");
        WICPixelFormatGUID format = f.format;
        check(frame->SetPixelFormat(&format), "pixel format");
        if (!IsEqualGUID(format, f.format))
            throw RuntimeError("the encoder takes another pixel format");
        if (!f.palette.empty()) {
            ComPtr<IWICPalette> palette;
            check(factory->CreatePalette(palette.put()), "palette");
            check(palette->InitializeCustom(const_cast<WICColor*>(f.palette.data()), UINT(f.palette.size())),
                  "palette colours");
            check(frame->SetPalette(palette.get()), "frame palette");
        }
        const UINT stride = UINT(f.width * f.bytes_per_pixel);
        check(frame->WritePixels(UINT(f.height), stride, UINT(f.pixels.size()), const_cast<BYTE*>(f.pixels.data())),
              "pixels");
        check(frame->Commit(), "frame end");
    }
    check(encoder->Commit(), "encoder end");
}

// ---- Looking at what the loader made ----

// What loading a file came to: the picture, or the error that refused it.
struct Loaded {
    PictureRef picture;
    std::string outcome; // "loaded", "refused: <message>" or "other error"
    [[nodiscard]] const Win32Picture& own() const { return dynamic_cast<const Win32Picture&>(*picture); }
};

Loaded load(Win32Pictures& pictures, const fs::path& path)
{
    Loaded result;
    try {
        result.picture = pictures.load(narrow(path.wstring()), kScreen);
        result.outcome = "loaded";
    } catch (const RuntimeError& e) {
        result.outcome = std::string("refused: ") + e.what();
    } catch (...) {
        result.outcome = "other error";
    }
    return result;
}

// decode_jpeg's result, or the error it refused the file with.
struct JpegOutcome {
    JpegDecode decode;
    std::string error;
};

JpegOutcome decode(const fs::path& path)
{
    JpegOutcome outcome;
    try {
        outcome.decode = decode_jpeg(path.wstring(), kScreen);
    } catch (const RuntimeError& e) {
        outcome.error = e.what();
    }
    return outcome;
}

// The B, G, R, A bytes of pixel (x, y), as one number.
std::uint32_t pixel_at(const Dib& dib, int x, int y)
{
    std::uint32_t v = 0;
    std::memcpy(&v, dib.bits() + dib.stride() * y + std::ptrdiff_t{x} * 4, 4);
    return v;
}

bool same_pixels(const Dib& a, const Dib& b)
{
    return a.width() == b.width() && a.height() == b.height() &&
           std::memcmp(a.bits(), b.bits(), std::size_t(a.stride() * a.height())) == 0;
}

// The imaging component's decode of the whole first frame, scaled to width x height with the loader's
// resampler: what the loader would keep of a JPEG file without a decoder of its own.
Bytes imaging_reference(const fs::path& path, int width, int height)
{
    const ComPtr<IWICImagingFactory> factory = imaging_factory();
    ComPtr<IWICBitmapDecoder> decoder;
    check(factory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ, WICDecodeMetadataCacheOnDemand,
                                             decoder.put()),
          "open");
    ComPtr<IWICBitmapFrameDecode> frame;
    check(decoder->GetFrame(0, frame.put()), "frame");
    ComPtr<IWICFormatConverter> converter;
    check(factory->CreateFormatConverter(converter.put()), "converter");
    check(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                WICBitmapPaletteTypeMedianCut),
          "convert");
    UINT w = 0;
    UINT h = 0;
    check(converter->GetSize(&w, &h), "size");
    Bytes full(std::size_t{w} * h * 4);
    check(converter->CopyPixels(nullptr, w * 4, UINT(full.size()), full.data()), "decode");
    Bytes scaled(std::size_t(width) * std::size_t(height) * 4);
    scale_image(full.data(), int(w), int(h), std::ptrdiff_t{w} * 4, scaled.data(), width, height,
                std::ptrdiff_t{width} * 4);
    return scaled;
}

// The mean absolute difference of the blue, green and red levels of an image and pixels of its size.
double mean_difference(const Dib& dib, const Bytes& pixels)
{
    std::uint64_t sum = 0;
    for (int y = 0; y < dib.height(); ++y) {
        const std::uint8_t* a = dib.bits() + dib.stride() * y;
        const std::uint8_t* b = pixels.data() + dib.stride() * y;
        for (int x = 0; x < dib.width() * 4; ++x)
            if (x % 4 != 3)
                sum += std::uint64_t(std::abs(int{a[x]} - int{b[x]}));
    }
    return double(sum) / (3.0 * dib.width() * dib.height());
}

// The offset of the frame header (SOF0 to SOF2 marker) in the bytes of a JPEG file, or 0.
std::size_t frame_header(const Bytes& jpeg)
{
    std::size_t at = 2;
    while (at + 9 < jpeg.size() && jpeg[at] == 0xFF) {
        const std::uint8_t marker = jpeg[at + 1];
        if (marker >= 0xC0 && marker <= 0xC2)
            return at;
        if (marker == 0xDA)
            break;
        at += 2 + (std::size_t{jpeg[at + 2]} << 8 | jpeg[at + 3]);
    }
    return 0;
}

// The bytes with `count` seeded random bytes written over them from `at` on.
Bytes scribbled(Bytes bytes, std::size_t at, std::size_t count)
{
    std::uint32_t seed = 987654321;
    for (std::size_t i = at; i < at + count && i < bytes.size(); ++i) {
        seed = seed * 1103515245u + 12345u;
        bytes[i] = std::uint8_t(seed >> 16);
    }
    return bytes;
}

Bytes first_part(const Bytes& bytes, std::size_t size)
{
    return Bytes(bytes.begin(), bytes.begin() + std::ptrdiff_t(size));
}

// ---- The tests ----

// The kept size is what the picture covers where the slideshow places it, its edges rounded to pixels,
// so that the image prepared for drawing shares the kept pixels.
TEST(PictureLoaderKeptSize, IsThePixelsThePlacedPictureCovers)
{
    struct Case {
        SIZE natural;
        platform::SizeF box;
        SIZE kept;
    };
    static const Case kCases[] = {
        {{800, 600}, {1920, 1080}, {800, 600}},     // smaller both ways: natural size
        {{1920, 500}, {1920, 1080}, {1920, 500}},   // as wide as the screen: its own size
        {{1920, 1080}, {1920, 1080}, {1920, 1080}}, // the screen's size
        {{6000, 4000}, {1920, 1080}, {1620, 1080}},
        {{4000, 1001}, {1920, 1080}, {1920, 480}},  // 480.48 tall from 299.76: edges 300 and 780
        {{1000, 1085}, {1920, 1080}, {996, 1080}},  // 995.39 wide from 462.30: edges 462 and 1458
        {{1000, 1129}, {1920, 1080}, {956, 1080}},  // 956.60 wide from 481.70: edges 482 and 1438
        {{65535, 1}, {1920, 1080}, {1920, 1}},      // never less than a pixel
        {{800, 600}, {0, 0}, {800, 600}},           // no screen to fit: natural size
    };
    for (const Case& c : kCases) {
        const SIZE kept = kept_size(c.natural, c.box);
        EXPECT_EQ(kept.cx, c.kept.cx) << c.natural.cx << " x " << c.natural.cy;
        EXPECT_EQ(kept.cy, c.kept.cy) << c.natural.cx << " x " << c.natural.cy;
    }
}

// The sample pictures are made once for all tests, in a folder of their own that goes with them.
class PictureLoaderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_folder = fs::temp_directory_path() / (L"kwobl-loader-test-" + std::to_wstring(::GetCurrentProcessId()));
        fs::create_directories(s_folder);
        const CoInit com;
        const RgbImage large = photograph(600, 400);
        write_file(s_folder / L"photo.jpg", encode_jpeg(large, JpegKind::Baseline));
        write_file(s_folder / L"progressive.jpg", encode_jpeg(large, JpegKind::Progressive));
        const RgbImage screen = photograph(192, 108);
        write_file(s_folder / L"screen.jpg", encode_jpeg(screen, JpegKind::Baseline));
        write_file(s_folder / L"arithmetic.jpg", encode_jpeg(screen, JpegKind::Arithmetic));
        write_file(s_folder / L"gray.jpg", encode_jpeg(photograph(300, 200), JpegKind::Gray));
        write_file(s_folder / L"cmyk.jpg", encode_jpeg(photograph(240, 160), JpegKind::Cmyk));
        write_file(s_folder / L"cmyk-small.jpg", encode_jpeg(photograph(64, 48), JpegKind::Cmyk));
        write_file(s_folder / L"small.bmp", bmp_file(photograph(80, 60)));
        try {
            // Half transparent: the left half clear, the right half opaque red.
            Frame alpha{20, 10, GUID_WICPixelFormat32bppBGRA, 4, Bytes(20 * 10 * 4, 0), {}};
            for (int y = 0; y < 10; ++y)
                for (int x = 10; x < 20; ++x)
                    std::memcpy(&alpha.pixels[std::size_t(y * 20 + x) * 4], "\x00\x00\xFF\xFF", 4);
            encode_with_imaging(s_folder / L"alpha.png", GUID_ContainerFormatPng, {alpha});
            // Two frames, red then blue.
            const std::vector<WICColor> palette = {0xFFFF0000, 0xFF0000FF};
            encode_with_imaging(s_folder / L"anim.gif", GUID_ContainerFormatGif,
                                {{32, 24, GUID_WICPixelFormat8bppIndexed, 1, Bytes(32 * 24, 0), palette},
                                 {32, 24, GUID_WICPixelFormat8bppIndexed, 1, Bytes(32 * 24, 1), palette}});
        } catch (const RuntimeError& e) {
            s_encoder_error = e.what();
        }
    }

    static void TearDownTestSuite()
    {
        std::error_code ignored;
        fs::remove_all(s_folder, ignored);
    }

    void SetUp() override { ASSERT_EQ(s_encoder_error, "") << "the imaging component's encoders"; }

    static fs::path file(const wchar_t* name) { return s_folder / name; }

    CoInit m_com;
    Win32Pictures pictures;

    static inline fs::path s_folder;
    static inline std::string s_encoder_error;
};

TEST_F(PictureLoaderTest, FilesThatAreNoPictureAreRefusedWithTheProgramsError)
{
    const Bytes photo = read_file(file(L"photo.jpg"));
    ASSERT_GT(photo.size(), 1000u);
    Bytes noise(4096);
    std::uint32_t seed = 12345;
    for (auto& b : noise) {
        seed = seed * 1103515245u + 12345u;
        b = std::uint8_t(seed >> 16);
    }
    write_file(file(L"random.DAT"), noise);
    write_file(file(L"empty.DAT"), {});
    write_file(file(L"truncated.DAT"), first_part(photo, photo.size() / 2));
    write_file(file(L"huge.DAT"), png_claiming(65535, 65535));
    write_file(file(L"wide.DAT"), png_claiming(200000, 10));
    // A BMP header is read on its own, its pixels only when they are copied: the loader sees the size.
    write_file(file(L"huge-bmp.DAT"), bmp_claiming(65535, 65535, 64));
    write_file(file(L"wide-bmp.DAT"), bmp_claiming(200000, 10, 64));
    write_file(file(L"short-bmp.DAT"), bmp_claiming(20000, 5000, 64));
    fs::create_directories(file(L"folder.DAT"));
    for (const wchar_t* name : {L"random.DAT", L"empty.DAT", L"truncated.DAT", L"huge.DAT", L"wide.DAT",
                                L"huge-bmp.DAT", L"wide-bmp.DAT", L"short-bmp.DAT", L"folder.DAT", L"missing.DAT"})
        EXPECT_THAT(load(pictures, file(name)).outcome, StartsWith("refused: ")) << narrow(name);
    // These claim sizes that the loader itself refuses from their headers, before the imaging component
    // opens them.
    EXPECT_THAT(load(pictures, file(L"huge-bmp.DAT")).outcome, StartsWith("refused: picture refused: bitmap too large"));
    EXPECT_THAT(load(pictures, file(L"wide-bmp.DAT")).outcome, StartsWith("refused: picture refused: bitmap too large"));
}

TEST_F(PictureLoaderTest, AZeroWidthIsRefusedOrGivesAPictureWithoutPixels)
{
    write_file(file(L"zero.DAT"), bmp_claiming(0, 16, 64));
    const Loaded zero = load(pictures, file(L"zero.DAT"));
    if (zero.outcome != "loaded") {
        EXPECT_THAT(zero.outcome, StartsWith("refused: "));
        return;
    }
    EXPECT_EQ(zero.own().natural_width(), 0);
    EXPECT_EQ(zero.own().natural_height(), 16);
    EXPECT_FALSE(zero.own().pixels());
    EXPECT_FALSE(prepare_image(*zero.picture, 0, 16).bitmap());
}

TEST_F(PictureLoaderTest, ALargePhotographKeepsOnlyThePixelsOfItsFitOnTheScreen)
{
    Loaded photo = load(pictures, file(L"photo.jpg"));
    ASSERT_EQ(photo.outcome, "loaded");
    const Win32Picture& own = photo.own();
    EXPECT_EQ(own.natural_width(), 600);
    EXPECT_EQ(own.natural_height(), 400);
    ASSERT_TRUE(own.pixels());
    EXPECT_EQ(own.pixels()->width(), 162);
    EXPECT_EQ(own.pixels()->height(), 108);

    const PreparedImage same = prepare_image(*photo.picture, 162, 108);
    EXPECT_NE(same.bitmap(), nullptr);
    EXPECT_EQ(same.bitmap(), own.pixels()->bitmap()) << "the kept size shares the picture's own bitmap";
    const PreparedImage smaller = prepare_image(*photo.picture, 81, 54);
    ASSERT_NE(smaller.bitmap(), nullptr);
    EXPECT_NE(smaller.bitmap(), own.pixels()->bitmap());
    BITMAP info{};
    ASSERT_EQ(::GetObjectW(smaller.bitmap(), sizeof info, &info), int(sizeof info));
    EXPECT_EQ(info.bmWidth, 81);
    EXPECT_EQ(info.bmHeight, 54);
    EXPECT_EQ(info.bmBitsPixel, 32);
    EXPECT_FALSE(prepare_image(*photo.picture, 0, 54).bitmap()) << "a zero width prepares to nothing";

    photo.picture.reset();
    BITMAP kept{};
    ASSERT_EQ(::GetObjectW(same.bitmap(), sizeof kept, &kept), int(sizeof kept));
    EXPECT_EQ(kept.bmWidth, 162) << "a prepared image keeps the shared pixels alive";
    EXPECT_EQ(same.pixels().use_count(), 1);
}

// Each picture is decoded at the size the slideshow places it at in the box it is asked for, so that the
// image the picture element prepares for its rectangle is the picture's own pixels: nothing is scaled on
// the user-interface thread, whatever the box (a display changed, an odd or fractional size).
TEST_F(PictureLoaderTest, APictureIsDecodedAtThePlacedSizeForTheBoxAskedFor)
{
    const struct {
        const wchar_t* file;
        platform::SizeF box;
        SIZE kept;
    } cases[] = {
        {L"photo.jpg", {192, 108}, {162, 108}},   // full height on the test screen
        {L"photo.jpg", {1024, 768}, {600, 400}},  // the display grew: natural size
        {L"photo.jpg", {100, 300}, {100, 66}},    // 66.67 tall from 116.67: edges 117 and 183
        {L"photo.jpg", {161, 107.5}, {161, 107}}, // a fractional box: 107.33 from 0.08
        {L"small.bmp", {60, 60}, {60, 45}},       // the imaging component's pictures too
        {L"small.bmp", {192, 108}, {80, 60}},
    };
    for (const auto& c : cases) {
        const std::string what = narrow(c.file) + " in " + std::to_string(c.box.width) + " x " +
                                 std::to_string(c.box.height);
        PictureRef picture;
        ASSERT_NO_THROW(picture = pictures.load(narrow(file(c.file).wstring()), c.box)) << what;
        const auto& own = dynamic_cast<const Win32Picture&>(*picture);
        ASSERT_TRUE(own.pixels()) << what;
        EXPECT_EQ(own.pixels()->width(), c.kept.cx) << what;
        EXPECT_EQ(own.pixels()->height(), c.kept.cy) << what;
        // Where the slideshow puts it, rounded to pixels as the element rounds it.
        const imaging::PictureFit fit =
            imaging::fit_picture(c.box.width, c.box.height, float(own.natural_width()), float(own.natural_height()));
        const PixelRect element = pixel_rect(fit.left, fit.top, fit.width, fit.height, 1.0);
        const PreparedImage prepared = prepare_image(*picture, int(element.width()), int(element.height()));
        EXPECT_EQ(prepared.bitmap(), own.pixels()->bitmap()) << what << ": scaled again for drawing";
    }
}

TEST_F(PictureLoaderTest, PicturesInAFolderNamedInJapaneseLoadWhateverTheirName)
{
    const fs::path japanese = file(L"\x5199\x771F");
    fs::create_directories(japanese);
    fs::copy_file(file(L"small.bmp"), japanese / L"KWOBL001.DAT", fs::copy_options::overwrite_existing);
    fs::copy_file(file(L"screen.jpg"), japanese / L"KWOBL002.DAT", fs::copy_options::overwrite_existing);

    const Loaded bmp = load(pictures, japanese / L"KWOBL001.DAT");
    ASSERT_EQ(bmp.outcome, "loaded");
    EXPECT_EQ(bmp.own().natural_width(), 80);
    EXPECT_EQ(bmp.own().pixels()->width(), 80) << "a small picture is kept at its natural size";
    EXPECT_EQ(bmp.own().pixels()->height(), 60);

    const Loaded jpeg = load(pictures, japanese / L"KWOBL002.DAT");
    ASSERT_EQ(jpeg.outcome, "loaded");
    EXPECT_EQ(jpeg.own().natural_width(), 192);
    EXPECT_EQ(jpeg.own().natural_height(), 108);
    const JpegOutcome decoded = decode(file(L"screen.jpg"));
    ASSERT_TRUE(decoded.decode.picture) << decoded.error;
    EXPECT_TRUE(same_pixels(*jpeg.own().pixels(), *decoded.decode.picture->pixels()))
        << "a JPEG file named .DAT goes to the JPEG decoder";
}

TEST_F(PictureLoaderTest, TransparentPixelsComeOutBlackAndOpaqueOnesKeepTheirColour)
{
    const Loaded alpha = load(pictures, file(L"alpha.png"));
    ASSERT_EQ(alpha.outcome, "loaded");
    const Dib& dib = *alpha.own().pixels();
    EXPECT_EQ(pixel_at(dib, 2, 5), 0x00000000u);
    EXPECT_EQ(pixel_at(dib, 17, 5), 0xFFFF0000u);
}

TEST_F(PictureLoaderTest, AnAnimatedGifShowsItsFirstFrame)
{
    const Loaded anim = load(pictures, file(L"anim.gif"));
    ASSERT_EQ(anim.outcome, "loaded");
    EXPECT_EQ(anim.own().natural_width(), 32);
    EXPECT_EQ(anim.own().natural_height(), 24);
    EXPECT_EQ(pixel_at(*anim.own().pixels(), 16, 12), 0xFFFF0000u);
}

// Each kind of JPEG file decodes at the fewest eighths that cover its fit on the screen, and comes
// out as the imaging component's full decode, scaled the same way, does.
TEST_F(PictureLoaderTest, EachKindOfJpegDecodesAtTheFewestEighthsThatCoverItsFit)
{
    struct Sample {
        const wchar_t* name;
        int width, height;     // natural
        int eighths;
        int decoded_width, decoded_height;
        int kept_width, kept_height;
    };
    static const Sample kSamples[] = {
        {L"photo.jpg", 600, 400, 3, 225, 150, 162, 108},
        {L"progressive.jpg", 600, 400, 3, 225, 150, 162, 108},
        {L"screen.jpg", 192, 108, 8, 192, 108, 192, 108},
        {L"gray.jpg", 300, 200, 5, 188, 125, 162, 108},
        {L"cmyk.jpg", 240, 160, 6, 180, 120, 162, 108},
        {L"cmyk-small.jpg", 64, 48, 8, 64, 48, 64, 48},
    };
    for (const Sample& s : kSamples) {
        SCOPED_TRACE(narrow(s.name));
        const JpegOutcome outcome = decode(file(s.name));
        const JpegDecode& jpeg = outcome.decode;
        ASSERT_TRUE(jpeg.picture) << outcome.error;
        EXPECT_EQ(jpeg.picture->natural_width(), s.width);
        EXPECT_EQ(jpeg.picture->natural_height(), s.height);
        EXPECT_EQ(jpeg.eighths, s.eighths);
        EXPECT_EQ(jpeg.decoded.cx, s.decoded_width);
        EXPECT_EQ(jpeg.decoded.cy, s.decoded_height);
        const Dib& dib = *jpeg.picture->pixels();
        ASSERT_EQ(dib.width(), s.kept_width);
        ASSERT_EQ(dib.height(), s.kept_height);
        EXPECT_LT(mean_difference(dib, imaging_reference(file(s.name), s.kept_width, s.kept_height)), 2.0);
    }
}

TEST_F(PictureLoaderTest, TheLoaderKeepsTheJpegDecodersPixels)
{
    const Loaded photo = load(pictures, file(L"photo.jpg"));
    ASSERT_EQ(photo.outcome, "loaded");
    const JpegOutcome decoded = decode(file(L"photo.jpg"));
    ASSERT_TRUE(decoded.decode.picture) << decoded.error;
    EXPECT_TRUE(same_pixels(*photo.own().pixels(), *decoded.decode.picture->pixels()));
}

TEST_F(PictureLoaderTest, ArithmeticCodingGivesTheSamePixels)
{
    const JpegOutcome arithmetic = decode(file(L"arithmetic.jpg"));
    const JpegOutcome huffman = decode(file(L"screen.jpg"));
    ASSERT_TRUE(arithmetic.decode.picture) << arithmetic.error;
    ASSERT_TRUE(huffman.decode.picture) << huffman.error;
    EXPECT_TRUE(same_pixels(*arithmetic.decode.picture->pixels(), *huffman.decode.picture->pixels()));
}

// Other files are left to the imaging component: pictures of other formats, and JPEG coding that the
// decoder lacks (here 12-bit samples, which the imaging component may lack too).
TEST_F(PictureLoaderTest, WhatTheJpegDecoderLacksIsLeftToTheImagingComponent)
{
    const JpegOutcome bmp = decode(file(L"small.bmp"));
    EXPECT_EQ(bmp.error, "");
    EXPECT_FALSE(bmp.decode.picture);

    const Bytes photo = read_file(file(L"screen.jpg"));
    const std::size_t sof = frame_header(photo);
    ASSERT_NE(sof, 0u);
    Bytes twelve = photo;
    twelve[sof + 4] = 12;
    write_file(file(L"twelve-bit.DAT"), twelve);
    const JpegOutcome outcome = decode(file(L"twelve-bit.DAT"));
    EXPECT_EQ(outcome.error, "");
    EXPECT_FALSE(outcome.decode.picture);
    const Loaded loaded = load(pictures, file(L"twelve-bit.DAT"));
    if (loaded.outcome != "loaded") {
        EXPECT_THAT(loaded.outcome, StartsWith("refused: "));
        EXPECT_THAT(loaded.outcome, ::testing::Not(HasSubstr("JPEG"))) << "refused by the imaging component";
    }
}

TEST_F(PictureLoaderTest, AJpegHeaderClaimingAHugePictureIsRefusedForItsSize)
{
    Bytes huge = read_file(file(L"screen.jpg"));
    const std::size_t sof = frame_header(huge);
    ASSERT_NE(sof, 0u);
    huge[sof + 5] = huge[sof + 7] = 0xEA; // 60000 x 60000
    huge[sof + 6] = huge[sof + 8] = 0x60;
    write_file(file(L"huge-jpeg.DAT"), huge);
    EXPECT_THAT(decode(file(L"huge-jpeg.DAT")).error, StartsWith("picture too large: 60000 x 60000"));
}

// Truncated and corrupt files are refused by the JPEG decoder itself, not decoded with grey or garbled
// areas, nor handed to the imaging component.
TEST_F(PictureLoaderTest, TruncatedAndCorruptJpegFilesAreRefusedByTheJpegDecoder)
{
    const Bytes base = read_file(file(L"photo.jpg"));
    const Bytes progressive = read_file(file(L"progressive.jpg"));
    ASSERT_GT(base.size(), 20000u);
    ASSERT_GT(progressive.size(), 20000u);
    write_file(file(L"truncated-half.DAT"), first_part(base, base.size() / 2));
    write_file(file(L"truncated-end.DAT"), first_part(base, base.size() - base.size() / 8));
    write_file(file(L"truncated-progressive.DAT"), first_part(progressive, progressive.size() * 4 / 5));
    write_file(file(L"corrupt.DAT"), scribbled(base, base.size() / 2, 1024));
    write_file(file(L"corrupt-progressive.DAT"), scribbled(progressive, progressive.size() / 2, 1024));
    for (const wchar_t* name : {L"truncated-half.DAT", L"truncated-end.DAT", L"truncated-progressive.DAT",
                                L"corrupt.DAT", L"corrupt-progressive.DAT"}) {
        EXPECT_THAT(load(pictures, file(name)).outcome, StartsWith("refused: decoding the JPEG picture failed"))
            << narrow(name);
    }
}

} // namespace
} // namespace platform::win32

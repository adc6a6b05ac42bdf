// Benchmark of the picture step (load, place, prepare for drawing) and checks of the picture loader.
//
//   kwobl_bench [--screen WxH] [--runs N] [--save DIR] [--header] FILE...
//       times the step for each file and prints one table row per file.
//   kwobl_bench --check DIR
//       runs the loader on the sample pictures in DIR and on broken files it writes there itself,
//       prints one line per check and exits with 1 when one fails. JPEG files are also decoded through
//       the imaging component, for comparison with the loader's own JPEG decoder.
//
// The step is what the slideshow does for each picture: load it through Win32Pictures, work out its
// placement on the screen, and prepare the image of the size it is drawn at. The bare decode, timed in
// the same run for comparison, is the imaging component decoding the whole frame to 32-bit pixels;
// "open" is the part of it spent opening the decoder, which some decoders spend decoding everything.
// The codec decode is the decoder the loader really uses, alone: for JPEG files libjpeg-turbo reading
// the file and decoding it at the scale the loader chose, rows dropped; for the others the imaging
// component's decode above. The ratio is the step's median over the codec decode's median.
#include "platform/errors.h"
#include "platform/image_scale.h"
#include "platform/picture_placement.h"
#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_image.h"
#include "platform/win32/win32_jpeg.h"
#include "platform/win32/win32_pictures.h"
#include "platform/win32/win32_text.h"

#include <windows.h>
#include <psapi.h>
#include <wincodec.h>

#include <cstdio>
#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

using platform::PictureRef;
using platform::win32::ComPtr;
using platform::win32::PreparedImage;
using platform::win32::Win32Pictures;

namespace {

double now_ms()
{
    static const double ticks_per_ms = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart) / 1000.0;
    }();
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / ticks_per_ms;
}

struct Memory {
    double working_set_mb;
    double peak_mb;
};

Memory memory()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
    return {static_cast<double>(counters.WorkingSetSize) / (1024.0 * 1024.0),
            static_cast<double>(counters.PeakWorkingSetSize) / (1024.0 * 1024.0)};
}

std::string file_name(const std::string& path)
{
    const auto slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// ---- The step ----

struct Step {
    PictureRef picture;
    PreparedImage image;
};

// The size in pixels that the slideshow draws a picture at on a screen of sw x sh: it places the
// picture in single-precision units, and the picture element rounds its edges to pixels.
SIZE shown_size(const platform::Picture& picture, SIZE screen)
{
    const platform::PictureFit fit =
        platform::fit_picture(static_cast<float>(screen.cx), static_cast<float>(screen.cy),
                              static_cast<float>(picture.natural_width()), static_cast<float>(picture.natural_height()));
    const platform::win32::PixelRect rect = platform::win32::pixel_rect(fit.left, fit.top, fit.width, fit.height, 1.0);
    return SIZE{rect.width(), rect.height()};
}

Step picture_step(Win32Pictures& pictures, const std::string& path, SIZE screen)
{
    Step step;
    step.picture = pictures.load(path);
    const SIZE shown = shown_size(*step.picture, screen);
    step.image = platform::win32::prepare_image(*step.picture, shown.cx, shown.cy);
    return step;
}

// ---- The bare decode ----

std::vector<std::uint8_t> read_file(const std::wstring& path);

// libjpeg-turbo alone: the file read into memory and decoded at `eighths` of its size, rows dropped.
void bare_jpeg_decode(const std::wstring& path, int eighths)
{
    std::vector<std::uint8_t> bytes = read_file(path);
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors); // the sample files are sound: an error ends the benchmark
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    info.scale_num = static_cast<unsigned>(eighths);
    info.scale_denom = 8;
    info.out_color_space = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK ? JCS_CMYK
                                                                                                    : JCS_EXT_BGRA;
    jpeg_start_decompress(&info);
    constexpr int kStrip = 16;
    std::vector<JSAMPLE> strip(std::size_t{info.output_width} * info.output_components * kStrip);
    JSAMPROW rows[kStrip];
    for (int i = 0; i < kStrip; ++i)
        rows[i] = strip.data() + std::size_t{info.output_width} * info.output_components * i;
    while (info.output_scanline < info.output_height)
        jpeg_read_scanlines(&info, rows, kStrip);
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
}

void check(HRESULT hr, const char* what)
{
    if (FAILED(hr))
        throw platform::RuntimeError(what);
}

// The imaging component's first frame of `path`, converted to 32-bit premultiplied pixels; sets
// `open_ms` to the time that opening the decoder took (some decoders decode the whole picture there).
ComPtr<IWICFormatConverter> open_converted(IWICImagingFactory& factory, const std::wstring& path, double& open_ms)
{
    const double t0 = now_ms();
    ComPtr<IWICBitmapDecoder> decoder;
    check(factory.CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ, WICDecodeMetadataCacheOnDemand,
                                            decoder.put()),
          "open");
    open_ms = now_ms() - t0;
    ComPtr<IWICBitmapFrameDecode> frame;
    check(decoder->GetFrame(0, frame.put()), "frame");
    ComPtr<IWICFormatConverter> converter;
    check(factory.CreateFormatConverter(converter.put()), "converter");
    check(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                WICBitmapPaletteTypeMedianCut),
          "convert");
    return converter;
}

// Decodes the whole first frame to 32-bit premultiplied pixels and drops them; returns the time that
// opening the decoder took.
double bare_decode(IWICImagingFactory& factory, const std::wstring& path)
{
    double open_ms = 0;
    const ComPtr<IWICFormatConverter> converter = open_converted(factory, path, open_ms);
    UINT w = 0;
    UINT h = 0;
    check(converter->GetSize(&w, &h), "size");
    // Left uninitialised, as a decoder's own buffer would be.
    const std::size_t bytes = std::size_t{w} * h * 4;
    const std::unique_ptr<BYTE[]> pixels(new BYTE[bytes]);
    check(converter->CopyPixels(nullptr, w * 4, static_cast<UINT>(bytes), pixels.get()), "decode");
    return open_ms;
}

// ---- Output ----

// Writes the prepared image as a 32-bit top-down BMP file.
bool save_bmp(const PreparedImage& image, const std::wstring& path)
{
    const auto& pixels = image.pixels();
    if (!pixels)
        return false;
    const DWORD bytes = static_cast<DWORD>(pixels->stride() * pixels->height());
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + bytes;
    info.biSize = sizeof info;
    info.biWidth = pixels->width();
    info.biHeight = -pixels->height();
    info.biPlanes = 1;
    info.biBitCount = 32;
    info.biCompression = BI_RGB;
    FILE* out = _wfopen(path.c_str(), L"wb");
    if (out == nullptr)
        return false;
    const bool ok = std::fwrite(&file, sizeof file, 1, out) == 1 && std::fwrite(&info, sizeof info, 1, out) == 1 &&
                    std::fwrite(pixels->bits(), 1, bytes, out) == bytes;
    return std::fclose(out) == 0 && ok;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 != 0 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

void print_header()
{
    std::printf("%-26s %9s %9s %9s %6s %8s %8s %8s %8s %8s %8s %8s %6s %8s %8s %7s\n", "picture", "natural", "kept",
                "shown", "shared", "step min", "step med", "dec min", "dec med", "open med", "codec mn", "codec md",
                "ratio", "peak WS", "held WS", "pixels");
    std::printf("%-26s %9s %9s %9s %6s %8s %8s %8s %8s %8s %8s %8s %6s %8s %8s %7s\n", "", "px", "px", "px", "", "ms",
                "ms", "ms", "ms", "ms", "ms", "ms", "", "MB", "MB", "MB");
}

std::string size_text(int w, int h)
{
    return std::to_string(w) + "x" + std::to_string(h);
}

// Times the step and the bare decode for one file and prints its row. The steps run first, so that
// the peak working set read after them is the step's own; the held working set is read while the
// last step's picture and image are kept, against the working set before the first step.
int bench_file(const std::string& path, SIZE screen, int runs, const std::wstring& save_folder)
{
    Win32Pictures pictures(screen);
    platform::win32::CoInit com;
    ComPtr<IWICImagingFactory> factory;
    check(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IWICImagingFactory),
                             factory.put_void()),
          "factory");
    const std::wstring wide = platform::win32::widen(path);

    std::vector<double> step_ms;
    std::vector<double> decode_ms;
    const Memory before = memory();
    Memory held{};
    std::string natural;
    std::string kept;
    std::string shown;
    bool shared = false;
    double pixels_mb = 0;
    for (int i = 0; i < runs; ++i) {
        const double t0 = now_ms();
        Step step = picture_step(pictures, path, screen);
        step_ms.push_back(now_ms() - t0);
        if (i + 1 < runs)
            continue;
        held = memory();
        const auto& own = dynamic_cast<const platform::win32::Win32Picture&>(*step.picture);
        natural = size_text(own.natural_width(), own.natural_height());
        if (own.pixels()) {
            kept = size_text(own.pixels()->width(), own.pixels()->height());
            pixels_mb += static_cast<double>(own.pixels()->stride() * own.pixels()->height());
        }
        shown = size_text(step.image.width(), step.image.height());
        shared = step.image.pixels() && step.image.pixels() == own.pixels();
        if (step.image.pixels() && !shared)
            pixels_mb += static_cast<double>(step.image.pixels()->stride() * step.image.pixels()->height());
        pixels_mb /= 1024.0 * 1024.0;
        if (!save_folder.empty())
            save_bmp(step.image, save_folder + L"\\" + platform::win32::widen(file_name(path)) + L".bmp");
    }
    const double step_peak = memory().peak_mb;
    std::vector<double> open_ms;
    for (int i = 0; i < runs; ++i) {
        const double t0 = now_ms();
        open_ms.push_back(bare_decode(*factory.get(), wide));
        decode_ms.push_back(now_ms() - t0);
    }
    std::vector<double> codec_ms = decode_ms;
    const platform::win32::JpegDecode jpeg = platform::win32::decode_jpeg(wide, screen);
    if (jpeg.picture) {
        codec_ms.clear();
        for (int i = 0; i < runs; ++i) {
            const double t0 = now_ms();
            bare_jpeg_decode(wide, jpeg.eighths);
            codec_ms.push_back(now_ms() - t0);
        }
    }
    const double step_med = median(step_ms);
    const double decode_med = median(decode_ms);
    const double codec_med = median(codec_ms);
    std::printf("%-26s %9s %9s %9s %6s %8.1f %8.1f %8.1f %8.1f %8.1f %8.1f %8.1f %6.2f %8.1f %8.1f %7.1f\n",
                file_name(path).c_str(), natural.c_str(), kept.c_str(), shown.c_str(), shared ? "yes" : "no",
                *std::min_element(step_ms.begin(), step_ms.end()), step_med,
                *std::min_element(decode_ms.begin(), decode_ms.end()), decode_med, median(open_ms),
                *std::min_element(codec_ms.begin(), codec_ms.end()), codec_med, step_med / codec_med, step_peak,
                held.working_set_mb - before.working_set_mb, pixels_mb);
    return 0;
}

// ---- Checks of the loader ----

class Checks {
public:
    bool expect(bool ok, const std::string& what)
    {
        std::printf("%s  %s\n", ok ? "PASS" : "FAIL", what.c_str());
        if (!ok)
            ++m_failures;
        return ok;
    }
    [[nodiscard]] int failures() const { return m_failures; }

private:
    int m_failures = 0;
};

bool write_file(const std::wstring& path, const std::vector<std::uint8_t>& bytes)
{
    FILE* out = _wfopen(path.c_str(), L"wb");
    if (out == nullptr)
        return false;
    const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    return std::fclose(out) == 0 && ok;
}

std::vector<std::uint8_t> read_file(const std::wstring& path)
{
    std::vector<std::uint8_t> bytes;
    FILE* in = _wfopen(path.c_str(), L"rb");
    if (in == nullptr)
        return bytes;
    std::uint8_t buffer[65536];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(in);
    return bytes;
}

std::uint32_t crc32(const std::uint8_t* data, std::size_t n)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void put_be32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(v >> shift));
}

void put_chunk(std::vector<std::uint8_t>& out, const char* type, const std::vector<std::uint8_t>& data)
{
    put_be32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    put_be32(out, crc32(out.data() + start, out.size() - start));
}

// A well-formed PNG header that claims a picture of width x height, followed by a token of data.
std::vector<std::uint8_t> png_claiming(std::uint32_t width, std::uint32_t height)
{
    std::vector<std::uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> ihdr;
    put_be32(ihdr, width);
    put_be32(ihdr, height);
    ihdr.insert(ihdr.end(), {8, 6, 0, 0, 0}); // 8-bit RGBA, no interlace
    put_chunk(out, "IHDR", ihdr);
    put_chunk(out, "IDAT", {0x78, 0x9C, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01});
    put_chunk(out, "IEND", {});
    return out;
}

// A BMP file header and info header for a 24-bit picture of width x height, with `pixel_bytes` zeros.
std::vector<std::uint8_t> bmp_claiming(std::int32_t width, std::int32_t height, std::size_t pixel_bytes)
{
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = static_cast<DWORD>(file.bfOffBits + pixel_bytes);
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    std::vector<std::uint8_t> out(sizeof file + sizeof info + pixel_bytes, 0);
    std::memcpy(out.data(), &file, sizeof file);
    std::memcpy(out.data() + sizeof file, &info, sizeof info);
    return out;
}

enum class Outcome { Loaded, Refused, OtherError };

Outcome try_load(Win32Pictures& pictures, const std::string& path, PictureRef& picture, std::string* error = nullptr)
{
    picture.reset();
    try {
        picture = pictures.load(path);
        return Outcome::Loaded;
    } catch (const platform::RuntimeError& e) {
        if (error != nullptr)
            *error = e.what();
        return Outcome::Refused;
    } catch (...) {
        return Outcome::OtherError;
    }
}

// The B, G, R, A bytes of pixel (x, y) of an image.
std::uint32_t pixel_at(const platform::win32::Dib& dib, int x, int y)
{
    std::uint32_t v = 0;
    std::memcpy(&v, dib.bits() + dib.stride() * y + std::ptrdiff_t{x} * 4, 4);
    return v;
}

// ---- Checks of the JPEG decoder ----

// The offset of the frame header (SOF0 to SOF2 marker) in the bytes of a JPEG file, or 0.
std::size_t frame_header(const std::vector<std::uint8_t>& jpeg)
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

// The bytes of `jpeg` with `count` seeded random bytes written over them from `at` on.
std::vector<std::uint8_t> scribbled(std::vector<std::uint8_t> jpeg, std::size_t at, std::size_t count)
{
    std::uint32_t seed = 987654321;
    for (std::size_t i = at; i < at + count && i < jpeg.size(); ++i) {
        seed = seed * 1103515245u + 12345u;
        jpeg[i] = static_cast<std::uint8_t>(seed >> 16);
    }
    return jpeg;
}

// A check's text, followed by the error that came up, if any.
std::string with_error(const std::string& text, const std::string& error)
{
    return error.empty() ? text : text + ": " + error;
}

struct JpegOutcome {
    platform::win32::JpegDecode decode;
    bool refused = false;
    std::string error;
};

JpegOutcome try_decode_jpeg(const std::wstring& path, SIZE bound)
{
    JpegOutcome outcome;
    try {
        outcome.decode = platform::win32::decode_jpeg(path, bound);
    } catch (const platform::RuntimeError& e) {
        outcome.refused = true;
        outcome.error = e.what();
    }
    return outcome;
}

// The imaging component's decode of the whole first frame, scaled to width x height with the loader's
// resampler: what the loader kept of a JPEG file before it had a decoder of its own.
std::vector<std::uint8_t> imaging_reference(IWICImagingFactory& factory, const std::wstring& path, int width,
                                            int height)
{
    double open_ms = 0;
    const ComPtr<IWICFormatConverter> converter = open_converted(factory, path, open_ms);
    UINT w = 0;
    UINT h = 0;
    check(converter->GetSize(&w, &h), "size");
    std::vector<std::uint8_t> full(std::size_t{w} * h * 4);
    check(converter->CopyPixels(nullptr, w * 4, static_cast<UINT>(full.size()), full.data()), "decode");
    if (static_cast<int>(w) == width && static_cast<int>(h) == height)
        return full;
    std::vector<std::uint8_t> scaled(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
    platform::scale_image(full.data(), static_cast<int>(w), static_cast<int>(h), std::ptrdiff_t{w} * 4,
                          scaled.data(), width, height, std::ptrdiff_t{width} * 4);
    return scaled;
}

// The mean absolute difference of the blue, green and red levels of an image and pixels of its size.
double mean_difference(const platform::win32::Dib& dib, const std::vector<std::uint8_t>& pixels)
{
    std::uint64_t sum = 0;
    for (int y = 0; y < dib.height(); ++y) {
        const std::uint8_t* a = dib.bits() + dib.stride() * y;
        const std::uint8_t* b = pixels.data() + dib.stride() * y;
        for (int x = 0; x < dib.width() * 4; ++x)
            if (x % 4 != 3)
                sum += static_cast<std::uint64_t>(std::abs(int{a[x]} - int{b[x]}));
    }
    return static_cast<double>(sum) / (3.0 * dib.width() * dib.height());
}

bool same_pixels(const platform::win32::Dib& a, const platform::win32::Dib& b)
{
    return a.width() == b.width() && a.height() == b.height() &&
           std::memcmp(a.bits(), b.bits(), static_cast<std::size_t>(a.stride() * a.height())) == 0;
}

// Each kind of JPEG file decodes at the fewest eighths that cover its fit on the screen and comes out
// as the imaging component's full decode, scaled the same way, does.
void check_jpeg_samples(Checks& checks, const std::wstring& folder_w, SIZE screen)
{
    ComPtr<IWICImagingFactory> factory;
    check(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IWICImagingFactory),
                             factory.put_void()),
          "factory");
    char text[200];
    struct Sample {
        const char* name;
        int width;
        int height;
        int eighths;
    };
    static const Sample kSamples[] = {
        {"6000x4000-baseline.jpg", 6000, 4000, 3}, {"6000x4000-progressive.jpg", 6000, 4000, 3},
        {"1920x1080.jpg", 1920, 1080, 8},          {"gray.jpg", 3000, 2000, 5},
        {"cmyk.jpg", 2400, 1600, 6},               {"cmyk-small.jpg", 640, 480, 8},
    };
    for (const Sample& sample : kSamples) {
        const std::wstring path = folder_w + L"\\" + platform::win32::widen(sample.name);
        const JpegOutcome outcome = try_decode_jpeg(path, screen);
        const auto& jpeg = outcome.decode;
        if (!checks.expect(jpeg.picture != nullptr,
                           with_error(std::string(sample.name) + " is decoded by the JPEG decoder", outcome.error)))
            continue;
        const SIZE kept = Win32Pictures::kept_size(SIZE{sample.width, sample.height}, screen);
        const int w = (sample.width * sample.eighths + 7) / 8;
        const int h = (sample.height * sample.eighths + 7) / 8;
        const auto& dib = *jpeg.picture->pixels();
        std::snprintf(text, sizeof text, "%s: natural %dx%d, decoded at %d/8 to %ldx%ld, kept %dx%d", sample.name,
                      jpeg.picture->natural_width(), jpeg.picture->natural_height(), jpeg.eighths, jpeg.decoded.cx,
                      jpeg.decoded.cy, dib.width(), dib.height());
        checks.expect(jpeg.picture->natural_width() == sample.width &&
                          jpeg.picture->natural_height() == sample.height && jpeg.eighths == sample.eighths &&
                          jpeg.decoded.cx == w && jpeg.decoded.cy == h && dib.width() == kept.cx &&
                          dib.height() == kept.cy,
                      text);
        try {
            const double difference = mean_difference(dib, imaging_reference(*factory.get(), path, kept.cx, kept.cy));
            std::snprintf(text, sizeof text, "%s: mean difference from the imaging component's decode %.2f levels",
                          sample.name, difference);
            checks.expect(difference < 2.0, text);
        } catch (const platform::RuntimeError& e) {
            checks.expect(false, std::string(sample.name) + ": the imaging component cannot decode it: " + e.what());
        }
    }

}

// The loader itself takes the JPEG decoder for a JPEG file, whatever its name, also in a folder whose
// name is not ASCII, and leaves other files and JPEG coding that the decoder lacks to the imaging
// component.
void check_jpeg_loading(Checks& checks, Win32Pictures& pictures, const std::wstring& folder_w, SIZE screen)
{
    const std::string folder = platform::win32::narrow(folder_w);
    PictureRef picture;
    const JpegOutcome baseline = try_decode_jpeg(folder_w + L"\\6000x4000-baseline.jpg", screen);
    if (try_load(pictures, folder + "\\6000x4000-baseline.jpg", picture) == Outcome::Loaded &&
        baseline.decode.picture) {
        const auto& own = dynamic_cast<const platform::win32::Win32Picture&>(*picture);
        checks.expect(same_pixels(*own.pixels(), *baseline.decode.picture->pixels()),
                      "the loader keeps the JPEG decoder's pixels of 6000x4000-baseline.jpg");
    } else {
        checks.expect(false, "6000x4000-baseline.jpg loads through the loader and the JPEG decoder");
    }
    const std::wstring japanese = folder_w + L"\\\x5199\x771F";
    ::CreateDirectoryW(japanese.c_str(), nullptr);
    ::CopyFileW((folder_w + L"\\1920x1080.jpg").c_str(), (japanese + L"\\KWOBL002.DAT").c_str(), FALSE);
    const JpegOutcome small = try_decode_jpeg(folder_w + L"\\1920x1080.jpg", screen);
    if (checks.expect(try_load(pictures, platform::win32::narrow(japanese + L"\\KWOBL002.DAT"), picture) ==
                          Outcome::Loaded,
                      "a JPEG file named KWOBL002.DAT in a folder named in Japanese loads")) {
        const auto& own = dynamic_cast<const platform::win32::Win32Picture&>(*picture);
        checks.expect(own.natural_width() == 1920 && own.natural_height() == 1080 && small.decode.picture &&
                          same_pixels(*own.pixels(), *small.decode.picture->pixels()),
                      "KWOBL002.DAT is 1920 x 1080 and decoded by the JPEG decoder");
    }

    // Arithmetic coding of the same coefficients gives the same pixels. The sample is made only where
    // jpegtran is installed.
    const std::wstring arithmetic = folder_w + L"\\arithmetic.jpg";
    if (::GetFileAttributesW(arithmetic.c_str()) == INVALID_FILE_ATTRIBUTES) {
        std::printf("SKIP  arithmetic.jpg is missing (made with jpegtran)\n");
    } else {
        const JpegOutcome outcome = try_decode_jpeg(arithmetic, screen);
        checks.expect(outcome.decode.picture && small.decode.picture &&
                          same_pixels(*outcome.decode.picture->pixels(), *small.decode.picture->pixels()),
                      with_error("arithmetic.jpg (1920x1080.jpg with arithmetic coding) gives the same pixels",
                                 outcome.error));
    }

    // Other files are left to the imaging component: pictures of other formats, and JPEG coding that
    // the decoder lacks (here 12-bit samples, which the imaging component may lack too).
    checks.expect(!try_decode_jpeg(folder_w + L"\\800x600.bmp", screen).refused &&
                      !try_decode_jpeg(folder_w + L"\\800x600.bmp", screen).decode.picture,
                  "800x600.bmp is left to the imaging component");
    const std::vector<std::uint8_t> photo = read_file(folder_w + L"\\1920x1080.jpg");
    const std::size_t sof = frame_header(photo);
    checks.expect(sof != 0, "1920x1080.jpg has a frame header");
    if (sof != 0) {
        std::vector<std::uint8_t> twelve = photo;
        twelve[sof + 4] = 12;
        write_file(folder_w + L"\\twelve-bit.DAT", twelve);
        const JpegOutcome outcome = try_decode_jpeg(folder_w + L"\\twelve-bit.DAT", screen);
        checks.expect(!outcome.refused && !outcome.decode.picture,
                      with_error("a 12-bit JPEG file is left to the imaging component", outcome.error));
        std::string error;
        const Outcome loaded = try_load(pictures, folder + "\\twelve-bit.DAT", picture, &error);
        checks.expect(loaded == Outcome::Loaded ||
                          (loaded == Outcome::Refused && error.find("JPEG") == std::string::npos),
                      "the loader hands the 12-bit JPEG file to the imaging component: " +
                          (loaded == Outcome::Loaded ? std::string("loaded") : error));

        // A header that claims a huge picture is refused before anything is allocated for it.
        std::vector<std::uint8_t> huge = photo;
        huge[sof + 5] = huge[sof + 7] = 0xEA; // 60000 x 60000
        huge[sof + 6] = huge[sof + 8] = 0x60;
        write_file(folder_w + L"\\huge-jpeg.DAT", huge);
        const JpegOutcome outcome_huge = try_decode_jpeg(folder_w + L"\\huge-jpeg.DAT", screen);
        checks.expect(outcome_huge.refused && outcome_huge.error.rfind("picture too large: 60000 x 60000", 0) == 0,
                      "huge-jpeg.DAT is refused for its size: " + outcome_huge.error);
    }

}

// Truncated and corrupt files are refused by the JPEG decoder itself, not decoded with grey or garbled
// areas, nor handed to the imaging component.
void check_jpeg_refusals(Checks& checks, Win32Pictures& pictures, const std::wstring& folder_w)
{
    const std::string folder = platform::win32::narrow(folder_w);
    PictureRef picture;
    const std::vector<std::uint8_t> base = read_file(folder_w + L"\\6000x4000-baseline.jpg");
    const std::vector<std::uint8_t> progressive = read_file(folder_w + L"\\6000x4000-progressive.jpg");
    checks.expect(base.size() > 100000 && progressive.size() > 100000, "the JPEG samples are read back");
    if (base.size() > 100000 && progressive.size() > 100000) {
        const auto part = [](const std::vector<std::uint8_t>& bytes, std::size_t size) {
            return std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
        };
        write_file(folder_w + L"\\truncated-end.DAT", part(base, base.size() - 16384));
        write_file(folder_w + L"\\truncated-progressive.DAT", part(progressive, progressive.size() * 4 / 5));
        write_file(folder_w + L"\\corrupt.DAT", scribbled(base, base.size() / 2, 4096));
        write_file(folder_w + L"\\corrupt-progressive.DAT", scribbled(progressive, progressive.size() / 2, 4096));
        for (const char* name : {"truncated.DAT", "truncated-end.DAT", "truncated-progressive.DAT", "corrupt.DAT",
                                 "corrupt-progressive.DAT"}) {
            std::string error;
            const Outcome loaded = try_load(pictures, folder + "\\" + name, picture, &error);
            checks.expect(loaded == Outcome::Refused && error.rfind("decoding the JPEG picture failed", 0) == 0,
                          with_error(std::string(name) + " is refused by the JPEG decoder", error));
        }
    }
}

void run_jpeg_checks(Checks& checks, Win32Pictures& pictures, const std::wstring& folder_w)
{
    const SIZE screen{1920, 1080};
    check_jpeg_samples(checks, folder_w, screen);
    check_jpeg_loading(checks, pictures, folder_w, screen);
    check_jpeg_refusals(checks, pictures, folder_w);
}

int run_checks(const std::wstring& folder_w)
{
    const std::string folder = platform::win32::narrow(folder_w);
    Checks checks;
    Win32Pictures pictures(SIZE{1920, 1080});
    PictureRef picture;

    // Files that are no picture, or no file at all, are refused with the program's error.
    const std::vector<std::uint8_t> photo = read_file(folder_w + L"\\6000x4000-baseline.jpg");
    checks.expect(photo.size() > 1000, "the sample folder holds 6000x4000-baseline.jpg");
    std::vector<std::uint8_t> noise(4096);
    std::uint32_t seed = 12345;
    for (auto& b : noise) {
        seed = seed * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(seed >> 16);
    }
    write_file(folder_w + L"\\random.DAT", noise);
    write_file(folder_w + L"\\empty.DAT", {});
    write_file(folder_w + L"\\truncated.DAT",
               std::vector<std::uint8_t>(photo.begin(), photo.begin() + static_cast<std::ptrdiff_t>(photo.size() / 2)));
    write_file(folder_w + L"\\huge.DAT", png_claiming(65535, 65535));
    write_file(folder_w + L"\\wide.DAT", png_claiming(200000, 10));
    // A BMP header is read on its own, its pixels only when they are copied: the loader sees the size.
    write_file(folder_w + L"\\huge-bmp.DAT", bmp_claiming(65535, 65535, 64));
    write_file(folder_w + L"\\wide-bmp.DAT", bmp_claiming(200000, 10, 64));
    write_file(folder_w + L"\\short-bmp.DAT", bmp_claiming(20000, 5000, 64));
    ::CreateDirectoryW((folder_w + L"\\folder.DAT").c_str(), nullptr);
    for (const char* name : {"random.DAT", "empty.DAT", "truncated.DAT", "huge.DAT", "wide.DAT", "huge-bmp.DAT",
                             "wide-bmp.DAT", "short-bmp.DAT", "folder.DAT", "missing.DAT"}) {
        checks.expect(try_load(pictures, folder + "\\" + name, picture) == Outcome::Refused,
                      std::string(name) + " is refused with RuntimeError");
    }
    // These claim sizes that the loader itself refuses, before anything is allocated for them.
    for (const char* name : {"huge-bmp.DAT", "wide-bmp.DAT"}) {
        std::string error;
        try_load(pictures, folder + "\\" + name, picture, &error);
        checks.expect(error.rfind("picture too large", 0) == 0,
                      std::string(name) + " is refused for its size: " + error);
    }

    // A zero width: either the imaging component refuses the file, or the picture has that
    // natural size and no pixels.
    write_file(folder_w + L"\\zero.DAT", bmp_claiming(0, 16, 64));
    const Outcome zero = try_load(pictures, folder + "\\zero.DAT", picture);
    if (zero == Outcome::Loaded) {
        const auto& own = dynamic_cast<const platform::win32::Win32Picture&>(*picture);
        checks.expect(own.natural_width() == 0 && own.natural_height() == 16 && !own.pixels(),
                      "zero.DAT (0 x 16 BMP) loads as 0 x 16 without pixels");
        checks.expect(!platform::win32::prepare_image(*picture, 0, 16).bitmap(),
                      "zero.DAT prepares to nothing to draw");
    } else {
        checks.expect(zero == Outcome::Refused, "zero.DAT (0 x 16 BMP) is refused by the imaging component");
    }

    // A large photograph keeps its natural size but only the pixels of its fit on the screen.
    if (checks.expect(try_load(pictures, folder + "\\6000x4000-baseline.jpg", picture) == Outcome::Loaded,
                      "6000x4000-baseline.jpg loads")) {
        const auto& own = dynamic_cast<const platform::win32::Win32Picture&>(*picture);
        checks.expect(own.natural_width() == 6000 && own.natural_height() == 4000,
                      "6000x4000-baseline.jpg natural size 6000 x 4000");
        checks.expect(own.pixels() && own.pixels()->width() == 1620 && own.pixels()->height() == 1080,
                      "6000x4000-baseline.jpg is kept at its fit 1620 x 1080");
        const PreparedImage same = platform::win32::prepare_image(*picture, 1620, 1080);
        checks.expect(same.bitmap() != nullptr && same.bitmap() == own.pixels()->bitmap(),
                      "preparing the kept size shares the picture's own bitmap");
        const PreparedImage smaller = platform::win32::prepare_image(*picture, 801, 534);
        checks.expect(smaller.bitmap() != nullptr && smaller.bitmap() != own.pixels()->bitmap() &&
                          smaller.width() == 801 && smaller.height() == 534,
                      "preparing another size gives a new 801 x 534 bitmap");
        BITMAP info{};
        checks.expect(::GetObjectW(smaller.bitmap(), sizeof info, &info) == sizeof info && info.bmWidth == 801 &&
                          info.bmHeight == 534 && info.bmBitsPixel == 32,
                      "the new bitmap is a 32-bit DIB section of that size");
        checks.expect(!platform::win32::prepare_image(*picture, 0, 534).bitmap(), "a zero width prepares to nothing");
        picture.reset();
        BITMAP kept{};
        checks.expect(::GetObjectW(same.bitmap(), sizeof kept, &kept) == sizeof kept && kept.bmWidth == 1620 &&
                          same.pixels().use_count() == 1,
                      "a prepared image keeps the shared pixels alive when the picture goes");
    }

    // A small picture, from a folder whose name is not ASCII, is kept at its natural size.
    const std::wstring japanese = folder_w + L"\\\x5199\x771F";
    ::CreateDirectoryW(japanese.c_str(), nullptr);
    ::CopyFileW((folder_w + L"\\800x600.bmp").c_str(), (japanese + L"\\KWOBL001.DAT").c_str(), FALSE);
    const std::string japanese_file = platform::win32::narrow(japanese + L"\\KWOBL001.DAT");
    if (checks.expect(try_load(pictures, japanese_file, picture) == Outcome::Loaded,
                      "a picture in a folder named in Japanese loads")) {
        const auto& own = dynamic_cast<const platform::win32::Win32Picture&>(*picture);
        checks.expect(own.natural_width() == 800 && own.natural_height() == 600 && own.pixels() &&
                          own.pixels()->width() == 800 && own.pixels()->height() == 600,
                      "800x600.bmp is kept at its natural 800 x 600");
    }

    // Transparent pixels come out black; opaque ones keep their colour.
    if (checks.expect(try_load(pictures, folder + "\\alpha.png", picture) == Outcome::Loaded, "alpha.png loads")) {
        const auto& own = dynamic_cast<const platform::win32::Win32Picture&>(*picture);
        const auto& dib = *own.pixels();
        checks.expect(pixel_at(dib, 10, dib.height() / 2) == 0x00000000u, "a transparent pixel is black");
        checks.expect(pixel_at(dib, dib.width() - 10, dib.height() / 2) == 0xFFFF0000u,
                      "an opaque red pixel stays red");
    }

    // An animated GIF shows its first frame.
    if (checks.expect(try_load(pictures, folder + "\\anim.gif", picture) == Outcome::Loaded, "anim.gif loads")) {
        const auto& own = dynamic_cast<const platform::win32::Win32Picture&>(*picture);
        const auto& dib = *own.pixels();
        checks.expect(own.natural_width() == 320 && own.natural_height() == 240 &&
                          pixel_at(dib, 160, 120) == 0xFFFF0000u,
                      "anim.gif gives its first frame, 320 x 240 red");
    }

    run_jpeg_checks(checks, pictures, folder_w);

    std::printf("%d check(s) failed\n", checks.failures());
    return checks.failures() == 0 ? 0 : 1;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    SIZE screen{1920, 1080};
    int runs = 7;
    std::wstring save_folder;
    std::vector<std::string> files;
    try {
        for (int i = 1; i < argc; ++i) {
            const std::wstring arg = argv[i];
            const bool has_value = i + 1 < argc;
            if (arg == L"--screen" && has_value) {
                if (std::swscanf(argv[++i], L"%ldx%ld", &screen.cx, &screen.cy) != 2)
                    throw platform::RuntimeError("--screen wants WxH");
            } else if (arg == L"--runs" && has_value) {
                runs = std::max(1, _wtoi(argv[++i]));
            } else if (arg == L"--save" && has_value) {
                save_folder = argv[++i];
            } else if (arg == L"--header") {
                print_header();
            } else if (arg == L"--check" && has_value) {
                platform::win32::CoInit com;
                return run_checks(argv[++i]);
            } else {
                files.push_back(platform::win32::narrow(arg));
            }
        }
        for (const std::string& file : files)
            bench_file(file, screen, runs, save_folder);
    } catch (const std::exception& e) {
        std::printf("error: %s\n", e.what());
        return 1;
    }
    return 0;
}

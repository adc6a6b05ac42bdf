// Benchmark of the picture step (load, place, prepare for drawing).
//
//   kwobl_bench [--screen WxH] [--runs N] [--save DIR] [--header] FILE...
//       times the step for each file and prints one table row per file.
//
// The checks of the picture loader are tests of the Windows backend (win32_pictures_test.cpp).
//
// The step is what the slideshow does for each picture: load it through Win32Pictures, work out its
// placement on the screen, and prepare the image of the size it is drawn at. The bare decode, timed in
// the same run for comparison, is the imaging component decoding the whole frame to 32-bit pixels;
// "open" is the part of it spent opening the decoder, which some decoders spend decoding everything.
// The codec decode is the decoder the loader really uses, alone: for JPEG files libjpeg-turbo reading
// the file and decoding it at the scale the loader chose, rows dropped; for the others the imaging
// component's decode above. The ratio is the step's median over the codec decode's median.
#include "bench/bench_timing.h"
#include "imaging/picture_placement.h"
#include "platform/errors.h"
#include "platform/win32/common/win32_handles.h"
#include "platform/win32/common/win32_text.h"
#include "platform/win32/loader/win32_pictures.h"
#include "platform/win32/pictures/win32_jpeg.h"
#include "platform/win32/ui/win32_image.h"

#include <windows.h>
#include <psapi.h>
#include <wincodec.h>

#include <cstdio>
#include <jpeglib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

using platform::PictureRef;
using platform::win32::ComPtr;
using platform::win32::PreparedImage;
using platform::win32::Win32Pictures;

namespace {

using bench::median;
using bench::now_ms;

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
    const imaging::PictureFit fit = imaging::fit_picture(
        static_cast<float>(screen.cx), static_cast<float>(screen.cy), static_cast<float>(picture.natural_width()),
        static_cast<float>(picture.natural_height()));
    const platform::win32::PixelRect rect = platform::win32::pixel_rect(fit.left, fit.top, fit.width, fit.height, 1.0);
    return SIZE{rect.width(), rect.height()};
}

// The box the slideshow asks for a picture with on that screen.
platform::SizeF box_of(SIZE screen)
{
    return platform::SizeF{static_cast<float>(screen.cx), static_cast<float>(screen.cy)};
}

Step picture_step(Win32Pictures& pictures, const std::string& path, SIZE screen)
{
    Step step;
    step.picture = pictures.load(path, box_of(screen));
    const SIZE shown = shown_size(*step.picture, screen);
    step.image = platform::win32::prepare_image(*step.picture, shown.cx, shown.cy);
    return step;
}

// ---- The bare decode ----

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
    Win32Pictures pictures;
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
    const platform::win32::JpegDecode jpeg = platform::win32::decode_jpeg(wide, box_of(screen));
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

// Benchmark of colour management on the worker: what converting one screen-sized picture costs with the
// program's engine (Little CMS, imaging/colour_transform.h) and with the system's own (ICM:
// CreateMultiProfileTransform and TranslateBitmapBits), and how far apart their results are; then what a
// whole picture's decode costs through the loader with and without an embedded profile.
//
//   kwobl_colour_bench [--runs N] RGB_PROFILE CMYK_PROFILE [JPEG_UNTAGGED JPEG_TAGGED]...
//
// The conversions run on pixels of 1920 x 1080 and 3840 x 2160: smooth colour waves with grain, as
// premultiplied BGRA for the RGB profile and as inverted CMYK inks for the CMYK one. Each figure is the
// median of N runs (default 7) after one untimed run; "first" is the run that also makes the
// conversion (a profile the cache has not seen). The decodes time FileDecoder::decode on each pair of
// files, the same picture without and with a profile, on a screen of 1920 x 1080.
#include "bench/bench_timing.h"
#include "imaging/colour_transform.h"
#include "platform/win32/loader/win32_pictures.h"

#include <windows.h>
#include <icm.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using bench::time_runs;
using bench::Timing;
using Bytes = std::vector<std::uint8_t>;

Bytes read_file(const wchar_t* path)
{
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), {});
}

// Smooth waves with a seeded grain, 4 bytes a pixel, the fourth opaque (255) or, for inks, black ink.
Bytes waves(int width, int height, bool inks)
{
    Bytes pixels(static_cast<std::size_t>(width) * height * 4);
    std::uint32_t seed = 12345;
    std::uint8_t* p = pixels.data();
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x, p += 4) {
            const double u = double(x) / width, v = double(y) / height;
            const double w[3] = {std::sin(6.0 * u + 2.0 * v), std::cos(4.0 * v - 3.0 * u), std::sin(5.0 * (u + v))};
            for (int c = 0; c < 3; ++c) {
                seed = seed * 1103515245u + 12345u;
                p[c] = static_cast<std::uint8_t>(std::clamp(int(128 + 100 * w[c]) + int((seed >> 16) % 17) - 8, 0, 255));
            }
            p[3] = inks ? static_cast<std::uint8_t>(255 - 60 * (u * v)) : 255;
        }
    return pixels;
}

// Little CMS through the program's own conversion cache.
Timing time_engine(const Bytes& profile, imaging::ColourInput input, const Bytes& source, int width, int height,
                   int runs, Bytes& out)
{
    imaging::ColourTransforms colours;
    Bytes inks;
    return time_runs(
        runs,
        [&] {
            out = source;
            inks = source;
        },
        [&] {
            const auto transform = colours.find(profile, input);
            if (!transform)
                return false;
            if (input == imaging::ColourInput::Bgra8Premultiplied) {
                imaging::convert_picture(*transform, out.data(), width, height, std::ptrdiff_t{width} * 4);
            } else {
                for (int y = 0; y < height; ++y)
                    transform->convert(inks.data() + std::size_t(y) * width * 4,
                                       out.data() + std::size_t(y) * width * 4, width);
            }
            return true;
        });
}

// The system's colour engine: the profile and sRGB opened from memory, one transform, the whole bitmap.
Timing time_icm(const Bytes& profile, bool cmyk, const Bytes& source, int width, int height, int runs, Bytes& out)
{
    wchar_t srgb_name[MAX_PATH] = {};
    DWORD size = sizeof srgb_name;
    if (!::GetStandardColorSpaceProfileW(nullptr, LCS_sRGB, srgb_name, &size))
        return {};
    return time_runs(
        runs, [&] { out.assign(static_cast<std::size_t>(width) * height * 4, 0); },
        [&] {
            PROFILE from{PROFILE_MEMBUFFER, const_cast<std::uint8_t*>(profile.data()),
                         static_cast<DWORD>(profile.size())};
            PROFILE to{PROFILE_FILENAME, srgb_name, static_cast<DWORD>((wcslen(srgb_name) + 1) * sizeof(wchar_t))};
            HPROFILE profiles[2] = {::OpenColorProfileW(&from, PROFILE_READ, FILE_SHARE_READ, OPEN_EXISTING),
                                    ::OpenColorProfileW(&to, PROFILE_READ, FILE_SHARE_READ, OPEN_EXISTING)};
            DWORD intents[2] = {INTENT_RELATIVE_COLORIMETRIC, INTENT_RELATIVE_COLORIMETRIC};
            HTRANSFORM transform = profiles[0] && profiles[1] ? ::CreateMultiProfileTransform(profiles, 2, intents, 2,
                                                                                              BEST_MODE, INDEX_DONT_CARE)
                                                              : nullptr;
            const bool done = transform != nullptr &&
                              ::TranslateBitmapBits(transform, const_cast<std::uint8_t*>(source.data()),
                                                    cmyk ? BM_KYMCQUADS : BM_xRGBQUADS, width, height, 0, out.data(),
                                                    BM_xRGBQUADS, 0, nullptr, 0);
            if (transform)
                ::DeleteColorTransform(transform);
            for (HPROFILE p : profiles)
                if (p)
                    ::CloseColorProfile(p);
            return done;
        });
}

// The mean and largest difference of the colour bytes of two BGRx pictures.
void difference(const Bytes& a, const Bytes& b, double& mean, int& largest)
{
    double sum = 0;
    largest = 0;
    std::size_t count = 0;
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
        if (i % 4 == 3)
            continue;
        const int d = std::abs(int(a[i]) - int(b[i]));
        sum += d;
        largest = std::max(largest, d);
        ++count;
    }
    mean = count ? sum / double(count) : 0;
}

double time_decode(platform::win32::FileDecoder& decoder, const std::wstring& path, int runs)
{
    return time_runs(runs, [] {}, [&] {
               (void)decoder.decode(path, platform::SizeF{1920, 1080});
               return true;
           }).median;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    int runs = 7;
    int first = 1;
    if (argc > 2 && std::wstring(argv[1]) == L"--runs") {
        runs = std::max(1, _wtoi(argv[2]));
        first = 3;
    }
    if (argc - first < 2) {
        std::printf("usage: kwobl_colour_bench [--runs N] RGB_PROFILE CMYK_PROFILE [JPEG_UNTAGGED JPEG_TAGGED]...\n");
        return 2;
    }
    const Bytes rgb_profile = read_file(argv[first]);
    const Bytes cmyk_profile = read_file(argv[first + 1]);
    if (rgb_profile.empty() || cmyk_profile.empty()) {
        std::printf("error: cannot read the profiles\n");
        return 1;
    }
    std::printf("kwobl colour cost: one conversion of a screen-sized picture, median of %d runs (ms)\n", runs);
    std::printf("%-30s %10s %10s %10s %10s %14s\n", "", "engine", "first", "ICM", "first", "ICM - engine");
    const SIZE sizes[] = {{1920, 1080}, {3840, 2160}};
    for (const SIZE size : sizes) {
        for (const bool cmyk : {false, true}) {
            const Bytes source = waves(size.cx, size.cy, cmyk);
            Bytes by_engine, by_icm;
            const Timing engine = time_engine(cmyk ? cmyk_profile : rgb_profile,
                                              cmyk ? imaging::ColourInput::Cmyk8 : imaging::ColourInput::Bgra8Premultiplied,
                                              source, size.cx, size.cy, runs, by_engine);
            const Timing icm = time_icm(cmyk ? cmyk_profile : rgb_profile, cmyk, source, size.cx, size.cy, runs, by_icm);
            double mean = 0;
            int largest = 0;
            difference(by_engine, by_icm, mean, largest);
            const std::string name = std::to_string(size.cx) + "x" + std::to_string(size.cy) + (cmyk ? " CMYK" : " RGB");
            std::printf("%-30s %10.1f %10.1f %10.1f %10.1f   mean %.2f, max %d\n", name.c_str(), engine.median,
                        engine.first, icm.median, icm.first, mean, largest);
        }
    }
    if (argc - first > 2) {
        std::printf("\nwhole decode on the worker, 1920x1080 screen, median of %d runs (ms)\n", runs);
        std::printf("%-30s %10s %10s %10s\n", "picture", "untagged", "tagged", "difference");
        platform::win32::CoInit com;
        platform::win32::FileDecoder decoder;
        for (int i = first + 2; i + 1 < argc; i += 2) {
            const double untagged = time_decode(decoder, argv[i], runs);
            const double tagged = time_decode(decoder, argv[i + 1], runs);
            std::wstring name(argv[i + 1]);
            name = name.substr(name.find_last_of(L"\\/") + 1);
            std::printf("%-30ls %10.1f %10.1f %10.1f\n", name.c_str(), untagged, tagged, tagged - untagged);
        }
    }
    return 0;
}

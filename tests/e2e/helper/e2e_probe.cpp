// The picture loader alone, for the end-to-end tests: loads one file through Win32Pictures as the
// slideshow does and reports what that cost.
//
//   kwobl_e2e_probe WIDTHxHEIGHT WARM-UP FILE
//
// prints one line "load<TAB>result=ok|refused<TAB>ms=..<TAB>before_mb=..<TAB>peak_mb=..<TAB>width=..
// <TAB>height=..<TAB>message=.." (UTF-8): whether the file loaded for a screen of that size or was
// refused with a RuntimeError (its message, tabs and line breaks made spaces), how long the load
// took, and the process's working set before it and at its peak. The small picture WARM-UP is loaded
// first, so that the imaging component and the decoders are loaded before the figures start. One file
// per run, so that each file's peak is its own.
#include "platform/errors.h"
#include "platform/win32/common/win32_text.h"
#include "platform/win32/loader/win32_pictures.h"

#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

double megabytes(SIZE_T bytes)
{
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

PROCESS_MEMORY_COUNTERS memory()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
    return counters;
}

void print_line(const std::string& line)
{
    const std::string bytes = line + "\n";
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                nullptr);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    int width = 0;
    int height = 0;
    if (argc != 4 || std::swscanf(argv[1], L"%dx%d", &width, &height) != 2) {
        print_line("usage: kwobl_e2e_probe WIDTHxHEIGHT WARM-UP FILE");
        return 2;
    }
    const std::string path = platform::win32::narrow(argv[3]);
    const platform::SizeF box{static_cast<float>(width), static_cast<float>(height)};
    platform::win32::Win32Pictures pictures;
    try {
        (void)pictures.load(platform::win32::narrow(argv[2]), box);
    } catch (const platform::RuntimeError& error) {
        print_line(std::string("the warm-up picture did not load: ") + error.what());
        return 2;
    }
    const SIZE_T before = memory().WorkingSetSize;
    LARGE_INTEGER frequency{};
    LARGE_INTEGER start{};
    LARGE_INTEGER end{};
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    std::string result = "ok";
    std::string message;
    int natural_width = 0;
    int natural_height = 0;
    try {
        const platform::PictureRef picture = pictures.load(path, box);
        natural_width = picture->natural_width();
        natural_height = picture->natural_height();
    } catch (const platform::RuntimeError& error) {
        result = "refused";
        message = error.what();
    } catch (const std::exception& error) {
        // Anything else would escape the slideshow's handlers as it escapes here: a fault.
        result = "failed";
        message = error.what();
    }
    ::QueryPerformanceCounter(&end);
    for (char& c : message)
        if (c == '\t' || c == '\r' || c == '\n')
            c = ' ';
    const double ms = static_cast<double>(end.QuadPart - start.QuadPart) * 1000.0 /
                      static_cast<double>(frequency.QuadPart);
    char figures[160];
    std::snprintf(figures, sizeof figures, "\tms=%.1f\tbefore_mb=%.1f\tpeak_mb=%.1f\twidth=%d\theight=%d", ms,
                  megabytes(before), megabytes(memory().PeakWorkingSetSize), natural_width, natural_height);
    print_line("load\tresult=" + result + figures + "\tmessage=" + message);
    return 0;
}

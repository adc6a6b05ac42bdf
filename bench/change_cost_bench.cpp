// Benchmark of where a picture change's processor time goes: the decoder process, the slideshow's side of
// the request, and the slideshow's first read of the pixels (as the copy to the screen reads them).
//
//   kwobl_change_bench --decoder PROGRAM [--screen WxH] [--runs N] FILE...
//       asks PROGRAM's decoder process for each file in turn, N times over, and prints the medians.
//
// "decoder" is the decoder process's processor time for one request (from the host's count of it),
// "asking" the slideshow's own while it waits for the reply (the file mapping, the handles, the pipe),
// "reading" the slideshow's while it reads every pixel once, and "wall" the request's time from start to
// reply. "fresh memory" times writing a screen's worth of pixels into a file mapping made for it, into a
// new view of that mapping, and into the same view again: the price of the pages themselves.
#include "bench/bench_timing.h"
#include "platform/errors.h"
#include "platform/win32/common/win32_handles.h"
#include "platform/win32/decoder/win32_decoder_process.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

using bench::median;
using bench::now_ms;
using platform::win32::DecoderProcess;

namespace {

std::string read_host_file(const std::wstring& path)
{
    std::string text;
    if (FILE* f = _wfopen(path.c_str(), L"rb")) {
        static char buffer[1 << 16];
        text.assign(buffer, std::fread(buffer, 1, sizeof buffer - 1, f));
        std::fclose(f);
    }
    return text;
}

// The processor time of every thread of the host process `pid`, in milliseconds, from the host's own
// count: the system's count of process times under Wine moves in steps of 10 ms.
double process_ms(const std::wstring& pid)
{
    double total = 0;
    WIN32_FIND_DATAW found;
    const std::wstring tasks = L"Z:\\proc\\" + pid + L"\\task\\";
    const HANDLE search = ::FindFirstFileW((tasks + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    do {
        if (found.cFileName[0] != L'.')
            total += std::strtod(read_host_file(tasks + found.cFileName + L"\\schedstat").c_str(), nullptr) / 1e6;
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return total;
}

// The host process id of the Windows process of this Wine prefix whose program's name holds `needle` (a
// decoder of this very run, not one of another program on the machine).
std::wstring host_pid(const std::string& needle)
{
    const char* prefix = std::getenv("WINEPREFIX");
    const std::string ours = std::string("WINEPREFIX=") + (prefix ? prefix : "") + std::string(1, '\0');
    WIN32_FIND_DATAW found;
    const HANDLE search = ::FindFirstFileW(L"Z:\\proc\\*", &found);
    std::wstring pid;
    if (search == INVALID_HANDLE_VALUE)
        return pid;
    do {
        if (found.cFileName[0] < L'0' || found.cFileName[0] > L'9')
            continue;
        const std::wstring folder = std::wstring(L"Z:\\proc\\") + found.cFileName;
        const std::string line = read_host_file(folder + L"\\cmdline");
        // The program comes first, ending in .exe or .scr; the scripts that started us are left out.
        const std::string program = line.substr(0, line.find_first_of(std::string(" \0", 2)));
        if (program.find(needle) == std::string::npos || (!program.ends_with(".exe") && !program.ends_with(".scr")))
            continue;
        if (prefix != nullptr && read_host_file(folder + L"\\environ").find(ours) == std::string::npos)
            continue;
        pid = found.cFileName;
    } while (pid.empty() && ::FindNextFileW(search, &found));
    ::FindClose(search);
    return pid;
}

// Milliseconds to write `bytes` into a view of a file mapping made just before; into a new view of the same
// mapping; and into that view again.
struct FreshMemory {
    double fresh = 0;
    double new_view = 0;
    double same_view = 0;
};
FreshMemory fresh_memory_ms(std::uint64_t bytes)
{
    const platform::win32::UniqueHandle mapping(::CreateFileMappingW(
        INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, DWORD(bytes >> 32), DWORD(bytes), nullptr));
    const auto map = [&] {
        void* view = mapping ? ::MapViewOfFile(mapping.get(), FILE_MAP_WRITE, 0, 0, SIZE_T(bytes)) : nullptr;
        if (view == nullptr)
            throw platform::RuntimeError("no file mapping");
        return view;
    };
    const auto write = [&](void* view, int value) {
        const double t0 = now_ms();
        std::memset(view, value, SIZE_T(bytes));
        return now_ms() - t0;
    };
    FreshMemory result;
    void* view = map();
    result.fresh = write(view, 1);
    ::UnmapViewOfFile(view);
    view = map();
    result.new_view = write(view, 2);
    result.same_view = write(view, 3);
    ::UnmapViewOfFile(view);
    return result;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    SIZE screen{3840, 2160};
    int runs = 5;
    std::wstring program;
    std::vector<std::wstring> files;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--screen" && i + 1 < argc)
            std::swscanf(argv[++i], L"%ldx%ld", &screen.cx, &screen.cy);
        else if (arg == L"--runs" && i + 1 < argc)
            runs = std::max(1, _wtoi(argv[++i]));
        else if (arg == L"--decoder" && i + 1 < argc)
            program = argv[++i];
        else
            files.push_back(arg);
    }
    if (program.empty() || files.empty()) {
        std::printf("usage: kwobl_change_bench --decoder PROGRAM [--screen WxH] [--runs N] FILE...\n");
        return 2;
    }
    try {
        DecoderProcess decoder({program, L""}, {});
        const platform::SizeF box{static_cast<float>(screen.cx), static_cast<float>(screen.cy)};
        std::vector<double> wall, decoding, asking, reading;
        // Wine does not resolve the host's /proc/self for us.
        const std::wstring self = host_pid("change_bench");
        std::wstring process;
        // The shown picture and the one prepared ahead stay alive across a request, as in the slideshow.
        std::shared_ptr<const platform::win32::Win32Picture> shown, prepared;
        std::uint64_t sum = 0;
        for (int run = 0; run <= runs; ++run) {
            for (const std::wstring& file : files) {
                const double d0 = process.empty() ? 0 : process_ms(process);
                const double s0 = process_ms(self);
                const double t0 = now_ms();
                auto picture = decoder.decode(file, box);
                const double t1 = now_ms();
                const double s1 = process_ms(self);
                if (process.empty())
                    process = host_pid(".scr");
                const double d1 = process.empty() ? 0 : process_ms(process);
                if (picture && picture->pixels()) {
                    const auto& pixels = *picture->pixels();
                    const std::size_t bytes = std::size_t(pixels.stride()) * std::size_t(pixels.height());
                    for (std::size_t at = 0; at < bytes; at += 64)
                        sum += pixels.bits()[at];
                }
                const double s2 = process_ms(self);
                shown = std::exchange(prepared, std::move(picture));
                // The first round starts the decoder and is not counted.
                if (run == 0)
                    continue;
                wall.push_back(t1 - t0);
                decoding.push_back(d0 > 0 ? d1 - d0 : 0);
                asking.push_back(s1 - s0);
                reading.push_back(s2 - s1);
            }
        }
        const FreshMemory memory = fresh_memory_ms(std::uint64_t(screen.cx) * std::uint64_t(screen.cy) * 4);
        std::printf("change cost at %ldx%ld, %zu requests (median ms): wall %.1f, decoder %.1f, asking %.1f, "
                    "reading %.1f; fresh memory %.1f, a new view of it %.1f, the same view %.1f (checksum %llu)\n",
                    screen.cx, screen.cy, wall.size(), median(wall), median(decoding), median(asking),
                    median(reading), memory.fresh, memory.new_view, memory.same_view,
                    static_cast<unsigned long long>(sum % 10));
    } catch (const std::exception& e) {
        std::printf("error: %s\n", e.what());
        return 1;
    }
    return 0;
}

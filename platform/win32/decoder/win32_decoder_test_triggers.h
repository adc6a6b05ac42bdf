// Files that make a decoder process fail on purpose, for the tests of the decoder's confinement: built
// only into the backend's tests and into the test copy of the program, never into kwobl.scr.
//
// A file that begins with one of these words is not decoded: "KWOBL-TEST-HANG" never finishes,
// "KWOBL-TEST-CRASH" writes through a null pointer, and "KWOBL-TEST-GROW" commits and touches memory
// past the job's limit (the system refuses it on Windows; Wine lets it through, and the decoder then
// never finishes). Every other file is decoded as usual.
#pragma once

#include "platform/errors.h"
#include "platform/win32/common/win32_handles.h"
#include "platform/win32/decoder/win32_decoder_main.h"
#include "platform/win32/pictures/win32_file_decoder.h"

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

inline std::string first_bytes(HANDLE file)
{
    char head[16] = {};
    OVERLAPPED start{};
    DWORD read = 0;
    ::ReadFile(file, head, sizeof head, &read, &start);
    return std::string(head, read);
}

[[noreturn]] inline void never_finish()
{
    while (true)
        ::Sleep(1000);
}

inline void grow_past_the_limit()
{
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    ::QueryInformationJobObject(nullptr, JobObjectExtendedLimitInformation, &limits, sizeof limits, nullptr);
    const SIZE_T limit = limits.ProcessMemoryLimit ? limits.ProcessMemoryLimit : SIZE_T{512} << 20;
    constexpr SIZE_T kStep = SIZE_T{16} << 20;
    for (SIZE_T taken = 0; taken <= limit + 4 * kStep; taken += kStep) {
        void* block = ::VirtualAlloc(nullptr, kStep, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        if (block == nullptr)
            throw platform::RuntimeError("out of the decoder's memory");
        std::memset(block, 1, kStep);
    }
    never_finish();
}

inline platform::win32::DecodeFunction decoder_test_triggers()
{
    return [](platform::win32::FileDecoder& decoder, HANDLE file, platform::SizeF box) {
        const std::string head = first_bytes(file);
        if (head.rfind("KWOBL-TEST-HANG", 0) == 0)
            never_finish();
        if (head.rfind("KWOBL-TEST-CRASH", 0) == 0) {
            volatile int* nowhere = nullptr;
            *nowhere = 1;
        }
        if (head.rfind("KWOBL-TEST-GROW", 0) == 0)
            grow_past_the_limit();
        return decoder.decode(file, box);
    };
}

} // namespace

// The stack protector's guard value and failure handler, in place of those of MinGW's libssp.
//
// libssp seeds its guard through CryptAcquireContext, which loads the system's cryptographic
// provider (and under Wine the user-interface DLLs with it) into every process at its start, the
// decoder process too, whose start must stay free of them. The guard is seeded here as the Windows
// compilers' runtime seeds its security cookie: from the time, the process and thread, the tick and
// performance counters and the address of the stack, with no DLL beyond kernel32.
#include <windows.h>

#include <cstdint>

namespace {

// The status with which Windows ends a process whose security cookie was overwritten.
constexpr UINT kStackBufferOverrun = 0xC0000409;

}  // namespace

extern "C" {

// Read by the prologue and the epilogue of every guarded function.
std::uintptr_t __stack_chk_guard = 0x00002B992DDFA232;

[[noreturn]] void __stack_chk_fail()
{
    // A smashed stack can be trusted neither to unwind nor to run handlers: the process ends at once.
    ::OutputDebugStringA("kwobl: stack smashing detected\n");
    ::TerminateProcess(::GetCurrentProcess(), kStackBufferOverrun);
    __builtin_trap();
}

}  // extern "C"

namespace {

// Runs before every other constructor of the program, while no guarded function is on the stack; it
// is not guarded itself, since its own epilogue would see the new value.
__attribute__((constructor(101), no_stack_protector)) void seed_stack_guard()
{
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    LARGE_INTEGER counter{};
    ::QueryPerformanceCounter(&counter);
    std::uintptr_t seed = (std::uintptr_t(now.dwHighDateTime) << 32) ^ now.dwLowDateTime;
    seed ^= std::uintptr_t(::GetCurrentProcessId()) << 16;
    seed ^= std::uintptr_t(::GetCurrentThreadId()) << 40;
    seed ^= ::GetTickCount64();
    seed ^= std::uintptr_t(counter.QuadPart) * 0x9E3779B97F4A7C15ULL;
    seed ^= reinterpret_cast<std::uintptr_t>(&now);
    // A zero byte at the bottom stops string functions from copying past the guard.
    __stack_chk_guard = seed & ~std::uintptr_t(0xFF);
}

}  // namespace

// The registry, the file test and program launch on Win32, through the W functions.
#include "platform/win32/app/win32_system.h"

#include "platform/errors.h"
#include "platform/win32/common/win32_handles.h"
#include "platform/win32/common/win32_text.h"

#include <windows.h>

#include <algorithm>
#include <string>

namespace platform::win32 {

namespace {

// Predefined keys are 32-bit numbers that Windows sign-extends to pointer width
// (HKEY_LOCAL_MACHINE is 0xFFFFFFFF80000002 in a 64-bit program), so the core's
// 0x80000002 is widened the same way; handles of opened keys pass unchanged.
HKEY to_hkey(NativeHandle h)
{
    if (h >= 0x80000000u && h <= 0xFFFFFFFFu)
        return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(static_cast<LONG>(static_cast<DWORD>(h))));
    return reinterpret_cast<HKEY>(h);
}

} // namespace

long Win32Registry::open_key(NativeHandle root, std::string_view path, unsigned options, unsigned access,
                             NativeHandle& key)
{
    HKEY opened = nullptr;
    const LSTATUS status = ::RegOpenKeyExW(to_hkey(root), widen(path).c_str(), options, access, &opened);
    if (status == ERROR_SUCCESS)
        key = reinterpret_cast<NativeHandle>(opened);
    return status;
}

long Win32Registry::query_value(NativeHandle key, std::string_view name, unsigned& type,
                                std::span<std::byte> buffer, unsigned& size)
{
    DWORD value_type = 0;
    DWORD bytes = static_cast<DWORD>(std::min<std::size_t>(size, buffer.size()));
    const LSTATUS status = ::RegQueryValueExW(to_hkey(key), widen(name).c_str(), nullptr, &value_type,
                                              reinterpret_cast<BYTE*>(buffer.data()), &bytes);
    if (status == ERROR_SUCCESS)
        type = value_type;
    if (status == ERROR_SUCCESS || status == ERROR_MORE_DATA)
        size = bytes;
    return status;
}

void Win32Registry::close_key(NativeHandle key)
{
    ::RegCloseKey(to_hkey(key));
}

bool Win32Files::ordinary_file_exists(std::string_view path)
{
    if (path.empty())
        return false;
    const DWORD attributes = ::GetFileAttributesW(widen(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    // Read-only and archive files count; folders, hidden and system files do not.
    return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) == 0;
}

void Win32Launcher::start_program(std::string_view path, int window_style)
{
    if (path.empty())
        throw RuntimeError("no program to start");
    // The program is named by lpApplicationName, so a path with spaces is never cut at its
    // first space; the command line only repeats it, quoted, as the program's argv[0].
    const std::wstring program = widen(path);
    std::wstring command_line = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(window_style);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process))
        throw RuntimeError("the program cannot be started");
    // The program runs on its own; nothing waits for it or watches it.
    const UniqueHandle process_handle(process.hProcess);
    const UniqueHandle thread_handle(process.hThread);
}

} // namespace platform::win32

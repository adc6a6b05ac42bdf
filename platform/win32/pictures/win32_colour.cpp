// The primary monitor's colour profile, as the system's colour settings give it.
#include "imaging/picture_budget.h"
#include "platform/win32/common/win32_handles.h"
#include "platform/win32/pictures/win32_colour.h"

#include <windows.h>

#include <string>

namespace platform::win32 {

std::vector<std::uint8_t> primary_display_profile()
{
    MONITORINFOEXW monitor{};
    monitor.cbSize = sizeof monitor;
    if (!::GetMonitorInfoW(::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &monitor))
        return {};
    const UniqueHdc dc(::CreateDCW(monitor.szDevice, monitor.szDevice, nullptr, nullptr));
    if (!dc)
        return {};
    DWORD length = 0;
    ::GetICMProfileW(dc.get(), &length, nullptr);
    if (length == 0 || length > 32768)
        return {};
    std::wstring name(length, L'\0');
    if (!::GetICMProfileW(dc.get(), &length, name.data()))
        return {};
    name.resize(wcsnlen(name.c_str(), name.size()));
    const UniqueHfile file = open_file(name.c_str(), GENERIC_READ, FILE_SHARE_READ);
    if (!file)
        return {};
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0 ||
        static_cast<std::uint64_t>(size.QuadPart) > imaging::kMaxColourProfileBytes)
        return {};
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size.QuadPart));
    DWORD read = 0;
    if (!::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) || read != bytes.size())
        return {};
    return bytes;
}

} // namespace platform::win32

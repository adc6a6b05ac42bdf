// Application services on Win32: single instance, command line, metadata, message box, ending.
#include "platform/win32/app/win32_app.h"

#include "platform/errors.h"
#include "platform/win32/common/win32_text.h"
#include "platform/win32/ui/win32_windowing.h"

#include <windows.h>
#include <winver.h>

#include <cwchar>
#include <vector>

namespace platform::win32 {

namespace {

// Named in the session's own namespace: one running program per signed-in user.
constexpr wchar_t kInstanceLockName[] = L"Local\\KWOBL.Slideshow.Instance";

bool is_blank(wchar_t c)
{
    return c == L' ' || c == L'\t';
}

// One text of the version information, looked up under the block of its first translation.
std::string version_text(const std::vector<std::byte>& block, const std::wstring& prefix, const wchar_t* name)
{
    const std::wstring path = prefix + name;
    void* value = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(block.data(), path.c_str(), &value, &length) || !value || length == 0)
        return {};
    std::wstring_view text(static_cast<const wchar_t*>(value), length);
    while (!text.empty() && text.back() == L'\0')
        text.remove_suffix(1);
    return narrow(text);
}

} // namespace

std::wstring_view arguments_of(std::wstring_view command_line)
{
    std::size_t i = 0;
    if (!command_line.empty() && command_line.front() == L'"') {
        const std::size_t close = command_line.find(L'"', 1);
        i = close == std::wstring_view::npos ? command_line.size() : close + 1;
    } else {
        while (i < command_line.size() && !is_blank(command_line[i]))
            ++i;
    }
    while (i < command_line.size() && is_blank(command_line[i]))
        ++i;
    return command_line.substr(i);
}

std::wstring folder_of(std::wstring_view path)
{
    const std::size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring_view::npos)
        return {};
    std::wstring folder(path.substr(0, slash));
    // "C:" alone would name the drive's current folder, not its root.
    if (folder.size() == 2 && folder[1] == L':')
        folder += L'\\';
    return folder;
}


bool Win32App::previous_instance()
{
    if (!m_checked) {
        ::SetLastError(ERROR_SUCCESS);
        m_instance_lock.reset(::CreateMutexW(nullptr, FALSE, kInstanceLockName));
        const DWORD error = ::GetLastError();
        if (!m_instance_lock && error != ERROR_ACCESS_DENIED)
            throw RuntimeError("the instance lock cannot be created");
        // Access denied means the lock exists under another user's rights: another instance.
        m_previous = error == ERROR_ALREADY_EXISTS || error == ERROR_ACCESS_DENIED;
        m_checked = true;
    }
    return m_previous;
}

std::string Win32App::command()
{
    const wchar_t* line = ::GetCommandLineW();
    return narrow(arguments_of(line ? std::wstring_view(line) : std::wstring_view()));
}

AppInfo Win32App::info()
{
    if (!m_info)
        m_info = m_read_info();
    return *m_info;
}

AppInfo read_app_info()
{
    const std::wstring path = module_path();
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0)
        throw RuntimeError("the program file has no version information");
    std::vector<std::byte> block(size);
    if (!::GetFileVersionInfoW(path.c_str(), 0, size, block.data()))
        throw RuntimeError("the version information cannot be read");

    AppInfo info;
    void* value = nullptr;
    UINT length = 0;
    if (::VerQueryValueW(block.data(), L"\\", &value, &length) && value && length >= sizeof(VS_FIXEDFILEINFO)) {
        const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
        info.major = static_cast<std::int16_t>(HIWORD(fixed->dwFileVersionMS));
        info.minor = static_cast<std::int16_t>(LOWORD(fixed->dwFileVersionMS));
        info.revision = static_cast<std::int16_t>(HIWORD(fixed->dwFileVersionLS));
    }

    // The texts sit in the block of the first translation the file declares ("041104B0").
    unsigned language = 0x0411;
    unsigned code_page = 1200;
    if (::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &value, &length) && value && length >= 4) {
        const auto* pair = static_cast<const WORD*>(value);
        language = pair[0];
        code_page = pair[1];
    }
    wchar_t prefix[64];
    std::swprintf(prefix, 64, L"\\StringFileInfo\\%04X%04X\\", language, code_page);
    info.title = version_text(block, prefix, L"ProductName");
    info.company_name = version_text(block, prefix, L"CompanyName");
    info.legal_copyright = version_text(block, prefix, L"LegalCopyright");
    info.folder = narrow(folder_of(path));
    return info;
}

void Win32App::message_box(std::string_view text, int style, std::string_view caption)
{
    start_common_controls();
    // Owned by the program's active window, if any, so that window takes no input meanwhile.
    ::MessageBoxW(::GetActiveWindow(), widen(text).c_str(), widen(caption).c_str(), static_cast<UINT>(style));
}

void Win32App::end()
{
    // At once and for certain: the picture loader's worker may be in the middle of a decode, holding
    // locks that an orderly exit would wait for. The program has nothing to write on its way out, but
    // gives back whatever of the desktop is still taken.
    if (m_debt)
        m_debt->repay();
    ::TerminateProcess(::GetCurrentProcess(), 0);
    ::ExitProcess(0); // not reached: a process that terminates itself does not come back
}

} // namespace platform::win32

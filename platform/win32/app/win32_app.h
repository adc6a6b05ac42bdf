// Application services on Win32: single instance, command line, metadata, message box, ending.
#pragma once

#include "platform/platform.h"
#include "platform/win32/common/win32_crash_guard.h"
#include "platform/win32/common/win32_handles.h"
#include "platform/win32/common/win32_module.h"

#include <optional>
#include <string>
#include <string_view>

namespace platform::win32 {

// The argument text of a command line: what follows the program's name (quoted or not) and
// the blanks after it.
[[nodiscard]] std::wstring_view arguments_of(std::wstring_view command_line);

// The folder of a file path: everything before the last separator, keeping the separator only
// for a drive's root ("C:\").
[[nodiscard]] std::wstring folder_of(std::wstring_view path);

// The application metadata as the program file's version information gives it. Throws RuntimeError
// when the file has none.
[[nodiscard]] AppInfo read_app_info();

class Win32App final : public App {
public:
    using InfoReader = AppInfo (*)();

    Win32App() = default;
    // `debt` is repaid when the program ends through end(), whatever the caller gave back before.
    explicit Win32App(DesktopDebt& debt) : m_debt(&debt) {}
    // For tests: where the metadata comes from.
    explicit Win32App(InfoReader reader) : m_read_info(reader) {}

    // Creates the program's named lock on the first call and keeps it for the life of the
    // process; another instance holds it when it already existed.
    bool previous_instance() override;
    std::string command() override;
    // Read from the program file's own version information, so that the resource script is
    // the single source of the names and numbers; read once, since the slideshow asks at every
    // picture and the file does not change while it runs. A failed read is tried again next time.
    AppInfo info() override;
    void message_box(std::string_view text, int style, std::string_view caption) override;
    [[noreturn]] void end() override;

private:
    UniqueHandle m_instance_lock;
    bool m_checked = false;
    bool m_previous = false;
    DesktopDebt* m_debt = nullptr;
    InfoReader m_read_info = &read_app_info;
    std::optional<AppInfo> m_info;
};

} // namespace platform::win32

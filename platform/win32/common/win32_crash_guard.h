// Gives the desktop back when the program ends, normally or not, while the slideshow has taken it.
#pragma once

#include <windows.h>

#include <array>
#include <atomic>

namespace platform::win32 {

// What the running program has taken away from the desktop and not yet given back: how many
// times it hid the cursor, and the windows (the taskbar) it hid. Lock-free, so that a crash
// handler may read it whatever state the program is in.
class DesktopDebt {
public:
    void cursor_hidden() noexcept;
    void cursor_shown() noexcept;
    void window_hidden(HWND window) noexcept;
    void window_shown(HWND window) noexcept;

    // Windows of the program's own that cover part of the desktop (the other monitors' covers).
    void cover_shown(HWND window) noexcept;
    void cover_gone(HWND window) noexcept;

    [[nodiscard]] int hidden_cursor_count() const noexcept { return m_cursor_hidden.load(); }
    [[nodiscard]] bool is_hidden(HWND window) const noexcept;
    [[nodiscard]] bool is_cover(HWND window) const noexcept;

    // Shows the hidden windows and the cursor again, hides the covers, and forgets them. Safe to call twice.
    void repay() noexcept;

private:
    // The primary taskbar and one per other monitor.
    static constexpr std::size_t kWindows = 16;
    std::atomic<int> m_cursor_hidden{0};
    std::array<std::atomic<HWND>, kWindows> m_hidden_windows{};
    std::array<std::atomic<HWND>, kWindows> m_covers{};
};

// Installs, for its lifetime, the handlers of every abnormal end the program can come to: an
// unhandled structured exception, std::terminate (an escaped C++ exception or a pure virtual
// call), and abort. Each repays `debt` and lets the process die as it would have. When the guard
// goes (the program returns normally), it repays what is still owed too.
class CrashGuard {
public:
    explicit CrashGuard(DesktopDebt& debt);
    ~CrashGuard();
    CrashGuard(const CrashGuard&) = delete;
    CrashGuard& operator=(const CrashGuard&) = delete;
};

} // namespace platform::win32

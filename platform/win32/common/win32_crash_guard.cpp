// Gives the desktop back when the program dies abnormally while the slideshow has taken it.
//
// The ordinary ends (a key press, a click, the end of the session) run the slideshow's unload
// handler, which restores cursor and taskbar itself. This guard covers the rest: without it a
// crash would leave the taskbar hidden until the user signs out.
#include "platform/win32/common/win32_crash_guard.h"

#include <csignal>
#include <cstdlib>
#include <exception>

namespace platform::win32 {

void DesktopDebt::cursor_hidden() noexcept
{
    ++m_cursor_hidden;
}

void DesktopDebt::cursor_shown() noexcept
{
    int count = m_cursor_hidden.load();
    while (count > 0 && !m_cursor_hidden.compare_exchange_weak(count, count - 1)) {
    }
}

namespace {

template <std::size_t N>
bool holds(const std::array<std::atomic<HWND>, N>& slots, HWND window) noexcept
{
    for (const auto& slot : slots)
        if (window && slot.load() == window)
            return true;
    return false;
}

template <std::size_t N>
void add(std::array<std::atomic<HWND>, N>& slots, HWND window) noexcept
{
    if (!window || holds(slots, window))
        return;
    for (auto& slot : slots) {
        HWND empty = nullptr;
        if (slot.compare_exchange_strong(empty, window))
            return;
    }
}

template <std::size_t N>
void remove(std::array<std::atomic<HWND>, N>& slots, HWND window) noexcept
{
    for (auto& slot : slots) {
        HWND expected = window;
        slot.compare_exchange_strong(expected, nullptr);
    }
}

} // namespace

void DesktopDebt::window_hidden(HWND window) noexcept
{
    add(m_hidden_windows, window);
}

void DesktopDebt::window_shown(HWND window) noexcept
{
    remove(m_hidden_windows, window);
}

void DesktopDebt::cover_shown(HWND window) noexcept
{
    add(m_covers, window);
}

void DesktopDebt::cover_gone(HWND window) noexcept
{
    remove(m_covers, window);
}

bool DesktopDebt::is_hidden(HWND window) const noexcept
{
    return holds(m_hidden_windows, window);
}

bool DesktopDebt::is_cover(HWND window) const noexcept
{
    return holds(m_covers, window);
}

void DesktopDebt::repay() noexcept
{
    // Asynchronously: a cover belongs to the user-interface thread, which may be the one that died.
    for (auto& slot : m_covers) {
        if (HWND window = slot.exchange(nullptr))
            ::ShowWindowAsync(window, SW_HIDE);
    }
    for (auto& slot : m_hidden_windows) {
        if (HWND window = slot.exchange(nullptr))
            ::SetWindowPos(window, nullptr, 0, 0, 0, 0,
                           SWP_SHOWWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    for (int count = m_cursor_hidden.exchange(0); count > 0; --count)
        ::ShowCursor(TRUE);
}

namespace {

// The handlers are process-wide by nature, so what they need is too.
DesktopDebt* g_debt = nullptr;
LPTOP_LEVEL_EXCEPTION_FILTER g_previous_filter = nullptr;
std::terminate_handler g_previous_terminate = nullptr;
using SignalHandler = void (*)(int);
SignalHandler g_previous_abort = SIG_DFL;

void repay_debt() noexcept
{
    if (g_debt)
        g_debt->repay();
}

LONG WINAPI on_unhandled_exception(EXCEPTION_POINTERS* info)
{
    repay_debt();
    return g_previous_filter ? g_previous_filter(info) : EXCEPTION_CONTINUE_SEARCH;
}

// Also reached by a pure virtual call: the C++ runtime reports it through std::terminate.
[[noreturn]] void on_terminate()
{
    repay_debt();
    if (g_previous_terminate)
        g_previous_terminate();
    std::abort();
}

void on_abort(int signal_number)
{
    repay_debt();
    // Let abort go on to end the process as it does without the guard.
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

} // namespace

CrashGuard::CrashGuard(DesktopDebt& debt)
{
    g_debt = &debt;
    g_previous_filter = ::SetUnhandledExceptionFilter(&on_unhandled_exception);
    g_previous_terminate = std::set_terminate(&on_terminate);
    g_previous_abort = std::signal(SIGABRT, &on_abort);
}

CrashGuard::~CrashGuard()
{
    // A normal end: whatever the slideshow did not give back (its unload handler cut short, the event
    // loop ended by an error) is given back here.
    repay_debt();
    std::signal(SIGABRT, g_previous_abort == SIG_ERR ? SIG_DFL : g_previous_abort);
    std::set_terminate(g_previous_terminate);
    ::SetUnhandledExceptionFilter(g_previous_filter);
    g_debt = nullptr;
}

} // namespace platform::win32

// Gives the desktop back when the program dies abnormally while the slideshow has taken it.
//
// The ordinary ends (a key press, a click, the end of the session) run the slideshow's unload
// handler, which restores cursor and taskbar itself. This guard covers the rest: without it a
// crash would leave the taskbar hidden until the user signs out.
#include "platform/win32/win32_crash_guard.h"

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

void DesktopDebt::window_hidden(HWND window) noexcept
{
    if (!window || is_hidden(window))
        return;
    for (auto& slot : m_hidden_windows) {
        HWND empty = nullptr;
        if (slot.compare_exchange_strong(empty, window))
            return;
    }
}

void DesktopDebt::window_shown(HWND window) noexcept
{
    for (auto& slot : m_hidden_windows) {
        HWND expected = window;
        slot.compare_exchange_strong(expected, nullptr);
    }
}

bool DesktopDebt::is_hidden(HWND window) const noexcept
{
    for (const auto& slot : m_hidden_windows)
        if (window && slot.load() == window)
            return true;
    return false;
}

void DesktopDebt::repay() noexcept
{
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
    std::signal(SIGABRT, g_previous_abort == SIG_ERR ? SIG_DFL : g_previous_abort);
    std::set_terminate(g_previous_terminate);
    ::SetUnhandledExceptionFilter(g_previous_filter);
    g_debt = nullptr;
}

} // namespace platform::win32

// The desktop calls of the slideshow on Win32: screen saving, cursor, input method, taskbar, z-order.
#include "platform/win32/desktop/win32_desktop.h"

#include "platform/win32/common/win32_text.h"

#include <windows.h>
#include <imm.h>

#include <string>

namespace platform::win32 {

namespace {

HWND to_hwnd(NativeHandle handle)
{
    return reinterpret_cast<HWND>(handle);
}

} // namespace

void Win32Desktop::system_parameters_info(unsigned action, int param, std::string_view text, unsigned win_ini)
{
    // The text goes as a writable, zero-terminated buffer: an empty text is a single zero character.
    std::wstring buffer = widen(text);
    ::SystemParametersInfoW(action, static_cast<UINT>(param), buffer.data(), win_ini);
}

void Win32Desktop::show_cursor(bool show)
{
    ::ShowCursor(show ? TRUE : FALSE);
    if (show)
        m_debt.cursor_shown();
    else
        m_debt.cursor_hidden();
}

NativeHandle Win32Desktop::imm_associate_context(NativeHandle window, NativeHandle context)
{
    return reinterpret_cast<NativeHandle>(::ImmAssociateContext(to_hwnd(window), reinterpret_cast<HIMC>(context)));
}

NativeHandle Win32Desktop::find_window(std::string_view class_name, std::string_view window_name)
{
    // An empty name is passed as an empty string, never as a null pointer: only a window whose
    // title is empty matches it.
    const std::wstring cls = widen(class_name);
    const std::wstring name = widen(window_name);
    return reinterpret_cast<NativeHandle>(::FindWindowW(cls.c_str(), name.c_str()));
}

void Win32Desktop::set_window_pos(NativeHandle window, NativeHandle insert_after, int x, int y, int cx, int cy,
                                  unsigned flags)
{
    HWND hwnd = to_hwnd(window);
    // A window of another thread (the taskbar is the shell's) is asked to move, not waited for: a shell
    // that is busy or hung must not hold the slideshow up. Under Wine, waiting for the taskbar to hide
    // took two seconds of the first picture's interval, before the window showed.
    if (hwnd && ::GetWindowThreadProcessId(hwnd, nullptr) != ::GetCurrentThreadId())
        flags |= SWP_ASYNCWINDOWPOS;
    ::SetWindowPos(hwnd, to_hwnd(insert_after), x, y, cx, cy, flags);
    if (!hwnd)
        return;
    if (flags & SWP_HIDEWINDOW)
        m_debt.window_hidden(hwnd);
    else if (flags & SWP_SHOWWINDOW)
        m_debt.window_shown(hwnd);
}

void Win32Desktop::cover_other_monitors(NativeHandle window)
{
    m_covers.cover(to_hwnd(window));
}

void Win32Desktop::uncover_other_monitors()
{
    m_covers.uncover();
}

} // namespace platform::win32

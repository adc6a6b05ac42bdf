// Black covers over the monitors that the slideshow window does not fill, and their taskbars hidden meanwhile.
//
// The covers are windows of their own rather than one window across the virtual screen, so that each fills
// its monitor exactly whatever the monitors' scales, and the slideshow window on the primary monitor stays
// as it is. They never take the activation: keys keep going to the slideshow window, and a click on a
// cover reaches it as a click.
#include "platform/win32/desktop/win32_monitor_covers.h"

#include "platform/win32/common/win32_input.h"

#include <windowsx.h>

#include <algorithm>
#include <exception>

namespace platform::win32 {

namespace {

constexpr wchar_t kCoverClass[] = L"KwoblMonitorCover";
constexpr wchar_t kWatcherClass[] = L"KwoblMonitorWatcher";
constexpr wchar_t kOtherTaskbarClass[] = L"Shell_SecondaryTrayWnd";
constexpr DWORD kCoverExStyle = WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE;

HINSTANCE this_module()
{
    return ::GetModuleHandleW(nullptr);
}

void register_class(const wchar_t* name, WNDPROC proc, HBRUSH background)
{
    WNDCLASSEXW cls{};
    cls.cbSize = sizeof cls;
    cls.lpfnWndProc = proc;
    cls.hInstance = this_module();
    cls.hCursor = nullptr; // no cursor over a cover
    cls.hbrBackground = background;
    cls.lpszClassName = name;
    // A second registration fails harmlessly: the class is already there.
    ::RegisterClassExW(&cls);
}

// The monitors found so far, and what stopped the enumeration early.
struct MonitorList {
    std::vector<RECT> monitors;
    std::exception_ptr failure;
};

BOOL CALLBACK add_other_monitor(HMONITOR monitor, HDC, LPRECT, LPARAM data)
{
    auto* list = reinterpret_cast<MonitorList*>(data);
    try {
        MONITORINFO info{};
        info.cbSize = sizeof info;
        if (::GetMonitorInfoW(monitor, &info) && !(info.dwFlags & MONITORINFOF_PRIMARY))
            list->monitors.push_back(info.rcMonitor);
        return TRUE;
    } catch (...) {
        // No exception may cross the system's code that calls us (push_back runs out of memory, say): it
        // is kept for our caller, and FALSE stops the enumeration here.
        list->failure = std::current_exception();
        return FALSE;
    }
}

} // namespace

MonitorCovers::MonitorCovers(DesktopDebt& debt, Layout layout)
    : m_debt(debt), m_layout(layout ? std::move(layout) : Layout(&MonitorCovers::other_monitors))
{
}

MonitorCovers::~MonitorCovers()
{
    uncover();
}

std::vector<RECT> MonitorCovers::other_monitors()
{
    MonitorList list;
    ::EnumDisplayMonitors(nullptr, nullptr, &add_other_monitor, reinterpret_cast<LPARAM>(&list));
    // A list cut short is not the layout: taken as one, it would take the covers off the monitors left out.
    if (list.failure)
        std::rethrow_exception(list.failure);
    return std::move(list.monitors);
}

std::vector<HWND> MonitorCovers::covers() const
{
    std::vector<HWND> out;
    for (const UniqueHwnd& cover : m_covers)
        out.push_back(cover.get());
    return out;
}

void MonitorCovers::cover(HWND target)
{
    m_target = target;
    if (!m_watcher) {
        register_class(kCoverClass, &MonitorCovers::cover_proc, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
        register_class(kWatcherClass, &MonitorCovers::watcher_proc, nullptr);
        // A hidden top-level window: the system tells every top-level window of a change of the monitors,
        // also when there is no cover yet because only one monitor was there.
        m_watcher.reset(::CreateWindowExW(WS_EX_TOOLWINDOW, kWatcherClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                                          nullptr, this_module(), this));
    }
    try {
        hide_other_taskbars();
        follow_layout();
    } catch (...) {
        // Covering never fails (out of memory, say): the monitors not covered yet stay as they are, and
        // the next change of the monitors lays the covers out again.
    }
}

void MonitorCovers::uncover()
{
    for (UniqueHwnd& cover : m_covers) {
        m_debt.cover_gone(cover.get());
        cover.reset();
    }
    m_covers.clear();
    m_watcher.reset();
    // Shown exactly as the primary taskbar is shown again.
    for (HWND taskbar : m_hidden_taskbars) {
        ::SetWindowPos(taskbar, nullptr, 0, 0, 0, 0, SWP_SHOWWINDOW);
        m_debt.window_shown(taskbar);
    }
    m_hidden_taskbars.clear();
    m_target = nullptr;
}

void MonitorCovers::hide_other_taskbars()
{
    for (HWND taskbar = ::FindWindowExW(nullptr, nullptr, kOtherTaskbarClass, nullptr); taskbar;
         taskbar = ::FindWindowExW(nullptr, taskbar, kOtherTaskbarClass, nullptr)) {
        if (!::IsWindowVisible(taskbar) ||
            std::find(m_hidden_taskbars.begin(), m_hidden_taskbars.end(), taskbar) != m_hidden_taskbars.end())
            continue;
        // Hidden exactly as the primary taskbar is hidden.
        ::SetWindowPos(taskbar, nullptr, 0, 0, 0, 0, SWP_HIDEWINDOW);
        m_debt.window_hidden(taskbar);
        m_hidden_taskbars.push_back(taskbar);
    }
}

void MonitorCovers::follow_layout()
{
    const std::vector<RECT> monitors = m_layout();
    while (m_covers.size() > monitors.size()) {
        m_debt.cover_gone(m_covers.back().get());
        m_covers.pop_back();
    }
    for (std::size_t i = 0; i < monitors.size(); ++i) {
        const RECT& r = monitors[i];
        const int width = r.right - r.left;
        const int height = r.bottom - r.top;
        if (i == m_covers.size()) {
            HWND cover = ::CreateWindowExW(kCoverExStyle, kCoverClass, L"", WS_POPUP, r.left, r.top, width, height,
                                           nullptr, nullptr, this_module(), this);
            if (!cover)
                return; // that monitor and the ones after it stay as they are
            m_covers.emplace_back(cover);
            m_debt.cover_shown(cover);
        }
        // Placed after creation as well: a window created on a monitor of another scale may have been
        // resized for that scale on its way there.
        ::SetWindowPos(m_covers[i].get(), HWND_TOPMOST, r.left, r.top, width, height,
                       SWP_NOACTIVATE | SWP_SHOWWINDOW);
    }
}

void MonitorCovers::pass_on(HWND cover, UINT message, WPARAM wparam, LPARAM lparam) const
{
    if (!m_target || !::IsWindow(m_target))
        return;
    if (is_pointer_message(message)) {
        // The same place on the screen, in the target's frame: a movement across monitors is measured as
        // one on the target would be.
        POINT at{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
        ::ClientToScreen(cover, &at);
        ::ScreenToClient(m_target, &at);
        lparam = MAKELPARAM(static_cast<WORD>(static_cast<SHORT>(at.x)), static_cast<WORD>(static_cast<SHORT>(at.y)));
    }
    // The target may end the program inside this call.
    ::SendMessageW(m_target, message, wparam, lparam);
}

LRESULT CALLBACK MonitorCovers::cover_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_NCCREATE)
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                            reinterpret_cast<LONG_PTR>(reinterpret_cast<const CREATESTRUCTW*>(lparam)->lpCreateParams));
    auto* self = reinterpret_cast<MonitorCovers*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (message) {
    case WM_MOUSEACTIVATE:
        return MA_NOACTIVATE;
    case WM_SETCURSOR:
        ::SetCursor(nullptr);
        return TRUE;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        if (self)
            self->pass_on(hwnd, message, wparam, lparam);
        return 0;
    case WM_CLOSE:
        // A cover goes with the slideshow, never on its own.
        return 0;
    case WM_DPICHANGED:
        // The cover keeps filling its monitor: the layout places it, not the suggested rectangle.
        return 0;
    default:
        if (self && is_pointer_message(message)) {
            self->pass_on(hwnd, message, wparam, lparam);
            return message == WM_XBUTTONDOWN || message == WM_XBUTTONDBLCLK ? TRUE : 0;
        }
        return ::DefWindowProcW(hwnd, message, wparam, lparam);
    }
}

LRESULT CALLBACK MonitorCovers::watcher_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_NCCREATE)
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                            reinterpret_cast<LONG_PTR>(reinterpret_cast<const CREATESTRUCTW*>(lparam)->lpCreateParams));
    auto* self = reinterpret_cast<MonitorCovers*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_DISPLAYCHANGE && self && self->m_target) {
        try {
            // A new monitor may come with a taskbar of its own.
            self->hide_other_taskbars();
            self->follow_layout();
        } catch (...) {
            // No exception crosses into Windows. The covers made so far stay; the next change of the
            // monitors lays them out again.
        }
        return 0;
    }
    return ::DefWindowProcW(hwnd, message, wparam, lparam);
}

} // namespace platform::win32

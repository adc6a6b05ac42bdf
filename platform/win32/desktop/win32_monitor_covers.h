// Black covers over the monitors that the slideshow window does not fill, and their taskbars hidden meanwhile.
#pragma once

#include "platform/win32/common/win32_crash_guard.h"
#include "platform/win32/common/win32_handles.h"

#include <windows.h>

#include <functional>
#include <vector>

namespace platform::win32 {

// While covering, every monitor but the primary one has a black, borderless, top-most window of its own
// that never takes the activation or the keyboard focus, shows no cursor and has no taskbar button, and
// the other monitors' taskbars are hidden. Input on a cover is passed to the target window as input on
// that window, at the same place on the screen, so the target judges it by its own rules. When the
// monitors change (WM_DISPLAYCHANGE), the covers follow them.
class MonitorCovers {
public:
    // The rectangles to cover, in physical pixels of the virtual screen.
    using Layout = std::function<std::vector<RECT>()>;

    // `layout` defaults to every monitor but the primary one.
    explicit MonitorCovers(DesktopDebt& debt, Layout layout = {});
    ~MonitorCovers();
    MonitorCovers(const MonitorCovers&) = delete;
    MonitorCovers& operator=(const MonitorCovers&) = delete;

    // Starts covering for `target`; covering again only changes the target.
    void cover(HWND target);
    // Removes the covers and shows the taskbars that cover() hid.
    void uncover();

    // The covers' windows, in the order of the layout.
    [[nodiscard]] std::vector<HWND> covers() const;
    // The window that is told of WM_DISPLAYCHANGE; null while not covering.
    [[nodiscard]] HWND watcher() const { return m_watcher.get(); }

    // Every monitor but the primary one, as the system reports them now; throws (std::bad_alloc) rather
    // than give a list cut short.
    [[nodiscard]] static std::vector<RECT> other_monitors();

private:
    static LRESULT CALLBACK cover_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    static LRESULT CALLBACK watcher_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    void follow_layout();
    void hide_other_taskbars();
    void pass_on(HWND cover, UINT message, WPARAM wparam, LPARAM lparam) const;

    DesktopDebt& m_debt;
    Layout m_layout;
    HWND m_target = nullptr;
    UniqueHwnd m_watcher;
    std::vector<UniqueHwnd> m_covers;
    std::vector<HWND> m_hidden_taskbars;
};

} // namespace platform::win32

// The desktop calls of the slideshow on Win32: screen saving, cursor, input method, taskbar, z-order.
#pragma once

#include "platform/platform.h"
#include "platform/win32/common/win32_crash_guard.h"
#include "platform/win32/desktop/win32_monitor_covers.h"

namespace platform::win32 {

// Each method is the Win32 function of the same name in its W form, with the arguments as given; the other
// monitors are covered by MonitorCovers.
// What the calls take from the desktop is written down in debt(), for the crash guard.
class Win32Desktop final : public Desktop {
public:
    void system_parameters_info(unsigned action, int param, std::string_view text, unsigned win_ini) override;
    void show_cursor(bool show) override;
    NativeHandle imm_associate_context(NativeHandle window, NativeHandle context) override;
    NativeHandle find_window(std::string_view class_name, std::string_view window_name) override;
    void set_window_pos(NativeHandle window, NativeHandle insert_after, int x, int y, int cx, int cy,
                        unsigned flags) override;
    void cover_other_monitors(NativeHandle window) override;
    void uncover_other_monitors() override;

    [[nodiscard]] DesktopDebt& debt() { return m_debt; }

private:
    DesktopDebt m_debt;
    MonitorCovers m_covers{m_debt};
};

} // namespace platform::win32

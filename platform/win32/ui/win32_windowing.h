// Windows built from definitions on Win32: the table of open windows, modal shows and the event loop.
#pragma once

#include "platform/platform.h"
#include "platform/win32/ui/win32_window.h"

#include <windows.h>

#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace platform::win32 {

// Registers the common controls' window classes (those of the version the manifest asks for, with the
// visual styles), once, before the program's first window or message box: a slideshow run asks for
// its first picture before that, and loads no DLL it can do without until then.
void start_common_controls();

class Win32Windowing final : public Windowing {
public:
    Win32Windowing();
    ~Win32Windowing() override;
    Win32Windowing(const Win32Windowing&) = delete;
    Win32Windowing& operator=(const Win32Windowing&) = delete;

    WindowId create(const WindowDef& def, WindowEvents& events) override;
    void show(WindowId id) override;
    void show_modal(WindowId id) override;
    void set_state(WindowId id, WindowState state) override;
    void unload(WindowId id) override;
    void set_caption(WindowId id, std::string_view text) override;
    void set_text(WindowId id, ElementId element, std::string_view text) override;
    SizeF screen_size() override;
    void set_outer_size(WindowId id, float width, float height) override;
    void set_back_colour(WindowId id, Colour colour) override;
    // Painting always copies the prepared picture, which is the persistent image automatic redraw
    // asks for, so there is nothing to switch.
    void set_auto_redraw(WindowId id, bool on) override;
    void refresh(WindowId id) override;
    void set_focus(WindowId id) override;
    NativeHandle handle(WindowId id) override;
    float scale_width(WindowId id) override;
    float scale_height(WindowId id) override;
    void set_visible(WindowId id, ElementId element, bool visible) override;
    void set_stretch(WindowId id, ElementId element, bool on) override;
    void set_picture(WindowId id, ElementId element, PictureRef picture) override;
    float geometry(WindowId id, ElementId element, Geometry which) override;
    void set_geometry(WindowId id, ElementId element, Geometry which, float value) override;

    // Called with false when the display goes off and with true when it comes on again (dimmed counts as
    // on), before the window's own handler hears of it: the picture loader lets go of what it prepared.
    void set_display_power_listener(std::function<void(bool on)> listener) { m_display_power = std::move(listener); }
    void display_power_changed(bool on) const
    {
        if (m_display_power)
            m_display_power(on);
    }

    // For the test copy of the program only: every timer ticks every `ms` milliseconds, whatever its
    // window's definition says (0 keeps the definitions').
    void set_timer_interval(unsigned ms) { m_timer_ms = ms; }
    [[nodiscard]] unsigned timer_interval(unsigned defined_ms) const { return m_timer_ms ? m_timer_ms : defined_ms; }

    // Runs the event loop while any window of the program is open.
    void run();
    [[nodiscard]] std::size_t open_windows() const { return m_windows.size(); }

    // ---- For the windows themselves ----
    [[nodiscard]] bool is_program_window(HWND hwnd) const;
    // The window asks to be closed (close box, Alt+F4, end of the session): it is unloaded.
    void close_requested(Win32Window& window);
    // The native window is gone, whoever destroyed it.
    void on_destroyed(Win32Window& window) noexcept;
    // A handler of `window` let an exception out.
    void handler_failed(Win32Window& window, std::exception_ptr error) noexcept;

private:
    struct ModalFrame {
        WindowId id;
        std::vector<HWND> disabled;   // the program's windows this show disabled
        std::exception_ptr error;     // a handler's failure, rethrown to the caller of the show
    };

    [[nodiscard]] Win32Window& window(WindowId id);
    [[nodiscard]] Win32Window* find(HWND hwnd) const;
    [[nodiscard]] bool is_open(WindowId id) const;
    [[nodiscard]] HWND owner_for(const WindowDef& def);
    void destroy(Win32Window& window);
    void enable_again(ModalFrame& frame);
    // Waits for and handles one message; false when the loop must end.
    bool pump_one();
    [[nodiscard]] bool pre_translate(MSG& msg);
    void collect_garbage();

    std::map<int, std::unique_ptr<Win32Window>> m_windows;
    std::vector<std::unique_ptr<Win32Window>> m_retired;
    std::vector<ModalFrame> m_modal;
    int m_next_id = 1;
    UniqueHwnd m_hidden_owner;
    bool m_quit = false;
    std::function<void(bool on)> m_display_power;
    unsigned m_timer_ms = 0;
};

} // namespace platform::win32

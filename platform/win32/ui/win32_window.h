// One top-level window built from its definition: its elements, layout, painting and input.
#pragma once

#include "platform/platform.h"
#include "platform/win32/common/win32_handles.h"
#include "platform/win32/ui/win32_image.h"

#include <windows.h>

#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace platform::win32 {

class Win32Windowing;

// Numbers of the child controls, menu items and timers: an element's or menu entry's index plus
// a base that keeps them clear of IDOK and IDCANCEL.
constexpr int kControlIdBase = 1000;
constexpr int kMenuIdBase = 2000;
constexpr UINT_PTR kTimerIdBase = 1;

// Window class names: framed windows are run by the dialog manager (Tab, Enter, Esc, access
// keys); the frameless window takes every key itself.
inline constexpr wchar_t kDialogClass[] = L"KWOBL.Dialog";
inline constexpr wchar_t kPlainClass[] = L"KWOBL.Window";

class Win32Window {
public:
    Win32Window(Win32Windowing& windowing, WindowId id, const WindowDef& def, WindowEvents& events);
    ~Win32Window();
    Win32Window(const Win32Window&) = delete;
    Win32Window& operator=(const Win32Window&) = delete;

    // Creates the native window and its elements, hidden, owned by `owner` (or by nobody), and
    // starts the timers. Throws RuntimeError.
    void create(HWND owner);

    [[nodiscard]] HWND hwnd() const { return m_hwnd; }
    [[nodiscard]] WindowId id() const { return m_id; }
    [[nodiscard]] const WindowDef& def() const { return m_def; }
    [[nodiscard]] WindowEvents& events() { return m_events; }
    [[nodiscard]] bool uses_dialog_manager() const { return m_def.frame != Frame::None; }
    [[nodiscard]] bool has_real_owner() const { return m_owner != nullptr && m_owner_is_program_window; }
    // Messages of this window being handled right now; the object lives on until it is zero.
    [[nodiscard]] int busy() const { return m_busy; }
    // True the first time only: an unload that is under way is not started again.
    [[nodiscard]] bool start_unload() { return !std::exchange(m_unloading, true); }

    void show();
    void set_state(WindowState state);
    void set_caption(std::string_view text);
    void set_text(ElementId element, std::string_view text);
    void set_outer_size(float width, float height);
    void set_back_colour(Colour colour);
    void refresh();
    void set_focus();
    [[nodiscard]] float scale_width() const;
    [[nodiscard]] float scale_height() const;
    void set_visible(ElementId element, bool visible);
    void set_stretch(ElementId element, bool on);
    void set_picture(ElementId element, PictureRef picture);
    [[nodiscard]] float geometry(ElementId element, Geometry which) const;
    void set_geometry(ElementId element, Geometry which, float value);

    // Raises on_key_down for a key that went to one of the window's controls (key preview).
    void preview_key(const MSG& msg);

    static LRESULT CALLBACK window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

private:
    struct Element {
        const ElementDef* def = nullptr;
        HWND control = nullptr;     // buttons and labels
        UniqueHfont font;           // a label's own font
        float left = 0;             // in the window's scale units, exactly as written; a line's x1, y1, x2, y2
        float top = 0;
        float width = 0;
        float height = 0;
        bool visible = true;
        ImageElement image;         // Image elements only: stretch flag, picture, prepared image
        UniqueHicon icon;           // picture boxes only
    };

    // Creation and layout (win32_window.cpp).
    void create_menu_and_window(HWND owner);
    void create_controls();
    void start_timers();
    void layout(unsigned dpi);
    void place_control(const Element& element) const;
    void apply_inside_size();
    void centre(HWND owner);
    void trim_system_menu();
    void load_icons();
    [[nodiscard]] Element& element(ElementId id);
    [[nodiscard]] const Element& element(ElementId id) const;
    [[nodiscard]] double pixels_per_unit() const;
    [[nodiscard]] int to_pixels(float units) const;
    // The device pixels an element covers: each edge rounded to the nearest pixel.
    [[nodiscard]] PixelRect pixel_rect_of(const Element& element) const;
    [[nodiscard]] HWND first_tab_stop() const;
    void invalidate() const;

    // Messages (win32_window_messages.cpp): one short handler per message.
    LRESULT handle(UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT default_handling(UINT message, WPARAM wparam, LPARAM lparam) const;
    LRESULT on_paint();
    LRESULT on_command(WPARAM wparam, LPARAM lparam);
    LRESULT on_mouse(UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT on_key(UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT on_ctl_colour(HDC dc, HWND control);
    LRESULT on_dpi_changed(WPARAM wparam, LPARAM lparam);
    LRESULT on_power_broadcast(WPARAM wparam, LPARAM lparam);
    void register_display_power();
    void unregister_display_power();
    void on_get_min_max_info(MINMAXINFO& info) const;
    void paint_lines(HDC dc) const;
    void paint_picture_boxes(HDC dc) const;
    [[nodiscard]] std::optional<ElementId> element_of_control(HWND control) const;
    [[nodiscard]] std::optional<ElementId> cancel_button() const;
    void click(ElementId element);

    Win32Windowing& m_windowing;
    WindowId m_id;
    const WindowDef& m_def;
    WindowEvents& m_events;
    HWND m_hwnd = nullptr;
    HWND m_owner = nullptr;
    bool m_owner_is_program_window = false;
    int m_busy = 0;
    bool m_unloading = false;
    unsigned m_dpi = 96;
    WindowState m_state;
    COLORREF m_back_colour = 0;
    UniqueHbrush m_own_brush;
    HBRUSH m_brush = nullptr;
    UniqueHfont m_dialog_font;
    UniqueHicon m_icon_big;
    UniqueHicon m_icon_small;
    std::vector<Element> m_elements;
    HPOWERNOTIFY m_display_power = nullptr; // frameless windows: told when the display goes off and on
};

} // namespace platform::win32

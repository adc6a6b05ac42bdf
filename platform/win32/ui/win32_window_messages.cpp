// One top-level window built from its definition: its messages, painting and input events.
#include "platform/win32/ui/win32_window.h"

#include "platform/win32/common/win32_input.h"

#include "platform/win32/ui/win32_dpi.h"
#include "platform/win32/ui/win32_windowing.h"

#include <windowsx.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <utility>

namespace platform::win32 {

namespace {

// GUID_CONSOLE_DISPLAY_STATE, spelt out: the headers only declare it unless one file defines every GUID.
constexpr GUID kConsoleDisplayState{0x6fe69556, 0x704a, 0x47a0, {0x8f, 0x24, 0xc2, 0x8d, 0x93, 0x6f, 0xda, 0x47}};

// Shift state as the program's handlers take it: 1 Shift, 2 Ctrl, 4 Alt.
int shift_state()
{
    int shift = 0;
    if (::GetKeyState(VK_SHIFT) < 0)
        shift |= 1;
    if (::GetKeyState(VK_CONTROL) < 0)
        shift |= 2;
    if (::GetKeyState(VK_MENU) < 0)
        shift |= 4;
    return shift;
}

// Buttons as the program's handlers take them: 1 left, 2 right, 4 middle, 8 and 16 the X buttons.
int buttons_held(WPARAM keys)
{
    int buttons = 0;
    if (keys & MK_LBUTTON)
        buttons |= 1;
    if (keys & MK_RBUTTON)
        buttons |= 2;
    if (keys & MK_MBUTTON)
        buttons |= 4;
    if (keys & MK_XBUTTON1)
        buttons |= 8;
    if (keys & MK_XBUTTON2)
        buttons |= 16;
    return buttons;
}

int button_pressed(UINT message, WPARAM wparam)
{
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        return 1;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
        return 2;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
        return 4;
    default:
        return GET_XBUTTON_WPARAM(wparam) == XBUTTON1 ? 8 : 16;
    }
}

void fill(HDC dc, long left, long top, long right, long bottom, COLORREF colour)
{
    const RECT r{left, top, right, bottom};
    ::SetBkColor(dc, colour);
    ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
}

} // namespace

LRESULT CALLBACK Win32Window::window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam)
{
    auto* self = reinterpret_cast<Win32Window*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
        self = static_cast<Win32Window*>(reinterpret_cast<const CREATESTRUCTW*>(lparam)->lpCreateParams);
        self->m_hwnd = hwnd;
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    if (!self || self->m_hwnd != hwnd) {
        // Before creation and after the object let go: a dialog-managed window still needs the dialog manager.
        const bool dialog = ::GetClassLongPtrW(hwnd, GCL_CBWNDEXTRA) >= DLGWINDOWEXTRA;
        return dialog ? ::DefDlgProcW(hwnd, message, wparam, lparam) : ::DefWindowProcW(hwnd, message, wparam, lparam);
    }

    // The object outlives this call even when the window is unloaded inside it: the windowing
    // frees it only once no message of it is being handled.
    ++self->m_busy;
    LRESULT result = 0;
    try {
        result = self->handle(message, wparam, lparam);
    } catch (...) {
        // No exception crosses into Windows; a modal loop may carry it to its caller.
        self->m_windowing.handler_failed(*self, std::current_exception());
    }
    --self->m_busy;
    return result;
}

LRESULT Win32Window::handle(UINT message, WPARAM wparam, LPARAM lparam)
{
    const bool frameless = m_def.frame == Frame::None;
    if (is_pointer_message(message))
        return on_mouse(message, wparam, lparam);
    switch (message) {
    case WM_ERASEBKGND:
        return 1; // WM_PAINT paints every pixel, so erasing first would only flicker
    case WM_PAINT:
        return on_paint();
    case WM_COMMAND:
        return on_command(wparam, lparam);
    case WM_TIMER:
        if (wparam >= kTimerIdBase && wparam - kTimerIdBase < m_elements.size())
            m_events.on_timer(static_cast<ElementId>(wparam - kTimerIdBase));
        return 0;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
    case WM_SYSCHAR:
    case WM_SYSDEADCHAR:
        return on_key(message, wparam, lparam);
    case WM_SYSCOMMAND:
        // Without a system menu or menu bar, Alt and F10 must not enter menu mode.
        if (frameless && (wparam & 0xFFF0) == SC_KEYMENU)
            return 0;
        break;
    case WM_MENUCHAR:
        if (frameless)
            return MAKELRESULT(0, MNC_CLOSE); // no beep for Alt with a letter
        break;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
        return on_ctl_colour(reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam));
    case WM_CLOSE:
        m_windowing.close_requested(*this);
        return 0;
    case WM_QUERYENDSESSION:
        // The session ends: the window is unloaded now, by the same path as any other close.
        m_windowing.close_requested(*this);
        return TRUE;
    case WM_ENDSESSION:
        if (wparam)
            m_windowing.close_requested(*this);
        return 0;
    case WM_GETMINMAXINFO:
        if (frameless) {
            on_get_min_max_info(*reinterpret_cast<MINMAXINFO*>(lparam));
            return 0;
        }
        break;
    case WM_DPICHANGED:
        return on_dpi_changed(wparam, lparam);
    case WM_POWERBROADCAST:
        return on_power_broadcast(wparam, lparam);
    case WM_NCDESTROY: {
        unregister_display_power();
        const LRESULT result = default_handling(message, wparam, lparam);
        ::SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 0);
        m_hwnd = nullptr;
        m_windowing.on_destroyed(*this);
        return result;
    }
    default:
        break;
    }
    return default_handling(message, wparam, lparam);
}

// The slideshow's window asks to hear of the display's power state; the system answers at once with the
// state it has, then with each change.
void Win32Window::register_display_power()
{
    if (m_def.frame == Frame::None)
        m_display_power =
            ::RegisterPowerSettingNotification(m_hwnd, &kConsoleDisplayState, DEVICE_NOTIFY_WINDOW_HANDLE);
}

void Win32Window::unregister_display_power()
{
    if (m_display_power)
        ::UnregisterPowerSettingNotification(std::exchange(m_display_power, nullptr));
}

LRESULT Win32Window::on_power_broadcast(WPARAM wparam, LPARAM lparam)
{
    const auto* setting = reinterpret_cast<const POWERBROADCAST_SETTING*>(lparam);
    if (wparam != PBT_POWERSETTINGCHANGE || !setting || !m_display_power ||
        !::IsEqualGUID(setting->PowerSetting, kConsoleDisplayState) || setting->DataLength < sizeof(DWORD))
        return default_handling(WM_POWERBROADCAST, wparam, lparam);
    DWORD state = 0;
    std::memcpy(&state, setting->Data, sizeof state);
    // 0 off, 1 on, 2 dimmed: a dimmed display still shows the picture.
    const bool on = state != 0;
    m_windowing.display_power_changed(on);
    m_events.on_display_power(on);
    return TRUE;
}

LRESULT Win32Window::default_handling(UINT message, WPARAM wparam, LPARAM lparam) const
{
    if (!m_hwnd)
        return 0;
    return uses_dialog_manager() ? ::DefDlgProcW(m_hwnd, message, wparam, lparam)
                                 : ::DefWindowProcW(m_hwnd, message, wparam, lparam);
}

LRESULT Win32Window::on_paint()
{
    const PaintDc paint(m_hwnd);
    if (!paint)
        return 0;
    HDC dc = paint.get();
    RECT client{};
    ::GetClientRect(m_hwnd, &client);

    // The background goes only where no picture will be copied, so nothing is drawn twice.
    std::vector<Element*> images;
    const int saved = ::SaveDC(dc);
    for (Element& e : m_elements) {
        if (e.def->kind != ElementKind::Image || !e.visible)
            continue;
        if (const auto cover = e.image.prepare(pixel_rect_of(e))) {
            ::ExcludeClipRect(dc, cover->left, cover->top, cover->right, cover->bottom);
            images.push_back(&e);
        }
    }
    ::FillRect(dc, &client, m_brush);
    ::RestoreDC(dc, saved);
    for (const Element* e : images)
        e->image.paint(dc);
    paint_lines(dc);
    paint_picture_boxes(dc);
    return 0;
}

void Win32Window::paint_lines(HDC dc) const
{
    for (const Element& e : m_elements) {
        if (e.def->kind != ElementKind::Line || !e.visible)
            continue;
        const long x1 = to_pixels(e.left);
        const long y1 = to_pixels(e.top);
        const long x2 = to_pixels(e.width);
        const long y2 = to_pixels(e.height);
        const long width = std::max(1, dips_to_pixels(e.def->line_width_px, m_dpi));
        const COLORREF colour = e.def->has_colour ? static_cast<COLORREF>(e.def->colour) : RGB(0, 0, 0);
        if (y1 == y2) {
            fill(dc, std::min(x1, x2), y1, std::max(x1, x2), y1 + width, colour);
        } else if (x1 == x2) {
            fill(dc, x1, std::min(y1, y2), x1 + width, std::max(y1, y2), colour);
        } else {
            const UniqueHpen pen(::CreatePen(PS_SOLID, static_cast<int>(width), colour));
            const SelectedObject selected(dc, pen.get());
            ::MoveToEx(dc, x1, y1, nullptr);
            ::LineTo(dc, x2, y2);
        }
    }
}

void Win32Window::paint_picture_boxes(HDC dc) const
{
    for (const Element& e : m_elements) {
        if (e.def->kind != ElementKind::PictureBox || !e.visible || !e.icon)
            continue;
        const int size = dips_to_pixels(32, m_dpi);
        ::DrawIconEx(dc, to_pixels(e.left), to_pixels(e.top), e.icon.get(), size, size, 0, nullptr, DI_NORMAL);
    }
}

LRESULT Win32Window::on_command(WPARAM wparam, LPARAM lparam)
{
    const int id = LOWORD(wparam);
    const int code = HIWORD(wparam);
    // Esc in a dialog arrives as IDCANCEL: it presses the button with the cancel role.
    if (id == IDCANCEL) {
        if (const auto cancel = cancel_button())
            click(*cancel);
        return 0;
    }
    const bool from_menu = lparam == 0 && code == 0;
    if (from_menu && id >= kMenuIdBase && static_cast<std::size_t>(id - kMenuIdBase) < m_def.menu.size()) {
        m_events.on_menu(static_cast<MenuId>(id - kMenuIdBase));
        return 0;
    }
    if (code == BN_CLICKED && id >= kControlIdBase &&
        static_cast<std::size_t>(id - kControlIdBase) < m_elements.size())
        click(static_cast<ElementId>(id - kControlIdBase));
    return 0;
}

void Win32Window::click(ElementId id)
{
    const Element& e = m_elements[static_cast<std::size_t>(id)];
    if (e.def->kind != ElementKind::Button || !e.control || !::IsWindowEnabled(e.control))
        return;
    m_events.on_click(id);
}

std::optional<ElementId> Win32Window::cancel_button() const
{
    for (std::size_t i = 0; i < m_elements.size(); ++i) {
        const ElementDef& d = *m_elements[i].def;
        if (d.kind == ElementKind::Button && has_role(d.role, ButtonRole::Cancel))
            return static_cast<ElementId>(i);
    }
    return std::nullopt;
}

std::optional<ElementId> Win32Window::element_of_control(HWND control) const
{
    for (std::size_t i = 0; i < m_elements.size(); ++i)
        if (control && m_elements[i].control == control)
            return static_cast<ElementId>(i);
    return std::nullopt;
}

LRESULT Win32Window::on_mouse(UINT message, WPARAM wparam, LPARAM lparam)
{
    const long x = GET_X_LPARAM(lparam);
    const long y = GET_Y_LPARAM(lparam);
    const bool move = message == WM_MOUSEMOVE;
    const int button = move ? buttons_held(wparam) : button_pressed(message, wparam);
    const int shift = shift_state();
    const double ppu = pixels_per_unit();

    // The topmost visible picture under the pointer reports the event in its own frame, measured
    // from its drawn top-left pixel; elsewhere the window reports it.
    ElementId source = kWindowItself;
    long origin_x = 0;
    long origin_y = 0;
    for (std::size_t i = m_elements.size(); i-- > 0;) {
        const Element& e = m_elements[i];
        if (e.def->kind != ElementKind::Image || !e.visible)
            continue;
        const PixelRect r = pixel_rect_of(e);
        if (r.contains(x, y)) {
            source = static_cast<ElementId>(i);
            origin_x = r.left;
            origin_y = r.top;
            break;
        }
    }
    const auto fx = static_cast<float>((x - origin_x) / ppu);
    const auto fy = static_cast<float>((y - origin_y) / ppu);
    if (move)
        m_events.on_mouse_move(source, button, shift, fx, fy);
    else
        m_events.on_mouse_down(source, button, shift, fx, fy);
    return message == WM_XBUTTONDOWN || message == WM_XBUTTONDBLCLK ? TRUE : 0;
}

LRESULT Win32Window::on_key(UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_KEYDOWN || message == WM_SYSKEYDOWN)
        m_events.on_key_down(static_cast<int>(wparam), shift_state());
    // A frameless window has no system menu and no menu bar: Alt, F10 and Alt with a letter stay
    // plain keys, and Windows neither enters menu mode nor beeps.
    if (m_def.frame == Frame::None || !m_hwnd)
        return 0;
    return default_handling(message, wparam, lparam);
}

void Win32Window::preview_key(const MSG& msg)
{
    if (msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN)
        m_events.on_key_down(static_cast<int>(msg.wParam), shift_state());
}

LRESULT Win32Window::on_ctl_colour(HDC dc, HWND control)
{
    const auto id = element_of_control(control);
    COLORREF text = ::GetSysColor(COLOR_WINDOWTEXT);
    if (id && m_elements[static_cast<std::size_t>(*id)].def->has_colour)
        text = static_cast<COLORREF>(m_elements[static_cast<std::size_t>(*id)].def->colour);
    ::SetTextColor(dc, text);
    ::SetBkColor(dc, m_back_colour);
    return reinterpret_cast<LRESULT>(m_brush);
}

LRESULT Win32Window::on_dpi_changed(WPARAM wparam, LPARAM lparam)
{
    const unsigned dpi = LOWORD(wparam);
    if (!uses_dialog_manager()) {
        // The frameless window keeps its size: it covers the screen in pixels at any dpi.
        m_dpi = dpi;
        return 0;
    }
    layout(dpi);
    if (const auto* suggested = reinterpret_cast<const RECT*>(lparam))
        ::SetWindowPos(m_hwnd, nullptr, suggested->left, suggested->top, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return 0;
}

void Win32Window::on_get_min_max_info(MINMAXINFO& info) const
{
    // Maximised, the frameless window covers the whole screen, the taskbar's place included.
    const int width = ::GetSystemMetrics(SM_CXSCREEN);
    const int height = ::GetSystemMetrics(SM_CYSCREEN);
    info.ptMaxPosition = POINT{0, 0};
    info.ptMaxSize = POINT{width, height};
    info.ptMaxTrackSize.x = std::max(info.ptMaxTrackSize.x, static_cast<LONG>(width));
    info.ptMaxTrackSize.y = std::max(info.ptMaxTrackSize.y, static_cast<LONG>(height));
}

} // namespace platform::win32

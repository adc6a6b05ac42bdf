// One top-level window built from its definition: creation, layout and the settings the program writes.
#include "platform/win32/ui/win32_window.h"

#include "platform/errors.h"
#include "platform/win32/common/win32_text.h"
#include "platform/win32/ui/win32_dpi.h"
#include "platform/win32/ui/win32_fonts.h"
#include "platform/win32/ui/win32_windowing.h"
#include "version.h"

#include <commctrl.h>

#include <algorithm>
#include <cmath>

namespace platform::win32 {

namespace {

constexpr int kPictureBoxDips = 32;

DWORD style_of(const WindowDef& def)
{
    DWORD style = WS_CLIPCHILDREN;
    switch (def.frame) {
    case Frame::None:
        return style | WS_POPUP;
    case Frame::FixedSingle:
        style |= WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
        break;
    case Frame::FixedDialog:
        style |= WS_POPUP | WS_CAPTION | WS_SYSMENU;
        break;
    }
    if (def.min_button)
        style |= WS_MINIMIZEBOX;
    if (def.max_button)
        style |= WS_MAXIMIZEBOX;
    return style;
}

DWORD ex_style_of(const WindowDef& def)
{
    DWORD ex = 0;
    if (def.frame == Frame::None)
        // A frameless window without a taskbar button is a tool window; framed ones get an owner.
        return def.show_in_taskbar ? WS_EX_APPWINDOW : WS_EX_TOOLWINDOW;
    ex |= WS_EX_CONTROLPARENT;
    if (def.frame == Frame::FixedDialog)
        ex |= WS_EX_DLGMODALFRAME;
    if (def.show_in_taskbar)
        ex |= WS_EX_APPWINDOW;
    return ex;
}

int icon_resource(IconId icon)
{
    switch (icon) {
    case IconId::Program:
        return KWOBL_ICON_PROGRAM;
    case IconId::SlideshowWindow:
        return KWOBL_ICON_SLIDESHOW;
    case IconId::None:
        break;
    }
    return 0;
}

HICON load_icon(IconId icon, int size)
{
    const int id = icon_resource(icon);
    if (id == 0 || size <= 0)
        return nullptr;
    // Scaled down from the next larger image with a good filter where the icon lacks the size. The
    // function is in version 6 of the common controls only, so it is looked up where it is.
    using LoadIconWithScaleDownFn = HRESULT(WINAPI*)(HINSTANCE, PCWSTR, int, int, HICON*);
    static const auto scale_down = [] {
        HMODULE controls = ::GetModuleHandleW(L"comctl32.dll");
        return controls ? reinterpret_cast<LoadIconWithScaleDownFn>(
                              reinterpret_cast<void*>(::GetProcAddress(controls, "LoadIconWithScaleDown")))
                        : nullptr;
    }();
    HICON handle = nullptr;
    if (scale_down && SUCCEEDED(scale_down(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), size, size, &handle)))
        return handle;
    return static_cast<HICON>(
        ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}

} // namespace

Win32Window::Win32Window(Win32Windowing& windowing, WindowId id, const WindowDef& def, WindowEvents& events)
    : m_windowing(windowing), m_id(id), m_def(def), m_events(events), m_state(def.initial_state)
{
    m_elements.resize(def.elements.size());
    for (std::size_t i = 0; i < def.elements.size(); ++i) {
        m_elements[i].def = &def.elements[i];
        m_elements[i].visible = def.elements[i].visible;
    }
}

Win32Window::~Win32Window()
{
    if (m_hwnd) {
        // Normally gone already; a window still alive here belongs to a program that is ending.
        unregister_display_power();
        ::SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 0);
        ::DestroyWindow(m_hwnd);
    }
}

void Win32Window::create(HWND owner)
{
    m_owner = owner;
    m_owner_is_program_window = m_windowing.is_program_window(owner);
    create_menu_and_window(owner);
    m_dpi = window_dpi(m_hwnd);
    register_display_power();

    // Element geometry in the window's scale units: twips as defined, or pixels at this dpi.
    const double per_twip = m_def.scale == ScaleMode::Pixels ? m_dpi / 1440.0 : 1.0;
    for (Element& e : m_elements) {
        const ElementDef& d = *e.def;
        e.left = static_cast<float>(d.left * per_twip);
        e.top = static_cast<float>(d.top * per_twip);
        e.width = static_cast<float>(d.width * per_twip);
        e.height = static_cast<float>(d.height * per_twip);
        if (d.kind == ElementKind::PictureBox) {
            // The box takes its picture's size: 32 device-independent pixels.
            const double size = m_def.scale == ScaleMode::Pixels ? dips_to_pixels(kPictureBoxDips, m_dpi)
                                                                 : kPictureBoxDips * 15.0;
            e.width = e.height = static_cast<float>(size);
        }
    }

    if (m_def.has_back_colour) {
        m_back_colour = m_def.back_colour;
        m_own_brush.reset(::CreateSolidBrush(m_back_colour));
        m_brush = m_own_brush.get();
    } else {
        m_back_colour = ::GetSysColor(COLOR_BTNFACE);
        m_brush = ::GetSysColorBrush(COLOR_BTNFACE);
    }

    create_controls();
    layout(m_dpi);
    if (!uses_dialog_manager())
        apply_inside_size();
    if (m_def.start_position == StartPosition::CentreOwnerOrScreen)
        centre(owner);
    trim_system_menu();
    start_timers();
}

void Win32Window::create_menu_and_window(HWND owner)
{
    UniqueHmenu bar;
    if (!m_def.menu.empty()) {
        bar.reset(::CreateMenu());
        HMENU popup = nullptr;
        for (std::size_t i = 0; i < m_def.menu.size(); ++i) {
            const MenuDef& entry = m_def.menu[i];
            const std::wstring caption = widen(entry.caption);
            if (entry.level == 0) {
                popup = ::CreatePopupMenu();
                ::AppendMenuW(bar.get(), MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(popup), caption.c_str());
            } else if (popup) {
                ::AppendMenuW(popup, MF_STRING, kMenuIdBase + i, caption.c_str());
            }
        }
    }
    const wchar_t* window_class = uses_dialog_manager() ? kDialogClass : kPlainClass;
    const std::wstring caption = widen(m_def.caption);
    const int x = m_def.frame == Frame::None ? 0 : CW_USEDEFAULT;
    HWND hwnd = ::CreateWindowExW(ex_style_of(m_def), window_class, caption.c_str(), style_of(m_def), x, 0, 0, 0,
                                  owner, bar.get(), ::GetModuleHandleW(nullptr), this);
    if (!hwnd)
        throw RuntimeError("the window cannot be created");
    // The window owns its menu bar now and destroys it with itself.
    (void)bar.release();
    m_hwnd = hwnd;
}

void Win32Window::create_controls()
{
    // Children are created in tab order, which is their z-order: Tab walks them in that order, and
    // a label's access key moves the focus to the control that follows it.
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < m_elements.size(); ++i) {
        const ElementKind kind = m_elements[i].def->kind;
        if (kind == ElementKind::Button || kind == ElementKind::Label)
            order.push_back(i);
    }
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return m_elements[a].def->tab_index < m_elements[b].def->tab_index;
    });

    int default_id = 0;
    for (std::size_t i : order) {
        Element& e = m_elements[i];
        const ElementDef& d = *e.def;
        DWORD style = WS_CHILD;
        const wchar_t* control_class = L"STATIC";
        if (d.kind == ElementKind::Button) {
            control_class = L"BUTTON";
            const bool is_default = has_role(d.role, ButtonRole::Default);
            style |= WS_TABSTOP | (is_default ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
            if (is_default && default_id == 0)
                default_id = kControlIdBase + static_cast<int>(i);
        } else {
            // Left-aligned, wrapped at word boundaries, "&" marking an access key.
            style |= SS_LEFT;
        }
        if (e.visible)
            style |= WS_VISIBLE;
        if (!d.enabled)
            style |= WS_DISABLED;
        const std::wstring text = widen(d.text);
        e.control = ::CreateWindowExW(0, control_class, text.c_str(), style, 0, 0, 0, 0, m_hwnd,
                                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(kControlIdBase + i)),
                                      ::GetModuleHandleW(nullptr), nullptr);
        if (!e.control)
            throw RuntimeError("a control of the window cannot be created");
    }
    if (default_id != 0)
        ::SendMessageW(m_hwnd, DM_SETDEFID, static_cast<WPARAM>(default_id), 0);
}

void Win32Window::start_timers()
{
    for (std::size_t i = 0; i < m_elements.size(); ++i) {
        const ElementDef& d = *m_elements[i].def;
        if (d.kind == ElementKind::Timer && d.enabled && d.interval_ms > 0)
            ::SetTimer(m_hwnd, kTimerIdBase + i, m_windowing.timer_interval(static_cast<unsigned>(d.interval_ms)),
                       nullptr);
    }
}

void Win32Window::layout(unsigned dpi)
{
    m_dpi = dpi;
    if (uses_dialog_manager())
        m_dialog_font = create_message_font(dpi);
    for (Element& e : m_elements) {
        if (e.def->font)
            e.font = create_font(*e.def->font, dpi);
        if (e.def->kind == ElementKind::PictureBox)
            e.icon.reset(load_icon(e.def->picture, dips_to_pixels(kPictureBoxDips, dpi)));
        if (!e.control)
            continue;
        place_control(e);
        HFONT font = e.font ? e.font.get() : m_dialog_font.get();
        if (font)
            ::SendMessageW(e.control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    load_icons();
    if (uses_dialog_manager())
        apply_inside_size();
    ::RedrawWindow(m_hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void Win32Window::place_control(const Element& e) const
{
    ::SetWindowPos(e.control, nullptr, to_pixels(e.left), to_pixels(e.top), to_pixels(e.width), to_pixels(e.height),
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Window::apply_inside_size()
{
    const int inside_width = twips_to_pixels(m_def.inside_width, m_dpi);
    const int inside_height = twips_to_pixels(m_def.inside_height, m_dpi);
    RECT outer{0, 0, inside_width, inside_height};
    adjust_window_rect(outer, style_of(m_def), !m_def.menu.empty(), ex_style_of(m_def), m_dpi);
    ::SetWindowPos(m_hwnd, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // A menu bar that wraps onto a second line takes more than the adjustment allowed for.
    RECT client{};
    ::GetClientRect(m_hwnd, &client);
    const int missing_width = inside_width - client.right;
    const int missing_height = inside_height - client.bottom;
    if (missing_width > 0 || missing_height > 0) {
        RECT now{};
        ::GetWindowRect(m_hwnd, &now);
        ::SetWindowPos(m_hwnd, nullptr, 0, 0, now.right - now.left + std::max(0, missing_width),
                       now.bottom - now.top + std::max(0, missing_height),
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void Win32Window::centre(HWND owner)
{
    RECT area{};
    HMONITOR monitor = nullptr;
    if (has_real_owner() && ::GetWindowRect(owner, &area)) {
        monitor = ::MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST);
    } else {
        monitor = ::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
        MONITORINFO info{};
        info.cbSize = sizeof info;
        if (!::GetMonitorInfoW(monitor, &info))
            return;
        area = info.rcMonitor;
    }
    RECT self{};
    ::GetWindowRect(m_hwnd, &self);
    const long width = self.right - self.left;
    const long height = self.bottom - self.top;
    long x = area.left + (area.right - area.left - width) / 2;
    long y = area.top + (area.bottom - area.top - height) / 2;
    // Keep the title bar on the owner's screen.
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (::GetMonitorInfoW(monitor, &info)) {
        x = std::clamp(x, info.rcWork.left, std::max(info.rcWork.left, info.rcWork.right - width));
        y = std::clamp(y, info.rcWork.top, std::max(info.rcWork.top, info.rcWork.bottom - height));
    }
    ::SetWindowPos(m_hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Window::trim_system_menu()
{
    if (m_def.frame == Frame::None)
        return;
    HMENU menu = ::GetSystemMenu(m_hwnd, FALSE);
    if (!menu)
        return;
    // Fixed frames cannot be sized; boxes the window lacks have no menu entry either.
    ::DeleteMenu(menu, SC_SIZE, MF_BYCOMMAND);
    if (!m_def.max_button)
        ::DeleteMenu(menu, SC_MAXIMIZE, MF_BYCOMMAND);
    if (!m_def.min_button)
        ::DeleteMenu(menu, SC_MINIMIZE, MF_BYCOMMAND);
    if (!m_def.min_button && !m_def.max_button)
        ::DeleteMenu(menu, SC_RESTORE, MF_BYCOMMAND);
}

void Win32Window::load_icons()
{
    if (m_def.icon == IconId::None)
        return;
    UniqueHicon big(load_icon(m_def.icon, system_metric(SM_CXICON, m_dpi)));
    UniqueHicon small(load_icon(m_def.icon, system_metric(SM_CXSMICON, m_dpi)));
    ::SendMessageW(m_hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big.get()));
    ::SendMessageW(m_hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small.get()));
    // The window now uses the new icons; the old ones are released here.
    m_icon_big = std::move(big);
    m_icon_small = std::move(small);
}

Win32Window::Element& Win32Window::element(ElementId id)
{
    if (index_of(id) < 0 || static_cast<std::size_t>(id) >= m_elements.size())
        throw RuntimeError("no such element");
    return m_elements[static_cast<std::size_t>(id)];
}

const Win32Window::Element& Win32Window::element(ElementId id) const
{
    return const_cast<Win32Window*>(this)->element(id);
}

double Win32Window::pixels_per_unit() const
{
    return m_def.scale == ScaleMode::Pixels ? 1.0 : m_dpi / 1440.0;
}

int Win32Window::to_pixels(float units) const
{
    return static_cast<int>(round_to_pixel(units * pixels_per_unit()));
}

PixelRect Win32Window::pixel_rect_of(const Element& element) const
{
    return pixel_rect(element.left, element.top, element.width, element.height, pixels_per_unit());
}

HWND Win32Window::first_tab_stop() const
{
    return ::GetNextDlgTabItem(m_hwnd, nullptr, FALSE);
}

void Win32Window::invalidate() const
{
    ::InvalidateRect(m_hwnd, nullptr, FALSE);
}

// ---- Settings written by the program ----

void Win32Window::show()
{
    int command = SW_SHOW;
    if (m_state == WindowState::Maximised)
        command = SW_SHOWMAXIMIZED;
    else if (m_state == WindowState::Minimised)
        command = SW_SHOWMINIMIZED;
    ::ShowWindow(m_hwnd, command);
    ::SetForegroundWindow(m_hwnd);
    if (uses_dialog_manager() && !::IsChild(m_hwnd, ::GetFocus())) {
        if (HWND first = first_tab_stop())
            ::SendMessageW(m_hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(first), TRUE);
    }
    ::UpdateWindow(m_hwnd);
}

void Win32Window::set_state(WindowState state)
{
    m_state = state;
    if (!::IsWindowVisible(m_hwnd))
        return; // shown in this state later
    switch (state) {
    case WindowState::Maximised:
        ::ShowWindow(m_hwnd, SW_MAXIMIZE);
        break;
    case WindowState::Minimised:
        ::ShowWindow(m_hwnd, SW_MINIMIZE);
        break;
    case WindowState::Normal:
        ::ShowWindow(m_hwnd, SW_RESTORE);
        break;
    }
}

void Win32Window::set_caption(std::string_view text)
{
    ::SetWindowTextW(m_hwnd, widen(text).c_str());
}

void Win32Window::set_text(ElementId id, std::string_view text)
{
    const Element& e = element(id);
    if (!e.control)
        throw RuntimeError("the element has no text");
    ::SetWindowTextW(e.control, widen(text).c_str());
}

void Win32Window::set_outer_size(float width, float height)
{
    if (!std::isfinite(width) || !std::isfinite(height))
        throw RuntimeError("invalid window size");
    const int w = static_cast<int>(std::clamp<long>(round_to_pixel(width), 0, 65535));
    const int h = static_cast<int>(std::clamp<long>(round_to_pixel(height), 0, 65535));
    ::SetWindowPos(m_hwnd, nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Window::set_back_colour(Colour colour)
{
    m_back_colour = static_cast<COLORREF>(colour & 0x00FFFFFF);
    m_own_brush.reset(::CreateSolidBrush(m_back_colour));
    m_brush = m_own_brush.get();
    ::RedrawWindow(m_hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void Win32Window::refresh()
{
    ::RedrawWindow(m_hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void Win32Window::set_focus()
{
    ::SetForegroundWindow(m_hwnd);
    ::SetFocus(m_hwnd);
}

float Win32Window::scale_width() const
{
    RECT client{};
    ::GetClientRect(m_hwnd, &client);
    return static_cast<float>((client.right - client.left) / pixels_per_unit());
}

float Win32Window::scale_height() const
{
    RECT client{};
    ::GetClientRect(m_hwnd, &client);
    return static_cast<float>((client.bottom - client.top) / pixels_per_unit());
}

void Win32Window::set_visible(ElementId id, bool visible)
{
    Element& e = element(id);
    e.visible = visible;
    if (e.control)
        ::ShowWindow(e.control, visible ? SW_SHOWNA : SW_HIDE);
    else
        invalidate();
}

void Win32Window::set_stretch(ElementId id, bool on)
{
    Element& e = element(id);
    if (e.def->kind != ElementKind::Image)
        throw RuntimeError("only a picture element stretches");
    e.image.stretch = on;
    invalidate();
}

void Win32Window::set_picture(ElementId id, PictureRef picture)
{
    Element& e = element(id);
    if (e.def->kind != ElementKind::Image)
        throw RuntimeError("only a picture element holds a picture");
    e.image.set_picture(std::move(picture));
    // With stretch off the element takes the picture's natural size.
    if (const PictureRef& held = e.image.picture(); held && !e.image.stretch) {
        e.width = static_cast<float>(held->natural_width() / pixels_per_unit());
        e.height = static_cast<float>(held->natural_height() / pixels_per_unit());
    }
    invalidate();
}

float Win32Window::geometry(ElementId id, Geometry which) const
{
    const Element& e = element(id);
    switch (which) {
    case Geometry::Left:
        return e.left;
    case Geometry::Top:
        return e.top;
    case Geometry::Width:
        return e.width;
    case Geometry::Height:
        return e.height;
    }
    return 0;
}

void Win32Window::set_geometry(ElementId id, Geometry which, float value)
{
    Element& e = element(id);
    switch (which) {
    case Geometry::Left:
        e.left = value;
        break;
    case Geometry::Top:
        e.top = value;
        break;
    case Geometry::Width:
        e.width = value;
        break;
    case Geometry::Height:
        e.height = value;
        break;
    }
    if (e.control)
        place_control(e);
    else
        invalidate();
}

} // namespace platform::win32

// Windows built from definitions on Win32: the table of open windows, modal shows and the event loop.
#include "platform/win32/ui/win32_windowing.h"

#include "platform/errors.h"

#include <commctrl.h>

#include <algorithm>
#include <mutex>

namespace platform::win32 {

namespace {

constexpr wchar_t kOwnerClass[] = L"KWOBL.Owner";

void register_class(const wchar_t* name, WNDPROC procedure, int extra_bytes)
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = procedure;
    wc.cbWndExtra = extra_bytes;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = name;
    // A second registration (a second windowing in one process) finds the class already there.
    ::RegisterClassExW(&wc);
}

struct EnabledWindows {
    HWND except = nullptr;
    std::vector<HWND> found;
};

BOOL CALLBACK collect_enabled(HWND hwnd, LPARAM context) noexcept
{
    auto& windows = *reinterpret_cast<EnabledWindows*>(context);
    try {
        if (hwnd != windows.except && ::IsWindowVisible(hwnd) && ::IsWindowEnabled(hwnd))
            windows.found.push_back(hwnd);
    } catch (...) {
        return FALSE; // out of memory: the windows found so far are disabled, the rest stay usable
    }
    return TRUE;
}

} // namespace

Win32Windowing::Win32Windowing()
{
    register_class(kPlainClass, &Win32Window::window_proc, 0);
    // The dialog manager keeps its state in the extra bytes of a dialog window.
    register_class(kDialogClass, &Win32Window::window_proc, DLGWINDOWEXTRA);
    register_class(kOwnerClass, &::DefWindowProcW, 0);
}

Win32Windowing::~Win32Windowing()
{
    m_windows.clear();
    m_retired.clear();
    m_hidden_owner.reset();
}

void start_common_controls()
{
    static std::once_flag started;
    std::call_once(started, [] {
        INITCOMMONCONTROLSEX controls{};
        controls.dwSize = sizeof controls;
        controls.dwICC = ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES;
        ::InitCommonControlsEx(&controls);
    });
}

WindowId Win32Windowing::create(const WindowDef& def, WindowEvents& events)
{
    start_common_controls();
    const WindowId id{m_next_id++};
    auto window = std::make_unique<Win32Window>(*this, id, def, events);
    window->create(owner_for(def));
    m_windows.emplace(static_cast<int>(id), std::move(window));
    return id;
}

HWND Win32Windowing::owner_for(const WindowDef& def)
{
    // A framed window without a taskbar button gets one from an owner: the program's active
    // window (the settings dialog, for the version dialog it opens), else a hidden one.
    if (def.frame == Frame::None || def.show_in_taskbar)
        return nullptr;
    if (HWND active = ::GetActiveWindow(); is_program_window(active))
        return active;
    for (auto it = m_windows.rbegin(); it != m_windows.rend(); ++it)
        if (::IsWindowVisible(it->second->hwnd()))
            return it->second->hwnd();
    if (!m_hidden_owner)
        m_hidden_owner.reset(::CreateWindowExW(0, kOwnerClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                               ::GetModuleHandleW(nullptr), nullptr));
    return m_hidden_owner.get();
}

void Win32Windowing::show(WindowId id)
{
    window(id).show();
}

void Win32Windowing::show_modal(WindowId id)
{
    Win32Window& shown = window(id);
    EnabledWindows others{shown.hwnd(), {}};
    ::EnumThreadWindows(::GetCurrentThreadId(), &collect_enabled, reinterpret_cast<LPARAM>(&others));
    for (HWND hwnd : others.found)
        ::EnableWindow(hwnd, FALSE);
    HWND previous = ::GetActiveWindow();
    m_modal.push_back(ModalFrame{id, std::move(others.found), nullptr});

    shown.show();
    while (is_open(id) && !m_modal.back().error && pump_one()) {
    }

    ModalFrame done = std::move(m_modal.back());
    m_modal.pop_back();
    enable_again(done);
    // A failure or the end of the program leaves the dialog open: it ends with its show.
    if (is_open(id))
        destroy(window(id));
    if (previous && ::IsWindow(previous) && ::IsWindowEnabled(previous))
        ::SetForegroundWindow(previous);
    if (done.error)
        std::rethrow_exception(done.error);
}

void Win32Windowing::set_state(WindowId id, WindowState state)
{
    window(id).set_state(state);
}

void Win32Windowing::unload(WindowId id)
{
    Win32Window& w = window(id);
    if (!w.start_unload())
        return;
    // The handler may end the program, open a message box or fail; the window is looked up
    // again afterwards, since it may be gone by then.
    try {
        w.events().on_unload();
    } catch (...) {
        if (is_open(id))
            destroy(window(id));
        throw;
    }
    if (is_open(id))
        destroy(window(id));
}

void Win32Windowing::set_caption(WindowId id, std::string_view text)
{
    window(id).set_caption(text);
}

void Win32Windowing::set_text(WindowId id, ElementId element, std::string_view text)
{
    window(id).set_text(element, text);
}

SizeF Win32Windowing::screen_size()
{
    return SizeF{static_cast<float>(::GetSystemMetrics(SM_CXSCREEN)),
                 static_cast<float>(::GetSystemMetrics(SM_CYSCREEN))};
}

void Win32Windowing::set_outer_size(WindowId id, float width, float height)
{
    window(id).set_outer_size(width, height);
}

void Win32Windowing::set_back_colour(WindowId id, Colour colour)
{
    window(id).set_back_colour(colour);
}

void Win32Windowing::set_auto_redraw(WindowId id, bool)
{
    (void)window(id); // still fails on a window that is not open
}

void Win32Windowing::refresh(WindowId id)
{
    window(id).refresh();
}

void Win32Windowing::set_focus(WindowId id)
{
    window(id).set_focus();
}

NativeHandle Win32Windowing::handle(WindowId id)
{
    return reinterpret_cast<NativeHandle>(window(id).hwnd());
}

float Win32Windowing::scale_width(WindowId id)
{
    return window(id).scale_width();
}

float Win32Windowing::scale_height(WindowId id)
{
    return window(id).scale_height();
}

void Win32Windowing::set_visible(WindowId id, ElementId element, bool visible)
{
    window(id).set_visible(element, visible);
}

void Win32Windowing::set_stretch(WindowId id, ElementId element, bool on)
{
    window(id).set_stretch(element, on);
}

void Win32Windowing::set_picture(WindowId id, ElementId element, PictureRef picture)
{
    window(id).set_picture(element, std::move(picture));
}

float Win32Windowing::geometry(WindowId id, ElementId element, Geometry which)
{
    return window(id).geometry(element, which);
}

void Win32Windowing::set_geometry(WindowId id, ElementId element, Geometry which, float value)
{
    window(id).set_geometry(element, which, value);
}

void Win32Windowing::run()
{
    while (!m_windows.empty() && !m_quit && pump_one()) {
    }
}

bool Win32Windowing::is_program_window(HWND hwnd) const
{
    return find(hwnd) != nullptr;
}

void Win32Windowing::close_requested(Win32Window& window)
{
    unload(window.id());
}

void Win32Windowing::on_destroyed(Win32Window& window) noexcept
{
    const auto it = m_windows.find(static_cast<int>(window.id()));
    if (it == m_windows.end() || it->second.get() != &window)
        return;
    m_retired.push_back(std::move(it->second));
    m_windows.erase(it);
    for (ModalFrame& frame : m_modal)
        if (frame.id == window.id())
            enable_again(frame);
    if (m_windows.empty())
        ::PostQuitMessage(0);
}

void Win32Windowing::handler_failed(Win32Window& window, std::exception_ptr error) noexcept
{
    for (auto it = m_modal.rbegin(); it != m_modal.rend(); ++it) {
        if (it->id == window.id()) {
            if (!it->error)
                it->error = error;
            return;
        }
    }
    // Outside a modal show a handler's failure is never shown and never fatal: the program goes on.
}

Win32Window& Win32Windowing::window(WindowId id)
{
    const auto it = m_windows.find(static_cast<int>(id));
    if (it == m_windows.end())
        throw RuntimeError("the window is not loaded");
    return *it->second;
}

Win32Window* Win32Windowing::find(HWND hwnd) const
{
    if (!hwnd)
        return nullptr;
    for (const auto& [id, window] : m_windows)
        if (window->hwnd() == hwnd)
            return window.get();
    return nullptr;
}

bool Win32Windowing::is_open(WindowId id) const
{
    return m_windows.count(static_cast<int>(id)) != 0;
}

void Win32Windowing::destroy(Win32Window& window)
{
    // The windows a modal show disabled are enabled first, so that Windows activates the owner
    // and not some other program when the dialog goes.
    for (ModalFrame& frame : m_modal)
        if (frame.id == window.id())
            enable_again(frame);
    if (HWND hwnd = window.hwnd())
        ::DestroyWindow(hwnd);
    if (is_open(window.id()))
        on_destroyed(window);
}

void Win32Windowing::enable_again(ModalFrame& frame)
{
    for (HWND hwnd : frame.disabled)
        if (::IsWindow(hwnd))
            ::EnableWindow(hwnd, TRUE);
    frame.disabled.clear();
}

bool Win32Windowing::pump_one()
{
    MSG msg{};
    const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
        m_quit = true;
        return false;
    }
    if (got == -1)
        return false;
    if (!pre_translate(msg)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    collect_garbage();
    return true;
}

bool Win32Windowing::pre_translate(MSG& msg)
{
    HWND root = msg.hwnd ? ::GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    Win32Window* window = find(root);
    if (!window)
        return false;
    // Key preview: the window sees a key before the control that has the focus.
    if (root != msg.hwnd && window->def().key_preview) {
        try {
            window->preview_key(msg);
        } catch (...) {
            handler_failed(*window, std::current_exception());
        }
        window = find(root);
        if (!window)
            return true; // the window went away with that key
    }
    // Tab, Enter, Esc and access keys of the dialog-managed windows.
    return window->uses_dialog_manager() && ::IsDialogMessageW(root, &msg);
}

void Win32Windowing::collect_garbage()
{
    std::erase_if(m_retired, [](const std::unique_ptr<Win32Window>& w) { return w->busy() == 0; });
}

} // namespace platform::win32

// A recording fake of every platform service, for the core's unit tests.
#include "platform/fake/fake_platform.h"

#include "platform/errors.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace platform::fake {

std::string format_number(double value)
{
    char buffer[64];
    if (std::nearbyint(value) == value && std::fabs(value) < 1e15)
        std::snprintf(buffer, sizeof buffer, "%.0f", value);
    else
        std::snprintf(buffer, sizeof buffer, "%.9g", value);
    return buffer;
}

namespace {

std::string hex(NativeHandle h)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "0x%llX", static_cast<unsigned long long>(h));
    return buffer;
}

std::string quoted(std::string_view text)
{
    return "\"" + std::string(text) + "\"";
}

std::string_view geometry_name(Geometry g)
{
    switch (g) {
    case Geometry::Left: return "Left";
    case Geometry::Top: return "Top";
    case Geometry::Width: return "Width";
    case Geometry::Height: return "Height";
    }
    return "?";
}

constexpr NativeHandle kFirstWindowHandle = 0x10010;

// The Win32 values the desktop model understands.
constexpr unsigned kSpiSetScreenSaveActive = 17;
constexpr unsigned kSpifUpdateIniFile = 0x1;
constexpr NativeHandle kHwndTopmost = static_cast<NativeHandle>(-1);
constexpr unsigned kSwpNoSize = 0x1;
constexpr unsigned kSwpShowWindow = 0x40;
constexpr unsigned kSwpHideWindow = 0x80;
// Access rights that write: set value, create sub-key, create link.
constexpr unsigned kKeyWriteRights = 0x2 | 0x4 | 0x20;
constexpr long kErrorAccessDenied = 5;

} // namespace

FakePlatform::FakePlatform()
    : m_platform{*this, *this, *this, *this, *this, *this, *this}
{
}

std::vector<std::string> FakePlatform::calls_starting(std::string_view prefix) const
{
    std::vector<std::string> out;
    for (const auto& c : m_calls)
        if (c.starts_with(prefix))
            out.push_back(c);
    return out;
}

void FakePlatform::fail(std::string name, int nth)
{
    m_failures[std::move(name)] = nth;
}

void FakePlatform::record(std::string line)
{
    const std::string name = line.substr(0, line.find('('));
    m_calls.push_back(std::move(line));
    auto it = m_failures.find(name);
    if (it != m_failures.end() && --it->second == 0) {
        m_failures.erase(it);
        throw RuntimeError("scripted failure of " + name);
    }
}

FakeWindow& FakePlatform::window(WindowId id)
{
    const auto index = static_cast<std::size_t>(id);
    if (index >= m_windows.size())
        throw std::logic_error("no such window");
    return m_windows[index];
}

FakeWindow& FakePlatform::window_named(std::string_view name)
{
    for (auto it = m_windows.rbegin(); it != m_windows.rend(); ++it)
        if (it->def->name == name)
            return *it;
    throw std::logic_error("no window named " + std::string(name));
}

FakeWindow* FakePlatform::window_with_handle(NativeHandle handle)
{
    for (auto& w : m_windows)
        if (w.handle == handle && w.loaded)
            return &w;
    return nullptr;
}

void FakePlatform::another_window_comes_to_front()
{
    on_top = 0;
    focused.reset();
}

NativeHandle FakePlatform::ime_context_of(NativeHandle window) const
{
    const auto it = m_ime_contexts.find(window);
    return it == m_ime_contexts.end() ? ime_context : it->second;
}

bool FakePlatform::has_window(std::string_view name) const
{
    for (const auto& w : m_windows)
        if (w.def->name == name)
            return true;
    return false;
}

FakeWindow::Element& FakePlatform::element(WindowId id, ElementId e)
{
    auto& w = window(id);
    if (index_of(e) < 0 || static_cast<std::size_t>(e) >= w.elements.size())
        throw std::logic_error("no such element");
    return w.elements[static_cast<std::size_t>(e)];
}

std::string FakePlatform::element_name(WindowId id, ElementId e) const
{
    const auto& w = m_windows.at(static_cast<std::size_t>(id));
    return std::string(w.def->name) + "." + std::string(w.def->elements[static_cast<std::size_t>(e)].name);
}

// ---- App ----

bool FakePlatform::previous_instance()
{
    record("previous_instance()");
    return another_instance;
}

std::string FakePlatform::command()
{
    record("command()");
    return command_text;
}

AppInfo FakePlatform::info()
{
    record("info()");
    return app_info;
}

void FakePlatform::message_box(std::string_view text, int style, std::string_view caption)
{
    record("message_box(" + quoted(text) + ", " + std::to_string(style) + ", " + quoted(caption) + ")");
    messages.push_back({std::string(text), style, std::string(caption)});
}

void FakePlatform::end()
{
    record("end()");
    ended = true;
}

// ---- Windowing ----

WindowId FakePlatform::create(const WindowDef& def, WindowEvents& events)
{
    record("create(" + std::string(def.name) + ")");
    FakeWindow w;
    w.def = &def;
    w.events = &events;
    w.caption = std::string(def.caption);
    w.state = def.initial_state;
    if (def.has_back_colour)
        w.back_colour = def.back_colour;
    w.handle = kFirstWindowHandle + 0x10 * m_windows.size();
    const float per_pixel = def.scale == ScaleMode::Pixels ? 15.0f : 1.0f;
    w.scale_width = static_cast<float>(def.inside_width) / per_pixel;
    w.scale_height = static_cast<float>(def.inside_height) / per_pixel;
    for (const auto& e : def.elements) {
        FakeWindow::Element el;
        el.text = std::string(e.text);
        el.visible = e.visible;
        el.left = static_cast<float>(e.left) / per_pixel;
        el.top = static_cast<float>(e.top) / per_pixel;
        el.width = static_cast<float>(e.width) / per_pixel;
        el.height = static_cast<float>(e.height) / per_pixel;
        w.elements.push_back(std::move(el));
    }
    m_windows.push_back(std::move(w));
    return static_cast<WindowId>(m_windows.size() - 1);
}

void FakePlatform::show(WindowId id)
{
    record("show(" + std::string(window(id).def->name) + ")");
    window(id).shown = true;
}

void FakePlatform::show_modal(WindowId id)
{
    record("show_modal(" + std::string(window(id).def->name) + ")");
    window(id).shown = true;
    if (while_modal && window(id).loaded)
        while_modal(id);
}

void FakePlatform::set_state(WindowId id, WindowState state)
{
    record("set_state(" + std::string(window(id).def->name) + ", " + std::to_string(static_cast<int>(state)) + ")");
    window(id).state = state;
}

void FakePlatform::unload(WindowId id)
{
    auto& w = window(id);
    record("unload(" + std::string(w.def->name) + ")");
    if (!w.loaded)
        return;
    w.events->on_unload();
    w.loaded = false;
    w.shown = false;
    if (focused == id)
        focused.reset();
}

void FakePlatform::set_caption(WindowId id, std::string_view text)
{
    record("set_caption(" + std::string(window(id).def->name) + ", " + quoted(text) + ")");
    window(id).caption = std::string(text);
}

void FakePlatform::set_text(WindowId id, ElementId e, std::string_view text)
{
    record("set_text(" + element_name(id, e) + ", " + quoted(text) + ")");
    element(id, e).text = std::string(text);
}

void FakePlatform::change_display(SizeF size)
{
    for (FakeWindow& w : m_windows) {
        if (w.loaded && w.scale_width == screen.width && w.scale_height == screen.height) {
            w.scale_width = size.width;
            w.scale_height = size.height;
        }
    }
    screen = size;
}

SizeF FakePlatform::screen_size()
{
    record("screen_size()");
    return screen;
}

void FakePlatform::set_outer_size(WindowId id, float width, float height)
{
    record("set_outer_size(" + std::string(window(id).def->name) + ", " + format_number(width) + ", " +
           format_number(height) + ")");
    window(id).outer_width = width;
    window(id).outer_height = height;
    const SizeF inside = inside_size.value_or(SizeF{width, height});
    window(id).scale_width = inside.width;
    window(id).scale_height = inside.height;
}

void FakePlatform::set_back_colour(WindowId id, Colour colour)
{
    record("set_back_colour(" + std::string(window(id).def->name) + ", " + hex(colour) + ")");
    window(id).back_colour = colour;
}

void FakePlatform::set_auto_redraw(WindowId id, bool on)
{
    record("set_auto_redraw(" + std::string(window(id).def->name) + ", " + (on ? "true" : "false") + ")");
    window(id).auto_redraw = on;
}

void FakePlatform::refresh(WindowId id)
{
    record("refresh(" + std::string(window(id).def->name) + ")");
}

void FakePlatform::set_focus(WindowId id)
{
    record("set_focus(" + std::string(window(id).def->name) + ")");
    focused = id;
}

NativeHandle FakePlatform::handle(WindowId id)
{
    record("handle(" + std::string(window(id).def->name) + ")");
    return window(id).handle;
}

float FakePlatform::scale_width(WindowId id)
{
    record("scale_width(" + std::string(window(id).def->name) + ")");
    return window(id).scale_width;
}

float FakePlatform::scale_height(WindowId id)
{
    record("scale_height(" + std::string(window(id).def->name) + ")");
    return window(id).scale_height;
}

void FakePlatform::set_visible(WindowId id, ElementId e, bool visible)
{
    record("set_visible(" + element_name(id, e) + ", " + (visible ? "true" : "false") + ")");
    element(id, e).visible = visible;
}

void FakePlatform::set_stretch(WindowId id, ElementId e, bool on)
{
    record("set_stretch(" + element_name(id, e) + ", " + (on ? "true" : "false") + ")");
    element(id, e).stretch = on;
}

void FakePlatform::set_picture(WindowId id, ElementId e, PictureRef picture)
{
    record("set_picture(" + element_name(id, e) + ", " +
           (picture ? format_number(picture->natural_width()) + "x" + format_number(picture->natural_height())
                    : std::string("none")) +
           ")");
    auto& el = element(id, e);
    el.picture = std::move(picture);
    // With stretching off the element takes the picture's natural size.
    if (!el.stretch && el.picture) {
        el.width = static_cast<float>(el.picture->natural_width());
        el.height = static_cast<float>(el.picture->natural_height());
    }
}

float FakePlatform::geometry(WindowId id, ElementId e, Geometry g)
{
    record("geometry(" + element_name(id, e) + "." + std::string(geometry_name(g)) + ")");
    const auto& el = element(id, e);
    switch (g) {
    case Geometry::Left: return el.left;
    case Geometry::Top: return el.top;
    case Geometry::Width: return el.width;
    case Geometry::Height: return el.height;
    }
    return 0;
}

void FakePlatform::set_geometry(WindowId id, ElementId e, Geometry g, float value)
{
    record("set_geometry(" + element_name(id, e) + "." + std::string(geometry_name(g)) + ", " +
           format_number(value) + ")");
    auto& el = element(id, e);
    value = element_takes(value);
    switch (g) {
    case Geometry::Left: el.left = value; break;
    case Geometry::Top: el.top = value; break;
    case Geometry::Width: el.width = value; break;
    case Geometry::Height: el.height = value; break;
    }
}

// ---- Pictures ----

PictureRef FakePlatform::load(std::string_view path, SizeF box)
{
    record("load(" + quoted(path) + ")");
    load_boxes.push_back(box);
    const auto it = pictures.find(std::string(path));
    if (it == pictures.end())
        throw RuntimeError("cannot read picture");
    return std::make_shared<FakePicture>(it->second.first, it->second.second, std::string(path));
}

void FakePlatform::prefetch(std::string_view path, SizeF box)
{
    record("prefetch(" + quoted(path) + ")");
    prefetch_boxes.push_back(box);
}

// ---- Desktop ----

void FakePlatform::system_parameters_info(unsigned action, int param, std::string_view text, unsigned win_ini)
{
    record("SystemParametersInfo(" + std::to_string(action) + ", " + std::to_string(param) + ", " + quoted(text) +
           ", " + std::to_string(win_ini) + ")");
    if (action == kSpiSetScreenSaveActive)
        screen_saving = param != 0;
    if ((win_ini & kSpifUpdateIniFile) != 0)
        profile_written = true;
}

void FakePlatform::show_cursor(bool show)
{
    record(std::string("ShowCursor(") + (show ? "-1" : "0") + ")");
    cursor_count += show ? 1 : -1;
}

NativeHandle FakePlatform::imm_associate_context(NativeHandle window, NativeHandle context)
{
    record("ImmAssociateContext(" + hex(window) + ", " + hex(context) + ")");
    return std::exchange(m_ime_contexts.try_emplace(window, ime_context).first->second, context);
}

NativeHandle FakePlatform::find_window(std::string_view class_name, std::string_view window_name)
{
    record("FindWindow(" + quoted(class_name) + ", " + quoted(window_name) + ")");
    return class_name == "Shell_traywnd" ? taskbar : 0;
}

void FakePlatform::set_window_pos(NativeHandle window, NativeHandle insert_after, int x, int y, int cx, int cy,
                                  unsigned flags)
{
    const auto after = static_cast<long long>(static_cast<std::intptr_t>(insert_after));
    record("SetWindowPos(" + hex(window) + ", " + std::to_string(after) + ", " + std::to_string(x) + ", " +
           std::to_string(y) + ", " + std::to_string(cx) + ", " + std::to_string(cy) + ", " + hex(flags) + ")");
    // Handle 0 names no window: the call does nothing.
    if (window != 0 && window == taskbar) {
        if ((flags & kSwpHideWindow) != 0)
            taskbar_visible = false;
        if ((flags & kSwpShowWindow) != 0)
            taskbar_visible = true;
    }
    FakeWindow* const w = window_with_handle(window);
    if (w == nullptr)
        return;
    if (insert_after == kHwndTopmost)
        on_top = window;
    // A window's position is not modelled; its size is, so that a call that resizes it shows.
    if ((flags & kSwpNoSize) == 0) {
        w->outer_width = static_cast<float>(cx);
        w->outer_height = static_cast<float>(cy);
    }
}

void FakePlatform::cover_other_monitors(NativeHandle window)
{
    record("cover_other_monitors(" + hex(window) + ")");
    other_monitors_covered = true;
    covers_report_to = window;
}

void FakePlatform::uncover_other_monitors()
{
    record("uncover_other_monitors()");
    other_monitors_covered = false;
    covers_report_to = 0;
}

// ---- Registry ----

long FakePlatform::open_key(NativeHandle root, std::string_view path, unsigned options, unsigned access,
                            NativeHandle& key)
{
    record("RegOpenKeyEx(" + hex(root) + ", " + quoted(path) + ", " + std::to_string(options) + ", " +
           hex(access) + ")");
    if (!registry_keys.contains(std::string(path)))
        return 2; // ERROR_FILE_NOT_FOUND
    if ((access & kKeyWriteRights) != 0 && !registry_writable)
        return kErrorAccessDenied;
    key = m_next_key++;
    m_open_keys[key] = std::string(path);
    return 0;
}

long FakePlatform::query_value(NativeHandle key, std::string_view name, unsigned& type,
                               std::span<std::byte> buffer, unsigned& size)
{
    record("RegQueryValueEx(" + hex(key) + ", " + quoted(name) + ", " + std::to_string(size) + ")");
    const auto k = m_open_keys.find(key);
    if (k == m_open_keys.end())
        return 6; // ERROR_INVALID_HANDLE
    const auto v = registry_values.find({k->second, std::string(name)});
    if (v == registry_values.end())
        return 2; // ERROR_FILE_NOT_FOUND
    if (v->second.data.size() > size || v->second.data.size() > buffer.size()) {
        size = static_cast<unsigned>(v->second.data.size());
        return 234; // ERROR_MORE_DATA
    }
    // An empty value has no bytes to copy, and its data pointer may be null, which memcpy must not get.
    if (!v->second.data.empty())
        std::memcpy(buffer.data(), v->second.data.data(), v->second.data.size());
    type = v->second.type;
    size = static_cast<unsigned>(v->second.data.size());
    return 0;
}

void FakePlatform::close_key(NativeHandle key)
{
    record("RegCloseKey(" + hex(key) + ")");
    m_open_keys.erase(key);
}

// ---- Files and launcher ----

bool FakePlatform::ordinary_file_exists(std::string_view path)
{
    record("ordinary_file_exists(" + quoted(path) + ")");
    return ordinary_files.contains(std::string(path));
}

void FakePlatform::start_program(std::string_view path, int window_style)
{
    record("start_program(" + quoted(path) + ", " + std::to_string(window_style) + ")");
    if (!startable_programs.contains(std::string(path)))
        throw RuntimeError("cannot start program");
    started.push_back({std::string(path), window_style});
}

} // namespace platform::fake

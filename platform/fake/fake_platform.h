// A recording fake of every platform service, for the core's unit tests.
//
// Every call is recorded as a readable line ("ShowCursor(0)", "set_geometry(Form1.Image1.Left, 50.5)"),
// results are scripted through public fields, and any call can be told to fail with a
// RuntimeError at its n-th occurrence; a failing call changes nothing. Besides the log, the fake keeps
// a small model of what the calls leave behind (the windows and their elements, the cursor's display
// count, the taskbar, the input-method contexts, the top-most window and the focus, messages shown,
// programs started), so that tests can check what the user sees rather than which calls were made.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace platform::fake {

class FakePlatform;

class FakePicture final : public Picture {
public:
    FakePicture(int width, int height, std::string path = {})
        : m_width(width), m_height(height), m_path(std::move(path))
    {
    }
    int natural_width() const override { return m_width; }
    int natural_height() const override { return m_height; }
    // The file it was loaded from.
    [[nodiscard]] const std::string& path() const { return m_path; }

private:
    int m_width;
    int m_height;
    std::string m_path;
};

// What the fake remembers of one loaded window.
struct FakeWindow {
    const WindowDef* def = nullptr;
    WindowEvents* events = nullptr;
    bool loaded = true;
    bool shown = false;
    WindowState state = WindowState::Normal;
    std::string caption;
    NativeHandle handle = 0;
    float outer_width = 0;
    float outer_height = 0;
    std::optional<Colour> back_colour; // none: the platform's dialog background
    bool auto_redraw = false;
    float scale_width = 0;
    float scale_height = 0;
    struct Element {
        std::string text;
        bool visible = true;
        bool stretch = false;
        PictureRef picture;
        float left = 0, top = 0, width = 0, height = 0;
    };
    std::vector<Element> elements;
    [[nodiscard]] const Element& element(ElementId id) const { return elements.at(static_cast<std::size_t>(id)); }
};

struct FakeRegistryValue {
    unsigned type = 1;
    std::vector<std::byte> data;
};

struct FakeMessage {
    std::string text;
    int style = 0;
    std::string caption;
    friend bool operator==(const FakeMessage&, const FakeMessage&) = default;
};

struct FakeStartedProgram {
    std::string path;
    int window_style = 0;
    friend bool operator==(const FakeStartedProgram&, const FakeStartedProgram&) = default;
};

class FakePlatform final : App, Windowing, Pictures, Desktop, Registry, Files, Launcher {
public:
    FakePlatform();

    Platform& platform() { return m_platform; }

    // The calls recorded so far, oldest first.
    [[nodiscard]] const std::vector<std::string>& calls() const { return m_calls; }
    void clear_calls() { m_calls.clear(); }
    // The recorded calls whose text starts with `prefix`.
    [[nodiscard]] std::vector<std::string> calls_starting(std::string_view prefix) const;

    // Makes the n-th call (counting from 1, from now on) of the operation `name` throw
    // RuntimeError after it has been recorded. `name` is the text before "(" in the log.
    void fail(std::string name, int nth = 1);

    // ---- Scripted answers ----
    bool another_instance = false;
    std::string command_text;
    AppInfo app_info{.title = "Title", .folder = "C:\\Pictures", .major = 1, .minor = 0, .revision = 0};
    SizeF screen{1920, 1080};
    // Scale size of a window once set_outer_size has run; the default is the outer size.
    std::optional<SizeF> inside_size;
    // The taskbar's window (0: the desktop has none), and the input-method context every window starts with.
    NativeHandle taskbar = 0x7A5C;
    NativeHandle ime_context = 0x1C0;
    // Picture files by full path; a path not listed fails to load.
    std::map<std::string, std::pair<int, int>> pictures;
    // Registry values by "key path" and value name; keys listed in `registry_keys` can be opened.
    std::set<std::string> registry_keys;
    std::map<std::pair<std::string, std::string>, FakeRegistryValue> registry_values;
    std::set<std::string> ordinary_files;
    std::set<std::string> startable_programs;
    // Whether keys can be opened with write access (an administrator); a standard user may only read
    // below HKEY_LOCAL_MACHINE.
    bool registry_writable = false;
    // What an element does with a position or size it is given; the default keeps it exactly.
    std::function<float(float)> element_takes = [](float value) { return value; };
    // Runs inside show_modal, standing for what the user does while the modal window is open.
    std::function<void(WindowId)> while_modal;

    // ---- What the calls leave behind ----
    // Whether end() has run; nothing further should happen in the core afterwards.
    bool ended = false;
    // Message boxes shown, oldest first, and programs started.
    std::vector<FakeMessage> messages;
    std::vector<FakeStartedProgram> started;
    // The box of each load() and each prefetch() so far, oldest first (the log keeps their paths).
    std::vector<SizeF> load_boxes;
    std::vector<SizeF> prefetch_boxes;
    // The cursor's display count: the cursor is visible while it is 0 or more.
    int cursor_count = 0;
    // Screen saving as SystemParametersInfo left it, and whether a setting was written to the user's profile.
    bool screen_saving = false;
    bool profile_written = false;
    bool taskbar_visible = true;
    // Whether the other monitors are covered, and the window that their input reaches.
    bool other_monitors_covered = false;
    NativeHandle covers_report_to = 0;
    // The window placed above all others (0: another program's), and the one with the keyboard focus.
    NativeHandle on_top = 0;
    std::optional<WindowId> focused;
    // Another program's window comes to the front and takes the keyboard focus.
    void another_window_comes_to_front();
    // The input-method context associated with a window; `ime_context` until the program changes it.
    [[nodiscard]] NativeHandle ime_context_of(NativeHandle window) const;
    // Registry keys opened and not yet closed.
    [[nodiscard]] std::size_t keys_open() const { return m_open_keys.size(); }

    // ---- Inspection and event injection ----
    [[nodiscard]] FakeWindow& window(WindowId id);
    [[nodiscard]] FakeWindow& window_named(std::string_view name);
    [[nodiscard]] bool has_window(std::string_view name) const;
    [[nodiscard]] int windows_created() const { return static_cast<int>(m_windows.size()); }
    // The display changes to `size`: the screen takes it, and so does the inside of every window loaded
    // at the screen's old size (as the system resizes a maximised window). Nothing is recorded.
    void change_display(SizeF size);

private:
    void record(std::string line);
    FakeWindow::Element& element(WindowId, ElementId);
    FakeWindow* window_with_handle(NativeHandle);
    std::string element_name(WindowId, ElementId) const;

    // App
    bool previous_instance() override;
    std::string command() override;
    AppInfo info() override;
    void message_box(std::string_view text, int style, std::string_view caption) override;
    void end() override;
    // Windowing
    WindowId create(const WindowDef& def, WindowEvents& events) override;
    void show(WindowId) override;
    void show_modal(WindowId) override;
    void set_state(WindowId, WindowState) override;
    void unload(WindowId) override;
    void set_caption(WindowId, std::string_view text) override;
    void set_text(WindowId, ElementId, std::string_view text) override;
    SizeF screen_size() override;
    void set_outer_size(WindowId, float width, float height) override;
    void set_back_colour(WindowId, Colour) override;
    void set_auto_redraw(WindowId, bool on) override;
    void refresh(WindowId) override;
    void set_focus(WindowId) override;
    NativeHandle handle(WindowId) override;
    float scale_width(WindowId) override;
    float scale_height(WindowId) override;
    void set_visible(WindowId, ElementId, bool visible) override;
    void set_stretch(WindowId, ElementId, bool on) override;
    void set_picture(WindowId, ElementId, PictureRef picture) override;
    float geometry(WindowId, ElementId, Geometry) override;
    void set_geometry(WindowId, ElementId, Geometry, float value) override;
    // Pictures
    PictureRef load(std::string_view path, SizeF box) override;
    void prefetch(std::string_view path, SizeF box) override;
    // Desktop
    void system_parameters_info(unsigned action, int param, std::string_view text, unsigned win_ini) override;
    void show_cursor(bool show) override;
    NativeHandle imm_associate_context(NativeHandle window, NativeHandle context) override;
    NativeHandle find_window(std::string_view class_name, std::string_view window_name) override;
    void set_window_pos(NativeHandle window, NativeHandle insert_after, int x, int y, int cx, int cy,
                        unsigned flags) override;
    void cover_other_monitors(NativeHandle window) override;
    void uncover_other_monitors() override;
    // Registry
    long open_key(NativeHandle root, std::string_view path, unsigned options, unsigned access,
                  NativeHandle& key) override;
    long query_value(NativeHandle key, std::string_view name, unsigned& type, std::span<std::byte> buffer,
                     unsigned& size) override;
    void close_key(NativeHandle key) override;
    // Files
    bool ordinary_file_exists(std::string_view path) override;
    // Launcher
    void start_program(std::string_view path, int window_style) override;

    Platform m_platform;
    std::vector<std::string> m_calls;
    std::map<std::string, int> m_failures; // operation -> calls left before the failing one
    std::vector<FakeWindow> m_windows;
    std::map<NativeHandle, std::string> m_open_keys;
    std::map<NativeHandle, NativeHandle> m_ime_contexts;
    NativeHandle m_next_key = 0x100;
};

// Text of a number as the log writes it: integers plainly, others with up to 9 significant digits.
std::string format_number(double value);

} // namespace platform::fake

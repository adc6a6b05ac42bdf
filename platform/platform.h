// The services the program takes from its platform. The core reaches the outside world
// only through these interfaces; a backend (Win32, the test fake) implements them.
//
// Texts are UTF-8 throughout; a backend converts them to its native form.
// Operations that can fail throw RuntimeError where noted; a backend swallows every other
// native failure, because the program does not look at those results.
#pragma once

#include "platform/types.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace platform {

// ---- Events of a window, raised by the backend on the user-interface thread ----
// A backend never lets an exception escape into its native callback; the core's
// handlers trap their own errors.
class WindowEvents {
public:
    virtual ~WindowEvents() = default;
    // The window is being unloaded, by request or by the system; it is destroyed afterwards.
    virtual void on_unload() {}
    // A timer element's interval has passed.
    virtual void on_timer(ElementId) {}
    // A key went down while the window had the keyboard focus (system keys included).
    virtual void on_key_down(int /*key_code*/, int /*shift*/) {}
    // A mouse button went down over `source` (kWindowItself or an Image element);
    // x and y are in pixels relative to the top-left corner of `source`.
    virtual void on_mouse_down(ElementId /*source*/, int /*button*/, int /*shift*/, float /*x*/, float /*y*/) {}
    // The pointer moved over `source`; coordinates as for on_mouse_down.
    virtual void on_mouse_move(ElementId /*source*/, int /*button*/, int /*shift*/, float /*x*/, float /*y*/) {}
    // A button was pressed (by mouse, Enter, Esc or its access key).
    virtual void on_click(ElementId) {}
    // A menu entry was chosen.
    virtual void on_menu(MenuId) {}
    // The display was switched off (false) or on again (true; a dimmed display counts as on). Raised for
    // a frameless window only, and possibly with the state it already had.
    virtual void on_display_power(bool /*on*/) {}
};

// A picture decoded by the picture loader; immutable once loaded.
class Picture {
public:
    virtual ~Picture() = default;
    // Natural size in pixels.
    [[nodiscard]] virtual int natural_width() const = 0;
    [[nodiscard]] virtual int natural_height() const = 0;
};
using PictureRef = std::shared_ptr<const Picture>;

enum class Geometry { Left, Top, Width, Height };

// Windows built from definitions, and the settings of their elements.
class Windowing {
public:
    virtual ~Windowing() = default;
    // Creates the window and its elements from `def`, hidden; its events go to `events`,
    // which must outlive the window. Timers start counting now. Throws RuntimeError.
    [[nodiscard]] virtual WindowId create(const WindowDef& def, WindowEvents& events) = 0;
    // Shows the window modeless, without an owner.
    virtual void show(WindowId) = 0;
    // Shows the window modal and returns once it has been unloaded; meanwhile no other
    // window of the program takes input.
    virtual void show_modal(WindowId) = 0;
    virtual void set_state(WindowId, WindowState) = 0;
    // Raises on_unload inside this call, then destroys the window.
    virtual void unload(WindowId) = 0;

    virtual void set_caption(WindowId, std::string_view text) = 0;
    // Text of a label or button; "\r\n" in a label breaks the line.
    virtual void set_text(WindowId, ElementId, std::string_view text) = 0;

    // The screen's size in the pixels that a window with pixel scale works in.
    [[nodiscard]] virtual SizeF screen_size() = 0;
    // Outer size of the window in pixels.
    virtual void set_outer_size(WindowId, float width, float height) = 0;
    virtual void set_back_colour(WindowId, Colour) = 0;
    virtual void set_auto_redraw(WindowId, bool on) = 0;
    // Repaints the window at once.
    virtual void refresh(WindowId) = 0;
    virtual void set_focus(WindowId) = 0;
    [[nodiscard]] virtual NativeHandle handle(WindowId) = 0;
    // Size of the window's inside in its scale units.
    [[nodiscard]] virtual float scale_width(WindowId) = 0;
    [[nodiscard]] virtual float scale_height(WindowId) = 0;

    virtual void set_visible(WindowId, ElementId, bool visible) = 0;
    // Image elements: off makes the element take the picture's natural size whenever a
    // picture is assigned; on draws the picture scaled to the element's size.
    virtual void set_stretch(WindowId, ElementId, bool on) = 0;
    virtual void set_picture(WindowId, ElementId, PictureRef picture) = 0;
    // Position and size of an element, in the window's scale units.
    [[nodiscard]] virtual float geometry(WindowId, ElementId, Geometry) = 0;
    virtual void set_geometry(WindowId, ElementId, Geometry, float value) = 0;
};

// The platform's picture loader.
class Pictures {
public:
    virtual ~Pictures() = default;
    // Loads the picture file at `path`, whatever its extension says, to be shown fitted into `box`: the
    // inside of the window, in its scale units (pixels), that the picture will be placed on by the
    // placement rule (imaging/picture_placement.h). The natural size is the file's whatever the box; the
    // loader may keep the pixels at the size that rule gives the picture in `box`, so that drawing it
    // there scales nothing. An empty box stands for the primary screen as the loader finds it at the call.
    // Throws RuntimeError when the file is missing or is not a picture the loader can read.
    [[nodiscard]] virtual PictureRef load(std::string_view path, SizeF box) = 0;
    // A hint that `path` is likely the next file load() is asked for, with the same `box`: the loader may
    // prepare it ahead. Returns at once and never fails; load() gives the same result with or without it.
    virtual void prefetch(std::string_view path, SizeF box) = 0;
};

// The desktop calls of the slideshow: screen saving, cursor, input method, taskbar, z-order.
// Arguments and their meanings are those of the Win32 functions of the same names.
class Desktop {
public:
    virtual ~Desktop() = default;
    virtual void system_parameters_info(unsigned action, int param, std::string_view text, unsigned win_ini) = 0;
    virtual void show_cursor(bool show) = 0;
    // Returns the context that was associated with the window before.
    [[nodiscard]] virtual NativeHandle imm_associate_context(NativeHandle window, NativeHandle context) = 0;
    // Returns the window's handle, or 0 when there is none.
    [[nodiscard]] virtual NativeHandle find_window(std::string_view class_name, std::string_view window_name) = 0;
    virtual void set_window_pos(NativeHandle window, NativeHandle insert_after, int x, int y, int cx, int cy,
                                unsigned flags) = 0;

    // Covers every monitor but the primary one with a black window of its own and hides their taskbars,
    // until uncover_other_monitors; the covers follow the monitors when they change meanwhile. Input on a
    // cover reaches `window`'s events as input on that window itself, in its own frame. With one monitor
    // nothing happens. Never fails: a monitor that cannot be covered stays as it is.
    virtual void cover_other_monitors(NativeHandle window) = 0;
    // Removes the covers and shows the other monitors' taskbars again.
    virtual void uncover_other_monitors() = 0;
};

// The application's own metadata, from the program file's version information.
struct AppInfo {
    std::string title;
    std::string folder;              // ends in the separator only for a drive's root folder
    std::int16_t major = 0;
    std::int16_t minor = 0;
    std::int16_t revision = 0;
    std::string company_name;
    std::string legal_copyright;
};

class App {
public:
    virtual ~App() = default;
    // Whether another instance of this application is already running.
    [[nodiscard]] virtual bool previous_instance() = 0;
    // The command-line argument text: everything after the program's own name.
    [[nodiscard]] virtual std::string command() = 0;
    [[nodiscard]] virtual AppInfo info() = 0;
    // A modal message box with the given style (0: OK button only); returns when closed.
    virtual void message_box(std::string_view text, int style, std::string_view caption) = 0;
    // Ends the program at once: no further handler of any window runs.
    virtual void end() = 0;
};

// Read access to the system registry. Statuses are the native ones: 0 means success.
class Registry {
public:
    virtual ~Registry() = default;
    [[nodiscard]] virtual long open_key(NativeHandle root, std::string_view path, unsigned options,
                                        unsigned access, NativeHandle& key) = 0;
    // Reads the value `name` into `buffer`. On success `type` is the value's type code and
    // `size` the number of data bytes stored (texts are UTF-16LE, a terminating zero
    // included when the data has one). `size` goes in as the buffer's size.
    [[nodiscard]] virtual long query_value(NativeHandle key, std::string_view name, unsigned& type,
                                           std::span<std::byte> buffer, unsigned& size) = 0;
    virtual void close_key(NativeHandle key) = 0;
};

class Files {
public:
    virtual ~Files() = default;
    // True when `path` names an ordinary file: not a folder, not hidden, not a system file.
    [[nodiscard]] virtual bool ordinary_file_exists(std::string_view path) = 0;
};

class Launcher {
public:
    virtual ~Launcher() = default;
    // Starts the program at `path` (the path itself, never parsed as a command line) with
    // the given window style and returns at once. Throws RuntimeError when it cannot start.
    virtual void start_program(std::string_view path, int window_style) = 0;
};

struct Platform {
    App& app;
    Windowing& windows;
    Pictures& pictures;
    Desktop& desktop;
    Registry& registry;
    Files& files;
    Launcher& launcher;
};

} // namespace platform

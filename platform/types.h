// Values shared by the core and every backend: handles, colours, window definitions.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace platform {

// A native handle (window, input-method context, registry key) as an opaque number.
using NativeHandle = std::uintptr_t;

// 0x00BBGGRR, red in the low byte; 0 is black.
using Colour = std::uint32_t;
constexpr Colour kBlack = 0x000000;
constexpr Colour kWhite = 0xFFFFFF;
constexpr Colour rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    return Colour{r} | (Colour{g} << 8) | (Colour{b} << 16);
}

// A window loaded through Windowing; valid until it is unloaded.
enum class WindowId : int {};

// An element of a window: its index in the window definition's element table. Like WindowId, a type
// of its own: an element, a menu entry and a plain number cannot be passed one for another.
enum class ElementId : int {};
// Mouse events on the window itself (not on one of its elements) carry this source.
constexpr ElementId kWindowItself{-1};

// A menu entry: its index in the window definition's menu table.
enum class MenuId : int {};

// The index in its definition's table that an element or menu entry stands for.
constexpr int index_of(ElementId id)
{
    return static_cast<int>(id);
}
constexpr int index_of(MenuId id)
{
    return static_cast<int>(id);
}

struct SizeF {
    float width = 0;
    float height = 0;
    // No area: neither side is at least a little above zero (NaN included).
    [[nodiscard]] bool empty() const { return !(width > 0 && height > 0); }
    friend bool operator==(const SizeF&, const SizeF&) = default;
};

// ---- Window definitions: static data that a backend builds a window from ----
// Positions and sizes are in twips (1/1440 inch); 15 twips make one pixel at 96 dpi.

enum class Frame { None, FixedSingle, FixedDialog };
enum class WindowState { Normal = 0, Minimised = 1, Maximised = 2 };
enum class StartPosition { PlatformDefault, CentreOwnerOrScreen };
enum class ScaleMode { Twips, Pixels };
enum class IconId { None, SlideshowWindow, Program };

enum class ElementKind { Timer, Image, Button, Label, Line, PictureBox };

enum class ButtonRole : unsigned { None = 0, Default = 1, Cancel = 2, DefaultAndCancel = 3 };
constexpr bool has_role(ButtonRole roles, ButtonRole role)
{
    return (static_cast<unsigned>(roles) & static_cast<unsigned>(role)) != 0;
}

struct FontDef {
    std::string_view face;
    int points = 9;
    int weight = 400;
    int charset = 1;
    bool italic = false;
    bool underline = false;
    bool strikeout = false;
};

struct ElementDef {
    ElementKind kind = ElementKind::Label;
    std::string_view name;
    // Left, top, width, height in twips; for a line: x1, y1, x2, y2.
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    std::string_view text;           // caption of a button or label; "&" marks the access key
    int tab_index = 0;
    ButtonRole role = ButtonRole::None;
    int interval_ms = 0;             // timers only
    bool enabled = true;
    bool visible = true;
    bool has_colour = false;         // text colour of a label, colour of a line
    Colour colour = kBlack;
    int line_width_px = 1;           // lines only
    const FontDef* font = nullptr;   // null: the window's default font
    IconId picture = IconId::None;   // picture boxes only
};

struct MenuDef {
    std::string_view name;
    std::string_view caption;        // "&" marks the access key
    int level = 0;                   // 0: top-level menu; 1: item of the last top-level menu
};

struct WindowDef {
    std::string_view name;
    Frame frame = Frame::FixedSingle;
    bool min_button = false;
    bool max_button = false;
    std::string_view caption;
    WindowState initial_state = WindowState::Normal;
    bool has_back_colour = false;    // false: the platform's dialog background
    Colour back_colour = kBlack;
    ScaleMode scale = ScaleMode::Twips;
    bool key_preview = false;
    bool show_in_taskbar = true;
    StartPosition start_position = StartPosition::PlatformDefault;
    int inside_width = 0;            // twips, below the menu bar
    int inside_height = 0;
    IconId icon = IconId::None;
    std::span<const ElementDef> elements;
    std::span<const MenuDef> menu;
};

// The element called `name` in `def`; an index of -1 when there is none. Usable at compile time.
constexpr ElementId element_id(const WindowDef& def, std::string_view name)
{
    for (std::size_t i = 0; i < def.elements.size(); ++i)
        if (def.elements[i].name == name)
            return static_cast<ElementId>(i);
    return ElementId{-1};
}

// The menu entry called `name` in `def`; an index of -1 when there is none.
constexpr MenuId menu_id(const WindowDef& def, std::string_view name)
{
    for (std::size_t i = 0; i < def.menu.size(); ++i)
        if (def.menu[i].name == name)
            return static_cast<MenuId>(i);
    return MenuId{-1};
}

} // namespace platform

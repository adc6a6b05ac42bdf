// Dots per inch of a window and the metrics that depend on them, on every Windows version.
#pragma once

#include <windows.h>

namespace platform::win32 {

constexpr unsigned kDefaultDpi = 96;

// The window's dots per inch (per monitor where Windows supports that, else the system's).
[[nodiscard]] unsigned window_dpi(HWND window);

// The outer rectangle of a window whose inside is `rect`, at `dpi`.
void adjust_window_rect(RECT& rect, DWORD style, bool has_menu, DWORD ex_style, unsigned dpi);

// The system's message font (the font of dialogs) at `dpi`.
[[nodiscard]] LOGFONTW message_font(unsigned dpi);

// A system metric (SM_CXICON and the like) at `dpi`.
[[nodiscard]] int system_metric(int index, unsigned dpi);

// A length in twips (1/1440 inch) as device pixels at `dpi`, rounded to the nearest pixel.
[[nodiscard]] constexpr int twips_to_pixels(int twips, unsigned dpi)
{
    const long long scaled = static_cast<long long>(twips) * dpi;
    return static_cast<int>(scaled >= 0 ? (scaled + 720) / 1440 : -((-scaled + 720) / 1440));
}

// A length in device-independent pixels (1/96 inch) as device pixels at `dpi`.
[[nodiscard]] constexpr int dips_to_pixels(int dips, unsigned dpi)
{
    return static_cast<int>((static_cast<long long>(dips) * dpi + 48) / 96);
}

} // namespace platform::win32

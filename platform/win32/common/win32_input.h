// The mouse's messages that a slideshow window watches: its movements and its button presses.
#pragma once

#include <windows.h>

#include <algorithm>
#include <array>

namespace platform::win32 {

// Every button's press and double click: each of them ends a run, as a key press does.
inline constexpr std::array<UINT, 8> kButtonPresses{WM_LBUTTONDOWN, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN,
                                                    WM_RBUTTONDBLCLK, WM_MBUTTONDOWN, WM_MBUTTONDBLCLK,
                                                    WM_XBUTTONDOWN, WM_XBUTTONDBLCLK};

[[nodiscard]] inline bool is_button_press(UINT message)
{
    return std::find(kButtonPresses.begin(), kButtonPresses.end(), message) != kButtonPresses.end();
}

// A movement or a button press: what the windows tell apart from a movement that is no real one.
[[nodiscard]] inline bool is_pointer_message(UINT message)
{
    return message == WM_MOUSEMOVE || is_button_press(message);
}

} // namespace platform::win32

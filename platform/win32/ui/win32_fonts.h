// Fonts of the windows: the system's dialog font and the fonts that labels ask for by name.
#pragma once

#include "platform/types.h"
#include "platform/win32/common/win32_handles.h"

#include <string_view>

namespace platform::win32 {

// The faces tried, in order, when a label's own face is not installed: the system's Japanese
// interface faces. The message font comes last.
inline constexpr std::wstring_view kJapaneseFallbackFaces[] = {L"Yu Gothic UI", L"Meiryo UI", L"MS UI Gothic"};

[[nodiscard]] bool font_installed(std::wstring_view face);

// The system's message font (the dialogs' font) at `dpi`.
[[nodiscard]] UniqueHfont create_message_font(unsigned dpi);

// A font as defined (face, size in points, weight, character set, style) at `dpi`. When the face
// is not installed, the first installed fallback face takes its place, then the message font's.
[[nodiscard]] UniqueHfont create_font(const FontDef& def, unsigned dpi);

} // namespace platform::win32

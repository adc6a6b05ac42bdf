// Fonts of the windows: the system's dialog font and the fonts that labels ask for by name.
#include "platform/win32/ui/win32_fonts.h"

#include "platform/win32/common/win32_text.h"
#include "platform/win32/ui/win32_dpi.h"

#include <string>

namespace platform::win32 {

namespace {

int CALLBACK note_found(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found)
{
    *reinterpret_cast<bool*>(found) = true;
    return 0; // one match is enough
}

void set_face(LOGFONTW& font, std::wstring_view face)
{
    const std::size_t n = face.size() < LF_FACESIZE - 1 ? face.size() : LF_FACESIZE - 1;
    face.copy(font.lfFaceName, n);
    font.lfFaceName[n] = L'\0';
}

} // namespace

bool font_installed(std::wstring_view face)
{
    if (face.empty() || face.size() >= LF_FACESIZE)
        return false;
    LOGFONTW query{};
    query.lfCharSet = DEFAULT_CHARSET;
    set_face(query, face);
    bool found = false;
    const WindowDc screen(nullptr);
    if (!screen)
        return false;
    ::EnumFontFamiliesExW(screen.get(), &query, &note_found, reinterpret_cast<LPARAM>(&found), 0);
    return found;
}

UniqueHfont create_message_font(unsigned dpi)
{
    const LOGFONTW font = message_font(dpi);
    return UniqueHfont(::CreateFontIndirectW(&font));
}

UniqueHfont create_font(const FontDef& def, unsigned dpi)
{
    LOGFONTW font = message_font(dpi);
    std::wstring face = widen(def.face);
    if (!font_installed(face)) {
        face.clear();
        for (std::wstring_view fallback : kJapaneseFallbackFaces) {
            if (font_installed(fallback)) {
                face = fallback;
                break;
            }
        }
    }
    // On the message font's face the message font's character set stays, so that the font mapper
    // does not trade the face away for the character set.
    if (!face.empty()) {
        set_face(font, face);
        font.lfCharSet = static_cast<BYTE>(def.charset);
    }
    font.lfHeight = -::MulDiv(def.points, static_cast<int>(dpi), 72);
    font.lfWidth = 0;
    font.lfWeight = def.weight;
    font.lfItalic = def.italic ? TRUE : FALSE;
    font.lfUnderline = def.underline ? TRUE : FALSE;
    font.lfStrikeOut = def.strikeout ? TRUE : FALSE;
    return UniqueHfont(::CreateFontIndirectW(&font));
}

} // namespace platform::win32

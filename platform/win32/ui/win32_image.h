// The windowless picture element: its geometry, its picture and the prepared image it is painted from.
#pragma once

#include "platform/platform.h"
#include "platform/win32/common/win32_pixel_rect.h"
#include "platform/win32/pictures/win32_dib.h"

#include <windows.h>

#include <optional>

namespace platform::win32 {

// What an Image element holds besides its geometry and visibility, which the window keeps with every
// other element's: the stretch flag, the picture and the prepared image it is painted from.
class ImageElement {
public:
    bool stretch = false;

    // Holds `picture`; the window gives the element the picture's natural size when stretch is off.
    void set_picture(PictureRef picture);
    [[nodiscard]] const PictureRef& picture() const { return m_picture; }

    // Makes the image that paint() copies ready for the current picture and for the element's
    // rectangle `element` in device pixels, and returns the part of the window it will cover; nothing
    // when there is nothing to draw.
    [[nodiscard]] std::optional<PixelRect> prepare(const PixelRect& element);
    // Copies the prepared image to `dc`; call after prepare().
    void paint(HDC dc) const;

private:
    PictureRef m_picture;
    PreparedImage m_prepared;
    unsigned m_generation = 0;               // counts the pictures assigned
    unsigned m_prepared_for = 0;             // the generation m_prepared was made from; 0: none
    PixelRect m_cover;                       // where m_prepared is copied to
};

} // namespace platform::win32

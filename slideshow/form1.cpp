// The slideshow window: takes over the screen, shows the pictures in turn, ends on input.
#include "slideshow/form1.h"

#include "platform/errors.h"
#include "slideshow/checked.h"
#include "slideshow/form1_def.h"
#include "slideshow/movement.h"
#include "slideshow/picture_sequence.h"

#include <utility>

namespace slideshow {

using imaging::centred;
using imaging::fit_picture;
using imaging::Placement;
using imaging::PictureFit;
using platform::Geometry;
using platform::trap;

namespace {

// Desktop call arguments, as the Win32 functions take them.
constexpr unsigned kSpiSetScreenSaveActive = 17;
constexpr int kTrue = -1;
constexpr platform::NativeHandle kHwndTopmost = static_cast<platform::NativeHandle>(-1);
constexpr unsigned kSwpNoSize = 0x1;
constexpr unsigned kSwpNoMove = 0x2;
constexpr unsigned kSwpShowWindow = 0x40;
constexpr unsigned kSwpHideWindow = 0x80;

} // namespace

Form1::Form1(platform::Platform& platform) : m_platform(platform) {}

void Form1::load()
{
    // The first picture is the longest step of the start: it can be read while the window is made and
    // the desktop taken over. No window, no screen size yet: its box is still empty, which the loader
    // takes as the screen it finds now, the one the load handler reads in a moment.
    prefetch(1);
    m_window = m_platform.windows.create(kForm1Def, *this);
    on_load();
}

platform::NativeHandle Form1::handle()
{
    return m_platform.windows.handle(m_window);
}

void Form1::on_load()
{
    trap([&] {
        auto& windows = m_platform.windows;
        auto& desktop = m_platform.desktop;
        const platform::SizeF screen = windows.screen_size();
        m_picture_box = screen; // the window is made that size: the first picture's box
        windows.set_outer_size(m_window, screen.width, screen.height);
        windows.set_back_colour(m_window, platform::kBlack);
        desktop.system_parameters_info(kSpiSetScreenSaveActive, kTrue, "", 0);
        desktop.show_cursor(false);
        m_state.saved_ime_context = desktop.imm_associate_context(handle(), 0);
        m_state.taskbar_wnd = desktop.find_window("Shell_traywnd", "");
        desktop.set_window_pos(m_state.taskbar_wnd, 0, 0, 0, 0, 0, kSwpHideWindow);
        desktop.cover_other_monitors(handle());
        desktop.set_window_pos(handle(), kHwndTopmost, 0, 0, 0, 0, kSwpNoSize | kSwpNoMove);
        windows.refresh(m_window);
        m_state.picture_no = 1;
        m_state.picture_count = kPictureCount;
        ShowNextPicture();
        m_state.first_move = true;
        prefetch(m_state.picture_no);
    });
}

void Form1::on_timer(platform::ElementId timer)
{
    if (timer != kTimer1)
        return;
    trap([&] {
        m_platform.desktop.set_window_pos(handle(), kHwndTopmost, 0, 0, 0, 0, kSwpNoSize | kSwpNoMove);
        m_platform.windows.set_focus(m_window);
        if (m_state.display_off) {
            // The picture's interval passes unseen: its number is passed over, and its file left unread.
            m_state.picture_no = next_picture_number(m_state.picture_no, m_state.picture_count);
            ++m_state.ticks_while_off;
            return;
        }
        ShowNextPicture();
        prefetch(m_state.picture_no);
    });
}

void Form1::on_display_power(bool on)
{
    trap([&] {
        if (on != m_state.display_off)
            return;
        m_state.display_off = !on;
        if (!on || m_state.picture_no == 0)
            return;
        // The picture of the interval the display comes back in is shown at once; when no tick passed in
        // the dark, the one on the screen still is that picture and only the next one is asked for again.
        if (std::exchange(m_state.ticks_while_off, 0) > 0) {
            m_state.picture_no = previous_picture_number(m_state.picture_no, m_state.picture_count);
            ShowNextPicture();
        }
        prefetch(m_state.picture_no);
    });
}

void Form1::on_unload()
{
    // The desktop is given back in the same order it was taken (cursor, input method, taskbar, the
    // other monitors), then the program ends; the unload is never refused.
    trap([&] {
        auto& desktop = m_platform.desktop;
        desktop.show_cursor(true);
        (void)desktop.imm_associate_context(handle(), m_state.saved_ime_context);
        desktop.set_window_pos(m_state.taskbar_wnd, 0, 0, 0, 0, 0, kSwpShowWindow);
        desktop.uncover_other_monitors();
        m_platform.app.end();
    });
}

void Form1::on_key_down(int, int)
{
    trap([&] { m_platform.windows.unload(m_window); });
}

void Form1::on_mouse_down(platform::ElementId, int, int, float, float)
{
    trap([&] { m_platform.windows.unload(m_window); });
}

void Form1::on_mouse_move(platform::ElementId, int, int, float x, float y)
{
    trap([&] {
        // The first move after a picture change only records where the pointer is.
        if (m_state.first_move) {
            m_state.first_move = false;
            m_state.start_x = x;
            m_state.start_y = y;
            return;
        }
        // The window and the picture report positions in their own frames; the baseline
        // is compared with either unchanged.
        if (moved_beyond_tolerance({m_state.start_x, m_state.start_y}, {x, y}))
            m_platform.windows.unload(m_window);
    });
}

float Form1::image_geometry(Geometry g)
{
    return m_platform.windows.geometry(m_window, kImage1, g);
}

void Form1::set_image_geometry(Geometry g, double value)
{
    m_platform.windows.set_geometry(m_window, kImage1, g, to_single(value));
}

void Form1::ShowNextPicture()
{
    trap([&] {
        auto& windows = m_platform.windows;
        windows.set_auto_redraw(m_window, true);
        windows.set_visible(m_window, kImage1, false);
        windows.set_stretch(m_window, kImage1, false);
        const std::string file = picture_path(m_platform.app.info().folder, m_state.picture_no);
        // The counter moves on before the load, so an unreadable file is skipped next time.
        m_state.picture_no = next_picture_number(m_state.picture_no, m_state.picture_count);
        windows.set_picture(m_window, kImage1, m_platform.pictures.load(file, m_picture_box));

        const double sw = windows.scale_width(m_window);
        const double sh = windows.scale_height(m_window);
        // The size the picture is fitted to is the box of the next picture and of its preparation ahead.
        // It is not read again before each load: a picture step reads the window's size once, after the
        // load, to place the picture, and an extra read at every tick would add a platform call to the
        // step for the sake of a display change, which is rare. So after a display change the picture of
        // that tick is still asked for with the old box (it was prepared for it, and is scaled once to
        // its place), and from the next picture on every one is decoded for the new screen.
        m_picture_box = platform::SizeF{static_cast<float>(sw), static_cast<float>(sh)};
        // The element now has the picture's natural size: it is read for the aspect, then again for
        // the choice of placement.
        const double h = image_geometry(Geometry::Height);
        const double w = image_geometry(Geometry::Width);
        const double aspect = checked_divide(w, h);
        const float natural_w = image_geometry(Geometry::Width);
        const float natural_h = image_geometry(Geometry::Height);
        const PictureFit fit = fit_picture(static_cast<float>(sw), static_cast<float>(sh), natural_w,
                                                     natural_h, aspect);
        switch (fit.placement) {
        case Placement::NaturalSize: place_natural_size(sw, sh); break;
        case Placement::FullWidth: place_full_width(sh, fit); break;
        case Placement::FullHeight: place_full_height(sw, fit); break;
        }
        windows.set_visible(m_window, kImage1, true);
        m_state.first_move = true;
    });
}

void Form1::prefetch(std::int16_t number)
{
    // Only a hint to the loader, so that the picture is ready by its tick: its failure changes nothing.
    trap([&] { m_platform.pictures.prefetch(picture_path(m_platform.app.info().folder, number), m_picture_box); });
}

// The element is centred on the size it has, read from it again.
void Form1::place_natural_size(double sw, double sh)
{
    m_platform.windows.set_stretch(m_window, kImage1, false);
    set_image_geometry(Geometry::Left, centred(sw, image_geometry(Geometry::Width)));
    set_image_geometry(Geometry::Top, centred(sh, image_geometry(Geometry::Height)));
}

void Form1::place_full_width(double sh, const PictureFit& fit)
{
    m_platform.windows.set_stretch(m_window, kImage1, true);
    set_image_geometry(Geometry::Width, fit.width);
    set_image_geometry(Geometry::Height, fit.height);
    set_image_geometry(Geometry::Left, fit.left);
    // Centre with the height the element took, which may differ from the one asked for.
    set_image_geometry(Geometry::Top, centred(sh, image_geometry(Geometry::Height)));
}

void Form1::place_full_height(double sw, const PictureFit& fit)
{
    m_platform.windows.set_stretch(m_window, kImage1, true);
    set_image_geometry(Geometry::Height, fit.height);
    set_image_geometry(Geometry::Width, fit.width);
    // Centre with the width the element took, which may differ from the one asked for.
    set_image_geometry(Geometry::Left, centred(sw, image_geometry(Geometry::Width)));
    set_image_geometry(Geometry::Top, fit.top);
}

} // namespace slideshow

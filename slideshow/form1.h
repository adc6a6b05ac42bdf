// The slideshow window: takes over the screen, shows the pictures in turn, ends on input.
#pragma once

#include "platform/platform.h"
#include "imaging/picture_placement.h"

#include <cstdint>

namespace slideshow {

// What the window keeps between its events.
struct Form1State {
    bool first_move = false;                // the next mouse move only records a baseline
    float start_x = 0;                      // baseline of the movement test
    float start_y = 0;
    platform::NativeHandle saved_ime_context = 0;
    platform::NativeHandle taskbar_wnd = 0; // 0 when the desktop has no taskbar
    std::int16_t picture_no = 0;            // the picture the next step shows
    std::int16_t picture_count = 0;
    bool display_off = false;               // no picture is read while nobody can see it
    int ticks_while_off = 0;                // pictures passed over since the display went off
};

class Form1 final : public platform::WindowEvents {
public:
    explicit Form1(platform::Platform& platform);

    // Creates the window from its definition and runs the load handler, which takes over
    // the desktop and shows the first picture. Throws RuntimeError when the window cannot
    // be created; the load handler itself never throws.
    void load();
    [[nodiscard]] platform::WindowId window() const { return m_window; }
    [[nodiscard]] const Form1State& state() const { return m_state; }

    void on_unload() override;
    void on_timer(platform::ElementId timer) override;
    void on_key_down(int key_code, int shift) override;
    void on_mouse_down(platform::ElementId source, int button, int shift, float x, float y) override;
    void on_mouse_move(platform::ElementId source, int button, int shift, float x, float y) override;
    void on_display_power(bool on) override;

private:
    void on_load();
    void ShowNextPicture();
    void prefetch(std::int16_t number);
    void place_natural_size(double sw, double sh);
    void place_full_width(double sh, const imaging::PictureFit& fit);
    void place_full_height(double sw, const imaging::PictureFit& fit);
    [[nodiscard]] platform::NativeHandle handle();
    [[nodiscard]] float image_geometry(platform::Geometry g);
    void set_image_geometry(platform::Geometry g, double value);

    platform::Platform& m_platform;
    platform::WindowId m_window{};
    Form1State m_state;
    // The box the next picture is asked for with: the screen as the window last saw it (see
    // ShowNextPicture); empty until the load handler has read the screen's size.
    platform::SizeF m_picture_box;
};

} // namespace slideshow

// The slideshow window as it is created: frameless, black, pixel scale, a timer and a picture.
#pragma once

#include "platform/types.h"

#include <array>

namespace slideshow {

constexpr int kTickMs = 10000;

inline constexpr std::array kForm1Elements{
    platform::ElementDef{.kind = platform::ElementKind::Timer, .name = "Timer1", .interval_ms = kTickMs},
    platform::ElementDef{.kind = platform::ElementKind::Image,
                         .name = "Image1",
                         .left = 480,
                         .top = 480,
                         .width = 6150,
                         .height = 4950},
};

inline constexpr platform::WindowDef kForm1Def{
    .name = "Form1",
    .frame = platform::Frame::None,
    .caption = "Form1",
    .initial_state = platform::WindowState::Maximised,
    .has_back_colour = true,
    .back_colour = platform::kBlack,
    .scale = platform::ScaleMode::Pixels,
    .key_preview = true,
    .show_in_taskbar = false,
    .start_position = platform::StartPosition::PlatformDefault,
    .inside_width = 9810,
    .inside_height = 7440,
    .icon = platform::IconId::SlideshowWindow,
    .elements = kForm1Elements,
};

inline constexpr platform::ElementId kTimer1 = platform::element_id(kForm1Def, "Timer1");
inline constexpr platform::ElementId kImage1 = platform::element_id(kForm1Def, "Image1");
static_assert(platform::index_of(kTimer1) >= 0 && platform::index_of(kImage1) >= 0);

} // namespace slideshow

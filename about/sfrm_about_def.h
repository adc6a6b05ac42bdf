// The version dialog as it is created: icon, identity block, separator, notice and buttons.
#pragma once

#include "platform/types.h"

#include <array>

namespace about {

inline constexpr platform::FontDef kTitleFont{
    .face = "ＭＳ Ｐゴシック", .points = 9, .weight = 700, .charset = 128};

inline constexpr std::array kAboutElements{
    platform::ElementDef{.kind = platform::ElementKind::PictureBox, .name = "picIcon",
                         .left = 240, .top = 240, .width = 480, .height = 480,
                         .tab_index = 1, .picture = platform::IconId::Program},
    platform::ElementDef{.kind = platform::ElementKind::Button, .name = "cmdOK",
                         .left = 4560, .top = 1980, .width = 1380, .height = 345,
                         .text = "OK", .tab_index = 0, .role = platform::ButtonRole::DefaultAndCancel},
    platform::ElementDef{.kind = platform::ElementKind::Button, .name = "cmdSysInfo",
                         .left = 4560, .top = 2400, .width = 1380, .height = 345,
                         .text = "ｼｽﾃﾑ情報(&S)...", .tab_index = 2},
    platform::ElementDef{.kind = platform::ElementKind::Label, .name = "lblLegalCopyright",
                         .left = 180, .top = 1200, .width = 5820, .height = 450, .tab_index = 8},
    platform::ElementDef{.kind = platform::ElementKind::Label, .name = "lblCompanyName",
                         .left = 180, .top = 930, .width = 5760, .height = 225, .tab_index = 7},
    platform::ElementDef{.kind = platform::ElementKind::Line, .name = "Line1",
                         .left = 120, .top = 1830, .width = 6000, .height = 1830,
                         .has_colour = true, .colour = platform::rgb(128, 128, 128), .line_width_px = 1},
    platform::ElementDef{.kind = platform::ElementKind::Label, .name = "lblTitle",
                         .left = 1050, .top = 240, .width = 4905, .height = 285,
                         .text = "ｱﾌﾟﾘｹｰｼｮﾝ ﾀｲﾄﾙ", .tab_index = 5,
                         .has_colour = true, .colour = platform::kBlack, .font = &kTitleFont},
    platform::ElementDef{.kind = platform::ElementKind::Line, .name = "Line1",
                         .left = 120, .top = 1800, .width = 6000, .height = 1800,
                         .has_colour = true, .colour = platform::kWhite, .line_width_px = 2},
    platform::ElementDef{.kind = platform::ElementKind::Label, .name = "lblVersion",
                         .left = 1050, .top = 600, .width = 4905, .height = 225,
                         .text = "ﾊﾞｰｼﾞｮﾝ", .tab_index = 6},
    platform::ElementDef{.kind = platform::ElementKind::Label, .name = "lblDisclaimer",
                         .left = 180, .top = 2160, .width = 4230, .height = 525,
                         .text = "警告: ...", .tab_index = 4,
                         .has_colour = true, .colour = platform::kBlack},
};

inline constexpr platform::WindowDef kAboutDef{
    .name = "SFrm_About",
    .frame = platform::Frame::FixedDialog,
    .caption = "ﾊﾞｰｼﾞｮﾝ情報",
    .scale = platform::ScaleMode::Twips,
    .show_in_taskbar = false,
    .start_position = platform::StartPosition::CentreOwnerOrScreen,
    .inside_width = 6105,
    .inside_height = 2880,
    .icon = platform::IconId::None,
    .elements = kAboutElements,
};

inline constexpr platform::ElementId kCmdOK = platform::element_id(kAboutDef, "cmdOK");
inline constexpr platform::ElementId kCmdSysInfo = platform::element_id(kAboutDef, "cmdSysInfo");
inline constexpr platform::ElementId kLblTitle = platform::element_id(kAboutDef, "lblTitle");
inline constexpr platform::ElementId kLblVersion = platform::element_id(kAboutDef, "lblVersion");
inline constexpr platform::ElementId kLblCompanyName = platform::element_id(kAboutDef, "lblCompanyName");
inline constexpr platform::ElementId kLblLegalCopyright = platform::element_id(kAboutDef, "lblLegalCopyright");
inline constexpr platform::ElementId kLblDisclaimer = platform::element_id(kAboutDef, "lblDisclaimer");

} // namespace about

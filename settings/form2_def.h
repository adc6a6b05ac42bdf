// The settings dialog as it is created: a notice, OK over Cancel, and a help menu.
#pragma once

#include "platform/types.h"

#include <array>

namespace settings {

inline constexpr std::array kForm2Elements{
    platform::ElementDef{.kind = platform::ElementKind::Button,
                         .name = "Cmd_Cancel",
                         .left = 5160, .top = 600, .width = 1215, .height = 375,
                         .text = "キャンセル",
                         .tab_index = 1,
                         .role = platform::ButtonRole::Cancel},
    platform::ElementDef{.kind = platform::ElementKind::Button,
                         .name = "Cmd_OK",
                         .left = 5160, .top = 120, .width = 1215, .height = 375,
                         .text = "ＯＫ",
                         .tab_index = 0,
                         .role = platform::ButtonRole::Default},
    platform::ElementDef{.kind = platform::ElementKind::Label,
                         .name = "Label1",
                         .left = 120, .top = 240, .width = 3135, .height = 255,
                         .text = "設定項目はございません。",
                         .tab_index = 2},
};

inline constexpr std::array kForm2Menu{
    platform::MenuDef{.name = "MENU_HELP", .caption = "ヘルプ(&H)", .level = 0},
    platform::MenuDef{.name = "MENU_Version", .caption = "バージョン情報(&V)...", .level = 1},
};

inline constexpr platform::WindowDef kForm2Def{
    .name = "Form2",
    .frame = platform::Frame::FixedSingle,
    .caption = "設定",
    .scale = platform::ScaleMode::Twips,
    .show_in_taskbar = true,
    .start_position = platform::StartPosition::CentreOwnerOrScreen,
    .inside_width = 6495,
    .inside_height = 1095,
    .icon = platform::IconId::Program,
    .elements = kForm2Elements,
    .menu = kForm2Menu,
};

inline constexpr platform::ElementId kCmdOK = platform::element_id(kForm2Def, "Cmd_OK");
inline constexpr platform::ElementId kCmdCancel = platform::element_id(kForm2Def, "Cmd_Cancel");
inline constexpr platform::MenuId kMenuVersion = platform::menu_id(kForm2Def, "MENU_Version");
static_assert(platform::index_of(kCmdOK) >= 0 && platform::index_of(kCmdCancel) >= 0 &&
              platform::index_of(kMenuVersion) >= 0);

} // namespace settings

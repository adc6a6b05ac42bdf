// The ids of elements and menu entries: types of their own, found by name in a window definition.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <type_traits>

namespace platform {
namespace {

// An element, a menu entry and a plain number cannot be passed one for another.
static_assert(!std::is_convertible_v<int, ElementId> && !std::is_convertible_v<ElementId, int>);
static_assert(!std::is_convertible_v<int, MenuId> && !std::is_convertible_v<MenuId, int>);
static_assert(!std::is_convertible_v<MenuId, ElementId> && !std::is_convertible_v<ElementId, MenuId>);
static_assert(!std::is_invocable_v<decltype(&WindowEvents::on_timer), WindowEvents&, int>);
static_assert(!std::is_invocable_v<decltype(&WindowEvents::on_click), WindowEvents&, MenuId>);
static_assert(!std::is_invocable_v<decltype(&WindowEvents::on_menu), WindowEvents&, ElementId>);
static_assert(!std::is_invocable_v<decltype(&Windowing::set_visible), Windowing&, WindowId, int, bool>);

constexpr ElementDef kElements[] = {{.name = "Timer1"}, {.name = "Image1"}};
constexpr MenuDef kMenu[] = {{.name = "MENU_HELP"}, {.name = "MENU_Version", .level = 1}};
constexpr WindowDef kDef{.name = "Test", .elements = kElements, .menu = kMenu};

TEST(ElementAndMenuIds, StandForTheIndexOfTheirNameInTheDefinition)
{
    EXPECT_EQ(index_of(element_id(kDef, "Timer1")), 0);
    EXPECT_EQ(index_of(element_id(kDef, "Image1")), 1);
    EXPECT_EQ(index_of(element_id(kDef, "Image2")), -1);
    EXPECT_EQ(index_of(menu_id(kDef, "MENU_Version")), 1);
    EXPECT_EQ(index_of(menu_id(kDef, "Image1")), -1) << "elements and menu entries are looked up apart";
    EXPECT_NE(element_id(kDef, "Image1"), kWindowItself);
}

} // namespace
} // namespace platform

// Tests of the windows built from the program's definitions: layout, painting, input, keys, modal shows.
#include "platform/win32/ui/win32_windowing.h"

#include "about/sfrm_about_def.h"
#include "platform/errors.h"
#include "platform/win32/common/win32_text.h"
#include "platform/win32/loader/win32_pictures.h"
#include "platform/win32/ui/win32_dpi.h"
#include "platform/win32/ui/win32_fonts.h"
#include "settings/form2_def.h"
#include "slideshow/form1_def.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>

namespace platform::win32 {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;

// Records every event as a readable line.
class Recorder final : public WindowEvents {
public:
    std::vector<std::string> calls;
    std::function<void()> unload_action;
    std::function<void(ElementId)> click_action;

    void on_unload() override
    {
        calls.push_back("unload");
        if (unload_action)
            unload_action();
    }
    void on_timer(ElementId id) override { calls.push_back("timer(" + std::to_string(index_of(id)) + ")"); }
    void on_key_down(int key, int shift) override { calls.push_back(line("key_down", key, shift)); }
    void on_mouse_down(ElementId source, int button, int shift, float x, float y) override
    {
        calls.push_back(line("mouse_down", index_of(source), button, shift, x, y));
    }
    void on_mouse_move(ElementId source, int button, int shift, float x, float y) override
    {
        calls.push_back(line("mouse_move", index_of(source), button, shift, x, y));
    }
    void on_click(ElementId id) override
    {
        calls.push_back("click(" + std::to_string(index_of(id)) + ")");
        if (click_action)
            click_action(id);
    }
    void on_menu(MenuId id) override { calls.push_back("menu(" + std::to_string(index_of(id)) + ")"); }

private:
    template <class... T>
    static std::string line(const char* name, T... values)
    {
        std::ostringstream out;
        out << name << '(';
        const char* separator = "";
        ((out << separator << values, separator = ","), ...);
        out << ')';
        return out.str();
    }
};

PictureRef solid_picture(int width, int height, std::uint32_t bgra)
{
    auto pixels = std::make_shared<Dib>(width, height);
    std::fill_n(reinterpret_cast<std::uint32_t*>(pixels->bits()), std::size_t(width) * height, bgra);
    return std::make_shared<Win32Picture>(width, height, pixels);
}

constexpr std::uint32_t kRedPixel = 0xFFFF0000;     // BGRA in memory: B 0, G 0, R 255, A 255
constexpr COLORREF kRed = RGB(255, 0, 0);

class WindowingTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        // Closing a test's last window asks the thread to quit; the next test starts afresh.
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
    }

    // Handles this thread's messages until `done` holds or `ms` milliseconds have passed.
    bool pump_until(const std::function<bool()>& done, DWORD ms = 3000)
    {
        const DWORD deadline = ::GetTickCount() + ms;
        while (!done()) {
            if (::GetTickCount() > deadline)
                return false;
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
            MSG msg;
            while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (msg.message == WM_QUIT)
                    continue;
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
        }
        return true;
    }

    HWND hwnd(WindowId id) { return reinterpret_cast<HWND>(windows.handle(id)); }

    // A key as the event loop would hand it to the dialog manager.
    bool dialog_key(WindowId id, UINT message, WPARAM key)
    {
        MSG msg{};
        msg.hwnd = ::GetFocus() ? ::GetFocus() : hwnd(id);
        msg.message = message;
        msg.wParam = key;
        msg.lParam = 1;
        return ::IsDialogMessageW(hwnd(id), &msg);
    }

    RECT child_rect(WindowId id, ElementId element)
    {
        HWND parent = hwnd(id);
        HWND child = ::GetDlgItem(parent, kControlIdBase + index_of(element));
        RECT r{};
        ::GetWindowRect(child, &r);
        ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
        return r;
    }

    COLORREF pixel(WindowId id, int x, int y)
    {
        const WindowDc dc(hwnd(id));
        return ::GetPixel(dc.get(), x, y);
    }

    Recorder events;
    Win32Windowing windows;
};

// ---- The slideshow window ----

class SlideshowWindowTest : public WindowingTest {
protected:
    void SetUp() override { form1 = windows.create(slideshow::kForm1Def, events); }
    [[nodiscard]] unsigned dpi() { return window_dpi(hwnd(form1)); }
    void show_full_screen()
    {
        const SizeF screen = windows.screen_size();
        windows.set_outer_size(form1, screen.width, screen.height);
        windows.show(form1);
        windows.set_state(form1, WindowState::Maximised);
    }
    WindowId form1{};
    static constexpr ElementId kImage = slideshow::kImage1;
};

TEST_F(SlideshowWindowTest, CreatedHiddenFramelessWithoutTaskbarButtonAndInPixels)
{
    HWND w = hwnd(form1);
    EXPECT_FALSE(::IsWindowVisible(w));
    const LONG_PTR style = ::GetWindowLongPtrW(w, GWL_STYLE);
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_FALSE(style & (WS_CAPTION | WS_THICKFRAME | WS_SYSMENU));
    EXPECT_TRUE(::GetWindowLongPtrW(w, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    // The definition's inside size (9810 x 7440 twips) in whole pixels, and Image1's left and width
    // (480 and 6150 twips) in exact pixels, at the usual dpis.
    struct AtDpi {
        unsigned dpi;
        float inside_width, inside_height, image_left, image_width;
    };
    static const AtDpi kSizes[] = {
        {96, 654, 496, 32, 410}, {120, 818, 620, 40, 512.5f}, {144, 981, 744, 48, 615}, {192, 1308, 992, 64, 820}};
    const unsigned window = dpi();
    const auto at = std::find_if(std::begin(kSizes), std::end(kSizes), [&](const AtDpi& s) { return s.dpi == window; });
    ASSERT_NE(at, std::end(kSizes)) << "no expected sizes for " << window << " dpi";
    EXPECT_EQ(windows.scale_width(form1), at->inside_width);
    EXPECT_EQ(windows.scale_height(form1), at->inside_height);
    EXPECT_EQ(windows.geometry(form1, kImage, Geometry::Left), at->image_left);
    EXPECT_EQ(windows.geometry(form1, kImage, Geometry::Width), at->image_width);
}

TEST_F(SlideshowWindowTest, OuterSizeIsTheScaleSizeAndMaximisedCoversTheWholeScreen)
{
    windows.set_outer_size(form1, 800, 600);
    EXPECT_EQ(windows.scale_width(form1), 800.0f);
    EXPECT_EQ(windows.scale_height(form1), 600.0f);

    show_full_screen();
    const SizeF screen = windows.screen_size();
    EXPECT_EQ(screen.width, float(::GetSystemMetrics(SM_CXSCREEN)));
    RECT r{};
    ::GetWindowRect(hwnd(form1), &r);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.right, long(screen.width));
    EXPECT_EQ(r.bottom, long(screen.height));
    EXPECT_TRUE(::IsZoomed(hwnd(form1)));
    EXPECT_EQ(windows.scale_width(form1), screen.width);
    EXPECT_EQ(windows.scale_height(form1), screen.height);
}

TEST_F(SlideshowWindowTest, PictureGivesItsNaturalSizeOnlyWithStretchOff)
{
    windows.set_stretch(form1, kImage, false);
    windows.set_picture(form1, kImage, solid_picture(123, 45, kRedPixel));
    EXPECT_EQ(windows.geometry(form1, kImage, Geometry::Width), 123.0f);
    EXPECT_EQ(windows.geometry(form1, kImage, Geometry::Height), 45.0f);

    windows.set_stretch(form1, kImage, true);
    windows.set_geometry(form1, kImage, Geometry::Width, 500.25f);
    windows.set_geometry(form1, kImage, Geometry::Height, 300.5f);
    windows.set_picture(form1, kImage, solid_picture(10, 10, kRedPixel));
    EXPECT_EQ(windows.geometry(form1, kImage, Geometry::Width), 500.25f) << "read back exactly as written";
    EXPECT_EQ(windows.geometry(form1, kImage, Geometry::Height), 300.5f);
    windows.set_stretch(form1, kImage, false);
    EXPECT_EQ(windows.geometry(form1, kImage, Geometry::Width), 500.25f) << "only an assignment resizes";
}

TEST_F(SlideshowWindowTest, PaintsThePictureAtItsRoundedPlaceOnTheBackColour)
{
    show_full_screen();
    windows.set_stretch(form1, kImage, false);
    windows.set_picture(form1, kImage, solid_picture(100, 50, kRedPixel));
    windows.set_geometry(form1, kImage, Geometry::Left, 50.5f);
    windows.set_geometry(form1, kImage, Geometry::Top, 20.0f);
    windows.refresh(form1);
    EXPECT_EQ(pixel(form1, 50, 30), RGB(0, 0, 0));
    EXPECT_EQ(pixel(form1, 51, 30), kRed);
    EXPECT_EQ(pixel(form1, 150, 30), kRed);
    EXPECT_EQ(pixel(form1, 151, 30), RGB(0, 0, 0));
    EXPECT_EQ(pixel(form1, 100, 19), RGB(0, 0, 0));
    EXPECT_EQ(pixel(form1, 100, 69), kRed);
    EXPECT_EQ(pixel(form1, 100, 70), RGB(0, 0, 0));

    windows.set_stretch(form1, kImage, true);
    windows.set_geometry(form1, kImage, Geometry::Width, 200.0f);
    windows.set_back_colour(form1, rgb(0, 0, 255));
    windows.refresh(form1);
    EXPECT_EQ(pixel(form1, 250, 69), kRed) << "stretched to the element's width";
    EXPECT_EQ(pixel(form1, 251, 30), RGB(0, 0, 255));

    windows.set_visible(form1, kImage, false);
    windows.refresh(form1);
    EXPECT_EQ(pixel(form1, 100, 30), RGB(0, 0, 255));
}

TEST_F(SlideshowWindowTest, MouseOverThePictureIsReportedInThePicturesFrame)
{
    windows.set_geometry(form1, kImage, Geometry::Left, 50.5f);
    windows.set_geometry(form1, kImage, Geometry::Top, 10.0f);
    windows.set_geometry(form1, kImage, Geometry::Width, 100.0f);
    windows.set_geometry(form1, kImage, Geometry::Height, 100.0f);
    HWND w = hwnd(form1);
    ::SendMessageW(w, WM_MOUSEMOVE, 0, MAKELPARAM(60, 20));
    ::SendMessageW(w, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(10, 5));
    ::SendMessageW(w, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(51, 10));
    ::SendMessageW(w, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(151, 300));
    ::SendMessageW(w, WM_MBUTTONDOWN, MK_MBUTTON, MAKELPARAM(150, 109));
    EXPECT_EQ(::SendMessageW(w, WM_XBUTTONDOWN, MAKEWPARAM(0, XBUTTON2), MAKELPARAM(0, 0)), TRUE);
    windows.set_visible(form1, kImage, false);
    ::SendMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(60, 20));
    EXPECT_THAT(events.calls, ElementsAre("mouse_move(1,0,0,9,10)", "mouse_move(-1,1,0,10,5)",
                                          "mouse_down(1,2,0,0,0)", "mouse_down(-1,1,0,151,300)",
                                          "mouse_down(1,4,0,99,99)", "mouse_down(-1,16,0,0,0)",
                                          "mouse_down(-1,1,0,60,20)"));
}

TEST_F(SlideshowWindowTest, EveryKeyReachesTheWindowAndSystemKeysOpenNoMenu)
{
    HWND w = hwnd(form1);
    ::SendMessageW(w, WM_KEYDOWN, 'A', 1);
    EXPECT_EQ(::SendMessageW(w, WM_SYSKEYDOWN, VK_F10, 1), 0);
    EXPECT_EQ(::SendMessageW(w, WM_SYSKEYDOWN, VK_MENU, 1 | (1 << 29)), 0);
    EXPECT_EQ(::SendMessageW(w, WM_SYSCHAR, 'x', 1 | (1 << 29)), 0);
    EXPECT_EQ(::SendMessageW(w, WM_SYSKEYUP, VK_MENU, 1 | (3u << 30)), 0);
    EXPECT_THAT(events.calls, ElementsAre("key_down(65,0)", "key_down(121,0)", "key_down(18,0)"));
}

TEST_F(SlideshowWindowTest, UnloadRaisesTheHandlerWhileTheWindowExistsThenDestroysIt)
{
    HWND w = hwnd(form1);
    bool alive_in_handler = false;
    events.unload_action = [&] {
        alive_in_handler = ::IsWindow(w);
        windows.unload(form1); // an unload under way is not started again
    };
    windows.unload(form1);
    EXPECT_TRUE(alive_in_handler);
    EXPECT_THAT(events.calls, ElementsAre("unload"));
    EXPECT_FALSE(::IsWindow(w));
    EXPECT_EQ(windows.open_windows(), 0u);
    MSG msg;
    EXPECT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE)) << "the last window posts the quit";
    EXPECT_THROW(windows.set_caption(form1, "x"), RuntimeError);
    EXPECT_THROW(windows.unload(form1), RuntimeError);
}

TEST_F(SlideshowWindowTest, CloseRequestsAndTheEndOfTheSessionUnload)
{
    Recorder second;
    const WindowId other = windows.create(slideshow::kForm1Def, second);
    ::SendMessageW(hwnd(form1), WM_CLOSE, 0, 0);
    EXPECT_EQ(::SendMessageW(hwnd(other), WM_QUERYENDSESSION, 0, 0), TRUE);
    EXPECT_THAT(events.calls, ElementsAre("unload"));
    EXPECT_THAT(second.calls, ElementsAre("unload"));
    EXPECT_EQ(windows.open_windows(), 0u);
}

TEST_F(SlideshowWindowTest, TimersTickFromCreationAtTheirInterval)
{
    static constexpr std::array kQuickTimer{ElementDef{.kind = ElementKind::Timer, .name = "T", .interval_ms = 30}};
    static const WindowDef def = [] {
        WindowDef d = slideshow::kForm1Def;
        d.elements = kQuickTimer;
        return d;
    }();
    Recorder ticking;
    const WindowId quick = windows.create(def, ticking);
    EXPECT_TRUE(pump_until([&] { return ticking.calls.size() >= 3; }));
    EXPECT_THAT(ticking.calls, Contains("timer(0)"));
    windows.unload(quick);
    EXPECT_TRUE(events.calls.empty()) << "the slideshow window's own timer has not ticked yet";
}

// ---- The settings dialog ----

class SettingsDialogTest : public WindowingTest {
protected:
    void SetUp() override
    {
        form2 = windows.create(settings::kForm2Def, events);
        at_96_dpi = window_dpi(hwnd(form2)) == 96;
    }
    WindowId form2{};
    bool at_96_dpi = true;
};

TEST_F(SettingsDialogTest, InsideBelowTheMenuBarAndControlsAtTheirPlaces)
{
    if (!at_96_dpi)
        GTEST_SKIP() << "the pixel figures below hold at 96 dpi";
    HWND w = hwnd(form2);
    RECT client{};
    ::GetClientRect(w, &client);
    EXPECT_EQ(client.right, 433);
    EXPECT_EQ(client.bottom, 73);
    const RECT ok = child_rect(form2, settings::kCmdOK);
    EXPECT_EQ(ok.left, 344);
    EXPECT_EQ(ok.top, 8);
    EXPECT_EQ(ok.right - ok.left, 81);
    EXPECT_EQ(ok.bottom - ok.top, 25);
    const RECT cancel = child_rect(form2, settings::kCmdCancel);
    EXPECT_EQ(cancel.top, 40);
    const RECT label = child_rect(form2, platform::element_id(settings::kForm2Def, "Label1"));
    EXPECT_EQ(label.left, 8);
    EXPECT_EQ(label.top, 16);
    EXPECT_EQ(label.right - label.left, 209);
    EXPECT_EQ(windows.scale_width(form2), 6495.0f);
}

TEST_F(SettingsDialogTest, FrameMenuAndTextsAreThoseOfTheDefinition)
{
    HWND w = hwnd(form2);
    const LONG_PTR style = ::GetWindowLongPtrW(w, GWL_STYLE);
    EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));
    EXPECT_TRUE(::GetWindowLongPtrW(w, GWL_EXSTYLE) & WS_EX_APPWINDOW);
    EXPECT_EQ(::GetWindow(w, GW_OWNER), nullptr);
    EXPECT_NE(::SendMessageW(w, WM_GETICON, ICON_SMALL, 0), 0);

    wchar_t text[64] = {};
    ::GetWindowTextW(w, text, 64);
    EXPECT_EQ(narrow(text), "設定");
    ::GetDlgItemTextW(w, kControlIdBase + index_of(settings::kCmdOK), text, 64);
    EXPECT_EQ(narrow(text), "ＯＫ");
    HMENU bar = ::GetMenu(w);
    ASSERT_NE(bar, nullptr);
    ::GetMenuStringW(bar, 0, text, 64, MF_BYPOSITION);
    EXPECT_EQ(narrow(text), "ヘルプ(&H)");
    ::GetMenuStringW(::GetSubMenu(bar, 0), kMenuIdBase + index_of(settings::kMenuVersion), text, 64, MF_BYCOMMAND);
    EXPECT_EQ(narrow(text), "バージョン情報(&V)...");

    windows.set_caption(form2, "KWOBL スライドショー");
    ::GetWindowTextW(w, text, 64);
    EXPECT_EQ(narrow(text), "KWOBL スライドショー");
}

TEST_F(SettingsDialogTest, EnterPressesTheDefaultOrFocusedButtonAndEscTheCancelButton)
{
    windows.show(form2);
    HWND ok = ::GetDlgItem(hwnd(form2), kControlIdBase + index_of(settings::kCmdOK));
    HWND cancel = ::GetDlgItem(hwnd(form2), kControlIdBase + index_of(settings::kCmdCancel));
    EXPECT_EQ(::GetFocus(), ok) << "the first in tab order";
    EXPECT_TRUE(dialog_key(form2, WM_KEYDOWN, VK_RETURN));
    EXPECT_TRUE(dialog_key(form2, WM_KEYDOWN, VK_ESCAPE));
    EXPECT_TRUE(dialog_key(form2, WM_KEYDOWN, VK_TAB));
    EXPECT_EQ(::GetFocus(), cancel);
    EXPECT_TRUE(dialog_key(form2, WM_KEYDOWN, VK_RETURN));
    EXPECT_THAT(events.calls, ElementsAre("click(1)", "click(0)", "click(0)"));
}

// ---- The version dialog, opened from the settings dialog ----

class VersionDialogTest : public WindowingTest {
protected:
    void SetUp() override
    {
        form2 = windows.create(settings::kForm2Def, form2_events);
        windows.show(form2);
        about = windows.create(about::kAboutDef, events);
    }
    Recorder form2_events;
    WindowId form2{};
    WindowId about{};
};

TEST_F(VersionDialogTest, OwnedByTheSettingsDialogAndCentredOnIt)
{
    HWND w = hwnd(about);
    EXPECT_EQ(::GetWindow(w, GW_OWNER), hwnd(form2));
    const LONG_PTR ex = ::GetWindowLongPtrW(w, GWL_EXSTYLE);
    EXPECT_TRUE(ex & WS_EX_DLGMODALFRAME);
    EXPECT_FALSE(ex & WS_EX_APPWINDOW);
    RECT client{};
    ::GetClientRect(w, &client);
    EXPECT_EQ(client.right, twips_to_pixels(6105, window_dpi(w)));
    EXPECT_EQ(client.bottom, twips_to_pixels(2880, window_dpi(w)));
    RECT mine{};
    RECT owner{};
    ::GetWindowRect(w, &mine);
    ::GetWindowRect(hwnd(form2), &owner);
    EXPECT_NEAR((mine.left + mine.right) / 2, (owner.left + owner.right) / 2, 1);
}

TEST_F(VersionDialogTest, ModalShowReturnsOnceUnloadedWithTheOwnerDisabledMeanwhile)
{
    bool owner_enabled_while_open = true;
    events.unload_action = [&] { owner_enabled_while_open = ::IsWindowEnabled(hwnd(form2)); };
    ::PostMessageW(hwnd(about), WM_CLOSE, 0, 0);
    windows.show_modal(about);
    EXPECT_FALSE(owner_enabled_while_open);
    EXPECT_THAT(events.calls, ElementsAre("unload"));
    EXPECT_EQ(windows.open_windows(), 1u);
    EXPECT_TRUE(::IsWindowEnabled(hwnd(form2)));
}

TEST_F(VersionDialogTest, AHandlersFailureReachesTheCallerOfTheModalShow)
{
    events.click_action = [](ElementId) { throw RuntimeError("the handler fails"); };
    ::PostMessageW(hwnd(about), WM_COMMAND, IDCANCEL, 0);
    EXPECT_THROW(windows.show_modal(about), RuntimeError);
    EXPECT_THAT(events.calls, ElementsAre("click(1)"));
    EXPECT_EQ(windows.open_windows(), 1u) << "the dialog ended with its show";
    EXPECT_TRUE(::IsWindowEnabled(hwnd(form2)));
}

TEST_F(VersionDialogTest, EnterEscAndTheAccessKeyPressTheirButtons)
{
    windows.show(about);
    EXPECT_TRUE(dialog_key(about, WM_KEYDOWN, VK_ESCAPE));
    EXPECT_TRUE(dialog_key(about, WM_KEYDOWN, VK_RETURN));
    EXPECT_TRUE(dialog_key(about, WM_SYSCHAR, 's'));
    EXPECT_THAT(events.calls, ElementsAre("click(1)", "click(1)", "click(2)"));
}

TEST_F(VersionDialogTest, TitleLabelHasItsOwnBoldFontAndTheOthersTheDialogFont)
{
    HWND w = hwnd(about);
    const auto font_of = [&](ElementId id) {
        LOGFONTW font{};
        auto handle =
            reinterpret_cast<HFONT>(::SendDlgItemMessageW(w, kControlIdBase + index_of(id), WM_GETFONT, 0, 0));
        ::GetObjectW(handle, sizeof font, &font);
        return font;
    };
    const LOGFONTW title = font_of(about::kLblTitle);
    EXPECT_EQ(title.lfWeight, 700);
    EXPECT_EQ(title.lfHeight, -::MulDiv(9, int(window_dpi(w)), 72));
    EXPECT_TRUE(font_installed(title.lfFaceName) || title.lfCharSet != 128);
    const LOGFONTW version = font_of(about::kLblVersion);
    const LOGFONTW message = message_font(window_dpi(w));
    EXPECT_EQ(std::wstring(version.lfFaceName), std::wstring(message.lfFaceName));
    EXPECT_EQ(version.lfHeight, message.lfHeight);
}

TEST_F(VersionDialogTest, IconAndSeparatorLinesArePaintedInPlace)
{
    windows.show(about);
    windows.refresh(about);
    if (window_dpi(hwnd(about)) != 96)
        GTEST_SKIP() << "the pixel figures below hold at 96 dpi";
    const COLORREF face = ::GetSysColor(COLOR_BTNFACE);
    EXPECT_EQ(pixel(about, 15, 15), face);
    EXPECT_EQ(pixel(about, 16, 16), RGB(0, 0, 0)) << "the icon's black outline";
    EXPECT_EQ(pixel(about, 47, 47), RGB(0, 0, 0));
    EXPECT_EQ(pixel(about, 48, 48), face);
    EXPECT_EQ(pixel(about, 7, 120), face);
    EXPECT_EQ(pixel(about, 8, 120), RGB(255, 255, 255));
    EXPECT_EQ(pixel(about, 399, 121), RGB(255, 255, 255));
    EXPECT_EQ(pixel(about, 200, 122), RGB(128, 128, 128));
    EXPECT_EQ(pixel(about, 200, 123), face);
    EXPECT_EQ(pixel(about, 400, 120), face);
}

TEST(Win32FontsTest, AMissingFaceFallsBackWithItsSizeAndWeight)
{
    EXPECT_FALSE(font_installed(L"KWOBL No Such Face"));
    static constexpr FontDef kMissing{.face = "KWOBL No Such Face", .points = 12, .weight = 700, .charset = 128};
    const UniqueHfont font = create_font(kMissing, 96);
    LOGFONTW got{};
    ASSERT_TRUE(::GetObjectW(font.get(), sizeof got, &got));
    EXPECT_NE(std::wstring(got.lfFaceName), L"KWOBL No Such Face");
    EXPECT_FALSE(std::wstring(got.lfFaceName).empty());
    EXPECT_EQ(got.lfHeight, -16);
    EXPECT_EQ(got.lfWeight, 700);
}

} // namespace
} // namespace platform::win32

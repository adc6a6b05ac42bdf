// The slideshow window against the fake platform: what the user sees and what the run leaves behind.
#include "slideshow/form1.h"

#include "platform/fake/fake_platform.h"
#include "slideshow/form1_def.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace slideshow {
namespace {

using platform::ElementId;
using platform::kWindowItself;
using platform::fake::FakePicture;
using platform::fake::FakePlatform;
using platform::fake::FakeWindow;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// ---- The picture files, as the fake's loader knows them: tests reach the loader only through these ----

std::string picture(int number)
{
    char name[32];
    std::snprintf(name, sizeof name, "C:\\Pictures\\KWOBL%03d.DAT", number);
    return name;
}

void give(FakePlatform& fake, int number, int width, int height)
{
    fake.pictures[picture(number)] = {width, height};
}

void take_away(FakePlatform& fake, int number)
{
    fake.pictures.erase(picture(number));
}

// The number of the file whose picture the element holds; 0 when it holds none.
int held_number(const FakeWindow::Element& image)
{
    const auto* held = dynamic_cast<const FakePicture*>(image.picture.get());
    return held == nullptr ? 0 : std::stoi(held->path().substr(held->path().size() - 7, 3));
}

// The files asked for ahead, oldest first.
std::vector<std::string> hints(const FakePlatform& fake)
{
    std::vector<std::string> out;
    for (const auto& call : fake.calls_starting("prefetch(\""))
        out.push_back(call.substr(10, call.find('"', 10) - 10));
    return out;
}

// The fake's application folder is C:\Pictures.
class Form1Test : public ::testing::Test {
protected:
    void tick() { form.on_timer(kTimer1); }
    const FakeWindow& window() { return fake.window(form.window()); }
    const FakeWindow::Element& image() { return window().element(kImage1); }
    // The picture the user sees: the number of its file, 0 for a black screen.
    int shown() { return image().visible ? held_number(image()) : 0; }

    FakePlatform fake;
    Form1 form{fake.platform()};
};

TEST_F(Form1Test, LoadTakesOverTheScreenAndTheDesktopAndShowsPictureOne)
{
    give(fake, 1, 800, 600);
    form.load();
    EXPECT_EQ(window().outer_width, 1920);
    EXPECT_EQ(window().outer_height, 1080);
    EXPECT_EQ(window().back_colour, platform::kBlack);
    EXPECT_TRUE(window().auto_redraw);
    EXPECT_TRUE(fake.screen_saving);
    EXPECT_FALSE(fake.profile_written);
    EXPECT_EQ(fake.cursor_count, -1);
    EXPECT_EQ(fake.ime_context_of(window().handle), 0u);
    EXPECT_FALSE(fake.taskbar_visible);
    EXPECT_TRUE(fake.other_monitors_covered);
    EXPECT_EQ(fake.covers_report_to, window().handle);
    EXPECT_EQ(fake.on_top, window().handle);
    EXPECT_EQ(shown(), 1);
    EXPECT_EQ(form.state().picture_no, 2);
    EXPECT_TRUE(form.state().first_move);
    EXPECT_FALSE(fake.ended);
}

TEST_F(Form1Test, EveryTickPutsTheWindowBackOnTopWithTheFocusAndPicturesCycleOneToFifty)
{
    for (int n = 1; n <= 50; ++n)
        if (n != 17)
            give(fake, n, 640, 480);
    form.load();
    std::vector<int> seen{shown()};
    std::vector<std::string> asked_ahead{picture(1)};
    for (int i = 0; i < 50; ++i) {
        fake.another_window_comes_to_front();
        tick();
        seen.push_back(shown());
        EXPECT_EQ(fake.on_top, window().handle);
        EXPECT_EQ(fake.focused, form.window());
    }
    // Going on top neither moves nor sizes the window.
    EXPECT_EQ(window().outer_width, 1920);
    EXPECT_EQ(window().outer_height, 1080);
    // A missing file is one interval of black screen.
    std::vector<int> expected;
    for (int n = 1; n <= 50; ++n) {
        expected.push_back(n == 17 ? 0 : n);
        asked_ahead.push_back(picture(n % 50 + 1));
    }
    expected.push_back(1);
    asked_ahead.push_back(picture(2));
    EXPECT_EQ(seen, expected);
    // After every step, the missing one included, the next number is asked for ahead.
    EXPECT_EQ(hints(fake), asked_ahead);
    EXPECT_EQ(form.state().picture_no, 2);
}

// Where the picture element ends up on a 1920 x 1080 screen, and at what size.
struct PlacedCase {
    int width, height; // the picture's natural size
    bool stretch;
    float left, top, element_width, element_height;
    const char* what;
    bool whole_pixels = false; // the element keeps whole pixels only
};

TEST(Form1Placement, EachPictureEndsUpWholeUndistortedAndCentred)
{
    static const PlacedCase kCases[] = {
        {800, 600, false, 560, 240, 800, 600, "smaller both ways: natural size, centred"},
        {1819, 979, false, 50.5f, 50.5f, 1819, 979, "differences of 101 leave halves"},
        {4000, 1000, true, 0, 300, 1920, 480, "wide: the full width, centred vertically"},
        {1920, 500, true, 0, 290, 1920, 500, "as wide as the screen: the full width at its own size"},
        {1500, 3000, true, 690, 0, 540, 1080, "portrait: the full height, centred horizontally"},
        {1000, 1080, true, 460, 0, 1000, 1080, "portrait as tall as the screen: the full height"},
        {3840, 2160, true, 0, 0, 1920, 1080, "landscape of the screen's aspect fills it by the full height"},
        {2160, 2160, true, 420, 0, 1080, 1080, "square: the full height"},
        // 1080 * 3000 / 2001 = 1619.1904047...: sizes and edges are rounded to single precision.
        {3000, 2001, true, 150.404785f, 0, 1619.19043f, 1080, "scaled, not a whole number of pixels"},
        {0, 2000, true, 960, 0, 0, 1080, "no width: an empty element"},
        // Asked for a height of 480.48, the element takes 480 and is centred on that (on 480.48 it
        // would sit at 299.76, kept as 299).
        {4000, 1001, true, 0, 300, 1920, 480, "centred on the height the element took", true},
        // Asked for a width of 270.27, it takes 270 and sits at 825 (on 270.27, at 824.865: 824).
        {1001, 4000, true, 825, 0, 270, 1080, "centred on the width the element took", true},
    };
    for (const PlacedCase& c : kCases) {
        SCOPED_TRACE(c.what);
        FakePlatform fake;
        if (c.whole_pixels)
            fake.element_takes = [](float value) { return static_cast<float>(static_cast<int>(value)); };
        give(fake, 1, c.width, c.height);
        Form1 form(fake.platform());
        form.load();
        const auto& image = fake.window(form.window()).element(kImage1);
        EXPECT_TRUE(image.visible);
        EXPECT_EQ(image.stretch, c.stretch);
        EXPECT_EQ((std::array{image.left, image.top, image.width, image.height}),
                  (std::array{c.left, c.top, c.element_width, c.element_height}));
    }
}

// A tick that fails at some step: what the user is left with until the next tick, which always
// starts afresh with the next number.
struct TickFailure {
    const char* what;
    std::function<void(FakePlatform&)> arrange;
    int shown;      // the picture on the screen, 0 for black
    int held;       // the picture the element holds
    bool stretch;   // whether the element draws it scaled
    int picture_no; // the number the next tick shows
};

TEST(Form1TickFailure, LeavesTheScreenAsTheUserWouldExpectAndTheNextTickGoesOn)
{
    const std::vector<TickFailure> cases{
        {"picture 2 is missing", [](FakePlatform& f) { take_away(f, 2); }, 0, 1, false, 3},
        {"picture 2 has no height", [](FakePlatform& f) { give(f, 2, 640, 0); }, 0, 2, false, 3},
        {"the focus cannot be given: no change", [](FakePlatform& f) { f.fail("set_focus"); }, 1, 1, true, 2},
        {"the picture cannot be hidden", [](FakePlatform& f) { f.fail("set_visible"); }, 1, 1, true, 2},
        {"the picture cannot be assigned", [](FakePlatform& f) { f.fail("set_picture"); }, 0, 1, false, 3},
        {"the window's size cannot be read", [](FakePlatform& f) { f.fail("scale_width"); }, 0, 2, false, 3},
        {"the element's size cannot be read", [](FakePlatform& f) { f.fail("geometry"); }, 0, 2, false, 3},
        {"the element cannot be placed", [](FakePlatform& f) { f.fail("set_geometry"); }, 0, 2, true, 3},
        {"the picture cannot be shown again", [](FakePlatform& f) { f.fail("set_visible", 2); }, 0, 2, true, 3},
        {"only the hint for the next one fails", [](FakePlatform& f) { f.fail("prefetch"); }, 2, 2, true, 3},
    };
    for (const TickFailure& c : cases) {
        SCOPED_TRACE(c.what);
        FakePlatform fake;
        for (int n = 1; n <= 3; ++n)
            give(fake, n, 3000, 2000);
        Form1 form(fake.platform());
        form.load();
        form.on_mouse_move(kWindowItself, 0, 0, 10, 10); // a baseline is taken
        c.arrange(fake);
        fake.another_window_comes_to_front();
        ASSERT_NO_THROW(form.on_timer(kTimer1));
        const auto& image = fake.window(form.window()).element(kImage1);
        EXPECT_EQ(image.visible ? held_number(image) : 0, c.shown);
        EXPECT_EQ(held_number(image), c.held);
        EXPECT_EQ(image.stretch, c.stretch);
        EXPECT_EQ(form.state().picture_no, c.picture_no);
        EXPECT_EQ(fake.on_top, fake.window(form.window()).handle);
        EXPECT_EQ(form.state().first_move, c.shown == 2); // only a picture change takes a new baseline
        EXPECT_FALSE(fake.ended);
        form.on_timer(kTimer1);
        EXPECT_TRUE(image.visible);
        EXPECT_EQ(held_number(image), c.picture_no);
    }
}

// The load handler failing at one step: nothing escapes, no picture is shown, the steps before it are
// done and those after it are not; ending the run still gives the desktop back. A failure inside the
// first picture step stays there: the load finishes and waits for a baseline anyway.
struct LoadFailure {
    const char* step;
    bool cursor_hidden, taskbar_hidden, on_top, finished;
};

TEST(Form1LoadFailure, StopsThereSilentlyAndTheRunCanStillEnd)
{
    static const LoadFailure kCases[] = {
        {"screen_size", false, false, false, false},        {"set_outer_size", false, false, false, false},
        {"set_back_colour", false, false, false, false},    {"SystemParametersInfo", false, false, false, false},
        {"ShowCursor", false, false, false, false},         {"ImmAssociateContext", true, false, false, false},
        {"FindWindow", true, false, false, false},          {"SetWindowPos", true, false, false, false},
        {"cover_other_monitors", true, true, false, false}, {"refresh", true, true, true, false},
        {"load", true, true, true, true},                   {"set_picture", true, true, true, true},
    };
    for (const LoadFailure& c : kCases) {
        SCOPED_TRACE(c.step);
        FakePlatform fake;
        give(fake, 1, 800, 600);
        fake.fail(c.step);
        Form1 form(fake.platform());
        ASSERT_NO_THROW(form.load());
        const auto& window = fake.window(form.window());
        EXPECT_EQ(fake.cursor_count < 0, c.cursor_hidden);
        EXPECT_EQ(fake.taskbar_visible, !c.taskbar_hidden);
        EXPECT_EQ(fake.on_top == window.handle, c.on_top);
        EXPECT_FALSE(window.element(kImage1).visible && held_number(window.element(kImage1)) != 0);
        EXPECT_EQ(form.state().first_move, c.finished);
        EXPECT_FALSE(fake.ended);
        form.on_key_down(65, 0);
        EXPECT_GE(fake.cursor_count, 0);
        EXPECT_TRUE(fake.taskbar_visible);
        EXPECT_FALSE(fake.other_monitors_covered);
        EXPECT_TRUE(fake.ended);
    }
}

// Every way of ending the run gives the desktop back and ends the program; screen saving stays on.
struct EndCase {
    const char* what;
    std::function<void(Form1&, FakePlatform&)> end_run;
    platform::NativeHandle taskbar = 0x7A5C;
};

TEST(Form1End, EveryRouteGivesTheDesktopBackAndEnds)
{
    const std::vector<EndCase> cases{
        {"a key", [](Form1& f, FakePlatform&) { f.on_key_down(0x79 /* F10 */, 0); }},
        {"a system key", [](Form1& f, FakePlatform&) { f.on_key_down(0x12 /* Alt */, 4); }},
        {"a click on the background", [](Form1& f, FakePlatform&) { f.on_mouse_down(kWindowItself, 1, 0, 5, 5); }},
        {"a right click on the picture", [](Form1& f, FakePlatform&) { f.on_mouse_down(kImage1, 2, 0, 0, 0); }},
        {"a middle click with Shift", [](Form1& f, FakePlatform&) { f.on_mouse_down(kImage1, 4, 1, 3, 3); }},
        {"a movement", [](Form1& f, FakePlatform&) {
             f.on_mouse_move(kWindowItself, 0, 0, 100, 100);
             f.on_mouse_move(kImage1, 0, 0, 300, 300);
         }},
        {"a close request from the system",
         [](Form1& f, FakePlatform& fake) { fake.platform().windows.unload(f.window()); }},
        {"a key on a desktop without a taskbar", [](Form1& f, FakePlatform&) { f.on_key_down(65, 0); }, 0},
    };
    for (const EndCase& c : cases) {
        SCOPED_TRACE(c.what);
        FakePlatform fake;
        fake.taskbar = c.taskbar;
        Form1 form(fake.platform());
        form.load();
        const platform::NativeHandle handle = fake.window(form.window()).handle;
        c.end_run(form, fake);
        EXPECT_EQ(fake.cursor_count, 0);
        EXPECT_EQ(fake.ime_context_of(handle), fake.ime_context);
        EXPECT_TRUE(fake.taskbar_visible);
        EXPECT_FALSE(fake.other_monitors_covered);
        EXPECT_TRUE(fake.screen_saving);
        EXPECT_FALSE(fake.window(form.window()).loaded);
        EXPECT_TRUE(fake.ended);
    }
}

TEST_F(Form1Test, TheDesktopIsGivenBackCursorInputMethodTaskbarMonitorsThenTheEnd)
{
    form.load();
    fake.clear_calls();
    form.on_unload();
    std::vector<std::string> changes;
    for (const auto& call : fake.calls())
        if (!call.starts_with("handle("))
            changes.push_back(call);
    EXPECT_THAT(changes, ElementsAre("ShowCursor(-1)", "ImmAssociateContext(0x10010, 0x1C0)",
                                     "SetWindowPos(0x7A5C, 0, 0, 0, 0, 0, 0x40)", "uncover_other_monitors()", "end()"));
}

TEST_F(Form1Test, AFailureWhileGivingTheDesktopBackSkipsTheRestSilently)
{
    form.load();
    fake.fail("ImmAssociateContext");
    ASSERT_NO_THROW(form.on_unload());
    EXPECT_EQ(fake.cursor_count, 0);
    EXPECT_FALSE(fake.taskbar_visible);
    EXPECT_FALSE(fake.ended);
}

// Mouse movements after the load, from the first (which only records the baseline) on; a move "over"
// Timer1 stands for a tick, which changes the picture.
struct Move {
    float x, y;
    ElementId over = kWindowItself;
};
struct MovesCase {
    const char* what;
    std::vector<Move> moves;
    bool ends;
};

TEST(Form1Movement, OnlyAMoveBeyondFivePixelsBothWaysFromTheBaselineEnds)
{
    const std::vector<MovesCase> cases{
        {"the first move only records, however far", {{1900, 1000}}, false},
        {"both bounds are inclusive", {{100, 100}, {105, 95}}, false},
        {"more than 5 both ways", {{100, 100}, {106, 94}}, true},
        {"Y inside", {{100, 100}, {106, 100}}, false},
        {"Y inside, X far", {{100, 100}, {300, 100}}, false},
        {"X inside, Y far", {{100, 100}, {100, 300}}, false},
        {"sweeps with one coordinate held, then a drift inside",
         {{100, 100}, {1900, 100}, {100, 1000}, {103, 103}}, false},
        {"a drift adds up from the baseline", {{100, 100}, {103, 103}, {106, 106}}, true},
        {"the frames are compared unconverted", {{10, 10, kImage1}, {14, 15}}, false},
        {"from the picture's frame to the window's", {{10, 10, kImage1}, {300, 300}}, true},
        {"a picture change takes a new baseline", {{100, 100}, {0, 0, kTimer1}, {500, 500}, {504, 496}}, false},
        {"measured from the new baseline", {{100, 100}, {0, 0, kTimer1}, {500, 500}, {494, 506}}, true},
    };
    for (const MovesCase& c : cases) {
        SCOPED_TRACE(c.what);
        FakePlatform fake;
        give(fake, 2, 640, 480);
        Form1 form(fake.platform());
        form.load();
        for (const Move& m : c.moves)
            m.over == kTimer1 ? form.on_timer(kTimer1) : form.on_mouse_move(m.over, 0, 0, m.x, m.y);
        EXPECT_EQ(fake.ended, c.ends);
        EXPECT_EQ(fake.window(form.window()).loaded, !c.ends);
    }
}

TEST_F(Form1Test, AFailedUnloadRequestLeavesTheSlideshowRunning)
{
    form.load();
    fake.fail("unload");
    form.on_key_down(65, 0);
    EXPECT_FALSE(fake.ended);
    EXPECT_LT(fake.cursor_count, 0);
    form.on_key_down(65, 0); // the next event tries again
    EXPECT_TRUE(fake.ended);
}

TEST_F(Form1Test, OtherTimersAreIgnored)
{
    form.load();
    fake.clear_calls();
    form.on_timer(ElementId{5}); // no element of Form1: a timer it does not have
    EXPECT_THAT(fake.calls(), IsEmpty());
}

} // namespace
} // namespace slideshow

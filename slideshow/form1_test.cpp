// The slideshow window's handlers against the recording fake: orders, placement, input.
#include "slideshow/form1.h"

#include "platform/fake/fake_platform.h"
#include "slideshow/form1_def.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace slideshow {
namespace {

using platform::fake::FakePlatform;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr const char* kFolder = "C:\\Pictures";

std::string picture(int number)
{
    char name[32];
    std::snprintf(name, sizeof name, "C:\\Pictures\\KWOBL%03d.DAT", number);
    return name;
}

class Form1Test : public ::testing::Test {
protected:
    Form1Test()
    {
        fake.app_info.folder = kFolder;
        fake.screen = {1920, 1080};
    }

    // Loads the window and forgets the calls the load made.
    void load_and_clear()
    {
        form.load();
        fake.clear_calls();
    }

    void tick() { form.on_timer(kTimer1); }

    FakePlatform fake;
    Form1 form{fake.platform()};
};

TEST_F(Form1Test, LoadTakesOverTheDesktopInOrderAndShowsPictureOne)
{
    fake.pictures[picture(1)] = {800, 600};
    form.load();
    EXPECT_THAT(fake.calls(),
                ElementsAre("info()", "prefetch(\"C:\\Pictures\\KWOBL001.DAT\")", "create(Form1)", "screen_size()",
                            "set_outer_size(Form1, 1920, 1080)",
                            "set_back_colour(Form1, 0x0)", "SystemParametersInfo(17, -1, \"\", 0)",
                            "ShowCursor(0)", "handle(Form1)", "ImmAssociateContext(0x10010, 0x0)",
                            "FindWindow(\"Shell_traywnd\", \"\")", "SetWindowPos(0x7A5C, 0, 0, 0, 0, 0, 0x80)",
                            // The other monitors go black with the taskbar gone, before the window goes on top.
                            "handle(Form1)", "cover_other_monitors(0x10010)",
                            "handle(Form1)", "SetWindowPos(0x10010, -1, 0, 0, 0, 0, 0x3)", "refresh(Form1)",
                            // The first picture step.
                            "set_auto_redraw(Form1, true)", "set_visible(Form1.Image1, false)",
                            "set_stretch(Form1.Image1, false)", "info()", "load(\"C:\\Pictures\\KWOBL001.DAT\")",
                            "set_picture(Form1.Image1, 800x600)", "scale_width(Form1)", "scale_height(Form1)",
                            "geometry(Form1.Image1.Height)", "geometry(Form1.Image1.Width)",
                            "geometry(Form1.Image1.Width)", "geometry(Form1.Image1.Height)",
                            "set_stretch(Form1.Image1, false)", "geometry(Form1.Image1.Width)",
                            "set_geometry(Form1.Image1.Left, 560)", "geometry(Form1.Image1.Height)",
                            "set_geometry(Form1.Image1.Top, 240)", "set_visible(Form1.Image1, true)",
                            // The next picture is asked for ahead.
                            "info()", "prefetch(\"C:\\Pictures\\KWOBL002.DAT\")"));
    EXPECT_EQ(form.state().picture_no, 2);
    EXPECT_EQ(form.state().picture_count, 50);
    EXPECT_TRUE(form.state().first_move);
    EXPECT_EQ(form.state().saved_ime_context, fake.ime_context);
    EXPECT_EQ(form.state().taskbar_wnd, fake.taskbar);
}

TEST_F(Form1Test, TickPutsTheWindowOnTopFocusesItAndShowsTheNextPicture)
{
    load_and_clear();
    fake.pictures[picture(2)] = {100, 100};
    tick();
    const auto& calls = fake.calls();
    ASSERT_GE(calls.size(), 6u);
    EXPECT_EQ(calls[0], "handle(Form1)");
    EXPECT_EQ(calls[1], "SetWindowPos(0x10010, -1, 0, 0, 0, 0, 0x3)");
    EXPECT_EQ(calls[2], "set_focus(Form1)");
    EXPECT_EQ(calls[3], "set_auto_redraw(Form1, true)");
    EXPECT_THAT(fake.calls_starting("load("), ElementsAre("load(\"C:\\Pictures\\KWOBL002.DAT\")"));
    EXPECT_EQ(calls[calls.size() - 3], "set_visible(Form1.Image1, true)");
    EXPECT_EQ(calls.back(), "prefetch(\"C:\\Pictures\\KWOBL003.DAT\")");
    EXPECT_EQ(form.state().picture_no, 3);
}

TEST_F(Form1Test, OtherTimersAreIgnored)
{
    load_and_clear();
    const platform::ElementId other_timer{5}; // no element of Form1: a timer it does not have
    form.on_timer(other_timer);
    EXPECT_THAT(fake.calls(), IsEmpty());
}

TEST_F(Form1Test, UnloadGivesTheDesktopBackThenEnds)
{
    load_and_clear();
    form.on_unload();
    EXPECT_THAT(fake.calls(), ElementsAre("ShowCursor(-1)", "handle(Form1)", "ImmAssociateContext(0x10010, 0x1C0)",
                                          "SetWindowPos(0x7A5C, 0, 0, 0, 0, 0, 0x40)", "uncover_other_monitors()",
                                          "end()"));
}

TEST_F(Form1Test, WithoutATaskbarTheCallsGoToHandleZero)
{
    fake.taskbar = 0;
    form.load();
    form.on_unload();
    EXPECT_THAT(fake.calls_starting("SetWindowPos(0x0,"),
                ElementsAre("SetWindowPos(0x0, 0, 0, 0, 0, 0, 0x80)", "SetWindowPos(0x0, 0, 0, 0, 0, 0, 0x40)"));
    EXPECT_TRUE(fake.ended);
}

TEST_F(Form1Test, PicturesCycleOneToFiftyAndBackToOne)
{
    form.load();
    for (int i = 0; i < 50; ++i)
        tick();
    std::vector<std::string> expected;
    for (int n = 1; n <= 50; ++n)
        expected.push_back("load(\"" + picture(n) + "\")");
    expected.push_back("load(\"" + picture(1) + "\")");
    EXPECT_EQ(fake.calls_starting("load("), expected);
    EXPECT_EQ(form.state().picture_no, 2);
}

TEST_F(Form1Test, ADriveRootFolderGetsNoSecondSeparator)
{
    fake.app_info.folder = "C:\\";
    form.load();
    EXPECT_THAT(fake.calls_starting("load("), ElementsAre("load(\"C:\\KWOBL001.DAT\")"));
}

// Where the picture element ends up on a 1920 x 1080 screen, and at what size.
struct PlacedCase {
    int width, height; // the picture's natural size
    bool stretch;
    float left, top, element_width, element_height;
    const char* what;
};

TEST(Form1Placement, EachPictureEndsUpWholeUndistortedAndCentred)
{
    static const PlacedCase kCases[] = {
        {800, 600, false, 560, 240, 800, 600, "smaller both ways: natural size, centred"},
        {1819, 979, false, 50.5f, 50.5f, 1819, 979, "differences of 101 leave halves"},
        {4000, 1000, true, 0, 300, 1920, 480, "wide: the full width, centred vertically"},
        {1920, 500, true, 0, 290, 1920, 500, "as wide as the screen: the full width at its own size"},
        {1500, 3000, true, 690, 0, 540, 1080, "portrait: the full height, centred horizontally"},
        {3840, 2160, true, 0, 0, 1920, 1080, "the screen's own aspect fills the screen"},
        // 1080 * 3000 / 2001 = 1619.1904047...: sizes and edges are rounded to single precision.
        {3000, 2001, true, 150.404785f, 0, 1619.19043f, 1080, "scaled, not a whole number of pixels"},
    };
    for (const PlacedCase& c : kCases) {
        FakePlatform fake;
        fake.app_info.folder = kFolder;
        fake.screen = {1920, 1080};
        fake.pictures[picture(1)] = {c.width, c.height};
        Form1 form(fake.platform());
        form.load();
        const auto& image = fake.window(form.window()).element(kImage1);
        SCOPED_TRACE(c.what);
        EXPECT_TRUE(image.visible);
        EXPECT_EQ(image.stretch, c.stretch);
        EXPECT_EQ(image.left, c.left);
        EXPECT_EQ(image.top, c.top);
        EXPECT_EQ(image.width, c.element_width);
        EXPECT_EQ(image.height, c.element_height);
    }
}

TEST_F(Form1Test, CentringUsesTheSizeTheElementTookNotTheOneAsked)
{
    // An element that keeps whole pixels only: asked for a height of 480.48, it takes 480, and is
    // centred on that (on 480.48 it would sit at 299.76, kept as 299).
    fake.element_takes = [](float value) { return static_cast<float>(static_cast<int>(value)); };
    fake.pictures[picture(1)] = {4000, 1001};
    form.load();
    const auto& image = fake.window(form.window()).element(kImage1);
    EXPECT_EQ(image.height, 480);
    EXPECT_EQ(image.top, 300);
    EXPECT_EQ(image.left, 0);
    // Asked for a width of 270.27, it takes 270 and sits at 825 (on 270.27, at 824.865, kept as 824).
    fake.pictures[picture(2)] = {1001, 4000};
    tick();
    EXPECT_EQ(image.width, 270);
    EXPECT_EQ(image.left, 825);
    EXPECT_EQ(image.top, 0);
}

TEST_F(Form1Test, MissingPictureLeavesTheImageHiddenAndTheCounterMovesOn)
{
    fake.pictures[picture(1)] = {800, 600};
    form.load();
    form.on_mouse_move(platform::kWindowItself, 0, 0, 10, 10); // baseline taken
    fake.clear_calls();
    tick(); // picture 2 is missing
    const auto& image = fake.window(form.window()).element(kImage1);
    EXPECT_FALSE(image.visible);
    EXPECT_FALSE(image.stretch);
    EXPECT_EQ(image.width, 800); // still holds the previous picture
    EXPECT_EQ(form.state().picture_no, 3);
    EXPECT_FALSE(form.state().first_move); // no picture change, no new baseline
    fake.pictures[picture(3)] = {640, 480};
    tick();
    EXPECT_TRUE(image.visible);
    EXPECT_THAT(fake.calls_starting("load("), ElementsAre("load(\"" + picture(2) + "\")",
                                                          "load(\"" + picture(3) + "\")"));
}

TEST_F(Form1Test, ZeroHeightLeavesTheScreenBlackForOneInterval)
{
    fake.pictures[picture(1)] = {640, 0};
    form.load();
    const auto& image = fake.window(form.window()).element(kImage1);
    EXPECT_FALSE(image.visible);
    EXPECT_TRUE(form.state().first_move); // the load handler sets it anyway
    EXPECT_EQ(form.state().picture_no, 2);
}

TEST_F(Form1Test, ZeroWidthShowsAnEmptyElement)
{
    fake.pictures[picture(1)] = {0, 2000};
    form.load();
    const auto& image = fake.window(form.window()).element(kImage1);
    EXPECT_TRUE(image.visible);
    EXPECT_EQ(image.width, 0);
    EXPECT_EQ(image.height, 1080);
    EXPECT_EQ(image.left, 960);
}

TEST_F(Form1Test, NoLoadablePictureKeepsTheCounterCycling)
{
    form.load();
    for (int i = 0; i < 60; ++i)
        tick();
    EXPECT_EQ(form.state().picture_no, 12);
    EXPECT_EQ(fake.calls_starting("set_visible(Form1.Image1, true)").size(), 0u);
}

TEST_F(Form1Test, FirstMoveOnlyRecordsTheBaseline)
{
    load_and_clear();
    form.on_mouse_move(platform::kWindowItself, 0, 0, 1000, 900);
    EXPECT_FALSE(form.state().first_move);
    EXPECT_EQ(form.state().start_x, 1000);
    EXPECT_EQ(form.state().start_y, 900);
    EXPECT_THAT(fake.calls(), IsEmpty());
}

TEST_F(Form1Test, MovesInsideEitherBandKeepRunningAndDoNotMoveTheBaseline)
{
    load_and_clear();
    form.on_mouse_move(platform::kWindowItself, 0, 0, 100, 100);
    form.on_mouse_move(platform::kWindowItself, 0, 0, 105, 95);
    form.on_mouse_move(platform::kWindowItself, 0, 0, 1900, 100); // horizontal sweep
    form.on_mouse_move(platform::kWindowItself, 0, 0, 100, 1000);  // vertical sweep
    form.on_mouse_move(platform::kWindowItself, 0, 0, 103, 103);
    EXPECT_THAT(fake.calls(), IsEmpty());
    EXPECT_EQ(form.state().start_x, 100);
    form.on_mouse_move(platform::kWindowItself, 0, 0, 106, 106); // drift adds up
    EXPECT_THAT(fake.calls_starting("unload("), ElementsAre("unload(Form1)"));
    EXPECT_TRUE(fake.ended);
}

TEST_F(Form1Test, PictureChangeTakesANewBaseline)
{
    load_and_clear();
    form.on_mouse_move(platform::kWindowItself, 0, 0, 100, 100);
    fake.pictures[picture(2)] = {640, 480};
    tick();
    form.on_mouse_move(platform::kWindowItself, 0, 0, 500, 500); // far away, but only a baseline
    EXPECT_FALSE(fake.ended);
    form.on_mouse_move(platform::kWindowItself, 0, 0, 504, 496);
    EXPECT_FALSE(fake.ended);
    form.on_mouse_move(platform::kWindowItself, 0, 0, 494, 506);
    EXPECT_TRUE(fake.ended);
}

TEST_F(Form1Test, PictureAndWindowFramesAreComparedUnconverted)
{
    load_and_clear();
    const auto image = kImage1;
    form.on_mouse_move(image, 0, 0, 10, 10); // over the picture, in its frame
    form.on_mouse_move(platform::kWindowItself, 0, 0, 14, 15); // the same numbers in the window's frame
    EXPECT_FALSE(fake.ended);
    form.on_mouse_move(platform::kWindowItself, 0, 0, 300, 300);
    EXPECT_TRUE(fake.ended);
}

TEST_F(Form1Test, AnyKeyOrButtonAnywhereEnds)
{
    const auto ends_after = [](auto press) {
        FakePlatform fake;
        Form1 form(fake.platform());
        form.load();
        press(form);
        return fake.ended && fake.calls_starting("ShowCursor(-1)").size() == 1;
    };
    EXPECT_TRUE(ends_after([](Form1& f) { f.on_key_down(0x79 /* F10 */, 0); }));
    EXPECT_TRUE(ends_after([](Form1& f) { f.on_key_down(0x12 /* Alt */, 4); }));
    EXPECT_TRUE(ends_after([](Form1& f) { f.on_mouse_down(platform::kWindowItself, 1, 0, 5, 5); }));
    EXPECT_TRUE(ends_after([](Form1& f) { f.on_mouse_down(kImage1, 2, 0, 0, 0); }));
    EXPECT_TRUE(ends_after([](Form1& f) { f.on_mouse_down(kImage1, 4, 1, 3, 3); }));
}

TEST_F(Form1Test, AFailedUnloadRequestLeavesTheSlideshowRunning)
{
    load_and_clear();
    fake.fail("unload");
    form.on_key_down(65, 0);
    EXPECT_FALSE(fake.ended);
    form.on_key_down(65, 0); // the next event tries again
    EXPECT_TRUE(fake.ended);
}

// A failure at any step of the load handler stops it there, silently; later steps never run.
class Form1LoadFailure : public ::testing::TestWithParam<const char*> {};

TEST_P(Form1LoadFailure, StopsAtTheFailingStepWithoutEscaping)
{
    FakePlatform fake;
    fake.pictures["C:\\Pictures\\KWOBL001.DAT"] = {800, 600};
    fake.app_info.folder = "C:\\Pictures";
    const std::string step = GetParam();
    fake.fail(step);
    Form1 form(fake.platform());
    ASSERT_NO_THROW(form.load());
    const auto& calls = fake.calls();
    ASSERT_FALSE(calls.empty());
    // The failing call is the last thing the handler did.
    EXPECT_EQ(calls.back().substr(0, step.size() + 1), step + "(");
    EXPECT_FALSE(form.state().first_move);
    EXPECT_FALSE(fake.ended);
}

INSTANTIATE_TEST_SUITE_P(EveryStep, Form1LoadFailure,
                         ::testing::Values("screen_size", "set_outer_size", "set_back_colour",
                                           "SystemParametersInfo", "ShowCursor", "ImmAssociateContext",
                                           "FindWindow", "SetWindowPos", "cover_other_monitors", "refresh"));

TEST(Form1PictureStepFailure, FailuresInsideThePictureStepStillLetTheLoadFinish)
{
    for (const char* step : {"set_auto_redraw", "info", "load", "set_picture", "scale_width", "geometry",
                             "set_geometry", "set_visible"}) {
        FakePlatform fake;
        fake.pictures["C:\\Pictures\\KWOBL001.DAT"] = {3000, 2000};
        fake.app_info.folder = "C:\\Pictures";
        // The first info() of the load is the hint's, which asks for picture 001 ahead.
        fake.fail(step, std::string(step) == "info" ? 2 : 1);
        Form1 form(fake.platform());
        ASSERT_NO_THROW(form.load()) << step;
        EXPECT_TRUE(form.state().first_move) << step;
        EXPECT_EQ(form.state().picture_count, 50) << step;
        const auto shown = fake.calls_starting("set_visible(Form1.Image1, true)");
        EXPECT_TRUE(shown.empty() || std::string(step) == "set_visible") << step;
    }
}

TEST_F(Form1Test, AFocusFailureSkipsThatTicksPicture)
{
    load_and_clear();
    fake.fail("set_focus");
    tick();
    EXPECT_THAT(fake.calls_starting("load("), IsEmpty());
    EXPECT_EQ(form.state().picture_no, 2);
    tick();
    EXPECT_EQ(form.state().picture_no, 3);
}

TEST_F(Form1Test, TheOtherMonitorsAreUncoveredOnlyOnceTheTaskbarIsBackAndBeforeTheEnd)
{
    // Whatever ends the run, the covers go as part of giving the desktop back.
    for (const auto& end_run : std::vector<std::function<void(Form1&)>>{
             [](Form1& f) { f.on_key_down(65, 0); }, [](Form1& f) { f.on_mouse_down(kImage1, 1, 0, 0, 0); },
             [](Form1& f) { f.on_unload(); }}) {
        FakePlatform fake;
        fake.app_info.folder = "C:\\Pictures";
        Form1 form(fake.platform());
        form.load();
        EXPECT_THAT(fake.calls_starting("cover_other_monitors("), ElementsAre("cover_other_monitors(0x10010)"));
        fake.clear_calls();
        end_run(form);
        const auto& calls = fake.calls();
        const auto at = [&](const std::string& call) { return std::find(calls.begin(), calls.end(), call) - calls.begin(); };
        EXPECT_LT(at("SetWindowPos(0x7A5C, 0, 0, 0, 0, 0, 0x40)"), at("uncover_other_monitors()"));
        EXPECT_EQ(at("uncover_other_monitors()") + 1, at("end()"));
        EXPECT_EQ(at("end()") + 1, static_cast<long>(calls.size()));
    }
}

TEST_F(Form1Test, AfterEveryStepTheNextNumberIsAskedForAheadEvenWhenAFileIsMissing)
{
    fake.pictures[picture(1)] = {800, 600};
    form.load();
    for (int i = 0; i < 50; ++i)
        tick(); // only 001 exists
    const auto hints = fake.calls_starting("prefetch(");
    ASSERT_EQ(hints.size(), 52u);
    EXPECT_EQ(hints[0], "prefetch(\"" + picture(1) + "\")");
    EXPECT_EQ(hints[1], "prefetch(\"" + picture(2) + "\")");
    EXPECT_EQ(hints[2], "prefetch(\"" + picture(3) + "\")"); // after 002, which is missing
    EXPECT_EQ(hints[50], "prefetch(\"" + picture(1) + "\")"); // after 050: the cycle starts again
    EXPECT_EQ(hints[51], "prefetch(\"" + picture(2) + "\")");
}

TEST_F(Form1Test, AFailingHintChangesNothing)
{
    fake.pictures[picture(1)] = {800, 600};
    fake.pictures[picture(2)] = {100, 100};
    fake.fail("prefetch", 1);
    form.load();
    EXPECT_TRUE(form.state().first_move);
    EXPECT_THAT(fake.calls_starting("set_visible(Form1.Image1, true)"), testing::SizeIs(1));
    fake.fail("prefetch"); // the hint after this tick's picture
    tick();
    EXPECT_THAT(fake.calls_starting("set_visible(Form1.Image1, true)"), testing::SizeIs(2));
    EXPECT_EQ(form.state().picture_no, 3);
}

TEST_F(Form1Test, AFailureInTheUnloadHandlerSkipsTheRestSilently)
{
    load_and_clear();
    fake.fail("ImmAssociateContext");
    ASSERT_NO_THROW(form.on_unload());
    EXPECT_THAT(fake.calls(), ElementsAre("ShowCursor(-1)", "handle(Form1)", "ImmAssociateContext(0x10010, 0x1C0)"));
    EXPECT_FALSE(fake.ended);
}

} // namespace
} // namespace slideshow

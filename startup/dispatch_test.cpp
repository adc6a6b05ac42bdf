// Start-up: the mode table and what Main opens for each switch.
#include "startup/dispatch.h"

#include "platform/fake/fake_platform.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace startup {
namespace {

using platform::fake::FakeMessage;
using platform::fake::FakePlatform;
using ::testing::ElementsAre;

TEST(ModeFor, OnlyTheFirstTwoCharactersCountUpperCased)
{
    EXPECT_EQ(mode_for("/a"), Mode::Password);
    EXPECT_EQ(mode_for("/A 1234"), Mode::Password);
    EXPECT_EQ(mode_for("/c:1234"), Mode::Settings);
    EXPECT_EQ(mode_for("/C"), Mode::Settings);
    EXPECT_EQ(mode_for("/c 5678"), Mode::Settings);
    EXPECT_EQ(mode_for(""), Mode::Settings);
    EXPECT_EQ(mode_for("/p 1234"), Mode::Preview);
    EXPECT_EQ(mode_for("/P"), Mode::Preview);
    EXPECT_EQ(mode_for("/s"), Mode::Slideshow);
    EXPECT_EQ(mode_for("/S 1234"), Mode::Slideshow);
}

TEST(ModeFor, EverythingElseStartsTheSlideshow)
{
    for (const char* text : {"-s", "-c", "-a", "s", "c", "/", "/X", " /c", "//c", "\t", "/ｃ", "／c", "/é", "é",
                             "/\xE3\x81\x82", "/cc-but-long-enough-to-matter"}) {
        const bool settings = std::string_view(text).starts_with("/c");
        EXPECT_EQ(mode_for(text), settings ? Mode::Settings : Mode::Slideshow) << text;
    }
    EXPECT_EQ(mode_for(std::string(100000, 'x')), Mode::Slideshow);
    EXPECT_EQ(mode_for(std::string_view("\0/c", 3)), Mode::Slideshow);
}

// What the user is left with once Main has returned.
struct MainCase {
    const char* command;
    const char* window; // the window shown, none when null
    bool message;       // the password message was shown
    bool ended;
    const char* failing = ""; // an operation that fails on its first call
    bool another_instance = false;
};

TEST(Module1, OpensAtMostOneWindowForTheSwitchAndNothingEscapes)
{
    static const MainCase kCases[] = {
        {"", "Form2", false, false},
        {"/c:1234", "Form2", false, false},
        {"/s", "Form1", false, false},
        {"-c", "Form1", false, false},
        {"/p 1234", nullptr, false, false},
        {"/a 1234", nullptr, true, true},
        // Failures: Main stops quietly where it is.
        {"/s", nullptr, false, false, "previous_instance"},
        {"/s", nullptr, false, false, "command"},
        {"/s", nullptr, false, false, "create"},
        {"/s", nullptr, false, false, "show"}, // Form1 stays loaded, but is not shown
        {"", nullptr, false, false, "show"},
        // A second instance ends at once, before the switch is read.
        {"/a", nullptr, false, true, "", true},
        {"/s", nullptr, false, true, "", true},
    };
    for (const MainCase& c : kCases) {
        SCOPED_TRACE(std::string(c.command) + " " + c.failing);
        FakePlatform fake;
        fake.app_info.title = "スライド";
        fake.command_text = c.command;
        fake.another_instance = c.another_instance;
        if (*c.failing != '\0')
            fake.fail(c.failing);
        Module1 module(fake.platform());
        ASSERT_NO_THROW(module.Main());
        int shown = 0;
        for (int i = 0; i < fake.windows_created(); ++i) {
            const auto& window = fake.window(platform::WindowId{i});
            EXPECT_TRUE(window.loaded);
            if (window.shown) {
                ++shown;
                EXPECT_EQ(window.def->name, c.window != nullptr ? c.window : "");
            }
        }
        EXPECT_EQ(shown, c.window == nullptr ? 0 : 1);
        const FakeMessage password{"パスワードには対応しておりません。", 0, "スライド"};
        EXPECT_EQ(fake.messages, c.message ? std::vector{password} : std::vector<FakeMessage>());
        EXPECT_EQ(fake.ended, c.ended);
        if (c.another_instance) {
            EXPECT_THAT(fake.calls(), ElementsAre("previous_instance()", "end()"));
        }
        // The slideshow's load handler has run to completion before its window is shown, then maximised.
        if (c.window != nullptr && std::string_view(c.window) == "Form1") {
            EXPECT_LT(fake.cursor_count, 0);
            EXPECT_THAT(std::vector(fake.calls().end() - 2, fake.calls().end()),
                        ElementsAre("show(Form1)", "set_state(Form1, 2)"));
        }
    }
}

} // namespace
} // namespace startup

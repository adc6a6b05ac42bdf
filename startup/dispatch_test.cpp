// Start-up: the mode table and what Main opens for each switch.
#include "startup/dispatch.h"

#include "platform/fake/fake_platform.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace startup {
namespace {

using platform::fake::FakePlatform;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

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

class Module1Test : public ::testing::Test {
protected:
    void run(std::string command)
    {
        fake.command_text = std::move(command);
        module.Main();
    }
    FakePlatform fake;
    Module1 module{fake.platform()};
};

TEST_F(Module1Test, AnotherInstanceEndsBeforeTheSwitchIsRead)
{
    fake.another_instance = true;
    run("/a");
    EXPECT_THAT(fake.calls(), ElementsAre("previous_instance()", "end()"));
}

TEST_F(Module1Test, PasswordSwitchShowsTheMessageWithTheTitleThenEnds)
{
    fake.app_info.title = "スライド";
    run("/a 1234");
    EXPECT_THAT(fake.calls(), ElementsAre("previous_instance()", "command()", "info()",
                                          "message_box(\"パスワードには対応しておりません。\", 0, \"スライド\")",
                                          "end()"));
}

TEST_F(Module1Test, PreviewOpensNothing)
{
    run("/p 1234");
    EXPECT_THAT(fake.calls(), ElementsAre("previous_instance()", "command()"));
}

TEST_F(Module1Test, SlideshowIsLoadedThenShownThenMaximised)
{
    run("/s");
    const auto& calls = fake.calls();
    ASSERT_GE(calls.size(), 4u);
    EXPECT_THAT(fake.calls_starting("create("), ElementsAre("create(Form1)"));
    EXPECT_THAT(std::vector<std::string>(calls.end() - 2, calls.end()),
                ElementsAre("show(Form1)", "set_state(Form1, 2)"));
    EXPECT_FALSE(fake.has_window("Form2"));
}

TEST_F(Module1Test, SettingsSwitchAndNoArgumentOpenTheSettingsDialog)
{
    run("");
    EXPECT_THAT(fake.calls_starting("create("), ElementsAre("create(Form2)"));
    EXPECT_THAT(fake.calls_starting("show("), ElementsAre("show(Form2)"));
    EXPECT_FALSE(fake.ended);
}

TEST_F(Module1Test, AWindowThatCannotBeCreatedEndsMainQuietly)
{
    fake.fail("create");
    ASSERT_NO_THROW(run("/s"));
    EXPECT_THAT(fake.calls_starting("show("), IsEmpty());
}

TEST_F(Module1Test, AFailureWhileShowingSkipsTheMaximise)
{
    fake.fail("show");
    ASSERT_NO_THROW(run("/s"));
    EXPECT_THAT(fake.calls_starting("set_state("), IsEmpty());
    EXPECT_TRUE(fake.window_named("Form1").loaded);
}

TEST_F(Module1Test, AFailureReadingTheCommandLineOpensNothing)
{
    fake.fail("command");
    ASSERT_NO_THROW(run("/s"));
    EXPECT_EQ(fake.windows_created(), 0);
}

} // namespace
} // namespace startup

// Tests of the version dialog: its texts, its two buttons and a load that fails.
#include "about/sfrm_about.h"

#include "about/sfrm_about_def.h"
#include "platform/errors.h"
#include "platform/fake/fake_platform.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace about {
namespace {

using ::testing::ElementsAre;
using platform::WindowId;

class SFrm_AboutTest : public ::testing::Test {
protected:
    // While the dialog is open, the user presses `button` once.
    void press_while_open(platform::ElementId button)
    {
        fake.while_modal = [this, button](WindowId id) { fake.window(id).events->on_click(button); };
    }
    std::string text(platform::ElementId element) { return fake.window_named("SFrm_About").element(element).text; }

    platform::fake::FakePlatform fake;
    SFrm_About dialog{fake.platform()};
};

TEST_F(SFrm_AboutTest, LoadingFillsEveryTextFromTheMetadata)
{
    fake.app_info = {.title = "X", .major = 2, .minor = 10, .revision = 305,
                     .company_name = "Company & Co.", .legal_copyright = "(C) 2024  Company"};
    dialog.show_modal();
    EXPECT_EQ(fake.window_named("SFrm_About").caption, "Xのﾊﾞｰｼﾞｮﾝ情報");
    EXPECT_EQ(text(kLblVersion), "ﾊﾞｰｼﾞｮﾝ 2.10.305");
    EXPECT_EQ(text(kLblTitle), "X");
    EXPECT_EQ(text(kLblCompanyName), "Company & Co.");
    EXPECT_EQ(text(kLblLegalCopyright), "(C) 2024\r\nCompany");
    EXPECT_EQ(text(kLblDisclaimer), "");
    EXPECT_EQ(fake.calls().back(), "show_modal(SFrm_About)");
}

TEST_F(SFrm_AboutTest, SystemInformationButtonLeavesTheDialogOpen)
{
    press_while_open(kCmdSysInfo);
    dialog.show_modal();
    EXPECT_EQ(fake.calls_starting("message_box").size(), 1u);
    EXPECT_TRUE(fake.window_named("SFrm_About").loaded);
}

TEST_F(SFrm_AboutTest, AFailingLoadReachesTheOpenerWithTheDialogUnloaded)
{
    fake.fail("set_text", 2);
    EXPECT_THROW(dialog.show_modal(), platform::RuntimeError);
    EXPECT_FALSE(fake.window_named("SFrm_About").loaded);
    EXPECT_THAT(fake.calls(), ElementsAre("create(SFrm_About)", "info()",
                                          "set_caption(SFrm_About, \"Titleのﾊﾞｰｼﾞｮﾝ情報\")",
                                          "set_text(SFrm_About.lblVersion, \"ﾊﾞｰｼﾞｮﾝ 1.0.0\")",
                                          "set_text(SFrm_About.lblTitle, \"Title\")", "unload(SFrm_About)"));
}

} // namespace
} // namespace about

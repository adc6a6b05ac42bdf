// Tests of the version dialog: its texts, its two buttons, and the errors it passes to its opener.
#include "about/sfrm_about.h"

#include "about/sfrm_about_def.h"
#include "platform/errors.h"
#include "platform/fake/fake_platform.h"

#include <gtest/gtest.h>

#include <functional>

namespace about {
namespace {

using platform::WindowId;
using platform::fake::FakePlatform;

class SFrm_AboutTest : public ::testing::Test {
protected:
    std::string text(platform::ElementId element) { return fake.window_named("SFrm_About").element(element).text; }

    FakePlatform fake;
    SFrm_About dialog{fake.platform()};
};

TEST_F(SFrm_AboutTest, LoadingFillsEveryTextFromTheMetadata)
{
    fake.app_info = {.title = "X", .major = 2, .minor = 10, .revision = 305,
                     .company_name = "Company & Co.", .legal_copyright = "(C) 2024  Company"};
    dialog.show_modal();
    EXPECT_TRUE(fake.window_named("SFrm_About").shown);
    EXPECT_EQ(fake.window_named("SFrm_About").caption, "Xのﾊﾞｰｼﾞｮﾝ情報");
    EXPECT_EQ(text(kLblVersion), "ﾊﾞｰｼﾞｮﾝ 2.10.305");
    EXPECT_EQ(text(kLblTitle), "X");
    EXPECT_EQ(text(kLblCompanyName), "Company & Co.");
    EXPECT_EQ(text(kLblLegalCopyright), "(C) 2024\r\nCompany");
    EXPECT_EQ(text(kLblDisclaimer), "");
}

TEST_F(SFrm_AboutTest, AFailingLoadReachesTheOpenerWithTheDialogUnloadedAndTheLaterTextsUnfilled)
{
    fake.fail("set_text", 2);
    EXPECT_THROW(dialog.show_modal(), platform::RuntimeError);
    EXPECT_FALSE(fake.window_named("SFrm_About").loaded);
    EXPECT_FALSE(fake.window_named("SFrm_About").shown);
    EXPECT_EQ(text(kLblVersion), "ﾊﾞｰｼﾞｮﾝ 1.0.0");
    EXPECT_EQ(text(kLblTitle), "ｱﾌﾟﾘｹｰｼｮﾝ ﾀｲﾄﾙ");
}

// The dialog's handlers trap nothing: an error goes to whoever called them. Only the system-information
// button's launcher catches everything and says so in its message; the dialog stays open.
struct ClickFailure {
    const char* what;
    platform::ElementId button;
    const char* failing;
    bool escapes;
};

TEST(SFrm_AboutClick, ErrorsOfTheButtonsReachTheCallerExceptThoseOfTheLauncher)
{
    static const ClickFailure kCases[] = {
        {"OK cannot unload", kCmdOK, "unload", true},
        {"no tool in the folder", kCmdSysInfo, "", false},
        {"the registry fails", kCmdSysInfo, "RegOpenKeyEx", false},
        {"the file test fails", kCmdSysInfo, "ordinary_file_exists", false},
    };
    for (const ClickFailure& c : kCases) {
        SCOPED_TRACE(c.what);
        FakePlatform fake;
        fake.registry_keys.insert("SOFTWARE\\Microsoft\\Shared Tools Location");
        fake.registry_values[{"SOFTWARE\\Microsoft\\Shared Tools Location", "MSINFO"}] = {1, {std::byte{'C'}, {}}};
        SFrm_About dialog(fake.platform());
        dialog.show_modal();
        if (*c.failing != '\0')
            fake.fail(c.failing);
        if (c.escapes) {
            EXPECT_THROW(dialog.on_click(c.button), platform::RuntimeError);
        } else {
            EXPECT_NO_THROW(dialog.on_click(c.button));
        }
        EXPECT_EQ(fake.messages.size(), c.escapes ? 0u : 1u);
        EXPECT_TRUE(fake.window_named("SFrm_About").loaded);
    }
}

} // namespace
} // namespace about

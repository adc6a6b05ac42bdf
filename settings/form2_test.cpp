// Tests of the settings dialog: its caption, its two buttons and the version dialog it opens.
#include "settings/form2.h"

#include "about/sfrm_about_def.h"
#include "platform/fake/fake_platform.h"
#include "settings/form2_def.h"

#include <gtest/gtest.h>

namespace settings {
namespace {

using platform::WindowId;

class Form2Test : public ::testing::Test {
protected:
    platform::fake::FakePlatform fake;
    Form2 form{fake.platform()};
};

TEST_F(Form2Test, LoadingSetsTheCaptionToTheTitle)
{
    fake.app_info.title = "スクリーンセーバー";
    form.load();
    form.show();
    EXPECT_EQ(fake.window_named("Form2").caption, "スクリーンセーバー");
    EXPECT_TRUE(fake.window_named("Form2").shown);
}

TEST_F(Form2Test, ATitleThatCannotBeReadLeavesTheDesignCaption)
{
    fake.fail("info");
    EXPECT_NO_THROW(form.load());
    EXPECT_EQ(fake.window_named("Form2").caption, "設定");
}

TEST_F(Form2Test, OkAndCancelEachEndTheProgramAtOnce)
{
    for (const platform::ElementId button : {kCmdOK, kCmdCancel}) {
        platform::fake::FakePlatform run;
        Form2 dialog(run.platform());
        dialog.load();
        dialog.on_click(button);
        EXPECT_TRUE(run.ended);
    }
}

TEST_F(Form2Test, TheVersionItemKeepsOneDialogAndLoadsItAfreshAtEachOpening)
{
    fake.while_modal = [this](WindowId id) { fake.window(id).events->on_click(about::kCmdOK); };
    form.load();
    form.on_menu(kMenuVersion);
    fake.app_info.title = "New";
    form.on_menu(kMenuVersion);

    // Both openings were shown and closed again, and both windows report to the same dialog object.
    ASSERT_EQ(fake.windows_created(), 3);
    for (const WindowId about : {WindowId{1}, WindowId{2}})
        EXPECT_FALSE(fake.window(about).loaded);
    EXPECT_EQ(fake.window(WindowId{1}).events, fake.window(WindowId{2}).events);
    EXPECT_EQ(fake.window(WindowId{1}).caption, "Titleのﾊﾞｰｼﾞｮﾝ情報");
    EXPECT_EQ(fake.window(WindowId{2}).caption, "Newのﾊﾞｰｼﾞｮﾝ情報");
}

TEST_F(Form2Test, AFailingVersionDialogLoadEndsTheItemQuietlyAndTheNextOpeningWorks)
{
    form.load();
    fake.fail("set_text");
    EXPECT_NO_THROW(form.on_menu(kMenuVersion));
    EXPECT_FALSE(fake.window(WindowId{1}).loaded);
    EXPECT_FALSE(fake.window(WindowId{1}).shown);

    form.on_menu(kMenuVersion);
    EXPECT_TRUE(fake.window(WindowId{2}).shown);
    EXPECT_EQ(fake.window(WindowId{2}).element(about::kLblDisclaimer).text, "");

    form.on_click(kCmdCancel);
    EXPECT_TRUE(fake.ended);
}

} // namespace
} // namespace settings

// The box each picture is asked for with: the screen as the slideshow knows it at that step.
#include "slideshow/form1.h"

#include "platform/fake/fake_platform.h"
#include "slideshow/form1_def.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace slideshow {
namespace {

using platform::SizeF;
using platform::fake::FakePlatform;

TEST(PictureBox, EachPictureIsAskedForWithTheScreenTheWindowLastSaw)
{
    FakePlatform fake;
    fake.screen = {1920, 1080};
    for (int n = 1; n <= 50; ++n)
        fake.pictures["C:\\Pictures\\KWOBL" + std::string(n < 10 ? "00" : "0") + std::to_string(n) + ".DAT"] = {
            800, 600};
    Form1 form(fake.platform());

    // Consecutive steps of one run: what happens before the step, then the box of its load and of the
    // preparation it asks for afterwards.
    const struct {
        const char* what;
        std::function<void()> before;
        SizeF load;
        SizeF prefetch;
    } steps[] = {
        {"load: the screen the load handler read", [&] { form.load(); }, {1920, 1080}, {1920, 1080}},
        {"tick", [] {}, {1920, 1080}, {1920, 1080}},
        {"display change: the picture prepared for the old screen, the next one for the new",
         [&] { fake.change_display({1280, 1024}); }, {1920, 1080}, {1280, 1024}},
        {"tick after the change", [] {}, {1280, 1024}, {1280, 1024}},
        {"a missing picture reads no size: the box stays", [&] {
             fake.pictures.erase("C:\\Pictures\\KWOBL005.DAT");
             fake.change_display({800, 600});
         }, {1280, 1024}, {1280, 1024}},
        {"the next picture that loads", [] {}, {1280, 1024}, {800, 600}},
        {"and the one after", [] {}, {800, 600}, {800, 600}},
    };
    for (const auto& step : steps) {
        fake.load_boxes.clear();
        fake.prefetch_boxes.clear();
        step.before();
        if (fake.load_boxes.empty())
            form.on_timer(kTimer1);
        ASSERT_EQ(fake.load_boxes.size(), 1u) << step.what;
        EXPECT_EQ(fake.load_boxes.back(), step.load) << step.what;
        EXPECT_EQ(fake.prefetch_boxes.back(), step.prefetch) << step.what;
    }
}

TEST(PictureBox, TheFirstPictureIsPreparedBeforeTheScreenIsKnownAndThenForTheWindowsInside)
{
    FakePlatform fake;
    fake.screen = {1920, 1080};
    fake.inside_size = SizeF{1900, 1000}; // a window whose inside is smaller than the screen
    fake.pictures["C:\\Pictures\\KWOBL001.DAT"] = {800, 600};
    Form1 form(fake.platform());
    form.load();
    ASSERT_EQ(fake.prefetch_boxes.size(), 2u);
    EXPECT_TRUE(fake.prefetch_boxes[0].empty()) << "no window yet: the loader's screen";
    EXPECT_EQ(fake.load_boxes.at(0), (SizeF{1920, 1080}));
    EXPECT_EQ(fake.prefetch_boxes[1], (SizeF{1900, 1000})) << "the size picture 1 was placed in";
}

} // namespace
} // namespace slideshow

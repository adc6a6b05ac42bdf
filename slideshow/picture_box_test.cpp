// The box each picture is asked for with: the screen as the slideshow knows it at that step.
#include "slideshow/form1.h"

#include "platform/fake/fake_platform.h"
#include "slideshow/form1_def.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace slideshow {
namespace {

using platform::SizeF;
using platform::fake::FakePlatform;

TEST(PictureBox, EachPictureIsAskedForWithTheScreenTheWindowLastSaw)
{
    FakePlatform fake;
    fake.screen = {1920, 1080};
    for (int n = 1; n <= 9; ++n)
        fake.pictures["C:\\Pictures\\KWOBL00" + std::to_string(n) + ".DAT"] = {800, 600};
    Form1 form(fake.platform());

    // Consecutive steps of one run: what happens before the step, then the box of its load and of the
    // preparations it asks for.
    const struct {
        const char* what;
        std::function<void()> before;
        SizeF load;
        std::vector<SizeF> prefetches;
    } steps[] = {
        // Picture 1 is prepared before the window exists, with no box (the loader's screen).
        {"load: the screen the load handler read", [&] { form.load(); }, {1920, 1080}, {{}, {1920, 1080}}},
        {"tick", [] {}, {1920, 1080}, {{1920, 1080}}},
        {"display change: the picture prepared for the old screen, the next one for the new",
         [&] { fake.change_display({1280, 1024}); }, {1920, 1080}, {{1280, 1024}}},
        {"tick after the change", [] {}, {1280, 1024}, {{1280, 1024}}},
        {"a missing picture reads no size: the box stays", [&] {
             fake.pictures.erase("C:\\Pictures\\KWOBL005.DAT");
             fake.change_display({800, 600});
         }, {1280, 1024}, {{1280, 1024}}},
        {"the next picture that loads", [] {}, {1280, 1024}, {{800, 600}}},
        {"and the one after", [] {}, {800, 600}, {{800, 600}}},
    };
    for (const auto& step : steps) {
        fake.load_boxes.clear();
        fake.prefetch_boxes.clear();
        step.before();
        if (fake.load_boxes.empty())
            form.on_timer(kTimer1);
        ASSERT_EQ(fake.load_boxes.size(), 1u) << step.what;
        EXPECT_EQ(fake.load_boxes.back(), step.load) << step.what;
        EXPECT_EQ(fake.prefetch_boxes, step.prefetches) << step.what;
    }
}

} // namespace
} // namespace slideshow

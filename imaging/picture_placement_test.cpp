// Where a picture goes on a screen: the choice of placement and the rectangle it gives.
#include "imaging/picture_placement.h"

#include "platform/errors.h"

#include <gtest/gtest.h>

namespace imaging {
namespace {

TEST(ChoosePlacement, SmallerBothWaysIsNaturalSize)
{
    EXPECT_EQ(choose_placement(1920, 1080, 800, 600), Placement::NaturalSize);
    EXPECT_EQ(choose_placement(1920, 1080, 1919, 1079), Placement::NaturalSize);
    EXPECT_EQ(choose_placement(1920, 1080, 0, 5), Placement::NaturalSize);
}

TEST(ChoosePlacement, ExactlyAsWideOrAsTallIsScaled)
{
    // As wide, less tall, landscape: full width at its own size.
    EXPECT_EQ(choose_placement(1920, 1080, 1920, 500), Placement::FullWidth);
    // As tall, narrower: a portrait picture fills the height.
    EXPECT_EQ(choose_placement(1920, 1080, 600, 1080), Placement::FullHeight);
    // Exactly the screen's size: equal aspects, landscape takes the full height.
    EXPECT_EQ(choose_placement(1920, 1080, 1920, 1080), Placement::FullHeight);
}

TEST(ChoosePlacement, LargerPicturesTouchTheNearerEdges)
{
    EXPECT_EQ(choose_placement(1920, 1080, 6000, 2000), Placement::FullWidth);  // wide panorama
    EXPECT_EQ(choose_placement(1920, 1080, 4000, 3000), Placement::FullHeight); // 4:3 on 16:9
    EXPECT_EQ(choose_placement(1920, 1080, 2000, 4000), Placement::FullHeight); // portrait
    EXPECT_EQ(choose_placement(1080, 1920, 2000, 4000), Placement::FullHeight); // narrower than a portrait screen
    EXPECT_EQ(choose_placement(1080, 1920, 3000, 4000), Placement::FullWidth);  // wider than a portrait screen
    EXPECT_EQ(choose_placement(1920, 1080, 3000, 3000), Placement::FullHeight); // square, landscape screen
    EXPECT_EQ(choose_placement(1080, 1920, 3000, 3000), Placement::FullWidth);  // square, portrait screen
}

TEST(ChoosePlacement, EqualAspectsTieByOrientation)
{
    // Landscape with the window's aspect: full height; portrait or square: full width.
    EXPECT_EQ(choose_placement(1920, 1080, 3840, 2160), Placement::FullHeight);
    EXPECT_EQ(choose_placement(1080, 1920, 2160, 3840), Placement::FullWidth);
    EXPECT_EQ(choose_placement(1000, 1000, 2000, 2000), Placement::FullWidth);
    // Aspects that differ only beyond single precision count as equal.
    EXPECT_EQ(choose_placement(1920, 1080, 16000009, 9000005), Placement::FullHeight);
}

TEST(ChoosePlacement, ZeroSizesAndWindowsFail)
{
    EXPECT_THROW(choose_placement(1920, 1080, 2000, 0), platform::RuntimeError);
    // An empty picture counts as smaller than the window; the picture step fails earlier,
    // on its aspect.
    EXPECT_EQ(choose_placement(1920, 1080, 0, 0), Placement::NaturalSize);
    EXPECT_THROW(choose_placement(1920, 0, 2000, 1000), platform::RuntimeError);
    // A zero width with a height is a portrait of aspect 0: it fills the height.
    EXPECT_EQ(choose_placement(1920, 1080, 0, 2000), Placement::FullHeight);
}

TEST(ChoosePlacement, AnAspectBeyondSinglePrecisionIsAnError)
{
    EXPECT_THROW(choose_placement(1920, 1080, 3e38f, 1e-3f), platform::RuntimeError);
}

// Each case: the screen, the picture's natural size, and where it ends up, as written in single
// precision.
struct FitCase {
    float sw, sh, w, h;
    Placement placement;
    float left, top, width, height;
};

TEST(FitPicture, PlacesAndSizesEachKindOfPicture)
{
    static const FitCase kCases[] = {
        // Smaller both ways: natural size, centred; an odd difference leaves a half.
        {1920, 1080, 800, 600, Placement::NaturalSize, 560, 240, 800, 600},
        {1920, 1080, 1819, 979, Placement::NaturalSize, 50.5f, 50.5f, 1819, 979},
        // As wide as the screen: full width at its own size.
        {1920, 1080, 1920, 500, Placement::FullWidth, 0, 290, 1920, 500},
        // Wider than the screen's aspect: full width, centred vertically.
        {1920, 1080, 4000, 1000, Placement::FullWidth, 0, 300, 1920, 480},
        {1920, 1080, 4000, 1001, Placement::FullWidth, 0, 299.76001f, 1920, 480.480011f},
        {640, 480, 1000, 333, Placement::FullWidth, 0, 133.440002f, 640, 213.119995f},
        {1080, 1920, 3000, 4000, Placement::FullWidth, 0, 240, 1080, 1440},
        // Narrower than the screen's aspect: full height, centred horizontally.
        {1920, 1080, 6000, 4000, Placement::FullHeight, 150, 0, 1620, 1080},
        {1920, 1080, 1500, 3000, Placement::FullHeight, 690, 0, 540, 1080},
        {1920, 1080, 3000, 2001, Placement::FullHeight, 150.404785f, 0, 1619.19043f, 1080},
        {1920, 1080, 1001, 4000, Placement::FullHeight, 824.86499f, 0, 270.269989f, 1080},
        // The screen's own aspect fills the screen.
        {1920, 1080, 3840, 2160, Placement::FullHeight, 0, 0, 1920, 1080},
        // A zero width with a height: nothing to see, in the middle of the screen.
        {1920, 1080, 0, 2000, Placement::FullHeight, 960, 0, 0, 1080},
    };
    for (const FitCase& c : kCases) {
        const PictureFit fit = fit_picture(c.sw, c.sh, c.w, c.h);
        SCOPED_TRACE(testing::Message() << c.w << " x " << c.h << " on " << c.sw << " x " << c.sh);
        EXPECT_EQ(fit.placement, c.placement);
        EXPECT_EQ(fit.left, c.left);
        EXPECT_EQ(fit.top, c.top);
        EXPECT_EQ(fit.width, c.width);
        EXPECT_EQ(fit.height, c.height);
    }
}

TEST(FitPicture, AGivenAspectSizesTheScaledSide)
{
    // The choice still comes from the size; the scaled side from the aspect given.
    const PictureFit wide = fit_picture(1920, 1080, 4000, 1000, 5.0);
    EXPECT_EQ(wide.placement, Placement::FullWidth);
    EXPECT_EQ(wide.height, 384);
    EXPECT_EQ(wide.top, 348);
    const PictureFit tall = fit_picture(1920, 1080, 1500, 3000, 0.25);
    EXPECT_EQ(tall.placement, Placement::FullHeight);
    EXPECT_EQ(tall.width, 270);
    EXPECT_EQ(tall.left, 825);
}

TEST(FitPicture, AZeroHeightOrAnOverflowIsAnError)
{
    EXPECT_THROW((void)fit_picture(1920, 1080, 640, 0), platform::RuntimeError);
    EXPECT_THROW((void)fit_picture(1920, 1080, 0, 0), platform::RuntimeError);
    EXPECT_THROW((void)fit_picture(3e38f, 1080, 3e38f, 1e-3f), platform::RuntimeError);
    EXPECT_THROW((void)centred(1e300, 0), platform::RuntimeError);
    EXPECT_EQ(centred(1920, 1819), 50.5f);
    EXPECT_EQ(centred(100, 300), -100);
}

} // namespace
} // namespace imaging

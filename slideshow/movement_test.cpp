// The movement test's closed bands.
#include "slideshow/movement.h"

#include "platform/errors.h"

#include <gtest/gtest.h>

#include <limits>

namespace slideshow {
namespace {

TEST(MovedBeyondTolerance, EndsOnlyWhenBothCoordinatesLeaveTheirBands)
{
    const PointF base{100, 100};
    EXPECT_FALSE(moved_beyond_tolerance(base, {100, 100}));
    EXPECT_FALSE(moved_beyond_tolerance(base, {105, 95}));  // both bounds are inclusive
    EXPECT_FALSE(moved_beyond_tolerance(base, {95, 105}));
    EXPECT_TRUE(moved_beyond_tolerance(base, {106, 94}));
    EXPECT_TRUE(moved_beyond_tolerance(base, {94, 106}));
    EXPECT_TRUE(moved_beyond_tolerance(base, {-500, -500}));
    EXPECT_FALSE(moved_beyond_tolerance(base, {106, 100})); // Y inside
    EXPECT_FALSE(moved_beyond_tolerance(base, {300, 100}));
    EXPECT_FALSE(moved_beyond_tolerance(base, {100, 300})); // X inside
    EXPECT_FALSE(moved_beyond_tolerance(base, {0, 105}));
}

TEST(MovedBeyondTolerance, FractionalPositionsAreMeasuredExactly)
{
    const PointF base{10.5f, 20.25f};
    EXPECT_FALSE(moved_beyond_tolerance(base, {15.5f, 25.25f}));
    EXPECT_TRUE(moved_beyond_tolerance(base, {15.5625f, 25.3125f}));
    EXPECT_TRUE(moved_beyond_tolerance(base, {5.4375f, 15.1875f}));
}

TEST(MovedBeyondTolerance, ABaselineThatIsNoNumberIsAnError)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_THROW(moved_beyond_tolerance({nan, 0}, {0, 0}), platform::RuntimeError);
    // Near the largest float the bounds round back to the baseline itself: no error.
    const float huge = std::numeric_limits<float>::max();
    EXPECT_FALSE(moved_beyond_tolerance({huge, 0}, {huge, 100}));
}

} // namespace
} // namespace slideshow

// Checked arithmetic: what counts as a run-time error.
#include "slideshow/checked.h"

#include "platform/errors.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace slideshow {
namespace {

TEST(Checked, SixteenBitAdditionFailsOnOverflowOnly)
{
    EXPECT_EQ(checked_add(32766, 1), 32767);
    EXPECT_EQ(checked_add(-32767, -1), -32768);
    EXPECT_THROW(checked_add(32767, 1), platform::RuntimeError);
    EXPECT_THROW(checked_add(-32768, -1), platform::RuntimeError);
}

TEST(Checked, DivisionFailsOnZeroAndNonFiniteResults)
{
    EXPECT_DOUBLE_EQ(checked_divide(1920, 1080), 1920.0 / 1080.0);
    EXPECT_EQ(checked_divide(0, 5), 0.0);
    EXPECT_THROW(checked_divide(1, 0), platform::RuntimeError);
    EXPECT_THROW(checked_divide(0, 0), platform::RuntimeError);
    EXPECT_THROW(checked_divide(1e308, 1e-308), platform::RuntimeError);
    EXPECT_THROW(checked_divide(std::nan(""), 1), platform::RuntimeError);
}

TEST(Checked, SingleRoundingIsNearestAndFailsOutOfRange)
{
    EXPECT_EQ(to_single(50.5), 50.5f);
    EXPECT_EQ(to_single(1.0 / 3.0), static_cast<float>(1.0 / 3.0));
    EXPECT_EQ(to_single(0.1), 0.1f);
    EXPECT_THROW(to_single(1e39), platform::RuntimeError);
    EXPECT_THROW(to_single(-1e39), platform::RuntimeError);
    EXPECT_THROW(to_single(std::nan("")), platform::RuntimeError);
    EXPECT_THROW(to_single(std::numeric_limits<double>::infinity()), platform::RuntimeError);
    EXPECT_EQ(to_single(std::numeric_limits<float>::max()), std::numeric_limits<float>::max());
}

} // namespace
} // namespace slideshow

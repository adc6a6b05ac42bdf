// The movement test: has the pointer left the baseline's band in both directions?
#pragma once

namespace slideshow {

// How far the pointer may move from its baseline, in pixels, in each direction.
constexpr double kTolerance = 5.0;

struct PointF {
    float x = 0;
    float y = 0;
};

// True when `position` lies outside the closed band baseline ± kTolerance in X and in Y
// at once. The bounds are rounded to single precision; throws RuntimeError on overflow.
bool moved_beyond_tolerance(PointF baseline, PointF position);

} // namespace slideshow

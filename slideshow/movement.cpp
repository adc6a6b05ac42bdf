// The movement test: has the pointer left the baseline's band in both directions?
#include "slideshow/movement.h"

#include "slideshow/checked.h"

namespace slideshow {

namespace {

bool inside_band(float base, float value)
{
    const float low = to_single(double{base} - kTolerance);
    const float high = to_single(double{base} + kTolerance);
    return low <= value && value <= high;
}

} // namespace

bool moved_beyond_tolerance(PointF baseline, PointF position)
{
    const bool x_inside = inside_band(baseline.x, position.x);
    const bool y_inside = inside_band(baseline.y, position.y);
    return !x_inside && !y_inside;
}

} // namespace slideshow

// Checked arithmetic: 16-bit integers and single-precision results that fail loudly.
#include "slideshow/checked.h"

#include "platform/errors.h"

#include <cmath>
#include <limits>

namespace slideshow {

std::int16_t checked_add(std::int16_t a, std::int16_t b)
{
    const int sum = int{a} + int{b};
    if (sum > std::numeric_limits<std::int16_t>::max() || sum < std::numeric_limits<std::int16_t>::min())
        throw platform::RuntimeError("overflow");
    return static_cast<std::int16_t>(sum);
}

double checked_divide(double a, double b)
{
    if (b == 0.0)
        throw platform::RuntimeError("division by zero");
    const double q = a / b;
    if (std::isnan(q))
        throw platform::RuntimeError("invalid floating-point operation");
    if (std::isinf(q))
        throw platform::RuntimeError("overflow");
    return q;
}

float to_single(double x)
{
    if (std::isnan(x))
        throw platform::RuntimeError("invalid floating-point operation");
    const float f = static_cast<float>(x);
    if (std::isinf(f))
        throw platform::RuntimeError("overflow");
    return f;
}

} // namespace slideshow

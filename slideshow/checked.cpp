// Checked arithmetic: 16-bit integers that fail loudly on overflow.
#include "slideshow/checked.h"

#include "platform/errors.h"

#include <limits>

namespace slideshow {

std::int16_t checked_add(std::int16_t a, std::int16_t b)
{
    const int sum = int{a} + int{b};
    if (sum > std::numeric_limits<std::int16_t>::max() || sum < std::numeric_limits<std::int16_t>::min())
        throw platform::RuntimeError("overflow");
    return static_cast<std::int16_t>(sum);
}

} // namespace slideshow

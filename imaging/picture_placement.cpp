// Where a picture goes on a screen: which way it is placed, and its rectangle in single precision.
#include "imaging/picture_placement.h"

#include "platform/errors.h"

#include <cmath>

namespace imaging {

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

Placement choose_placement(float sw, float sh, float w, float h)
{
    if (sw > w && sh > h)
        return Placement::NaturalSize;
    // Both aspects are rounded to single precision before they are compared, so that a
    // picture with the window's own aspect always takes the same, predictable branch.
    const float picture_aspect = to_single(checked_divide(w, h));
    const float window_aspect = to_single(checked_divide(sw, sh));
    if (w > h)
        return picture_aspect > window_aspect ? Placement::FullWidth : Placement::FullHeight;
    return window_aspect > picture_aspect ? Placement::FullHeight : Placement::FullWidth;
}

PictureFit fit_picture(float sw, float sh, float w, float h)
{
    return fit_picture(sw, sh, w, h, checked_divide(w, h));
}

PictureFit fit_picture(float sw, float sh, float w, float h, double aspect)
{
    PictureFit fit;
    fit.placement = choose_placement(sw, sh, w, h);
    switch (fit.placement) {
    case Placement::NaturalSize:
        fit.width = w;
        fit.height = h;
        fit.left = centred(sw, w);
        fit.top = centred(sh, h);
        break;
    case Placement::FullWidth:
        fit.width = sw;
        fit.height = to_single(checked_divide(sw, aspect));
        fit.left = 0;
        fit.top = centred(sh, fit.height);
        break;
    case Placement::FullHeight:
        fit.height = sh;
        fit.width = to_single(sh * aspect);
        fit.left = centred(sw, fit.width);
        fit.top = 0;
        break;
    }
    return fit;
}

float centred(double room, double size)
{
    return to_single((room - size) / 2.0);
}

} // namespace imaging

#include "render/CircleRasterizer.h"

#include "render/PixelStore.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tessik::cadhost {

namespace {

// Floor by a truncating conversion: without SSE4.1 the library call costs
// more than the few instructions of a pixel.
qsizetype floored(double v)
{
    const auto i = static_cast<qsizetype>(v);
    return i - (static_cast<double>(i) > v);
}

}  // namespace

void CircleRasterizer::cut(double along, double across, double radius, qsizetype step, qsizetype pitch)
{
    // Lines at and past the centre, mirrored to the other side: the centre
    // is put on a line or halfway between two.
    const qsizetype mirror = floored(2 * along + 0.5), first = (mirror + 1) / 2;
    const double x0 = static_cast<double>(first) - static_cast<double>(mirror) / 2;
    // To 45 degrees, and a line on to join the other part.
    const double reach = std::min(radius * std::numbers::sqrt2 / 2 + 1, radius);
    if (x0 > reach) return;
    const qsizetype count = floored(reach - x0) + 1;
    const double r2 = radius * radius, centre = across + 0.5;
    // A copy, which the compiler may keep in a register: a pixel store could
    // otherwise be taken to change it.
    const QRgb color = color_;
    uchar* a = bits_ + first * step;
    uchar* b = bits_ + (mirror - first) * step;
    double x = x0;
    for (qsizetype k = 0; k < count; ++k, a += step, b -= step, x += 1) {
        const double s = std::sqrt(std::max(0.0, r2 - x * x));
        // Inside the image every coordinate is >= 0: truncating rounds.
        const auto near = static_cast<qsizetype>(centre - s) * pitch, far = static_cast<qsizetype>(centre + s) * pitch;
        storePixel(a + near, color);
        storePixel(a + far, color);
        storePixel(b + near, color);
        storePixel(b + far, color);
    }
}

void CircleRasterizer::draw(QPointF centre, double radius)
{
    const qsizetype pixel = sizeof(QRgb);
    cut(centre.x(), centre.y(), radius, pixel, stride_);
    cut(centre.y(), centre.x(), radius, stride_, pixel);
}

}  // namespace tessik::cadhost

#include "render/CircleRasterizer.h"

#include "render/PixelStore.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

#if defined(__x86_64__)
#include <emmintrin.h>
#endif

namespace tessik::cadhost {

namespace {

// Floor by a truncating conversion: without SSE4.1 the library call costs
// more than the few instructions of a pixel.
qsizetype floored(double v)
{
    const auto i = static_cast<qsizetype>(v);
    return i - (static_cast<double>(i) > v);
}

// The largest squared radius, and the largest pixel coordinate, that the
// crossings are worked out for in single precision.
constexpr double kSingleR2 = 1 << 20, kSinglePixels = 1 << 14;

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
    qsizetype k = 0;
#if defined(__x86_64__)
    if (r2 <= kSingleR2 && centre <= kSinglePixels) {
        // Four lines at a time in single precision: for a circle this small
        // and this near the origin its rounding moves a crossing by under
        // 1e-3 pixel.
        const __m128 rr = _mm_set1_ps(static_cast<float>(r2)), cc = _mm_set1_ps(static_cast<float>(centre));
        const __m128 zero = _mm_setzero_ps(), four = _mm_set1_ps(4);
        const auto f = static_cast<float>(x0);
        __m128 xs = _mm_setr_ps(f, f + 1, f + 2, f + 3);
        alignas(16) std::int32_t near[4], far[4];
        for (; k + 4 <= count; k += 4, xs = _mm_add_ps(xs, four)) {
            const __m128 root = _mm_sqrt_ps(_mm_max_ps(_mm_sub_ps(rr, _mm_mul_ps(xs, xs)), zero));
            _mm_store_si128(reinterpret_cast<__m128i*>(near), _mm_cvttps_epi32(_mm_sub_ps(cc, root)));
            _mm_store_si128(reinterpret_cast<__m128i*>(far), _mm_cvttps_epi32(_mm_add_ps(cc, root)));
            for (int i = 0; i < 4; ++i, a += step, b -= step) {
                storePixel(a + near[i] * pitch, color);
                storePixel(a + far[i] * pitch, color);
                storePixel(b + near[i] * pitch, color);
                storePixel(b + far[i] * pitch, color);
            }
        }
        x += static_cast<double>(k);
    }
#endif
    for (; k < count; ++k, a += step, b -= step, x += 1) {
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

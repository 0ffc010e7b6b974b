#include "EllipseRasterizer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tessik::cadhost {

namespace {

// Floor by a truncating conversion: without SSE4.1 the library call costs
// more than the few instructions of a pixel.
qsizetype floorOf(double v)
{
    const auto i = static_cast<qsizetype>(v);
    return i - (static_cast<double>(i) > v);
}

// For n lines at offsets a0, a0 + 1, ... from the centre, the pixels the
// crossings round to: across + slope a + scale sqrt(k - a^2), truncated (the
// root is 0 past the extent). Two lines at a time where SSE2 is (always on
// x86-64); may write one entry past n.
void crossings(double a0, int n, double k, double slope, double scale, double across, std::int32_t* pixels)
{
#if defined(__SSE2__)
    const __m128d kk = _mm_set1_pd(k), ss = _mm_set1_pd(slope), cc = _mm_set1_pd(scale), xx = _mm_set1_pd(across);
    const __m128d zero = _mm_setzero_pd(), two = _mm_set1_pd(2);
    __m128d a = _mm_set_pd(a0 + 1, a0);
    for (int i = 0; i < n; i += 2, a = _mm_add_pd(a, two)) {
        const __m128d r = _mm_sqrt_pd(_mm_max_pd(_mm_sub_pd(kk, _mm_mul_pd(a, a)), zero));
        const __m128d at = _mm_add_pd(xx, _mm_add_pd(_mm_mul_pd(ss, a), _mm_mul_pd(cc, r)));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(pixels + i), _mm_cvttpd_epi32(at));
    }
#else
    for (int i = 0; i < n; ++i) {
        const double a = a0 + i;
        pixels[i] = static_cast<std::int32_t>(across + slope * a + scale * std::sqrt(std::max(0.0, k - a * a)));
    }
#endif
}

double cross(QPointF a, QPointF b) { return a.x() * b.y() - a.y() * b.x(); }

}  // namespace

// The crossings of one side of the ellipse with a run of lines (columns, or
// rows): for a line at offset a from the centre, the crossing lies at offset
// (-l a + sign root sqrt(k - a^2)) / k along it. from and to are the offsets
// of the lines where the ellipse turns through 45 degrees, step and pitch the
// byte offsets of the next line and of the next pixel along one.
struct EllipseRasterizer::Stretch {
    double along = 0, across = 0;  // the centre, across the lines and along each
    double k = 0, l = 0, root = 0, sign = 0;
    double from = 0, to = 0;
    qsizetype step = 0, pitch = 0;
};

void EllipseRasterizer::cut(const Stretch& s)
{
    // Two lines past each end join the stretch to its neighbours; no line
    // past the ellipse's extent.
    const double extent = std::sqrt(s.k);
    const qsizetype first = std::max(-floorOf(-(s.along + s.from)) - 2, -floorOf(-(s.along - extent)));
    const qsizetype last = std::min(floorOf(s.along + s.to) + 2, floorOf(s.along + extent));
    // Copies, which the compiler may keep in registers: a pixel store could
    // otherwise be taken to change them.
    const double slope = -s.l / s.k, scale = s.sign * s.root / s.k, across = s.across + 0.5;
    const qsizetype step = s.step, pitch = s.pitch;
    const QRgb color = color_;
    uchar* line = bits_ + first * step;
    // Inside the image every coordinate is >= 0: truncating rounds.
    std::array<std::int32_t, kBatch + 1> pixels;
    for (qsizetype q = first; q <= last; q += kBatch) {
        const int n = static_cast<int>(std::min<qsizetype>(kBatch, last - q + 1));
        crossings(static_cast<double>(q) - s.along, n, s.k, slope, scale, across, pixels.data());
        for (int i = 0; i < n; ++i, line += step) *reinterpret_cast<QRgb*>(line + pixels[i] * pitch) = color;
    }
}

void EllipseRasterizer::draw(QPointF c, QPointF u, QPointF w)
{
    // The ellipse as the offsets d with a dx^2 + 2 b dx dy + e dy^2 = det^2.
    const double a = w.y() * w.y() + u.y() * u.y(), b = -(w.x() * w.y() + u.x() * u.y());
    const double e = w.x() * w.x() + u.x() * u.x(), root = std::abs(cross(u, w));
    // The four points where it runs at 45 degrees, where the stretches cut
    // by columns and by rows meet: where the gradient (a dx + b dy, b dx +
    // e dy) has equal or opposite components, scaled onto the ellipse.
    std::array<QPointF, 4> turns;
    const QPointF directions[2] = {{e - b, a - b}, {b + e, -(a + b)}};
    for (int i = 0; i < 2; ++i) {
        const QPointF d = directions[i];
        const double q = a * d.x() * d.x() + 2 * b * d.x() * d.y() + e * d.y() * d.y();
        turns[2 * i] = d * (root / std::sqrt(q));
        turns[2 * i + 1] = -turns[2 * i];
    }
    const qsizetype pixel = sizeof(QRgb);
    for (int side = 0; side < 4; ++side) {
        const bool rows = side >= 2, near = side % 2 == 0;
        Stretch s{rows ? c.y() : c.x(), rows ? c.x() : c.y(), rows ? a : e, b, root, near ? -1.0 : 1.0,
                  1e300, -1e300, rows ? stride_ : pixel, rows ? pixel : stride_};
        // Of each opposite pair of turning points, the one on this side of
        // the line through the centre halfway between the two crossings.
        for (const QPointF& d : turns) {
            if (((rows ? a * d.x() + b * d.y() : b * d.x() + e * d.y()) < 0) != near) continue;
            const double offset = rows ? d.y() : d.x();
            s.from = std::min(s.from, offset);
            s.to = std::max(s.to, offset);
        }
        if (s.from <= s.to) cut(s);
    }
}

}  // namespace tessik::cadhost

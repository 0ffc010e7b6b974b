#include "render/EllipseRasterizer.h"

#include "render/PixelStore.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>

#if defined(__x86_64__)
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

double cross(QPointF a, QPointF b) { return a.x() * b.y() - a.y() * b.x(); }

constexpr double kPi = std::numbers::pi, kTwoPi = 2 * std::numbers::pi;
// The largest squared extent, and the largest pixel coordinate, that the
// crossings are worked out for in single precision.
constexpr double kSingleK = 1 << 20, kSinglePixels = 1 << 14;

// The cosine and sine of t by their series on the nearest quarter turn's
// remainder (under 1e-16 off), which costs a fraction of the library's call;
// t in [0, 4 pi), else the library's.
void cosSin(double t, double& c, double& s)
{
    if (!(t >= 0 && t < 2 * kTwoPi)) {
        c = std::cos(t);
        s = std::sin(t);
        return;
    }
    // pi / 2 in two parts, so that the remainder keeps its digits.
    constexpr double kHigh = 1.5707963267948966, kLow = 6.123233995736766e-17;
    const int quarter = static_cast<int>(t * (2 / kPi) + 0.5);
    const double r = (t - quarter * kHigh) - quarter * kLow, r2 = r * r;
    // Factors, not divisors: a division costs several multiplications.
    constexpr double s3 = 1.0 / 6, s5 = 1.0 / 20, s7 = 1.0 / 42, s9 = 1.0 / 72, s11 = 1.0 / 110, s13 = 1.0 / 156,
                     s15 = 1.0 / 210;
    constexpr double c2 = 1.0 / 2, c4 = 1.0 / 12, c6 = 1.0 / 30, c8 = 1.0 / 56, c10 = 1.0 / 90, c12 = 1.0 / 132,
                     c14 = 1.0 / 182, c16 = 1.0 / 240;
    const double sr =
        r * (1 - r2 * s3 * (1 - r2 * s5 * (1 - r2 * s7 * (1 - r2 * s9 * (1 - r2 * s11 * (1 - r2 * s13 * (1 - r2 * s15)))))));
    const double cr = 1 - r2 * c2 * (1 - r2 * c4 * (1 - r2 * c6 * (1 - r2 * c8 * (1 - r2 * c10 * (1 - r2 * c12 * (1 - r2 * c14 * (1 - r2 * c16)))))));
    switch (quarter & 3) {
    case 0: c = cr; s = sr; break;
    case 1: c = -sr; s = cr; break;
    case 2: c = -cr; s = -sr; break;
    default: c = sr; s = -cr; break;
    }
}

}  // namespace

// The crossings of one side of the ellipse with a run of lines (columns, or
// rows): for a line at offset a from the centre, the crossing lies at offset
// slope a + scale sqrt(k - a^2) along it, and no line past the extent sqrt(k)
// crosses it. from and to are the offsets of the lines where the ellipse
// turns through 45 degrees, step and pitch the byte offsets of the next line
// and of the next pixel along one.
struct EllipseRasterizer::Stretch {
    double along = 0, across = 0;  // the centre, across the lines and along each
    double k = 0, extent = 0, slope = 0, scale = 0;
    double from = 0, to = 0;
    qsizetype step = 0, pitch = 0;
    // The lines the clip takes, and the crossings it takes along them (a
    // crossing c lights its pixel when pixelsFrom <= c + 0.5 < pixelsTo);
    // checked when some crossing may fall outside.
    qsizetype firstLine = std::numeric_limits<qsizetype>::min(), lastLine = std::numeric_limits<qsizetype>::max();
    double pixelsFrom = 0, pixelsTo = 0;
    bool checked = false;
};

void EllipseRasterizer::clip(int left, int top, int right, int bottom)
{
    clipped_ = true;
    left_ = left;
    top_ = top;
    right_ = right;
    bottom_ = bottom;
}

void EllipseRasterizer::cut(const Stretch& s, qsizetype from, qsizetype to)
{
    // A line past each end joins the stretch to its neighbours; no line
    // past the ellipse's extent.
    const qsizetype first =
        std::max({from, -floorOf(-(s.along + s.from)) - 1, -floorOf(-(s.along - s.extent)), s.firstLine});
    const qsizetype last = std::min({to, floorOf(s.along + s.to) + 1, floorOf(s.along + s.extent), s.lastLine});
    // Copies, which the compiler may keep in registers: a pixel store could
    // otherwise be taken to change them.
    const double slope = s.slope, scale = s.scale, across = s.across + 0.5;
    const qsizetype step = s.step, pitch = s.pitch;
    const QRgb color = color_;
    uchar* line = bits_ + first * step;
    // Inside the image every coordinate is >= 0: truncating rounds.
    const auto crossing = [&](qsizetype q) {
        const double o = static_cast<double>(q) - s.along;
        return static_cast<qsizetype>(across + (slope * o + scale * std::sqrt(std::max(0.0, s.k - o * o))));
    };
    qsizetype q = first;
    if (s.checked) {
        // Each crossing tested before its pixel is lit: with the lower
        // bound at least 0, truncating what passes rounds.
        const double low = s.pixelsFrom, high = s.pixelsTo;
        for (; q <= last; ++q, line += step) {
            const double o = static_cast<double>(q) - s.along;
            const double at = across + (slope * o + scale * std::sqrt(std::max(0.0, s.k - o * o)));
            if (at >= low && at < high) storePixel(line + static_cast<qsizetype>(at) * pitch, color);
        }
        return;
    }
#if defined(__x86_64__)
    if (s.k <= kSingleK && std::abs(across) <= kSinglePixels) {
        // Four lines at a time in single precision: over lines this short
        // and crossings this near the origin its rounding moves a crossing
        // by under 1e-3 pixel.
        const __m128 kk = _mm_set1_ps(static_cast<float>(s.k)), ss = _mm_set1_ps(static_cast<float>(slope)),
                     cc = _mm_set1_ps(static_cast<float>(scale)), xx = _mm_set1_ps(static_cast<float>(across));
        const __m128 zero = _mm_setzero_ps(), four = _mm_set1_ps(4);
        const double a0 = static_cast<double>(first) - s.along;
        __m128 a = _mm_setr_ps(static_cast<float>(a0), static_cast<float>(a0 + 1), static_cast<float>(a0 + 2),
                               static_cast<float>(a0 + 3));
        alignas(16) std::int32_t at[4];
        for (; q + 3 <= last; q += 4, a = _mm_add_ps(a, four), line += 4 * step) {
            const __m128 r = _mm_sqrt_ps(_mm_max_ps(_mm_sub_ps(kk, _mm_mul_ps(a, a)), zero));
            _mm_store_si128(reinterpret_cast<__m128i*>(at),
                            _mm_cvttps_epi32(_mm_add_ps(xx, _mm_add_ps(_mm_mul_ps(ss, a), _mm_mul_ps(cc, r)))));
            storePixel(line + at[0] * pitch, color);
            storePixel(line + step + at[1] * pitch, color);
            storePixel(line + 2 * step + at[2] * pitch, color);
            storePixel(line + 3 * step + at[3] * pitch, color);
        }
        for (; q <= last; ++q, line += step) storePixel(line + crossing(q) * pitch, color);
        return;
    }
    // Two lines at a time (the root is 0 past the extent), each pixel
    // stored straight from the register.
    const __m128d kk = _mm_set1_pd(s.k), ss = _mm_set1_pd(slope), cc = _mm_set1_pd(scale), xx = _mm_set1_pd(across);
    const __m128d zero = _mm_setzero_pd(), two = _mm_set1_pd(2);
    const double a0 = static_cast<double>(first) - s.along;
    __m128d a = _mm_set_pd(a0 + 1, a0);
    for (; q < last; q += 2, a = _mm_add_pd(a, two), line += 2 * step) {
        const __m128d r = _mm_sqrt_pd(_mm_max_pd(_mm_sub_pd(kk, _mm_mul_pd(a, a)), zero));
        const __m128d at = _mm_add_pd(xx, _mm_add_pd(_mm_mul_pd(ss, a), _mm_mul_pd(cc, r)));
        const auto both = static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_cvttpd_epi32(at)));
        storePixel(line + static_cast<std::int32_t>(both) * pitch, color);
        storePixel(line + step + static_cast<std::int32_t>(both >> 32) * pitch, color);
    }
#endif
    for (; q <= last; ++q, line += step) storePixel(line + crossing(q) * pitch, color);
}

// A stretch lies on one half of the ellipse: where its line coordinate
// p(t) = pu cos t + pw sin t (x for columns) falls from its largest to its
// smallest over half a turn (descending), or on the other half, where it
// rises again. The part meets that half in at most two runs of parameters,
// and p, monotonic on each, bounds their lines. in0 and in1 tell whether the
// part's ends lie on the half.
void EllipseRasterizer::cutPart(const Stretch& s, bool descending, double span, double o0, double o1, bool in0,
                                bool in1)
{
    const double top = descending ? s.extent : -s.extent;  // p where the half begins
    const auto lines = [&](double from, double to) {
        cut(s, -floorOf(-(s.along + std::min(from, to))), floorOf(s.along + std::max(from, to)));
    };
    // Both ends on the half: the part stays on it when under half a turn,
    // else it leaves it and comes back. Neither: it crosses all of the
    // half when over half a turn, else misses it.
    const bool longer = span > kPi;
    if (in0 && in1 && !longer) {
        lines(o0, o1);
        return;
    }
    if (in0) lines(o0, -top);
    if (in1) lines(top, o1);
    if (!in0 && !in1 && longer) lines(top, -top);
}

void EllipseRasterizer::pixel(QPointF p)
{
    if (clipped_ && !(p.x() + 0.5 >= left_ && p.x() + 0.5 < right_ && p.y() + 0.5 >= top_ && p.y() + 0.5 < bottom_))
        return;
    // Inside the image every coordinate is >= 0: truncating rounds.
    storePixel(bits_ + static_cast<qsizetype>(p.y() + 0.5) * stride_ +
                   static_cast<qsizetype>(p.x() + 0.5) * static_cast<qsizetype>(sizeof(QRgb)),
               color_);
}

void EllipseRasterizer::draw(QPointF c, QPointF u, QPointF w, double start, double span)
{
    const bool whole = !(span < kTwoPi);
    // The part's ends, and the directions the ellipse runs there, from the
    // centre.
    QPointF p0, p1, d0, d1;
    if (!whole) {
        double c0, s0, c1, s1;
        cosSin(start, c0, s0);
        cosSin(start + span, c1, s1);
        p0 = u * c0 + w * s0;
        p1 = u * c1 + w * s1;
        d0 = w * c0 - u * s0;
        d1 = w * c1 - u * s1;
    }
    // The ellipse as the offsets d with a dx^2 + 2 b dx dy + e dy^2 = det^2.
    const double a = w.y() * w.y() + u.y() * u.y(), b = -(w.x() * w.y() + u.x() * u.y());
    const double e = w.x() * w.x() + u.x() * u.x(), turn = cross(u, w), root = std::abs(turn);
    // The four points where it runs at 45 degrees, where the stretches cut
    // by columns and by rows meet: where the gradient (a dx + b dy, b dx +
    // e dy) has equal or opposite components, scaled onto the ellipse.
    QPointF turns[2];
    const QPointF directions[2] = {{e - b, a - b}, {b + e, -(a + b)}};
    for (int i = 0; i < 2; ++i) {
        const QPointF d = directions[i];
        const double q = a * d.x() * d.x() + 2 * b * d.x() * d.y() + e * d.y() * d.y();
        turns[i] = d * (root / std::sqrt(q));
    }
    const qsizetype bytes = sizeof(QRgb);
    for (int axis = 0; axis < 2; ++axis) {
        const bool rows = axis == 1;
        const double k = rows ? a : e, extent = std::sqrt(k), inverse = 1 / k;
        // Of each opposite pair of turning points, the one on the near side
        // of the line through the centre halfway between the two crossings;
        // the other is on the far side.
        double offsets[2];
        for (int i = 0; i < 2; ++i) {
            const QPointF d = turns[i];
            const double offset = rows ? d.y() : d.x();
            offsets[i] = (rows ? a * d.x() + b * d.y() : b * d.x() + e * d.y()) < 0 ? offset : -offset;
        }
        const double low = std::min(offsets[0], offsets[1]), high = std::max(offsets[0], offsets[1]);
        for (int side = 0; side < 2; ++side) {
            const bool near = side == 0;
            Stretch s{rows ? c.y() : c.x(),
                      rows ? c.x() : c.y(),
                      k,
                      extent,
                      -b * inverse,
                      (near ? -root : root) * inverse,
                      near ? low : -high,
                      near ? high : -low,
                      rows ? stride_ : bytes,
                      rows ? bytes : stride_};
            if (clipped_) {
                s.firstLine = rows ? top_ : left_;
                s.lastLine = (rows ? bottom_ : right_) - 1;
                s.pixelsFrom = rows ? left_ : top_;
                s.pixelsTo = rows ? right_ : bottom_;
                // Every crossing lies within the ellipse's reach along the
                // lines of the centre (the other axis's extent).
                const double reach = std::sqrt(rows ? e : a) + 1;
                s.checked = s.across - reach < s.pixelsFrom || s.across + reach > s.pixelsTo - 1;
            }
            if (whole) {
                cut(s, std::numeric_limits<qsizetype>::min(), std::numeric_limits<qsizetype>::max());
                continue;
            }
            // The near side of the columns is the descending half when u
            // turns to w counter-clockwise as the screen shows it (y down);
            // of the rows, when it turns clockwise.
            const bool descending = near == (rows ? turn > 0 : turn < 0);
            const double q0 = rows ? d0.y() : d0.x(), q1 = rows ? d1.y() : d1.x();
            cutPart(s, descending, span, rows ? p0.y() : p0.x(), rows ? p1.y() : p1.x(), (q0 <= 0) == descending,
                    (q1 <= 0) == descending);
        }
    }
    if (!whole) {
        pixel(c + p0);
        pixel(c + p1);
    }
}

}  // namespace tessik::cadhost

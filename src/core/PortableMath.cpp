#include "PortableMath.h"

#include <cmath>

namespace tessik::math {

namespace {

// A number as the unevaluated sum hi + lo, |lo| <= half an ulp of hi.
struct DD {
    double hi = 0, lo = 0;
};

DD quickTwoSum(double a, double b)
{
    const double s = a + b;
    return {s, b - (s - a)};
}

DD twoSum(double a, double b)
{
    const double s = a + b;
    const double bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

// The exact product by Dekker's split: no fused multiply-add needed.
DD twoProd(double a, double b)
{
    const auto split = [](double v, double& hi, double& lo) {
        const double c = 134217729.0 * v;  // 2^27 + 1
        hi = c - (c - v);
        lo = v - hi;
    };
    double ah, al, bh, bl;
    split(a, ah, al);
    split(b, bh, bl);
    const double p = a * b;
    return {p, ((ah * bh - p) + ah * bl + al * bh) + al * bl};
}

DD add(DD a, DD b)
{
    DD s = twoSum(a.hi, b.hi);
    const DD t = twoSum(a.lo, b.lo);
    s.lo += t.hi;
    s = quickTwoSum(s.hi, s.lo);
    s.lo += t.lo;
    return quickTwoSum(s.hi, s.lo);
}

DD neg(DD a) { return {-a.hi, -a.lo}; }
DD sub(DD a, DD b) { return add(a, neg(b)); }

DD mul(DD a, DD b)
{
    DD p = twoProd(a.hi, b.hi);
    p.lo += a.hi * b.lo + a.lo * b.hi;
    return quickTwoSum(p.hi, p.lo);
}

DD div(DD a, DD b)
{
    const double q1 = a.hi / b.hi;
    DD r = sub(a, mul(b, {q1, 0}));
    const double q2 = r.hi / b.hi;
    r = sub(r, mul(b, {q2, 0}));
    const double q3 = r.hi / b.hi;
    return add(quickTwoSum(q1, q2), {q3, 0});
}

DD sqrt(DD a)
{
    const double x = std::sqrt(a.hi);
    const DD r = sub(a, twoProd(x, x));
    return quickTwoSum(x, r.hi / (2 * x));
}

// pi/2 in three parts, the first two of 33 bits so that k times them is exact
// for |k| < 2^20; pi and pi/2 as double-doubles.
constexpr double kPio2a = 0x1.921fb544p+0;
constexpr double kPio2b = 0x1.0b4611a6p-34;
constexpr double kPio2c = 0x1.3198a2e037073p-69;
constexpr DD kPi{0x1.921fb54442d18p+1, 0x1.1a62633145c07p-53};
constexpr DD kPio2{0x1.921fb54442d18p+0, 0x1.1a62633145c07p-54};
constexpr double kTwoOverPi = 0x1.45f306dc9c883p-1;
constexpr double kLargest = 0x1p20;

constexpr int kSeriesTerms = 15;

struct Reciprocals {
    DD sinStep[kSeriesTerms], cosStep[kSeriesTerms], odd[kSeriesTerms + 1];
    Reciprocals()
    {
        for (int i = 1; i < kSeriesTerms; ++i) {
            sinStep[i] = div({1, 0}, {2.0 * i * (2.0 * i + 1), 0});
            cosStep[i] = div({1, 0}, {(2.0 * i - 1) * (2.0 * i), 0});
        }
        for (int k = 0; k <= kSeriesTerms; ++k) odd[k] = div({1, 0}, {2.0 * k + 1, 0});
    }
};

const Reciprocals& reciprocals()
{
    static const Reciprocals table;
    return table;
}

// sin and cos of |r| <= pi/4 by their Taylor series in Horner form,
// 1 - r^2/(2i(2i+1)) (1 - ...); the last term is below 2^-110.
DD sinSeries(DD r)
{
    const DD r2 = mul(r, r);
    DD t{1, 0};
    for (int i = kSeriesTerms - 1; i >= 1; --i) t = sub({1, 0}, mul(mul(r2, t), reciprocals().sinStep[i]));
    return mul(r, t);
}

DD cosSeries(DD r)
{
    const DD r2 = mul(r, r);
    DD t{1, 0};
    for (int i = kSeriesTerms - 1; i >= 1; --i) t = sub({1, 0}, mul(mul(r2, t), reciprocals().cosStep[i]));
    return t;
}

// x = k pi/2 + r, |r| <= pi/4 (a little more at the rounding of k).
DD reduce(double x, int& quadrant)
{
    const double k = std::nearbyint(x * kTwoOverPi);
    quadrant = static_cast<int>(static_cast<long long>(k) & 3);
    // x - k*a is exact (the two are within a factor of two of each other),
    // and so is k*b; k*c is taken exactly as a double-double.
    DD r = twoSum(x - k * kPio2a, -(k * kPio2b));
    return sub(r, twoProd(k, kPio2c));
}

struct SinCos {
    DD sin, cos;
};

SinCos sinCos(double x)
{
    int quadrant = 0;
    const DD r = reduce(x, quadrant);
    const DD s = sinSeries(r), c = cosSeries(r);
    switch (quadrant) {
    case 0: return {s, c};
    case 1: return {c, neg(s)};
    case 2: return {neg(s), neg(c)};
    default: return {neg(c), s};
    }
}

bool plain(double x) { return std::isfinite(x) && std::fabs(x) <= kLargest; }

// atan of 0 < t <= 1: three halvings t -> t / (1 + sqrt(1 + t^2)) bring it
// below tan(pi/32), where the series needs 15 terms.
DD atanUnit(DD t)
{
    for (int i = 0; i < 3; ++i) t = div(t, add({1, 0}, sqrt(add({1, 0}, mul(t, t)))));
    const DD t2 = mul(t, t);
    DD p = reciprocals().odd[kSeriesTerms];
    for (int k = kSeriesTerms - 1; k >= 0; --k) p = sub(reciprocals().odd[k], mul(t2, p));
    const DD a = mul(t, p);
    return {a.hi * 8, a.lo * 8};
}

}  // namespace

double sin(double x)
{
    if (!plain(x)) return std::sin(x);
    if (x == 0) return x;
    return sinCos(x).sin.hi;
}

double cos(double x)
{
    if (!plain(x)) return std::cos(x);
    return sinCos(x).cos.hi;
}

double tan(double x)
{
    if (!plain(x)) return std::tan(x);
    if (x == 0) return x;
    const SinCos sc = sinCos(x);
    return div(sc.sin, sc.cos).hi;
}

double atan2(double y, double x)
{
    const double ax = std::fabs(x), ay = std::fabs(y);
    // Zeros, infinities and NaNs have exact answers; the far ends of the
    // range would overflow the products.
    if (!std::isfinite(x) || !std::isfinite(y) || ax == 0 || ay == 0 || ax > 0x1p500 || ay > 0x1p500 ||
        ax < 0x1p-500 || ay < 0x1p-500)
        return std::atan2(y, x);
    const bool steep = ay > ax;
    DD a = atanUnit(steep ? div({ax, 0}, {ay, 0}) : div({ay, 0}, {ax, 0}));
    if (steep) a = sub(kPio2, a);
    if (x < 0) a = sub(kPi, a);
    return y < 0 ? -a.hi : a.hi;
}

double hypot(double x, double y)
{
    const double ax = std::fabs(x), ay = std::fabs(y);
    const double big = ax > ay ? ax : ay, small = ax > ay ? ay : ax;
    if (!std::isfinite(big) || small == 0 || big > 0x1p500 || small < 0x1p-500) return std::hypot(x, y);
    return sqrt(add(twoProd(ax, ax), twoProd(ay, ay))).hi;
}

}  // namespace tessik::math

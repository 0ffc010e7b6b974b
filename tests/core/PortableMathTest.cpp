// The portable trigonometry against the C library's long double functions,
// rounded to double: an independent computation with 11 more bits.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>

#include "PortableMath.h"

namespace tessik {
namespace {

// A fixed sequence, the same on every platform.
struct Lcg {
    std::uint64_t state = 0x9E3779B97F4A7C15u;
    double uniform(double lo, double hi)
    {
        state = state * 6364136223846793005u + 1442695040888963407u;
        return lo + (hi - lo) * static_cast<double>(state >> 11) * 0x1p-53;
    }
};

double ulp(double v) { return std::nextafter(std::fabs(v), std::numeric_limits<double>::infinity()) - std::fabs(v); }

// Every result within one ulp of the reference, nearly all equal to it.
void agrees(const char* name, const std::function<double(double, double)>& ours,
            const std::function<long double(long double, long double)>& reference, double lo, double hi)
{
    Lcg g;
    int equal = 0;
    const int n = 20000;
    for (int i = 0; i < n; ++i) {
        const double a = g.uniform(lo, hi), b = g.uniform(lo, hi);
        const double want = static_cast<double>(reference(a, b));
        const double got = ours(a, b);
        ASSERT_LE(std::fabs(got - want), ulp(want)) << name << "(" << a << ", " << b << ")";
        equal += got == want;
    }
    EXPECT_GE(equal, n * 99 / 100) << name;
}

}  // namespace

// Within one turn: the x87 sine Windows' long double functions use loses
// digits near the other multiples of pi.
TEST(PortableMath, AgreesWithTheLongDoubleLibrary)
{
    agrees("sin", [](double a, double) { return math::sin(a); }, [](long double a, long double) { return sinl(a); },
           -3.1, 3.1);
    agrees("cos", [](double a, double) { return math::cos(a); }, [](long double a, long double) { return cosl(a); },
           -3.1, 3.1);
    agrees("tan", [](double a, double) { return math::tan(a); }, [](long double a, long double) { return tanl(a); },
           -1.5, 1.5);
    agrees("atan2", [](double a, double b) { return math::atan2(a, b); },
           [](long double a, long double b) { return atan2l(a, b); }, -5000, 5000);
    agrees("hypot", [](double a, double b) { return math::hypot(a, b); },
           [](long double a, long double b) { return std::sqrt(a * a + b * b); }, -5000, 5000);
}

TEST(PortableMath, ExactValuesAndTheEdges)
{
    EXPECT_EQ(math::sin(0.0), 0.0);
    EXPECT_TRUE(std::signbit(math::sin(-0.0)));
    EXPECT_EQ(math::cos(0.0), 1.0);
    EXPECT_EQ(math::atan2(1.0, 1.0), std::atan(1.0));
    EXPECT_EQ(math::atan2(0.0, -1.0), std::atan2(0.0, -1.0));
    EXPECT_EQ(math::hypot(3.0, 4.0), 5.0);
    EXPECT_EQ(math::hypot(-7.0, 0.0), 7.0);
    EXPECT_TRUE(std::isnan(math::sin(std::numeric_limits<double>::infinity())));
    EXPECT_TRUE(std::isnan(math::atan2(std::nan(""), 1.0)));
    // Past the reduction's range the C library answers (Windows' to 1e-14 there).
    EXPECT_NEAR(math::sin(1e7), static_cast<double>(sinl(1e7L)), 1e-12);
}

}  // namespace tessik

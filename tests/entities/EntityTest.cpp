#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>
#include <string>

#include "Entity.h"
#include "EntityGeometry.h"

using namespace tessik;
using namespace tessik::entities;

namespace {

// Every kind's names and number are its own: a copied traits line would make
// two kinds look alike to a DXF reader or an automation client.
template <class... Kinds>
void expectDistinctTraits(std::variant<Kinds...>*)
{
    std::set<std::string_view> dxf, automation, object;
    std::set<int> numbers;
    (dxf.insert(EntityTraits<Kinds>::dxfName), ...);
    (automation.insert(EntityTraits<Kinds>::automationName), ...);
    (object.insert(EntityTraits<Kinds>::objectName), ...);
    (numbers.insert(EntityTraits<Kinds>::typeNumber), ...);
    EXPECT_EQ(dxf.size(), sizeof...(Kinds));
    EXPECT_EQ(automation.size(), sizeof...(Kinds));
    EXPECT_EQ(object.size(), sizeof...(Kinds));
    EXPECT_EQ(numbers.size(), sizeof...(Kinds));
}

// An independent model of a bulged segment: its points sampled finely from
// the arc through start, end and the sagitta point.
Bounds sampledPolyline(const Polyline& p)
{
    Bounds b;
    const std::size_t n = p.vertices.size();
    for (std::size_t i = 0; i < n; ++i) {
        const PolylineVertex& v = p.vertices[i];
        b.add(v.x, v.y);
        if (i + 1 == n && !p.closed) break;
        const PolylineVertex& w = p.vertices[(i + 1) % n];
        const double theta = 4 * std::atan(v.bulge);  // included angle, signed
        for (int k = 1; k < 20000; ++k) {
            const double t = k / 20000.0;
            if (theta == 0) {
                b.add(v.x + (w.x - v.x) * t, v.y + (w.y - v.y) * t);
                continue;
            }
            // Turn the chord start->end by the angle swept so far: a point on
            // the arc is start + chord-scaled rotation (inscribed-angle rule).
            const double a = theta * t;
            const double scale = std::sin(a / 2) / std::sin(theta / 2);
            const double turn = (theta - a) / 2;
            const double dx = w.x - v.x, dy = w.y - v.y;
            b.add(v.x + scale * (dx * std::cos(turn) + dy * std::sin(turn)),
                  v.y + scale * (-dx * std::sin(turn) + dy * std::cos(turn)));
        }
    }
    return b;
}

}  // namespace

TEST(EntityTraits, EveryKindHasItsOwnNamesAndNumber)
{
    expectDistinctTraits(static_cast<Entity*>(nullptr));
    EXPECT_TRUE(KindsOf<Entity>::hasDxfName("LWPOLYLINE"));
    EXPECT_FALSE((KindsOf<std::variant<Line, Arc>>::hasDxfName("CIRCLE")));
    const Entity e = Ellipse{};
    EXPECT_EQ(dxfName(e), "ELLIPSE");
    EXPECT_EQ(typeNumber(e), 16);
}

TEST(EntityGeometry, PolylineBoundsFollowItsBulges)
{
    struct Row {
        const char* name;
        Polyline polyline;
    };
    const Row rows[] = {
        {"straight", {{{0, 0, 0}, {3, 1, 0}}, false, 0}},
        {"counter-clockwise half circle", {{{0, 0, 1}, {2, 0, 0}}, false, 0}},
        {"clockwise half circle", {{{0, 0, -1}, {2, 0, 0}}, false, 0}},
        {"shallow arc, turned", {{{1, 1, 0.2}, {-1, 3, 0}}, false, 0}},
        {"deep arc", {{{0, 0, 3}, {1, 0, 0}}, false, 0}},
        {"closing bulge", {{{0, 0, 0}, {2, 0, 0}, {2, 2, 0.5}}, true, 0}},
        {"open ignores the last bulge", {{{0, 0, 0}, {2, 0, 1}}, false, 0}},
    };
    for (const Row& row : rows) {
        const Bounds got = bounds(row.polyline), want = sampledPolyline(row.polyline);
        EXPECT_NEAR(got.minX, want.minX, 1e-6) << row.name;
        EXPECT_NEAR(got.minY, want.minY, 1e-6) << row.name;
        EXPECT_NEAR(got.maxX, want.maxX, 1e-6) << row.name;
        EXPECT_NEAR(got.maxY, want.maxY, 1e-6) << row.name;
    }
    EXPECT_NEAR(bounds(rows[1].polyline).minY, -1, 1e-12) << "a positive bulge runs to the right of its chord";
}

// A whole turn stays whole however its end was rounded; a short arc stays short.
TEST(EntityGeometry, AWholeTurnRoundedUpIsStillWhole)
{
    std::mt19937 random(11);
    std::uniform_real_distribution<double> turn(-10, 10);
    for (int n = 0; n < 1000; ++n) {
        const double start = turn(random);
        EXPECT_DOUBLE_EQ(sweep(start, start + kTwoPi), kTwoPi) << start;
    }
    EXPECT_DOUBLE_EQ(sweep(0, 6.28318530718), kTwoPi);  // twelve digits, rounded up
    EXPECT_NEAR(sweep(1, 1 + 1e-6), 1e-6, 1e-12);
    EXPECT_NEAR(sweep(0, kTwoPi - 1e-6), kTwoPi - 1e-6, 1e-12);
}

// Arcs and ellipses, whole and cut, turned every way: their bounds against
// the curve sampled finely with the C library's trigonometry.
TEST(EntityGeometry, ArcAndEllipseBoundsHoldTheSampledCurve)
{
    std::mt19937 random(5);
    std::uniform_real_distribution<double> unit(-1, 1), turn(0, kTwoPi);
    const auto near = [](const Bounds& got, const Bounds& want, const std::string& what) {
        const double tolerance = 1e-6 * std::max(want.width(), want.height());
        EXPECT_NEAR(got.minX, want.minX, tolerance) << what;
        EXPECT_NEAR(got.minY, want.minY, tolerance) << what;
        EXPECT_NEAR(got.maxX, want.maxX, tolerance) << what;
        EXPECT_NEAR(got.maxY, want.maxY, tolerance) << what;
    };
    for (int n = 0; n < 200; ++n) {
        const Point3 c{100 * unit(random), 100 * unit(random), 0};
        const double start = turn(random), end = n % 5 == 0 ? start + kTwoPi : turn(random);
        const double span = sweep(start, end);
        const Arc arc{c, 1 + 50 * std::abs(unit(random)), start, end};
        const Ellipse ellipse{c, {40 * unit(random), 40 * unit(random), 0}, 0.05 + 0.95 * std::abs(unit(random)),
                              start, n % 5 == 0 ? start + kTwoPi : end};
        Bounds arcSamples, ellipseSamples;
        for (int k = 0; k <= 20000; ++k) {
            const double t = start + span * k / 20000.0;
            arcSamples.add(c[0] + arc.radius * std::cos(t), c[1] + arc.radius * std::sin(t));
            const double mx = -ellipse.majorAxis[1] * ellipse.ratio, my = ellipse.majorAxis[0] * ellipse.ratio;
            ellipseSamples.add(c[0] + ellipse.majorAxis[0] * std::cos(t) + mx * std::sin(t),
                               c[1] + ellipse.majorAxis[1] * std::cos(t) + my * std::sin(t));
        }
        near(bounds(arc), arcSamples, "arc " + std::to_string(n));
        near(bounds(ellipse), ellipseSamples, "ellipse " + std::to_string(n));
    }
}

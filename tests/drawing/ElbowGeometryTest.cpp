#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "DesignRecord.h"
#include "ElbowGeometry.h"

namespace tessik {
namespace {

ElbowParameters params(const char* angle, const char* segments, const char* diameter, const char* radius)
{
    DesignRecord r;
    const PendingError err = InputParameter({angle, segments, diameter, radius}, r);
    EXPECT_FALSE(err.pending());
    return r;
}

ElbowParameters workedExample() { return params("90", "2", "100", "150"); }

void expectPoint(const Point3& p, double x, double y, double tolerance = 5e-5)
{
    EXPECT_NEAR(p[0], x, tolerance);
    EXPECT_NEAR(p[1], y, tolerance);
    EXPECT_EQ(p[2], 0);
}

void expectLine(const ElbowEntity& e, double x1, double y1, double x2, double y2)
{
    ASSERT_TRUE(std::holds_alternative<LineEntity>(e));
    const auto& l = std::get<LineEntity>(e);
    expectPoint(l.start, x1, y1);
    expectPoint(l.end, x2, y2);
}

void expectEllipse(const ElbowEntity& e, double yc, double ratio, std::optional<EllipseAngles> angles,
                   double px = 0, double d = 100)
{
    ASSERT_TRUE(std::holds_alternative<EllipseEntity>(e));
    const auto& el = std::get<EllipseEntity>(e);
    expectPoint(el.center, px, yc);
    EXPECT_EQ(el.majorAxis, (Point3{d / 2, 0, 0}));
    EXPECT_NEAR(el.ratio, ratio, 1e-6);
    ASSERT_EQ(el.angles.has_value(), angles.has_value());
    if (angles) {
        EXPECT_DOUBLE_EQ(el.angles->start, angles->start);
        EXPECT_DOUBLE_EQ(el.angles->end, angles->end);
    }
}

TEST(ElbowGeometry, SharedQuantitiesOfTheWorkedExample)
{
    const SharedQuantities s = sharedQuantities(workedExample());
    EXPECT_NEAR(s.L1, 103.5276, 5e-5);
    EXPECT_NEAR(s.L2, 207.0552, 5e-5);
}

TEST(ElbowGeometry, FrontViewOfTheWorkedExample)
{
    const auto v = elbowView(workedExample(), {0, 0, 0}, ElbowView::Front);
    ASSERT_EQ(v.size(), 14u);
    expectLine(v[0], 0, -50, 0, 50);
    expectLine(v[1], 26.7949, -50, 53.5898, 50);
    expectLine(v[2], 73.2051, -76.7949, 146.4102, -3.5898);
    expectLine(v[3], 100, -123.2051, 200, -96.4102);
    expectLine(v[4], 0, -50, 26.7949, -50);
    expectLine(v[5], 0, 50, 53.5898, 50);
    expectLine(v[6], 100, -123.2051, 100, -150);
    expectLine(v[7], 200, -96.4102, 200, -150);
    expectLine(v[8], 26.7949, -50, 73.2051, -76.7949);
    expectLine(v[9], 53.5898, 50, 146.4102, -3.5898);
    expectLine(v[10], 73.2051, -76.7949, 100, -123.2051);
    expectLine(v[11], 146.4102, -3.5898, 200, -96.4102);
    expectLine(v[12], 100, -150, 200, -150);
    ASSERT_TRUE(std::holds_alternative<ArcEntity>(v[13]));
    const auto& arc = std::get<ArcEntity>(v[13]);
    expectPoint(arc.center, 0, -150);
    EXPECT_EQ(arc.radius, 150);
    EXPECT_NEAR(arc.startAngle, 0, 1e-12);
    EXPECT_EQ(arc.endAngle, 1.5707963);
}

TEST(ElbowGeometry, SideViewsOfTheWorkedExample)
{
    const EllipseAngles lower{kPi / 180 * 180, kPi / 180 * 360};
    const EllipseAngles upper{0, kPi / 180 * 180};
    EXPECT_NEAR(lower.start, 3.1415926, 1e-12);
    EXPECT_NEAR(lower.end, 6.2831852, 1e-12);

    const auto left = elbowView(workedExample(), {0, 0, 0}, ElbowView::Left);
    ASSERT_EQ(left.size(), 6u);
    expectEllipse(left[0], 0, 1, std::nullopt);
    expectEllipse(left[1], -40.1924, 0.732051, lower);
    expectEllipse(left[2], -109.8076, 0.267949, lower);
    const double yc = std::get<LineEntity>(left[3]).start[1];
    EXPECT_NEAR(yc, -149.999996, 5e-7);
    EXPECT_NE(yc, -150) << "PI is 3.1415926, so cos(90 degrees) is not exactly 0";
    expectLine(left[3], -50, yc, 50, yc);
    expectLine(left[4], -50, 0, -50, yc);
    expectLine(left[5], 50, 0, 50, yc);

    const auto right = elbowView(workedExample(), {0, 0, 0}, ElbowView::Right);
    ASSERT_EQ(right.size(), 6u);
    expectEllipse(right[0], 0, 1, upper);
    expectEllipse(right[1], -40.1924, 0.732051, upper);
    expectEllipse(right[2], -109.8076, 0.267949, upper);
    for (std::size_t i = 3; i < 6; ++i) EXPECT_EQ(right[i], left[i]);
}

TEST(ElbowGeometry, SideViewOutletIsAnEllipseUnlessExactlyNinety)
{
    const auto p = params("60", "1", "100", "150");
    const auto right = elbowView(p, {0, 0, 0}, ElbowView::Right);
    ASSERT_EQ(right.size(), 5u);  // two joints, the outlet, two outlines
    EXPECT_TRUE(std::get<EllipseEntity>(right[0]).angles.has_value());
    EXPECT_TRUE(std::get<EllipseEntity>(right[1]).angles.has_value());
    EXPECT_FALSE(std::get<EllipseEntity>(right[2]).angles.has_value()) << "the right view's outlet is complete";
    const auto left = elbowView(p, {0, 0, 0}, ElbowView::Left);
    EXPECT_TRUE(std::get<EllipseEntity>(left[2]).angles.has_value());
    EXPECT_NEAR(std::get<EllipseEntity>(left[2]).ratio, 0.5, 1e-6);  // |cos 60|

    const auto almost = elbowView(params("90.0001", "2", "100", "150"), {0, 0, 0}, ElbowView::Left);
    ASSERT_TRUE(std::holds_alternative<EllipseEntity>(almost[3]));
    EXPECT_LT(std::get<EllipseEntity>(almost[3]).ratio, 1e-5);
}

TEST(ElbowGeometry, NoMiddleSegments)
{
    const auto p = params("90", "0", "100", "150");
    const auto front = elbowView(p, {0, 0, 0}, ElbowView::Front);
    ASSERT_EQ(front.size(), 8u);
    for (std::size_t i = 0; i < 7; ++i) EXPECT_TRUE(std::holds_alternative<LineEntity>(front[i])) << i;
    EXPECT_TRUE(std::holds_alternative<ArcEntity>(front[7]));
    // The one joint at DblA = 45 degrees.
    const auto& joint = std::get<LineEntity>(front[1]);
    EXPECT_NEAR(std::atan2(joint.start[0], joint.start[1] + 150) * 180 / std::numbers::pi, 45, 1e-5);
    EXPECT_EQ(elbowView(p, {0, 0, 0}, ElbowView::Left).size(), 4u);
    EXPECT_EQ(elbowView(p, {0, 0, 0}, ElbowView::Right).size(), 4u);
}

TEST(ElbowGeometry, EntityCountsFollowTheSegmentCount)
{
    for (const char* n : {"1", "5", "20"}) {
        const auto p = params("45", n, "219.1", "328.65");
        EXPECT_EQ(elbowView(p, {0, 0, 0}, ElbowView::Front).size(), 3u * p.IntN + 8) << n;
        EXPECT_EQ(elbowView(p, {0, 0, 0}, ElbowView::Left).size(), p.IntN + 4u) << n;
    }
}

TEST(ElbowGeometry, PickedPointMovesTheDrawingButZIsAlwaysZero)
{
    const auto p = workedExample();
    for (ElbowView view : {ElbowView::Front, ElbowView::Left, ElbowView::Right}) {
        const auto at0 = elbowView(p, {0, 0, 0}, view);
        const auto at25 = elbowView(p, {0, 0, 25}, view);
        EXPECT_EQ(at0, at25) << optionIndex(view);
    }
    const auto moved = elbowView(p, {1000, -500, 7}, ElbowView::Front);
    expectLine(moved[1], 1026.7949, -550, 1053.5898, -450);
    expectPoint(std::get<ArcEntity>(moved.back()).center, 1000, -650);
}

TEST(ElbowGeometry, JointVerticesLieOnTheirCircles)
{
    const auto p = params("75", "7", "508", "762");
    const auto s = sharedQuantities(p);
    const auto v = elbowView(p, {10, 20, 0}, ElbowView::Front);
    const Point3 c{10, 20 - p.DblR, 0};
    for (int k = 1; k <= p.IntN + 1; ++k) {
        const auto& joint = std::get<LineEntity>(v[static_cast<std::size_t>(k)]);
        EXPECT_NEAR(std::hypot(joint.start[0] - c[0], joint.start[1] - c[1]), s.L1, 1e-9);
        EXPECT_NEAR(std::hypot(joint.end[0] - c[0], joint.end[1] - c[1]), s.L2, 1e-9);
    }
    // The outlet face lies on the ray at DblAB.
    const auto& outlet = std::get<LineEntity>(v[v.size() - 2]);
    EXPECT_NEAR(std::hypot(outlet.end[0] - c[0], outlet.end[1] - c[1]), p.DblR2, 1e-9);
}

// The view table's drawable flag is what the window enables and the draw
// command sends: it must agree with the geometry, and names must be unique.
TEST(ElbowGeometry, ExactlyTheDrawableViewsHaveEntities)
{
    for (const ElbowViewInfo& row : kElbowViews) {
        EXPECT_EQ(elbowView(workedExample(), {0, 0, 0}, row.view).empty(), !row.drawable) << row.name;
        EXPECT_EQ(elbowViewNamed(row.name), row.view) << row.name;
    }
    EXPECT_FALSE(elbowViewNamed("Front").has_value());
    EXPECT_FALSE(elbowViewNamed("").has_value());
}

TEST(ElbowGeometry, ParametricEllipseStartsAndEndsWhereTheAnglesPoint)
{
    // The ends a CAD program computes from StartAngle and EndAngle lie on the
    // rays at those angles from the major axis, for every cut ellipse of a view
    // and for one cut away from the axes, where parameter and angle differ.
    std::vector<ElbowEntity> cases = elbowView(workedExample(), {0, 0, 0}, ElbowView::Left);
    cases.push_back(EllipseEntity{{5, -2, 0}, {0, 3, 0}, 0.3, EllipseAngles{0.5, 2.0}});
    for (const ElbowEntity& e : cases) {
        const auto* el = std::get_if<EllipseEntity>(&e);
        if (!el || !el->angles) continue;
        const entities::Ellipse p = toEllipse(*el);
        for (const auto& [angle, param] : {std::pair{el->angles->start, p.startParam},
                                           std::pair{el->angles->end, p.endParam}}) {
            const Point3 q = entities::ellipsePoint(p, param);
            const double along = std::atan2(q[1] - p.center[1], q[0] - p.center[0]) -
                                 std::atan2(p.majorAxis[1], p.majorAxis[0]);
            EXPECT_NEAR(std::cos(along), std::cos(angle), 1e-9);
            EXPECT_NEAR(std::sin(along), std::sin(angle), 1e-9);
        }
    }
}

}  // namespace
}  // namespace tessik

#include "ElbowGeometry.h"

#include <algorithm>
#include <cmath>

#include "PortableMath.h"

namespace tessik {
namespace {

// Everything one view needs, derived once from the parameters and the pick.
struct Frame {
    const ElbowParameters& p;
    SharedQuantities s;
    double px;
    double py;
    double cy;  // y of the bend centre, Py - DblR, formed first

    // Joint angle after k middle segments, degrees; k enters as a double.
    double theta(int k) const { return static_cast<double>(k) * p.DblB + p.DblA; }

    // The point at distance r from the bend centre, phi degrees from +y towards +x.
    Point3 polar(double r, double phi) const
    {
        return {px + r * math::sin(rad(phi)), cy + r * math::cos(rad(phi)), 0};
    }

    // Bound of the joint loops, IntN + 1, read once.
    int joints() const { return static_cast<int>(p.IntN) + 1; }
};

LineEntity line(Point3 a, Point3 b) { return {a, b}; }

EllipseEntity ellipseAt(const Frame& f, double yc, double ratio, std::optional<EllipseAngles> angles)
{
    return {{f.px, yc, 0}, {f.p.DblD / 2, 0, 0}, ratio, angles};
}

std::vector<ElbowEntity> frontView(const Frame& f)
{
    const ElbowParameters& p = f.p;
    std::vector<ElbowEntity> out;
    out.reserve(static_cast<std::size_t>(3 * std::max(0, static_cast<int>(p.IntN)) + 8));

    const double low = f.py - p.DblD / 2;
    const double high = p.DblD / 2 + f.py;
    out.push_back(line({f.px, low, 0}, {f.px, high, 0}));  // inlet end face

    for (int k = 1; k <= f.joints(); ++k)  // mitre joints, inner end first
        out.push_back(line(f.polar(f.s.L1, f.theta(k - 1)), f.polar(f.s.L2, f.theta(k - 1))));

    out.push_back(line({f.px, low, 0}, {f.s.L1 * math::sin(rad(p.DblA)) + f.px, low, 0}));
    out.push_back(line({f.px, high, 0}, {math::sin(rad(p.DblA)) * f.s.L2 + f.px, high, 0}));
    // The outlet end segment starts at DblAB - DblA, not at the last joint angle.
    out.push_back(line(f.polar(f.s.L1, p.DblAB - p.DblA), f.polar(p.DblR1, p.DblAB)));
    out.push_back(line(f.polar(f.s.L2, p.DblAB - p.DblA), f.polar(p.DblR2, p.DblAB)));

    for (int k = 1; k <= p.IntN; ++k) {  // inner, then outer edge of each middle segment
        out.push_back(line(f.polar(f.s.L1, f.theta(k - 1)), f.polar(f.s.L1, f.theta(k))));
        out.push_back(line(f.polar(f.s.L2, f.theta(k - 1)), f.polar(f.s.L2, f.theta(k))));
    }

    out.push_back(line(f.polar(p.DblR1, p.DblAB), f.polar(p.DblR2, p.DblAB)));  // outlet end face

    const double start = ((90 - (p.DblA + p.DblA)) - static_cast<double>(p.IntN) * p.DblB) / 180 * kPi;
    out.push_back(ArcEntity{{f.px, f.cy, 0}, p.DblR, start, kPi / 2});  // centre line
    return out;
}

// Left (lowerHalves) and right view: the joints as ellipses seen along the
// inlet axis, the outlet, and the pipe's two outlines.
std::vector<ElbowEntity> sideView(const Frame& f, bool leftView)
{
    const ElbowParameters& p = f.p;
    const EllipseAngles lowerHalf{kPi / 180 * 180, kPi / 180 * 360};
    const EllipseAngles upperHalf{kPi / 180 * 0, kPi / 180 * 180};

    std::vector<ElbowEntity> out;
    out.reserve(static_cast<std::size_t>(std::max(0, f.joints()) + 3));
    for (int k = 1; k <= f.joints(); ++k) {
        const double phi = f.theta(k - 1);
        const double yi = f.s.L1 * math::cos(rad(phi)) + f.cy;
        const double yo = f.cy + math::cos(rad(phi)) * f.s.L2;
        const double yc = (yi + yo) / 2;
        const double ratio = std::fabs(yi - yo) / p.DblD;
        std::optional<EllipseAngles> angles;
        if (!leftView) angles = upperHalf;
        else if (k > 1) angles = lowerHalf;
        out.push_back(ellipseAt(f, yc, ratio, angles));
    }

    const double yi = f.cy + math::cos(rad(p.DblAB)) * p.DblR1;
    const double yo = f.cy + math::cos(rad(p.DblAB)) * p.DblR2;
    const double yc = (yi + yo) / 2;
    const double left = f.px - p.DblD / 2;
    const double right = p.DblD / 2 + f.px;
    if (p.DblAB != 90) {
        const double ratio = std::fabs(yi - yo) / p.DblD;
        out.push_back(ellipseAt(f, yc, ratio, leftView ? std::optional(lowerHalf) : std::nullopt));
    } else {
        // Seen edge-on at 90 degrees: the outlet is a line.
        out.push_back(line({left, yc, 0}, {right, yc, 0}));
    }

    out.push_back(line({left, f.py, 0}, {left, yc, 0}));
    out.push_back(line({right, f.py, 0}, {right, yc, 0}));
    return out;
}

}  // namespace

std::optional<ElbowView> elbowViewNamed(std::string_view name)
{
    for (const ElbowViewInfo& row : kElbowViews)
        if (row.name == name) return row.view;
    return std::nullopt;
}

SharedQuantities sharedQuantities(const ElbowParameters& p)
{
    return {p.DblR1 / math::cos(rad(p.DblA)), p.DblR2 / math::cos(rad(p.DblA))};
}

std::vector<ElbowEntity> elbowView(const ElbowParameters& p, const SharedQuantities& shared,
                                   const Point3& picked, ElbowView view)
{
    const Frame f{p, shared, picked[0], picked[1], picked[1] - p.DblR};
    switch (view) {
    case ElbowView::Front: return frontView(f);
    case ElbowView::Left: return sideView(f, true);
    case ElbowView::Right: return sideView(f, false);
    case ElbowView::Top:
    case ElbowView::Bottom:
    case ElbowView::All: return {};
    }
    return {};
}

std::vector<ElbowEntity> elbowView(const ElbowParameters& p, const Point3& picked, ElbowView view)
{
    return elbowView(p, sharedQuantities(p), picked, view);
}

}  // namespace tessik

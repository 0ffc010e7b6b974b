#include "EntityGeometry.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "PortableMath.h"

namespace tessik::entities {

double normalizeAngle(double angle)
{
    double a = std::fmod(angle, kTwoPi);
    if (a < 0) a += kTwoPi;
    if (a >= kTwoPi) a = 0;  // fmod of a value just below a multiple can round up
    return a;
}

double sweep(double start, double end)
{
    // A whole turn with its end rounded up a little (6.28318530718, or a
    // start plus 2 pi) is a whole turn, not a sliver of one.
    if (std::abs(std::abs(end - start) - kTwoPi) < 1e-9) return kTwoPi;
    double s = normalizeAngle(end - start);
    return s <= 0 ? kTwoPi : s;
}

double ellipseParamFromAngle(double angle, double ratio)
{
    return normalizeAngle(math::atan2(math::sin(angle) / ratio, math::cos(angle)));
}

double ellipseAngleFromParam(double param, double ratio)
{
    return normalizeAngle(math::atan2(ratio * math::sin(param), math::cos(param)));
}

Point3 ellipsePoint(const Ellipse& e, double param)
{
    // The minor axis is the major axis turned 90 degrees counter-clockwise in
    // the x-y plane, scaled by the ratio.
    const double c = math::cos(param), s = math::sin(param);
    const double mx = -e.majorAxis[1] * e.ratio, my = e.majorAxis[0] * e.ratio;
    return {e.center[0] + e.majorAxis[0] * c + mx * s,
            e.center[1] + e.majorAxis[1] * c + my * s, e.center[2]};
}

Point3 arcPoint(const Point3& center, double radius, double angle)
{
    return {center[0] + radius * math::cos(angle), center[1] + radius * math::sin(angle), center[2]};
}

void Bounds::add(double x, double y)
{
    minX = std::min(minX, x);
    minY = std::min(minY, y);
    maxX = std::max(maxX, x);
    maxY = std::max(maxY, y);
}

void Bounds::add(const Bounds& other)
{
    if (other.empty()) return;
    add(other.minX, other.minY);
    add(other.maxX, other.maxY);
}

bool Bounds::contains(const Bounds& o) const
{
    return !empty() && !o.empty() && o.minX >= minX && o.maxX <= maxX && o.minY >= minY &&
           o.maxY <= maxY;
}

bool Bounds::intersects(const Bounds& o) const
{
    return !empty() && !o.empty() && o.minX <= maxX && o.maxX >= minX && o.minY <= maxY &&
           o.maxY >= minY;
}

namespace {

// Is the counter-clockwise sweep from start reaching angle a?
bool sweepCovers(double start, double span, double a)
{
    return normalizeAngle(a - start) <= span;
}

// Bounds place and cull what is drawn and answer no one's question about a
// point: they take the C library's trigonometry, several times faster than
// the portable one and as close to the curve, while the points the tool
// reports (arcPoint, ellipsePoint) keep the portable one.
Point3 boundsArcPoint(const Point3& c, double r, double angle)
{
    return {c[0] + r * std::cos(angle), c[1] + r * std::sin(angle), c[2]};
}

Point3 boundsEllipsePoint(const Ellipse& e, double param)
{
    const double c = std::cos(param), s = std::sin(param);
    const double mx = -e.majorAxis[1] * e.ratio, my = e.majorAxis[0] * e.ratio;
    return {e.center[0] + e.majorAxis[0] * c + mx * s, e.center[1] + e.majorAxis[1] * c + my * s, e.center[2]};
}

// The points where a circle of centre c and radius r reaches furthest
// along x and y, in the order of their angles 0, pi/2, pi, 3pi/2: exact,
// where evaluating the circle at those angles is off by the rounding of
// cos(pi/2).
std::array<Point3, 4> circleExtremes(const Point3& c, double r)
{
    return {{{c[0] + r, c[1], c[2]}, {c[0], c[1] + r, c[2]}, {c[0] - r, c[1], c[2]}, {c[0], c[1] - r, c[2]}}};
}

Bounds arcBounds(const Point3& c, double r, double start, double end)
{
    Bounds b;
    const double span = sweep(start, end);
    const Point3 p0 = boundsArcPoint(c, r, start), p1 = boundsArcPoint(c, r, start + span);
    b.add(p0[0], p0[1]);
    b.add(p1[0], p1[1]);
    const std::array<Point3, 4> extremes = circleExtremes(c, r);
    for (int quadrant = 0; quadrant < 4; ++quadrant) {
        if (sweepCovers(start, span, quadrant * kTwoPi / 4))
            b.add(extremes[std::size_t(quadrant)][0], extremes[std::size_t(quadrant)][1]);
    }
    return b;
}

Bounds ellipseBounds(const Ellipse& e)
{
    Bounds b;
    // The extremes in x and y lie where the derivative of each coordinate
    // vanishes, tan t = minor_c / major_c, at the centre plus and minus
    // sqrt(major_c^2 + minor_c^2): exact, with no angle to evaluate.
    const double mx = -e.majorAxis[1] * e.ratio, my = e.majorAxis[0] * e.ratio;
    const double hx = std::sqrt(e.majorAxis[0] * e.majorAxis[0] + mx * mx);
    const double hy = std::sqrt(e.majorAxis[1] * e.majorAxis[1] + my * my);
    const double span = sweep(e.startParam, e.endParam);
    if (span >= kTwoPi) {
        b.add(e.center[0] - hx, e.center[1] - hy);
        b.add(e.center[0] + hx, e.center[1] + hy);
        return b;
    }
    const Point3 p0 = boundsEllipsePoint(e, e.startParam), p1 = boundsEllipsePoint(e, e.startParam + span);
    b.add(p0[0], p0[1]);
    b.add(p1[0], p1[1]);
    const double tx = std::atan2(mx, e.majorAxis[0]), ty = std::atan2(my, e.majorAxis[1]);
    // At tx the x coordinate is largest, half a turn on smallest; y alike.
    // Each widens the bounds in its own coordinate only.
    if (sweepCovers(e.startParam, span, tx)) b.maxX = std::max(b.maxX, e.center[0] + hx);
    if (sweepCovers(e.startParam, span, tx + kTwoPi / 2)) b.minX = std::min(b.minX, e.center[0] - hx);
    if (sweepCovers(e.startParam, span, ty)) b.maxY = std::max(b.maxY, e.center[1] + hy);
    if (sweepCovers(e.startParam, span, ty + kTwoPi / 2)) b.minY = std::min(b.minY, e.center[1] - hy);
    return b;
}

}  // namespace

Bounds bounds(const Line& l)
{
    Bounds b;
    b.add(l.start[0], l.start[1]);
    b.add(l.end[0], l.end[1]);
    return b;
}

Bounds bounds(const Arc& a) { return arcBounds(a.center, a.radius, a.startAngle, a.endAngle); }

Bounds bounds(const Circle& c)
{
    Bounds b;
    b.add(c.center[0] - c.radius, c.center[1] - c.radius);
    b.add(c.center[0] + c.radius, c.center[1] + c.radius);
    return b;
}

Bounds bounds(const Ellipse& e) { return ellipseBounds(e); }

Bounds bounds(const Point& p)
{
    Bounds b;
    b.add(p.position[0], p.position[1]);
    return b;
}

Bounds bounds(const Polyline& p)
{
    Bounds b;
    const std::size_t n = p.vertices.size();
    for (std::size_t i = 0; i < n; ++i) {
        const PolylineVertex& v = p.vertices[i];
        b.add(v.x, v.y);
        if (v.bulge == 0 || !std::isfinite(v.bulge) || (i + 1 == n && !p.closed)) continue;
        const PolylineVertex& w = p.vertices[(i + 1) % n];
        const double dx = w.x - v.x, dy = w.y - v.y;
        if (dx == 0 && dy == 0) continue;
        // The centre lies on the chord's left normal (for a positive bulge),
        // (1 - b^2) / 2b half-chords from its middle.
        const double offset = (1 - v.bulge * v.bulge) / (2 * v.bulge) / 2;
        const Point3 c{(v.x + w.x) / 2 - dy * offset, (v.y + w.y) / 2 + dx * offset, 0};
        const double r = std::sqrt((v.x - c[0]) * (v.x - c[0]) + (v.y - c[1]) * (v.y - c[1]));
        // The arc's ends are the two vertices. The chord's line cuts the
        // circle there only, so the arc is the part of the circle on one
        // side of it: the right going from v to w for a positive
        // (counter-clockwise) bulge, the left for a negative one. The
        // circle's extremes on that side are the arc's.
        for (const Point3& q : circleExtremes(c, r)) {
            const double side = dx * (q[1] - v.y) - dy * (q[0] - v.x);
            if (v.bulge > 0 ? side < 0 : side > 0) b.add(q[0], q[1]);
        }
    }
    return b;
}

// A text with nothing to show (empty, or only spaces) has no ink, so it
// has no extents either: zoom extents passes over it as CAD programs do.
Bounds bounds(const Text& t)
{
    Bounds b;
    if (t.text.find_first_not_of(" \t\r\n") == std::string::npos) return b;
    const bool between = t.horizontal == TextHorizontal::Aligned || t.horizontal == TextHorizontal::Fit;
    if (!t.justified() || between) b.add(t.insertion[0], t.insertion[1]);
    if (t.justified()) b.add(t.alignment[0], t.alignment[1]);
    return b;
}

TextPlacement placeText(const Text& t, double width, double descent)
{
    TextPlacement p{t.insertion, t.rotation, 1, 1};
    if (!t.justified()) return p;
    const double h = t.height;
    if (t.horizontal == TextHorizontal::Aligned || t.horizontal == TextHorizontal::Fit) {
        const double dx = t.alignment[0] - t.insertion[0], dy = t.alignment[1] - t.insertion[1];
        const double length = math::hypot(dx, dy);
        if (!(length > 0) || !(width > 0)) return p;  // nothing to stretch over: as written
        p.rotation = math::atan2(dy, dx);
        p.xScale = length / width;
        p.yScale = t.horizontal == TextHorizontal::Aligned ? p.xScale : 1;
        return p;
    }
    double along = 0, across = 0;
    if (t.horizontal == TextHorizontal::Center) along = -width / 2;
    if (t.horizontal == TextHorizontal::Right) along = -width;
    if (t.horizontal == TextHorizontal::Middle) {
        along = -width / 2;
        across = -h / 2;
    } else if (t.vertical == TextVertical::Bottom) {
        across = descent;
    } else if (t.vertical == TextVertical::Middle) {
        across = -h / 2;
    } else if (t.vertical == TextVertical::Top) {
        across = -h;
    }
    const double c = math::cos(t.rotation), s = math::sin(t.rotation);
    p.origin = {t.alignment[0] + along * c - across * s, t.alignment[1] + along * s + across * c, t.alignment[2]};
    return p;
}

}  // namespace tessik::entities

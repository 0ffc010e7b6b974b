#include "CadEntity.h"

#include <algorithm>

namespace tessik::cadhost {

double normalizeAngle(double angle)
{
    double a = std::fmod(angle, kTwoPi);
    if (a < 0) a += kTwoPi;
    if (a >= kTwoPi) a = 0;  // fmod of a value just below a multiple can round up
    return a;
}

double sweep(double start, double end)
{
    double s = normalizeAngle(end - start);
    return s <= 0 ? kTwoPi : s;
}

double ellipseParamFromAngle(double angle, double ratio)
{
    return normalizeAngle(std::atan2(std::sin(angle) / ratio, std::cos(angle)));
}

double ellipseAngleFromParam(double param, double ratio)
{
    return normalizeAngle(std::atan2(ratio * std::sin(param), std::cos(param)));
}

Point3 ellipsePoint(const CadEllipse& e, double param)
{
    // The minor axis is the major axis turned 90 degrees counter-clockwise in
    // the x-y plane, scaled by the ratio.
    const double c = std::cos(param), s = std::sin(param);
    const double mx = -e.majorAxis[1] * e.ratio, my = e.majorAxis[0] * e.ratio;
    return {e.center[0] + e.majorAxis[0] * c + mx * s,
            e.center[1] + e.majorAxis[1] * c + my * s, e.center[2]};
}

Point3 arcPoint(const Point3& center, double radius, double angle)
{
    return {center[0] + radius * std::cos(angle), center[1] + radius * std::sin(angle), center[2]};
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

Bounds arcBounds(const Point3& c, double r, double start, double end)
{
    Bounds b;
    const double span = sweep(start, end);
    const Point3 p0 = arcPoint(c, r, start), p1 = arcPoint(c, r, start + span);
    b.add(p0[0], p0[1]);
    b.add(p1[0], p1[1]);
    for (int quadrant = 0; quadrant < 4; ++quadrant) {
        const double a = quadrant * kTwoPi / 4;
        if (sweepCovers(start, span, a)) {
            const Point3 p = arcPoint(c, r, a);
            b.add(p[0], p[1]);
        }
    }
    return b;
}

Bounds ellipseBounds(const CadEllipse& e)
{
    Bounds b;
    const double span = sweep(e.startParam, e.endParam);
    const Point3 p0 = ellipsePoint(e, e.startParam), p1 = ellipsePoint(e, e.startParam + span);
    b.add(p0[0], p0[1]);
    b.add(p1[0], p1[1]);
    // The extremes in x and y lie where the derivative of each coordinate
    // vanishes: tan t = minor_c / major_c, two opposite parameters each.
    const double mx = -e.majorAxis[1] * e.ratio, my = e.majorAxis[0] * e.ratio;
    for (double t0 : {std::atan2(mx, e.majorAxis[0]), std::atan2(my, e.majorAxis[1])}) {
        for (double t : {t0, t0 + kTwoPi / 2}) {
            if (sweepCovers(e.startParam, span, t)) {
                const Point3 p = ellipsePoint(e, t);
                b.add(p[0], p[1]);
            }
        }
    }
    return b;
}

}  // namespace

Bounds entityBounds(const CadEntity& entity)
{
    struct Visitor {
        Bounds operator()(const CadLine& l) const
        {
            Bounds b;
            b.add(l.start[0], l.start[1]);
            b.add(l.end[0], l.end[1]);
            return b;
        }
        Bounds operator()(const CadArc& a) const
        {
            return arcBounds(a.center, a.radius, a.startAngle, a.endAngle);
        }
        Bounds operator()(const CadCircle& c) const
        {
            Bounds b;
            b.add(c.center[0] - c.radius, c.center[1] - c.radius);
            b.add(c.center[0] + c.radius, c.center[1] + c.radius);
            return b;
        }
        Bounds operator()(const CadEllipse& e) const { return ellipseBounds(e); }
    };
    return std::visit(Visitor{}, entity);
}

const char* entityTypeName(const CadEntity& entity)
{
    static constexpr const char* kNames[] = {"LINE", "ARC", "CIRCLE", "ELLIPSE"};
    return kNames[entity.index()];
}

}  // namespace tessik::cadhost

#pragma once
// The pure geometry of the entity kinds: angle folding, ellipse parameter <->
// angle, points on curves and axis-aligned extents. Angles and parameters are
// kept normalised: start in [0, 2pi), end in (start - 2pi, start + 2pi]
// folded to [0, 2pi], and a complete curve is start 0, end 2pi.

#include <cmath>
#include <variant>

#include "Entity.h"

namespace tessik::entities {

// Folds any finite angle into [0, 2pi).
double normalizeAngle(double angle);

// The counter-clockwise sweep from start to end, in (0, 2pi]; equal angles
// mean a complete turn.
double sweep(double start, double end);

// Ellipse parameter <-> angle measured from the major axis (the angle a user
// or an automation client speaks of).
double ellipseParamFromAngle(double angle, double ratio);
double ellipseAngleFromParam(double param, double ratio);

// A point of an ellipse at parameter t, and of an arc at an angle.
Point3 ellipsePoint(const Ellipse& e, double param);
Point3 arcPoint(const Point3& center, double radius, double angle);

// Axis-aligned extents in the x-y plane.
struct Bounds {
    double minX = INFINITY;
    double minY = INFINITY;
    double maxX = -INFINITY;
    double maxY = -INFINITY;

    bool empty() const { return !(minX <= maxX && minY <= maxY); }
    void add(double x, double y);
    void add(const Bounds& other);
    bool contains(const Bounds& other) const;
    bool intersects(const Bounds& other) const;
    double width() const { return maxX - minX; }
    double height() const { return maxY - minY; }
};

Bounds bounds(const Line& l);
Bounds bounds(const Arc& a);
Bounds bounds(const Circle& c);
Bounds bounds(const Ellipse& e);
Bounds bounds(const Point& p);
Bounds bounds(const Polyline& p);
// A text's bounds are the points that place it (the insertion point; a
// justified text's alignment point, aligned and fit texts both): the glyphs
// depend on the font.
Bounds bounds(const Text& t);

// Where a text's glyphs go, given their width and the depth of descenders
// below the baseline at the text's height (both font-dependent, in drawing
// units): the start of the baseline, its direction, and the scale of the
// glyphs along and across it (Aligned stretches both, Fit the width alone).
struct TextPlacement {
    Point3 origin{};
    double rotation = 0;
    double xScale = 1;
    double yScale = 1;
};
TextPlacement placeText(const Text& t, double width, double descent);

template <class... Kinds>
Bounds entityBounds(const std::variant<Kinds...>& entity)
{
    return std::visit([](const auto& k) { return bounds(k); }, entity);
}

}  // namespace tessik::entities

#pragma once
// The entities of a tessik-cad drawing, as plain structs in the DXF
// parametrisation: an arc by centre, radius and start/end angle (radians,
// counter-clockwise), an ellipse by centre, the vector from the centre to one
// end of its major axis, the minor/major ratio and start/end *parameters*
// (not angles: a point is centre + major*cos(t) + minor*sin(t)).
//
// Angles and parameters are kept normalised: start in [0, 2pi), end in
// (start - 2pi, start + 2pi] folded to [0, 2pi], and a complete curve is
// start 0, end 2pi. Every function here is pure.

#include <array>
#include <cmath>
#include <numbers>
#include <variant>

namespace tessik::cadhost {

using Point3 = std::array<double, 3>;

inline constexpr double kTwoPi = 2.0 * std::numbers::pi;

struct CadLine {
    Point3 start{};
    Point3 end{};
    friend bool operator==(const CadLine&, const CadLine&) = default;
};

struct CadArc {
    Point3 center{};
    double radius = 1;
    double startAngle = 0;
    double endAngle = kTwoPi;
    friend bool operator==(const CadArc&, const CadArc&) = default;
};

struct CadCircle {
    Point3 center{};
    double radius = 1;
    friend bool operator==(const CadCircle&, const CadCircle&) = default;
};

struct CadEllipse {
    Point3 center{};
    Point3 majorAxis{1, 0, 0};
    double ratio = 1;
    double startParam = 0;
    double endParam = kTwoPi;
    friend bool operator==(const CadEllipse&, const CadEllipse&) = default;
};

using CadEntity = std::variant<CadLine, CadArc, CadCircle, CadEllipse>;

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
Point3 ellipsePoint(const CadEllipse& e, double param);
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

Bounds entityBounds(const CadEntity& entity);

// The name a DXF file and an automation client use for the entity kind.
const char* entityTypeName(const CadEntity& entity);

}  // namespace tessik::cadhost

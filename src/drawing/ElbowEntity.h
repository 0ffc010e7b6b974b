#pragma once
// The plane drawing entities of an elbow view, in the parametrisation the CAD
// application takes them: angles in radians, counter-clockwise; an ellipse by
// its centre, the vector from the centre to one end of its major axis and the
// ratio of minor to major axis, optionally cut to the part from its start
// angle counter-clockwise to its end angle (measured from the major axis).

#include <array>
#include <optional>
#include <variant>

namespace tessik {

using Point3 = std::array<double, 3>;

struct LineEntity {
    Point3 start{};
    Point3 end{};
    friend bool operator==(const LineEntity&, const LineEntity&) = default;
};

struct ArcEntity {
    Point3 center{};
    double radius = 0;
    double startAngle = 0;
    double endAngle = 0;
    friend bool operator==(const ArcEntity&, const ArcEntity&) = default;
};

struct EllipseAngles {
    double start = 0;
    double end = 0;
    friend bool operator==(const EllipseAngles&, const EllipseAngles&) = default;
};

struct EllipseEntity {
    Point3 center{};
    Point3 majorAxis{};
    double ratio = 0;
    std::optional<EllipseAngles> angles;  // none: the complete ellipse
    friend bool operator==(const EllipseEntity&, const EllipseEntity&) = default;
};

using ElbowEntity = std::variant<LineEntity, ArcEntity, EllipseEntity>;

}  // namespace tessik

#pragma once
// The plane drawing entities of an elbow view, in the form the CAD
// application's automation takes them: lines and arcs of the shared vocabulary
// (Entity.h), and an ellipse by its centre, the vector from the centre to one
// end of its major axis and the ratio of minor to major axis, optionally cut
// to the part from its start *angle* counter-clockwise to its end angle
// (measured from the major axis), as the automation's StartAngle and EndAngle
// take it. `toEllipse` is the one place that turns it into the vocabulary's
// parametric ellipse.

#include <optional>
#include <variant>

#include "Entity.h"
#include "EntityGeometry.h"

namespace tessik {

using LineEntity = entities::Line;
using ArcEntity = entities::Arc;

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

// The same curve with start and end parameters, as a CAD program stores it
// once its StartAngle and EndAngle are set.
inline entities::Ellipse toEllipse(const EllipseEntity& e)
{
    entities::Ellipse out{e.center, e.majorAxis, e.ratio, 0, entities::kTwoPi};
    if (e.angles) {
        out.startParam = entities::ellipseParamFromAngle(e.angles->start, e.ratio);
        out.endParam = entities::ellipseParamFromAngle(e.angles->end, e.ratio);
    }
    return out;
}

}  // namespace tessik

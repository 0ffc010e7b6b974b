#pragma once
// The kinds of entity a tessik-cad drawing holds, taken from the shared
// vocabulary (Entity.h: the DXF parametrisation, the traits) with its pure
// geometry (EntityGeometry.h). Every visitor over `ModelEntity` handles each
// kind, so a kind added here is a compile error wherever it is not handled.

#include <variant>

#include "Entity.h"
#include "EntityGeometry.h"

namespace tessik::cadhost {

using tessik::Point3;
using entities::kTwoPi;
using entities::Bounds;
using entities::normalizeAngle;
using entities::sweep;
using entities::ellipseParamFromAngle;
using entities::ellipseAngleFromParam;
using entities::ellipsePoint;
using entities::arcPoint;
using entities::entityBounds;
using entities::Overload;

using ModelLine = entities::Line;
using ModelArc = entities::Arc;
using ModelCircle = entities::Circle;
using ModelEllipse = entities::Ellipse;
using ModelPolyline = entities::Polyline;
using ModelText = entities::Text;

using ModelEntity = std::variant<ModelLine, ModelArc, ModelCircle, ModelEllipse, ModelPolyline, ModelText>;

}  // namespace tessik::cadhost

#pragma once
// The kinds of entity a tessik-cad drawing holds, taken from the shared
// vocabulary (Entity.h: the DXF parametrisation, the traits) with its pure
// geometry (EntityGeometry.h). Every visitor over `CadEntity` handles each
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

using CadLine = entities::Line;
using CadArc = entities::Arc;
using CadCircle = entities::Circle;
using CadEllipse = entities::Ellipse;
using CadPolyline = entities::Polyline;
using CadText = entities::Text;

using CadEntity = std::variant<CadLine, CadArc, CadCircle, CadEllipse, CadPolyline, CadText>;

}  // namespace tessik::cadhost

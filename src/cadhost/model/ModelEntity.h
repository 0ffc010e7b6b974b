#pragma once
// The kinds of entity a tessik-cad drawing holds, taken from the shared
// vocabulary (Entity.h: the DXF parametrisation, the traits) with its pure
// geometry (EntityGeometry.h). Every visitor over `ModelEntity` handles each
// kind, so a kind added here is a compile error wherever it is not handled.
//
// ModelShape is every other entity of a drawing (a block reference, a
// hatch, a dimension, a custom object ...): the file keeps its tags, the
// model keeps what it is called, where it lies, the picture the view shows
// of it and how far it was moved since it was read. ModelShape has no
// EntityTraits: its names come from the file (see ModelNames.h).

#include <memory>
#include <string>
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

struct DrawingExtras;  // DxfShapes.h

struct ModelShape {
    std::string type;        // the DXF record name: "MTEXT", "INSERT", "ACAD_PROXY_ENTITY" ...
    std::string objectName;  // the class the commercial CAD names it by: "AcDbMText" ...
    // The picture as read (world points, DxfShapes.h); shared, never changed.
    std::shared_ptr<const DrawingExtras> picture;
    Bounds readBounds;      // the picture's extents, or the entity's own points where it has no picture
    Point3 offset{};        // moved by since it was read
    bool movable = false;   // its points can be written back moved (ModelNames.h)
    Bounds bounds() const
    {
        Bounds b = readBounds;
        if (!b.empty()) b = Bounds{b.minX + offset[0], b.minY + offset[1], b.maxX + offset[0], b.maxY + offset[1]};
        return b;
    }
    friend bool operator==(const ModelShape& a, const ModelShape& b)
    {
        return a.type == b.type && a.objectName == b.objectName && a.picture == b.picture && a.offset == b.offset &&
               a.movable == b.movable;
    }
};

inline Bounds bounds(const ModelShape& s) { return s.bounds(); }

using ModelEntity = std::variant<ModelLine, ModelArc, ModelCircle, ModelEllipse, ModelPolyline, ModelText, ModelShape>;

}  // namespace tessik::cadhost

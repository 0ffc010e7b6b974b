#include "TemplateEntities.h"

namespace tessik {

std::vector<LayeredEntity> templateEntities(const TemplateSheet& sheet, double originX, double originY)
{
    std::vector<LayeredEntity> out;
    const auto at = [&](const TemplatePoint& p) { return Point3{originX + p.x, originY + p.y, 0}; };
    for (const PieceTemplate& t : sheet.pieces) {
        entities::Polyline outline;
        outline.closed = true;
        outline.vertices.reserve(t.outline.size());
        for (const TemplatePoint& v : t.outline) outline.vertices.push_back({originX + v.x, originY + v.y, 0});
        out.push_back({kCutLayer, std::move(outline)});
        for (const TemplateSegment& m : t.marks) out.push_back({kMarkLayer, entities::Line{at(m.start), at(m.end)}});
        out.push_back({kTextLayer, entities::Text{t.label, at(t.labelAt), t.labelHeight, 0}});
    }
    return out;
}

}  // namespace tessik

#include "TemplateEntities.h"

#include <algorithm>
#include <limits>

namespace tessik {

std::vector<LayeredEntity> templateEntities(const TemplateSheet& sheet, double originX, double originY)
{
    std::vector<LayeredEntity> out;
    const auto at = [&](const TemplatePoint& p) { return Point3{originX + p.x, originY + p.y, 0}; };
    const auto polyline = [&](const std::vector<TemplatePoint>& points, bool closed) {
        entities::Polyline p;
        p.closed = closed;
        p.vertices.reserve(points.size());
        for (const TemplatePoint& v : points) p.vertices.push_back({originX + v.x, originY + v.y, 0});
        return p;
    };
    for (const PieceTemplate& t : sheet.pieces) {
        out.push_back({kCutLayer, polyline(t.outline, true)});
        for (const TemplateSegment& m : t.marks) out.push_back({kMarkLayer, entities::Line{at(m.start), at(m.end)}});
        for (const auto& line : t.surfaceLines) out.push_back({kBevelLayer, polyline(line, false)});
        for (const TemplateText& n : t.notes) out.push_back({kTextLayer, entities::Text{n.text, at(n.at), n.height, 0}});
        out.push_back({kTextLayer, entities::Text{t.label, at(t.labelAt), t.labelHeight, 0}});
    }
    return out;
}

TemplateExtents templateExtents(const std::vector<LayeredEntity>& all)
{
    constexpr double kHuge = std::numeric_limits<double>::max();
    TemplateExtents e{kHuge, kHuge, -kHuge, -kHuge};
    const auto take = [&](double x, double y) {
        e.minX = std::min(e.minX, x);
        e.minY = std::min(e.minY, y);
        e.maxX = std::max(e.maxX, x);
        e.maxY = std::max(e.maxY, y);
    };
    for (const LayeredEntity& le : all) {
        if (const auto* p = std::get_if<entities::Polyline>(&le.entity)) {
            for (const entities::PolylineVertex& v : p->vertices) take(v.x, v.y);
        } else if (const auto* l = std::get_if<entities::Line>(&le.entity)) {
            take(l->start[0], l->start[1]);
            take(l->end[0], l->end[1]);
        } else if (const auto* t = std::get_if<entities::Text>(&le.entity)) {
            take(t->insertion[0], t->insertion[1] - 0.35 * t->height);  // descenders reach below the baseline
            take(t->insertion[0] + approximateTextWidth(t->text, t->height), t->insertion[1] + t->height);
        }
    }
    if (e.minX > e.maxX) return {};
    return e;
}

}  // namespace tessik

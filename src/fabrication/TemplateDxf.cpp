#include "TemplateDxf.h"

#include "Dxf.h"
#include "TemplateEntities.h"

namespace tessik {
namespace {

using dxf::DxfTag;

DxfTag real(int code, double v) { return {code, dxf::formatReal(v)}; }

void point(std::vector<DxfTag>& tags, int code, const Point3& p)
{
    tags.push_back(real(code, p[0]));
    tags.push_back(real(code + 10, p[1]));
    tags.push_back(real(code + 20, p[2]));
}

// Texts go into the file in the drawing's code page (GBK for the blank
// drawing), \U+XXXX for what it lacks.
Result<dxf::NewEntity> record(const LayeredEntity& e, const dxf::DxfDrawing& drawing)
{
    if (const auto* t = std::get_if<entities::Text>(&e.entity)) {
        const Result<std::string> text = dxf::encodeDxfText(t->text, drawing.codePage(), drawing.unicode());
        if (!text) return text.error();
        std::vector<DxfTag> tags{{100, "AcDbText"}};
        point(tags, 10, t->insertion);
        tags.push_back(real(40, t->height));
        tags.push_back({1, *text});
        if (t->rotation != 0) tags.push_back(real(50, t->rotation / entities::kTwoPi * 360));
        tags.push_back({100, "AcDbText"});
        return dxf::NewEntity{"TEXT", e.layer, std::move(tags)};
    }
    return std::visit(
        entities::Overload{
            [&](const entities::Polyline& p) {
                std::vector<DxfTag> tags{{100, "AcDbPolyline"},
                                         {90, std::to_string(p.vertices.size())},
                                         {70, p.closed ? "1" : "0"},
                                         real(43, 0)};
                for (const entities::PolylineVertex& v : p.vertices) {
                    tags.push_back(real(10, v.x));
                    tags.push_back(real(20, v.y));
                    if (v.bulge != 0) tags.push_back(real(42, v.bulge));
                }
                return dxf::NewEntity{"LWPOLYLINE", e.layer, std::move(tags)};
            },
            [&](const entities::Line& l) {
                std::vector<DxfTag> tags{{100, "AcDbLine"}};
                point(tags, 10, l.start);
                point(tags, 11, l.end);
                return dxf::NewEntity{"LINE", e.layer, std::move(tags)};
            },
            [&](const auto&) { return dxf::NewEntity{}; }},
        e.entity);
}

}  // namespace

Result<std::string> templateDxf(const TemplateSheet& sheet) { return layeredDxf(templateEntities(sheet)); }

Result<std::string> layeredDxf(const std::vector<LayeredEntity>& all)
{
    dxf::DxfDrawing drawing = dxf::DxfDrawing::blank();
    // Cutters' software and strict readers expect every layer in the LAYER
    // table; stock outlines grey.
    for (const TemplateLayer& layer : kTemplateLayers) drawing.addLayer(layer.name, layer.color);
    // Readers zoom to the header's extents: they must hold the whole sheet.
    const TemplateExtents box = templateExtents(all);
    drawing.setHeaderPoint("$EXTMIN", box.minX, box.minY, 0);
    drawing.setHeaderPoint("$EXTMAX", box.maxX, box.maxY, 0);
    for (const LayeredEntity& e : all) {
        if (!drawing.hasLayer(e.layer)) drawing.addLayer(e.layer, e.layer == kStockLayer ? 8 : 7);
        Result<dxf::NewEntity> entity = record(e, drawing);
        if (!entity) return entity.error();
        if (entity->type.empty()) continue;  // the sheet makes no other kinds
        drawing.addEntity(dxf::Space::Model, std::move(entity).value());
    }
    return drawing.toBytes();
}

}  // namespace tessik

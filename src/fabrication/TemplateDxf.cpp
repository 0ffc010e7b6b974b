#include "TemplateDxf.h"

#include "Dxf.h"
#include "TemplateEntities.h"

namespace tessik {

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
        // Texts go in the drawing's code page (GBK for the blank drawing).
        Result<dxf::NewEntity> entity = dxf::newEntity(e.entity, e.layer, drawing);
        if (!entity) return entity.error();
        drawing.addEntity(dxf::Space::Model, std::move(entity).value());
    }
    return drawing.toBytes();
}

}  // namespace tessik

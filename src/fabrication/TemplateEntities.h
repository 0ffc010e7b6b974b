#pragma once
// The template sheet as entities of the shared vocabulary, each on its layer:
// CUT the closed outline of each piece (the line to cut or trace), MARK its
// quarter, station and centre lines, BEVEL a plate's outside and inside
// surface lines, TEXT its notes and label. The DXF template and the drawing
// into a CAD program both take these, in this order per piece.

#include <string>
#include <vector>

#include "Entity.h"
#include "PieceTemplate.h"

namespace tessik {

inline constexpr const char* kCutLayer = "CUT";
inline constexpr const char* kMarkLayer = "MARK";
inline constexpr const char* kBevelLayer = "BEVEL";
inline constexpr const char* kTextLayer = "TEXT";
inline constexpr const char* kStockLayer = "STOCK";  // the pipe or sheet pieces are nested on

// The template layers with their colour indexes: the outline red, the marks
// green, a plate's surface lines blue, the texts in the default colour. The
// DXF files and the drawing into a CAD program make them alike.
struct TemplateLayer {
    const char* name;
    int color;
};
inline constexpr TemplateLayer kTemplateLayers[] = {{kCutLayer, 1}, {kMarkLayer, 3}, {kBevelLayer, 5}, {kTextLayer, 7}};

struct LayeredEntity {
    std::string layer;
    entities::Entity entity;
};

// The sheet's origin (its lower-left corner) moved to `origin`; z is 0.
std::vector<LayeredEntity> templateEntities(const TemplateSheet& sheet, double originX = 0, double originY = 0);

// The smallest box round the entities, texts at approximateTextWidth and
// with room for descenders.
struct TemplateExtents {
    double minX = 0, minY = 0, maxX = 0, maxY = 0;
};
TemplateExtents templateExtents(const std::vector<LayeredEntity>& entities);

}  // namespace tessik

#include "DxfEntities.h"

#include "DxfText.h"

namespace tessik::dxf {

NewEntity lineEntity(const std::string& layer, XY start, XY end)
{
    return {"LINE",
            layer,
            {{100, "AcDbLine"},
             {10, formatReal(start[0])},
             {20, formatReal(start[1])},
             {30, "0.0"},
             {11, formatReal(end[0])},
             {21, formatReal(end[1])},
             {31, "0.0"}}};
}

NewEntity lwpolylineEntity(const std::string& layer, const std::vector<XY>& vertices, bool closed,
                           const std::vector<double>& bulges)
{
    NewEntity e{"LWPOLYLINE", layer, {{100, "AcDbPolyline"}, {90, std::to_string(vertices.size())}, {70, closed ? "1" : "0"}}};
    for (std::size_t i = 0; i < vertices.size(); ++i) {
        e.data.push_back({10, formatReal(vertices[i][0])});
        e.data.push_back({20, formatReal(vertices[i][1])});
        if (i < bulges.size() && bulges[i] != 0) e.data.push_back({42, formatReal(bulges[i])});
    }
    return e;
}

Result<NewEntity> textEntity(const DxfDrawing& drawing, const std::string& layer, XY at, double height,
                             double rotation, const std::string& utf8)
{
    auto text = encodeDxfText(utf8, drawing.codePage(), drawing.unicode());
    if (!text) return text.error();
    return NewEntity{"TEXT",
                     layer,
                     {{100, "AcDbText"},
                      {10, formatReal(at[0])},
                      {20, formatReal(at[1])},
                      {30, "0.0"},
                      {40, formatReal(height)},
                      {1, *text},
                      {50, formatReal(rotation)},
                      {100, "AcDbText"}}};
}

}  // namespace tessik::dxf

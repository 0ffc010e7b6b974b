#pragma once
// New entities in the DXF form a drawing expects, for programs that make
// drawings (tessik-cad's automation, the fabrication templates). Texts are
// encoded for the drawing they go into (its code page or UTF-8), with
// \U+XXXX for what its code page lacks.
//
//   DxfDrawing d = DxfDrawing::blank();
//   d.addLayer("CUT", 1);
//   d.addEntity(Space::Model, lineEntity("CUT", {0, 0}, {100, 0}));
//   d.addEntity(Space::Model, *textEntity(d, "TEXT", {0, -10}, 3.5, 0, "展开图"));
//   auto bytes = d.toBytes();

#include <array>
#include <string>
#include <vector>

#include "DxfDrawing.h"
#include "Error.h"

namespace tessik::dxf {

using XY = std::array<double, 2>;

NewEntity lineEntity(const std::string& layer, XY start, XY end);
// bulges: one a vertex (the arc to the next vertex), or empty for straight segments.
NewEntity lwpolylineEntity(const std::string& layer, const std::vector<XY>& vertices, bool closed,
                           const std::vector<double>& bulges = {});
// rotation in degrees; fails on text no DXF can hold (a line break, bad UTF-8).
Result<NewEntity> textEntity(const DxfDrawing& drawing, const std::string& layer, XY at, double height,
                             double rotation, const std::string& utf8);

}  // namespace tessik::dxf

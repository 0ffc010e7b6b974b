#pragma once
// What tessik-cad shows of the entities its drawing model does not hold:
// polylines with their arcs, splines, hatches, solids, faces, points, texts,
// and block references and dimensions through their blocks (nested too).
// They are kept in the DXF drawing and written back untouched; for the
// view they become world-space outlines, filled areas and texts, computed
// once when the file is read. Entities on layers that are off or frozen are
// not shown.
//
// Hostile files are bounded: blocks nest at most kMaxBlockDepth deep, a
// block never draws itself, and the whole picture stops at kMaxPoints points
// or kMaxVisits entities drawn (blocks count once for each time they are).

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "model/ModelEntity.h"
#include "DxfDrawing.h"

namespace tessik::cadhost {

using Point2 = std::array<double, 2>;

// A text as the view places it; a justified single-line text is laid out by
// the painter's font through entities::placeText.
struct ShownText {
    Point2 position{};  // baseline start of the first line; a justified text's alignment point
    double height = 1;
    double rotation = 0;  // radians, counter-clockwise
    std::string text;     // UTF-8, lines separated by '\n'
    entities::TextHorizontal horizontal = entities::TextHorizontal::Left;
    entities::TextVertical vertical = entities::TextVertical::Baseline;
    Point2 end{};  // Aligned and Fit: the baseline runs from position to here
};

struct DrawingExtras {
    std::vector<std::vector<Point2>> outlines;  // open polylines
    std::vector<std::vector<Point2>> fills;     // closed areas
    std::vector<ShownText> texts;
    Bounds bounds;
    bool truncated = false;  // kMaxPoints was reached
};

inline constexpr int kMaxBlockDepth = 8;
inline constexpr std::size_t kMaxPoints = 4'000'000;
inline constexpr std::size_t kMaxVisits = 1'000'000;

// The shapes of the given entities of the ENTITIES section.
DrawingExtras drawingShapes(const dxf::DxfDrawing& drawing, const std::vector<std::size_t>& entities);
// The same, one picture per entity: each run is an entity's record and the
// records that belong to it (a polyline's vertices, a block reference's
// attributes). The bounds above hold for all of them together.
std::vector<DrawingExtras> entityShapes(const dxf::DxfDrawing& drawing,
                                        const std::vector<std::vector<std::size_t>>& runs);
// Pictures one after another, each moved by its offset.
void appendShape(DrawingExtras& to, const DrawingExtras& picture, const Point3& offset);

}  // namespace tessik::cadhost

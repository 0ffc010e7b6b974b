#pragma once
// What tessik-cad shows of the entities its drawing model does not hold:
// polylines with their arcs, splines, hatches, solids, faces, points, texts,
// and block references and dimensions through their blocks (nested too).
// They are kept in the DXF drawing and written back untouched; for the
// view they become world-space outlines, filled areas and texts, computed
// once when the file is read. Entities on layers that are off or frozen are
// not shown.
//
// Each shape has its style: the ink (true colour, colour index, by layer, by
// block through the reference that draws it; colour 7 is the view's
// foreground), the line weight and the dash pattern of its line type from
// the file's LTYPE table, scaled by $LTSCALE, the entity's own scale and the
// block's. Hatches are filled (solid) or drawn by the pattern lines the file
// gives, clipped to the boundary (even-odd). Invisible attributes draw
// nothing; constant attribute definitions in blocks are drawn; texts with
// nothing to show do not count towards the extents. A dimension whose
// block is missing is drawn from its definition points. A multi-line text
// keeps its formatted runs (MTextFormat.h); a text in a block reference is
// stretched, turned and mirrored with it; a MINSERT draws every copy.
//
// Hostile files are bounded: blocks nest at most kMaxBlockDepth deep, a
// block never draws itself, and the whole picture stops at kMaxPoints points
// or kMaxVisits entities drawn (blocks count once for each time they are).

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "model/MTextFormat.h"
#include "model/ModelEntity.h"
#include "DxfDrawing.h"
#include "DxfStyle.h"

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
    dxf::Ink ink = dxf::kForegroundInk;
    std::string font;  // the installed font family the text style maps to
    // A multi-line text: position is its insertion point, attachment 1..9
    // (top left ... bottom right) says which point of the block of lines
    // that is, and lines longer than width (when above 0) are wrapped.
    int attachment = 0;  // 0: position is the first baseline's start
    double width = 0;
    double lineSpacing = 1;  // times the usual 5/3 of the height
    // The letters' frame beside height and rotation: their width against
    // their height (negative: mirrored, as in a block reference mirrored
    // or stretched) and the lean of their upright, run over rise; with a
    // text's own width factor and obliquing in it.
    double xScale = 1;
    double shear = 0;
    // A multi-line text's formatted runs (each in its own colour, font and
    // size; text is what they show).
    std::vector<TextRun> runs;
    // A multi-line text's columns, in its heights (width: along its x,
    // as width is).
    TextColumns columns;
};

// How a shape is drawn.
struct ShapeStyle {
    dxf::Ink ink = dxf::kForegroundInk;
    std::int16_t lineweight = dxf::kLineweightDefault;  // hundredths of a millimetre
    std::uint16_t linetype = 0;                        // into DrawingExtras::linetypes; 0 is continuous
    float linetypeScale = 1;                           // the pattern's lengths times this are world lengths
    std::uint8_t alpha = 255;                          // a hatch too dense to draw line by line is a veil
};

// A run of segments (point pairs) in DrawingExtras::segments drawn alike.
struct SegmentRun {
    ShapeStyle style;
    std::size_t begin = 0, end = 0;  // point indices, end excluded
};

struct DrawingExtras {
    std::vector<std::vector<Point2>> outlines;  // open polylines
    std::vector<ShapeStyle> outlineStyles;      // one per outline
    std::vector<std::vector<Point2>> fills;     // closed areas
    std::vector<ShapeStyle> fillStyles;         // one per fill
    std::vector<Point2> segments;               // hatch pattern lines, pairs of points
    std::vector<SegmentRun> segmentRuns;
    std::vector<ShownText> texts;
    // Dash patterns (see dxf::LinetypeTable); the first is continuous.
    std::vector<std::vector<double>> linetypes{{}};
    Bounds bounds;
    bool truncated = false;  // kMaxPoints was reached
};

// The installed font family for a text style's font file and big font
// (SHX or TrueType names); a big font or a Chinese font gets the Chinese one.
std::string fontFamily(const std::string& fontFile, const std::string& bigFont);

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
// One entity's picture from the tags given for its records (its own first,
// then those that belong to it), as entityShapes makes it.
DrawingExtras recordShape(const dxf::DxfDrawing& drawing, const std::vector<std::span<const dxf::DxfTag>>& records);
// Pictures one after another, each moved by its offset.
void appendShape(DrawingExtras& to, const DrawingExtras& picture, const Point3& offset);

}  // namespace tessik::cadhost

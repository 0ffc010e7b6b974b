#pragma once
// The entities the DXF layer interprets, as typed data read from their tags
// (the kinds of the shared vocabulary through their codecs, DxfEntityCodec.h):
// lines, arcs, circles, ellipses, points, polylines (light-weight and the
// POLYLINE/VERTEX form), splines, texts and attributes, multi-line texts,
// block references, dimensions (drawn by their blocks), solids, traces,
// 3D faces and hatches, each with its layer, colour, line type and extrusion.
// The tags stay in the drawing and are what is written back; this is what a
// program shows or edits of them.
//
// Points are in the entity's object coordinate system (see Ocs), except
// where a kind says otherwise; angles are radians, counter-clockwise. A
// record that lacks a group its kind cannot do without (a line's end, a
// circle's radius, an arc's angles, a vertex without its y) is not
// interpreted: it is kept and written back, not shown. Groups that may be
// left out take the values the DXF reference gives them.
//
// A count the file states is bounded by the tags present: a hatch that says
// it has 10^9 paths has no more than its tags hold.

#include <array>
#include <cmath>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "DxfDrawing.h"
#include "DxfEntityCodec.h"
#include "DxfStyle.h"
#include "DxfTag.h"
#include "Entity.h"

namespace tessik::dxf {

using Point2 = std::array<double, 2>;

// A POLYLINE with its VERTEX records. A 3D polyline's vertices are world
// points; a 2D one lies in its plane at the outline's elevation.
struct PolylineEntity {
    entities::Polyline outline;
    bool is3d = false;
};

// The control points and knots of a (rational) B-spline; fit points for
// splines stored by them alone.
struct Spline {
    int degree = 3;
    std::vector<double> knots;
    std::vector<double> weights;  // empty: all 1
    std::vector<Point3> control;
    std::vector<Point3> fit;
    bool closed = false;
};

// MTEXT: world points; the text decoded, its formatting codes as written.
struct MText {
    std::string text;
    Point3 insertion{};
    double height = 2.5;
    double rotation = 0;             // group 50, unless a direction is given
    std::optional<Point3> direction;  // group 11: the x axis of the text
    int attachment = 1;               // 1 top left ... 9 bottom right
};

// A block reference: the block's base point goes to `insertion`, scaled then
// turned, in the reference's plane.
struct Insert {
    std::string block;
    Point3 insertion{};
    double xScale = 1;
    double yScale = 1;
    double rotation = 0;
};

// A dimension is shown by the anonymous block it names.
struct Dimension {
    std::string block;
};

// SOLID, TRACE and 3DFACE: four corners (a triangle repeats the third).
// Solids and traces are filled and take their corners in the order
// 1, 2, 4, 3 round the outline; a face is an outline in the order given,
// with world points.
struct Quad {
    enum class Kind { Solid, Trace, Face };
    Kind kind = Kind::Solid;
    std::array<Point3, 4> corners{};
};

// The edges of a hatch boundary path (points in the hatch's plane). Arc and
// ellipse edges are counter-clockwise from start to end unless `ccw` is
// false, when both angles are measured the other way round.
struct HatchLine {
    Point2 start{}, end{};
};
struct HatchArc {
    Point2 center{};
    double radius = 0;
    double startAngle = 0, endAngle = 0;
    bool ccw = true;
};
struct HatchEllipse {
    Point2 center{};
    Point2 majorAxis{};
    double ratio = 1;
    double startAngle = 0, endAngle = 0;  // angles, not parameters
    bool ccw = true;
};
struct HatchSpline {
    int degree = 3;
    std::vector<double> knots;
    std::vector<double> weights;
    std::vector<Point2> control;
};
using HatchEdge = std::variant<HatchLine, HatchArc, HatchEllipse, HatchSpline>;

// A boundary path: a polyline (always closed) or a run of edges.
struct HatchPath {
    std::optional<entities::Polyline> polyline;
    std::vector<HatchEdge> edges;
    long flags = 0;  // 1 external, 2 polyline, 4 derived, 8 text box, 16 outermost
};

struct Hatch {
    std::string pattern;
    bool solid = false;
    double elevation = 0;
    std::vector<HatchPath> paths;  // those it could follow, in order
};

using EntityData = std::variant<entities::Line, entities::Arc, entities::Circle, entities::Ellipse, entities::Point,
                                entities::Polyline, PolylineEntity, Spline, TextEntity, MText, Insert, Dimension,
                                Quad, Hatch>;

struct InterpretedEntity {
    std::string handle;  // group 5; empty when the file has none
    EntityStyle style;
    Vec3 extrusion{0, 0, 1};
    EntityData data;
    // Extrusion 0,0,1, to the last bits AutoCAD leaves in a unit vector
    // (0, 0, 0.9999999999999998): the entity's points are world points.
    bool upright() const
    {
        constexpr double kTolerance = 1e-12;
        return std::abs(extrusion[0]) <= kTolerance && std::abs(extrusion[1]) <= kTolerance &&
               std::abs(extrusion[2] - 1) <= kTolerance;
    }
};

// The typed data of one entity record (a POLYLINE without its vertices has
// none: see polylineData). Texts are decoded for this drawing.
std::optional<InterpretedEntity> entityData(std::span<const DxfTag> record, const DxfDrawing& drawing);

// A POLYLINE header with its VERTEX records; meshes (flags 16 and 64) are not
// interpreted.
std::optional<InterpretedEntity> polylineData(std::span<const DxfTag> header,
                                              std::span<const std::span<const DxfTag>> vertices);

// A run of records as a section or block holds them, interpreted in order: a
// POLYLINE takes the VERTEX records after it and its SEQEND. Records not
// interpreted are left out.
std::vector<InterpretedEntity> interpretRecords(std::span<const std::span<const DxfTag>> records,
                                            const DxfDrawing& drawing);

// A text as it reads: %%c, %%d and %%p become their symbols; in a multi-line
// text \P breaks the line, \~ is a space, braces and formatting codes go.
std::string plainText(const std::string& text, bool mtext);

}  // namespace tessik::dxf

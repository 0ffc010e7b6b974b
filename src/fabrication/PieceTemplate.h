#pragma once
// Flat templates of the elbow's pieces: printed at true size, wrapped round
// the pipe and traced, or cut from plate. x runs round the pipe from the seam
// (the template's two side edges, where it closes round the pipe) over the
// template width pi Dt; y runs along it. The seam lies where the user puts
// it: on the outer, long side of the bend (the extrados, phi = 0), on the
// inner side (the intrados, phi = pi) or half-way round (phi = pi / 2).
//
// An end template is square at y = 0 and cut along y = (R + rho cos phi) tan
// theta; a middle template has its centre line at y = 0 and cuts at plus and
// minus that. Each outline is one closed polygon whose cut curves stay within
// kChordError of the true curve. A kerf allowance moves every cut line out by
// half the kerf, measured square to the cut plane (along the pipe that is
// kerf / 2 / cos theta for a mitre cut), so the piece keeps its size when the
// saw runs down the middle of the line; a plate's seam edges are cuts too.
//
// The marks line the template up on the pipe and stay clear of the cut
// edges: the quarter lines at phi = 0, pi/2, pi, 3 pi/2 other than the seam,
// the station lines of the ordinate table (numbered k as in the table, from
// the extrados), and a middle piece's centre line. A plate template also
// carries the outside and inside surface lines (surfaceLines). Notes name
// the piece inside its outline, the quarters, the stations and the seam.
//
// templateSheet lays the templates one above the other, each with its label
// beneath it, in one frame whose lower-left corner is the origin; writers
// (SVG, PDF, DXF, the CAD drawing) all draw this one sheet.

#include <optional>
#include <string>
#include <vector>

#include "ElbowFabrication.h"

namespace tessik {

inline constexpr double kChordError = 0.05;              // mm
inline constexpr int kMaxSegmentsPerCut = 100000;        // beyond: no template
inline constexpr double kMaxKerf = 20;                   // mm

enum class SeamPosition { extrados, side, intrados };

struct TemplateOptions {
    SeamPosition seam = SeamPosition::extrados;
    double kerf = 0;  // mm the cut takes, 0 to kMaxKerf
};

struct TemplatePoint {
    double x = 0;
    double y = 0;
    friend bool operator==(const TemplatePoint&, const TemplatePoint&) = default;
};

struct TemplateSegment {
    TemplatePoint start;
    TemplatePoint end;
};

// A line of text from `at` (its lower-left corner) rightwards.
struct TemplateText {
    std::string text;
    TemplatePoint at;
    double height = 0;
};

struct PieceTemplate {
    PieceKind kind = PieceKind::end;
    int count = 0;
    std::string name;                     // "端节（第 1、5 节）"
    std::vector<TemplatePoint> outline;   // closed, counter-clockwise, first vertex not repeated
    std::vector<TemplateSegment> marks;   // quarter lines, station lines, a middle piece's centre line
    std::vector<std::vector<TemplatePoint>> surfaceLines;  // plate: open polylines
    std::vector<TemplateText> notes;      // the name inside, quarters, stations, seam
    std::string label;                    // piece, count, D, Dt, theta, seam, kerf
    TemplatePoint labelAt;                // lower-left corner of the label
    double labelHeight = 0;
};

struct TemplateSheet {
    std::vector<PieceTemplate> pieces;  // the end template, then the middle one
    double width = 0;
    double height = 0;
};

// The width of a line of text as the writers' fonts set it, near enough to
// keep notes inside a piece and to bound a drawing: CJK characters square,
// others 0.6 of the height.
double approximateTextWidth(const std::string& text, double height);

// "外侧（长边）", "侧面", "内侧（短边）".
std::string seamName(SeamPosition seam);

// The name of the pieces a template is for, with their places in the elbow
// counted from the inlet: "端节（第 1、5 节）", "中节（第 2–4 节）".
std::string pieceNames(const ElbowFabrication& fabrication, PieceKind kind);

// Why the options cannot give a template (a kerf out of range); none when they can.
std::optional<Error> templateOptionsProblem(const TemplateOptions& options);

// The sheet of templates for a development, or why none can be drawn: a bend
// radius below half the outer diameter (the cut planes of a joint meet inside
// the pipe and run through the opposite wall, so the template would cross
// itself), a kerf out of range, or a cut that would need more than
// kMaxSegmentsPerCut chords.
Result<TemplateSheet> templateSheet(const ElbowFabrication& fabrication, const TemplateOptions& options = {});

}  // namespace tessik

#pragma once
// Flat templates of the elbow's pieces: printed at true size, wrapped round
// the pipe and traced, or cut from plate. x runs round the pipe from the long
// side (phi = 0 at x = 0) over the template width pi Dt; y runs along it.
//
// An end template is square at y = 0 and cut along y = (R + rho cos phi) tan
// theta; a middle template has its centre line at y = 0 and cuts at plus and
// minus that. Each outline is one closed polygon whose cut curves stay within
// kChordError of the true curve. The quarter lines at phi = 0, pi/2, pi and
// 3 pi/2 (and a middle piece's centre line) are the marks that line the
// template up on the pipe.
//
// templateSheet lays the templates one above the other, each with its label
// beneath it, in one frame whose lower-left corner is the origin; writers
// (SVG, PDF, DXF, the CAD drawing) all draw this one sheet.

#include <string>
#include <vector>

#include "ElbowFabrication.h"

namespace tessik {

inline constexpr double kChordError = 0.05;              // mm
inline constexpr int kMaxSegmentsPerCut = 100000;        // beyond: no template

struct TemplatePoint {
    double x = 0;
    double y = 0;
    friend bool operator==(const TemplatePoint&, const TemplatePoint&) = default;
};

struct TemplateSegment {
    TemplatePoint start;
    TemplatePoint end;
};

struct PieceTemplate {
    PieceKind kind = PieceKind::end;
    int count = 0;
    std::vector<TemplatePoint> outline;   // closed, counter-clockwise, first vertex not repeated
    std::vector<TemplateSegment> marks;   // quarter lines, then a middle piece's centre line
    std::string label;                    // piece, count, D, Dt, theta
    TemplatePoint labelAt;                // lower-left corner of the label
    double labelHeight = 0;
};

struct TemplateSheet {
    std::vector<PieceTemplate> pieces;  // the end template, then the middle one
    double width = 0;
    double height = 0;
};

// The sheet of templates for a development, or why none can be drawn: a bend
// radius below half the outer diameter (the template would cross itself), or
// a cut that would need more than kMaxSegmentsPerCut chords.
Result<TemplateSheet> templateSheet(const ElbowFabrication& fabrication);

}  // namespace tessik

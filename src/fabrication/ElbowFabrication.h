#pragma once
// Fabrication of a mitred elbow: what the workshop needs to cut the pieces
// from straight pipe (or from plate rolled to a pipe) and weld them. Pure
// computation, no Qt.
//
// Every joint is cut at the same angle theta (the end segment angle DblA).
// phi runs round the pipe from the outer, long side of the bend. An end
// piece is square at one end and cut at the other; along the pipe at phi it
// is (R + rho cos phi) tan theta long. A middle piece is cut at both ends and
// twice that long. rho is half the template diameter: the outside diameter
// for a template wrapped round pipe, the mean one for plate rolled to a pipe,
// the inside one for a template laid inside. A plate template is developed
// on the mean diameter and also carries the lines of the outside and inside
// surfaces, between which the cut edge is bevelled.
//
// developElbow gives the cut list, the ordinate table, the weld length and
// the exact weight; PieceTemplate.h turns the result into flat templates.
// Unlike the design window's own formulas these use the full-precision pi.

#include <optional>
#include <string>
#include <vector>

#include "Error.h"

namespace tessik {

enum class TemplateDiameterKind { outside, mean, inside, plate };

inline constexpr int kDefaultDivisions = 16;
inline constexpr int kMinDivisions = 4;
inline constexpr int kMaxDivisions = 720;
inline constexpr double kDefaultDensity = 7850;  // kg per cubic metre

// Codes of the fabrication warnings, as scripts see them.
inline constexpr const char* kWarnCutAngleOver22_5 = "cut-angle-over-22.5";
inline constexpr const char* kWarnInnerSideNegative = "inner-side-negative";

struct FabricationInput {
    double cutAngle = 0;        // theta = DblA, degrees
    int middlePieces = 0;       // IntN
    double bendRadius = 0;      // DblR, mm
    double outerDiameter = 0;   // DblD, mm
    std::optional<double> wall; // wall thickness t, mm; needed by mean, inside and plate
    double density = kDefaultDensity;
    TemplateDiameterKind templateDiameter = TemplateDiameterKind::outside;
    int divisions = kDefaultDivisions;  // kMinDivisions..kMaxDivisions
};

enum class PieceKind { end, middle };

struct PieceLengths {
    PieceKind kind = PieceKind::end;
    int count = 0;
    double centerline = 0;  // along the pipe axis
    double longSide = 0;    // at phi = 0, the outer side of the bend
    double shortSide = 0;   // at phi = pi, the inner side
};

// n + 1 rows for k = 0..n; the last row repeats the first.
struct Ordinates {
    int divisions = 0;
    std::vector<double> x;       // pi Dt k / n, round the template
    std::vector<double> end;     // end-piece length at x
    std::vector<double> middle;  // middle-piece length at x
};

struct ElbowFabrication {
    double cutAngle = 0;          // degrees
    int joints = 0;               // IntN + 1
    double bendRadius = 0;        // R
    double outerDiameter = 0;     // D
    double templateDiameter = 0;  // Dt
    TemplateDiameterKind templateKind = TemplateDiameterKind::outside;
    std::optional<double> wall;   // a usable wall thickness (0 <= t < D / 2)
    double templateWidth = 0;     // pi Dt
    double cutback = 0;           // rho tan theta
    std::vector<PieceLengths> pieces;  // end, then middle when there is one
    Ordinates ordinates;
    double weldPerJoint = 0;      // perimeter of one cut on the outside surface
    double weldTotal = 0;
    double pipeLength = 0;        // straight pipe the pieces come from, no kerf
    std::optional<double> weight; // kg, with a usable wall thickness
    std::vector<std::string> warnings;  // kWarn... codes
};

// The development of the elbow, or why there is none: the error's
// description starts with "无法展开：" and says what to change.
Result<ElbowFabrication> developElbow(const FabricationInput& input);

// Perimeter of an ellipse with semi-axes a and b (either order), exact to
// rounding: the complete elliptic integral by the arithmetic-geometric mean.
double ellipsePerimeter(double a, double b);

// Warning codes in words for the user.
std::string warningText(const std::string& code);

std::string pieceName(PieceKind kind);  // "端节" / "中节"

}  // namespace tessik

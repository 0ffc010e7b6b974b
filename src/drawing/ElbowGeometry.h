#pragma once
// Geometry of the mitred elbow: design parameters and a picked point in, the
// ordered entity list of one view out. Pure computation; the draw command
// sends the entities to the CAD application in exactly this order.
//
// Frame: the picked point P is the centre of the inlet end face, on the pipe
// axis; the pipe leaves the inlet towards +x and turns clockwise about the
// bend centre C = (Px, Py - DblR). Angles of joints are measured from +y
// towards +x. Only Px and Py count; every z is 0.
//
// The evaluation order of every expression is kept as the design fixes it
// (rad(x) = x / 180 * PI, PI = 3.1415926), so results compare bit for bit
// with the reference computation.

#include <cstdint>
#include <vector>

#include "ElbowEntity.h"

namespace tessik {

// The one value of pi used in every calculation of the tool.
inline constexpr double kPi = 3.1415926;

// Degrees to radians: a division by 180 followed by a multiplication by kPi.
inline double rad(double degrees) { return degrees / 180 * kPi; }

// The derived design values the geometry (and the weight) work from.
struct ElbowParameters {
    double DblAB = 0;  // bend angle, degrees
    double DblA = 0;   // end segment angle, DblB / 2
    double DblB = 0;   // middle segment angle, DblAB / (IntN + 1)
    double DblD = 0;   // outer diameter, mm
    double DblR = 0;   // bend radius of the pipe axis, mm
    double DblR1 = 0;  // inner radius, DblR - DblD / 2
    double DblR2 = 0;  // outer radius, DblD / 2 + DblR
    double DblC1 = 0;  // inner chord of a middle segment
    double DblC2 = 0;  // outer chord of a middle segment
    std::int16_t IntN = 0;  // number of middle segments
};

// View selector: the index of the view option in the main window.
enum ElbowView : int { kFrontView = 0, kTopView = 1, kBottomView = 2, kLeftView = 3, kRightView = 4, kAllViews = 5 };

// Distances from the bend centre to an inner (L1) and outer (L2) mitre vertex.
struct SharedQuantities {
    double L1 = 0;
    double L2 = 0;
};

// Plain IEEE results: L1/L2 are infinite when cos(rad(DblA)) is 0.
SharedQuantities sharedQuantities(const ElbowParameters& p);

// The entities of one view with L1/L2 as given; views 1, 2 and 5 (and any
// other index) give an empty list.
std::vector<ElbowEntity> elbowView(const ElbowParameters& p, const SharedQuantities& shared,
                                   const Point3& picked, int view);

std::vector<ElbowEntity> elbowView(const ElbowParameters& p, const Point3& picked, int view);

}  // namespace tessik

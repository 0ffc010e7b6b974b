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

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "ElbowEntity.h"
#include "ToolConstants.h"

namespace tessik {

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

// The views of the elbow, in the order of the main window's view options.
enum class ElbowView { Front, Top, Bottom, Left, Right, All };

// One row per view: its name on tessik-elbow's command line and whether it has
// entities at all (top, bottom and all have none).
struct ElbowViewInfo {
    ElbowView view;
    std::string_view name;
    bool drawable;
};

inline constexpr std::array<ElbowViewInfo, 6> kElbowViews{{{ElbowView::Front, "front", true},
                                                           {ElbowView::Top, "top", false},
                                                           {ElbowView::Bottom, "bottom", false},
                                                           {ElbowView::Left, "left", true},
                                                           {ElbowView::Right, "right", true},
                                                           {ElbowView::All, "all", false}}};

// The index of the view's option in the main window; the table's row number.
constexpr std::size_t optionIndex(ElbowView view) { return static_cast<std::size_t>(view); }

constexpr bool tableInOptionOrder()
{
    for (std::size_t i = 0; i < kElbowViews.size(); ++i)
        if (optionIndex(kElbowViews[i].view) != i) return false;
    return true;
}
static_assert(tableInOptionOrder(), "kElbowViews is indexed by the view option");

// The view called `name` on the command line; none for an unknown name.
std::optional<ElbowView> elbowViewNamed(std::string_view name);

// Distances from the bend centre to an inner (L1) and outer (L2) mitre vertex.
struct SharedQuantities {
    double L1 = 0;
    double L2 = 0;
};

// Plain IEEE results: L1/L2 are infinite when cos(rad(DblA)) is 0.
SharedQuantities sharedQuantities(const ElbowParameters& p);

// The entities of one view with L1/L2 as given; a view that is not drawable
// gives an empty list.
std::vector<ElbowEntity> elbowView(const ElbowParameters& p, const SharedQuantities& shared,
                                   const Point3& picked, ElbowView view);

std::vector<ElbowEntity> elbowView(const ElbowParameters& p, const Point3& picked, ElbowView view);

}  // namespace tessik

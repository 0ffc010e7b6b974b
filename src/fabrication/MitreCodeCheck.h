#pragma once
// Code checks of a mitred elbow as process piping, by ASME B31.3 304.2.3:
// the least effective radius R1 of equation (5), the maximum allowable
// internal pressure by equations (4a), (4b) and (4c), and the wall the design
// pressure needs. Pure computation, no Qt. Units: mm, MPa (N/mm2), degrees.
//
// The elbow's geometry in the code's terms: every joint turns the axis by
// alpha = bend angle / joints, and the code's theta (the angle of the mitre
// cut) is alpha / 2, which is the cut angle DblA of the end and middle
// pieces. The pieces are 2 R tan(theta) long on the centre line between two
// joints, so the planes of neighbouring joints meet at the distance R from
// the centre line: the effective radius R1 is the bend radius R. An elbow
// of one joint (no middle piece) is a single mitre; its square ends are the
// neighbouring planes, so R1 is R there as well.
//
// Wall terms: t is the nominal wall, T = t (1 - mill tolerance) the least
// wall the pipe is bought with, c the corrosion and other allowances; the
// equations use T - c, and r2 = (D - t) / 2 is the mean radius on the
// nominal wall.

#include <optional>
#include <string>
#include <vector>

#include "Error.h"

namespace tessik {

// Limits of the equations and of their use, in degrees of theta.
inline constexpr double kMultipleMitreMaxTheta = 22.5;  // eqs. 4a and 4b
inline constexpr double kSingleMitreMaxTheta = 45;      // eq. 4c: a single joint of 90 degrees
inline constexpr double kSevereCyclicMaxTheta = 11.25;  // alpha <= 22.5 under severe cyclic conditions
// An offset of alpha <= 3 degrees at each joint is no mitre bend to the code:
// no least radius, and the pressure of straight pipe, eq. (3a) with Y = 0.4.
inline constexpr double kStraightPipeMaxTheta = 1.5;
inline constexpr double kStraightPipeY = 0.4;
// Category D fluid service: a design pressure of at most 1035 kPa and a
// design temperature from -29 to 186 degrees Celsius. Only there may a single
// mitre turn more than 45 degrees.
inline constexpr double kCategoryDMaxPressure = 1.035;
inline constexpr double kCategoryDMinTemperature = -29;
inline constexpr double kCategoryDMaxTemperature = 186;

enum class FluidService { normal, categoryD, severeCyclic };

struct MitreGeometry {
    double cutAngle = 0;       // theta, degrees
    int joints = 1;            // middle pieces + 1
    double bendRadius = 0;     // R = R1, mm
    double outerDiameter = 0;  // D, mm
};

// A of equation (5) for the corroded wall T - c, in mm.
double mitreRadiusConstant(double wallLessAllowances);

struct MinimumRadiusCheck {
    double theta = 0;
    double radius = 0;                         // R1
    std::optional<double> wallLessAllowances;  // T - c; empty: A = 25, its least value, is taken
    double constantA = 0;
    double minimum = 0;                        // A / tan(theta) + D / 2
    bool applies = true;                       // false for an offset of 3 degrees or less
    bool pass = false;
};

MinimumRadiusCheck checkMinimumRadius(const MitreGeometry& geometry, std::optional<double> wallLessAllowances);

struct PressureInput {
    double pressure = 0;              // P, design pressure
    double stress = 0;                // S at the design temperature
    double jointFactor = 1;           // E
    double weldFactor = 1;            // W
    double allowance = 0;             // c, mm
    double millTolerance = 12.5;      // per cent of the nominal wall
    std::optional<double> nominalWall;  // t; empty: only the wall needed is worked out
    FluidService service = FluidService::normal;
    std::optional<double> temperature;  // design temperature, degrees Celsius; empty: not known
};

enum class MitreEquation { eq4a, eq4b, eq4c, straight3a };
std::string equationName(MitreEquation equation);  // "4a", "4b", "4c", "3a"

// The code's pressures for one nominal wall.
struct MitrePressures {
    double T = 0;       // t (1 - mill tolerance)
    double r2 = 0;      // mean radius
    std::optional<double> pm4a, pm4b, pm4c, pm3a;  // 3a: straight pipe, 2 S E W (T - c) / (D - 2 Y (T - c))
    std::optional<double> pm;  // the one that rules: the lesser of those that apply
    std::optional<MitreEquation> governing;
    double lengthM = 0;  // how far T must reach from the inside crotch of the end joints (0 for 3a)
};

struct PressureCheck {
    bool single = false;                   // one joint
    std::vector<std::string> notCovered;   // why the equations may not be used (empty: they may)
    std::optional<MitrePressures> atWall;  // with a nominal wall given
    std::optional<double> requiredT;       // least T carrying P (mill tolerance off, c in)
    std::optional<double> requiredWall;    // nominal wall carrying P, rounded up to 0.01 mm
    std::optional<bool> pass;              // empty without a nominal wall
};

// Why the pressure input cannot be used ("无法校核：..."), or the check.
Result<PressureCheck> checkPressure(const MitreGeometry& geometry, const PressureInput& input);

// The checks in words, one line each, ending with the verdict: what was put
// in, each equation's result, the ruling one, the wall needed, and pass or
// fail. `pressure` and `input` go together (both or neither).
struct CodeCheckReport {
    std::vector<std::string> lines;
    std::optional<bool> pass;  // empty: no verdict on the pressure without a wall
};
CodeCheckReport describeCodeCheck(const MinimumRadiusCheck& radius, const PressureCheck* pressure,
                                  const PressureInput* input);

// The wall the pressure needs turned to one the wall list offers: the least
// listed wall at least `required` ("选用壁厚表中的 4.5 mm"), or that the list
// has none so thick; put before the report's verdict.
void addListedWall(CodeCheckReport& report, double required, const std::vector<double>& listedWalls);

// Allowable stresses by material and temperature, from the shipped table:
// the first line holds the temperatures in degrees Celsius, ascending; each
// further line a material name and one stress (MPa) per temperature.
struct MaterialStresses {
    std::string name;
    std::vector<double> stress;
};

struct MaterialTable {
    std::vector<double> temperatures;
    std::vector<MaterialStresses> materials;
    const MaterialStresses* find(const std::string& name) const;  // case-insensitive
};

inline constexpr const char* kMaterialFile = "xyyl.ini";

Result<MaterialTable> parseMaterialTable(const std::string& text);
Result<MaterialTable> readMaterialTable(const std::string& path);

// S at the temperature, interpolated in a straight line between the table's
// temperatures; empty outside them.
std::optional<double> allowableStress(const MaterialTable& table, const MaterialStresses& material,
                                      double temperature);

}  // namespace tessik

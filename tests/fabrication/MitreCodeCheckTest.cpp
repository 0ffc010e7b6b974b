#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "MitreCodeCheck.h"
#include "NumberText.h"

namespace tessik {
namespace {

MitreGeometry elbow(double theta, int joints, double radius = 600, double diameter = 323.9)
{
    return {theta, joints, radius, diameter};
}

PressureInput input(double pressure, std::optional<double> wall = 9.53)
{
    PressureInput in;
    in.pressure = pressure;
    in.stress = 137.9;
    in.allowance = 1.5;
    in.nominalWall = wall;
    return in;
}

PressureCheck check(const MitreGeometry& g, const PressureInput& in)
{
    const Result<PressureCheck> c = checkPressure(g, in);
    EXPECT_TRUE(c.ok()) << (c.ok() ? "" : c.error().description);
    return c.valueOr({});
}

// Which equations give the pressure on either side of each angle limit.
TEST(MitreCodeCheck, AngleLimits)
{
    const double above = std::nextafter(22.5, 90.0);
    PressureCheck c = check(elbow(22.5, 3), input(1));
    EXPECT_TRUE(c.notCovered.empty());
    EXPECT_TRUE(c.atWall->pm4a && c.atWall->pm4b && !c.atWall->pm4c);
    c = check(elbow(above, 3), input(1));
    EXPECT_FALSE(c.notCovered.empty());
    EXPECT_FALSE(c.atWall || c.requiredWall);
    EXPECT_EQ(c.pass, false);

    // A single mitre: (4a) alone up to 22.5, (4c) above, in Category D only, up to 45.
    c = check(elbow(22.5, 1), input(1));
    EXPECT_TRUE(c.single && c.notCovered.empty() && c.atWall->pm4a && !c.atWall->pm4b && !c.atWall->pm4c);
    c = check(elbow(above, 1), input(1));
    EXPECT_TRUE(c.atWall->pm4c && !c.atWall->pm4a);
    EXPECT_FALSE(c.notCovered.empty());
    EXPECT_EQ(c.pass, false);  // normal service, however low the pressure
    PressureInput categoryD = input(0.01);
    categoryD.service = FluidService::categoryD;
    c = check(elbow(45, 1), categoryD);
    EXPECT_TRUE(c.notCovered.empty());
    EXPECT_EQ(c.pass, true);
    c = check(elbow(std::nextafter(45.0, 90.0), 1), categoryD);
    EXPECT_FALSE(c.notCovered.empty());
    EXPECT_FALSE(c.atWall);
    // Category D ends above 1035 kPa and outside -29 to 186 degrees C: there
    // the steep single mitre is no longer allowed, whatever the user calls it.
    for (const auto& [pressure, temperature] : {std::pair{1.035, 186.0}, {1.0351, 20.0}, {0.5, 186.1}, {0.5, -29.1}}) {
        PressureInput limits = input(pressure);
        limits.service = FluidService::categoryD;
        limits.temperature = temperature;
        limits.stress = 1000;  // the pressure itself is carried
        const bool inside = pressure <= 1.035 && temperature >= -29 && temperature <= 186;
        EXPECT_EQ(check(elbow(30, 1), limits).pass, inside) << pressure << " MPa " << temperature << " C";
        EXPECT_EQ(check(elbow(22.5, 1), limits).pass, true) << "no steep joint, no limit";
    }

    // Up to 3 degrees a joint is an offset of straight pipe: no least radius,
    // the straight-pipe pressure, which a mitre just above it never exceeds.
    c = check(elbow(1.5, 2, 10), input(1));
    EXPECT_TRUE(c.atWall->pm3a && !c.atWall->pm4a && !c.atWall->pm4b);
    EXPECT_TRUE(checkMinimumRadius(elbow(1.5, 2, 10), 8).pass);
    const double justAbove = std::nextafter(1.5, 90.0);
    EXPECT_FALSE(checkMinimumRadius(elbow(justAbove, 2, 10), 8).pass);
    const PressureCheck mitre = check(elbow(justAbove, 2, 5000), input(1));
    EXPECT_TRUE(mitre.atWall->pm4a && !mitre.atWall->pm3a);
    EXPECT_LE(*mitre.atWall->pm, *c.atWall->pm);

    PressureInput cyclic = input(0.01);
    cyclic.service = FluidService::severeCyclic;
    EXPECT_EQ(check(elbow(11.25, 4), cyclic).pass, true);
    EXPECT_EQ(check(elbow(std::nextafter(11.25, 90.0), 4), cyclic).pass, false);
}

// (4c) is the stricter form of (4a), and the multiple mitre takes the lesser
// of (4a) and (4b); a mitre set wider than the pipe by (4b) carries nothing
// when R1 <= r2.
TEST(MitreCodeCheck, SingleAgainstMultiple)
{
    PressureInput in = input(1);
    in.service = FluidService::categoryD;
    const MitrePressures single = *check(elbow(22.5, 1), in).atWall;
    const MitrePressures multiple = *check(elbow(22.5, 2), in).atWall;
    EXPECT_DOUBLE_EQ(*single.pm4a, *multiple.pm4a);
    EXPECT_EQ(*multiple.pm, std::min(*multiple.pm4a, *multiple.pm4b));
    const MitrePressures steep = *check(elbow(30, 1), in).atWall;
    EXPECT_LT(*steep.pm4c, *single.pm4a);
    EXPECT_EQ(steep.governing, MitreEquation::eq4c);

    const MitrePressures tight = *check(elbow(10, 3, 150, 323.9), in).atWall;  // R1 < r2
    EXPECT_EQ(*tight.pm4b, 0);
    EXPECT_EQ(tight.governing, MitreEquation::eq4b);
}

// A published worksheet of B31.3 304.2.3 for a 90 degree mitre of five welds
// (Song Tao, "Miter Bend Calculation", https://www.scribd.com/document/640469562,
// page 1): A672 C70 plate pipe, S = 23180 psi, E = W = 1, D = 80 in, nominal
// wall 0.625 in less 0.01 in mill tolerance, c = 0.063 in, R1 = 1.5 D. It
// gives Pm1 (4a) 173.01 psi, Pm2 (4b) 258.53 psi and Pm 11.93 bar. The
// equations hold in any consistent units, so inches and psi go in as they are.
TEST(MitreCodeCheck, PublishedWorksheet)
{
    PressureInput in;
    in.pressure = 150;
    in.stress = 23180;
    in.allowance = 0.063;
    in.millTolerance = 0.01 / 0.625 * 100;
    in.nominalWall = 0.625;
    const PressureCheck c = check(elbow(90.0 / 5 / 2, 5, 120, 80), in);
    ASSERT_TRUE(c.atWall);
    EXPECT_NEAR(c.atWall->T, 0.615, 1e-12);
    EXPECT_NEAR(*c.atWall->pm4a, 173.01, 0.005);
    EXPECT_NEAR(*c.atWall->pm4b, 258.53, 0.005);
    EXPECT_EQ(c.atWall->governing, MitreEquation::eq4a);
    EXPECT_NEAR(*c.atWall->pm * 0.0689476, 11.93, 0.005);  // bar
    EXPECT_EQ(c.pass, true);
}

// The wall needed is turned to the next one the wall list offers, said
// before the verdict.
TEST(MitreCodeCheck, ListedWallBeforeTheVerdict)
{
    const MitreGeometry g = elbow(11.25, 4);
    const PressureInput in = input(2);
    const PressureCheck p = check(g, in);
    ASSERT_TRUE(p.requiredWall);
    const std::vector<double> walls{*p.requiredWall - 0.5, *p.requiredWall + 1.5, *p.requiredWall + 0.7, 50};
    CodeCheckReport report = describeCodeCheck(checkMinimumRadius(g, 8), &p, &in);
    const std::string verdict = report.lines.back();
    addListedWall(report, *p.requiredWall, walls);
    EXPECT_EQ(report.lines.back(), verdict);
    EXPECT_NE(report.lines[report.lines.size() - 2].find(doubleToText(*p.requiredWall + 0.7) + " mm"), std::string::npos)
        << report.lines[report.lines.size() - 2];
    addListedWall(report, 60, walls);
    EXPECT_NE(report.lines[report.lines.size() - 2].find("没有"), std::string::npos);
}

// The wall the pressure needs: carries P, 0.01 mm less does not, and grows
// with the pressure.
TEST(MitreCodeCheck, RequiredWallRoundsUpAndGrows)
{
    std::mt19937 random(20261210);
    std::uniform_real_distribution<double> theta(1, 22.5), radius(1, 4), pressure(0.1, 15), diameter(60, 2500);
    for (int round = 0; round < 300; ++round) {
        const double D = diameter(random);
        const MitreGeometry g = elbow(theta(random), 1 + round % 5, radius(random) * D, D);
        PressureInput in = input(pressure(random), std::nullopt);
        const PressureCheck low = check(g, in);
        in.pressure *= 1.3;
        const PressureCheck high = check(g, in);
        if (!low.requiredWall || !high.requiredWall) {
            EXPECT_FALSE(high.requiredWall) << "a higher pressure found a wall a lower one did not";
            continue;
        }
        EXPECT_LE(*low.requiredWall, *high.requiredWall);
        EXPECT_LT(*low.requiredT, *high.requiredT);
        const double need = *high.requiredWall;
        EXPECT_NEAR(need * 100, std::round(need * 100), 1e-6) << "rounded to 0.01 mm";
        PressureInput at = in;
        at.nominalWall = need;
        EXPECT_EQ(check(g, at).pass, true) << need;
        at.nominalWall = need - 0.01;
        if (*at.nominalWall > 0) {
            const PressureCheck thinner = check(g, at);
            EXPECT_LT(*thinner.atWall->pm, in.pressure) << need;
        }
        // The exact wall lies within the last hundredth.
        EXPECT_GE(need + 1e-9, *high.requiredT / (1 - in.millTolerance / 100));
        EXPECT_LT(need - 0.01, *high.requiredT / (1 - in.millTolerance / 100));
    }
}

// A grows with the corroded wall, so the least radius never falls as the
// wall thickens; a wall left out takes A's least value.
TEST(MitreCodeCheck, MinimumRadiusGrowsWithWall)
{
    const MitreGeometry g = elbow(11.25, 4, 800, 610);
    double last = 0;
    for (double tc = 0; tc < 60; tc += 0.25) {
        const MinimumRadiusCheck r = checkMinimumRadius(g, tc);
        EXPECT_GE(r.minimum, last) << tc;
        EXPECT_EQ(r.pass, r.radius >= r.minimum);
        last = r.minimum;
    }
    EXPECT_EQ(checkMinimumRadius(g, std::nullopt).minimum, checkMinimumRadius(g, 0).minimum);
}

TEST(MitreCodeCheck, RefusesUnusableInput)
{
    const MitreGeometry g = elbow(11.25, 4);
    for (auto spoil : std::initializer_list<void (*)(PressureInput&)>{
             [](PressureInput& in) { in.pressure = 0; }, [](PressureInput& in) { in.stress = -1; },
             [](PressureInput& in) { in.jointFactor = 1.2; }, [](PressureInput& in) { in.weldFactor = 0; },
             [](PressureInput& in) { in.allowance = -0.1; }, [](PressureInput& in) { in.millTolerance = 100; },
             [](PressureInput& in) { in.nominalWall = 200; }, [](PressureInput& in) { in.stress = NAN; }}) {
        PressureInput in = input(1);
        spoil(in);
        const Result<PressureCheck> c = checkPressure(g, in);
        ASSERT_FALSE(c.ok());
        EXPECT_EQ(c.error().description.rfind("无法校核：", 0), 0u) << c.error().description;
    }
    // A wall eaten away by the allowances carries nothing, and says so.
    PressureInput thin = input(1, 1.0);
    thin.allowance = 3;
    EXPECT_EQ(check(g, thin).pass, false);
}

TEST(MaterialTable, ParsesInterpolatesAndRefuses)
{
    const Result<MaterialTable> t = parseMaterialTable("\xEF\xBB\xBF" "0, 100,200\r\nSteel X,120,110,90\r\n\r\nY,1,1,1\n");
    ASSERT_TRUE(t.ok()) << t.error().description;
    const MaterialStresses* x = t->find("steel x");
    ASSERT_TRUE(x);
    EXPECT_DOUBLE_EQ(*allowableStress(*t, *x, 150), 100);
    EXPECT_DOUBLE_EQ(*allowableStress(*t, *x, 0), 120);
    EXPECT_FALSE(allowableStress(*t, *x, 200.5));
    EXPECT_FALSE(allowableStress(*t, *x, -1));
    for (const char* bad : {"", "0,100\nA,1\n", "100,0\nA,1,1\n", "0,100\nA,1,x\n", "0,100\nA,1,1\na,2,2\n",
                            "0,100\n,1,1\n", "0,100\nA,1,0\n", "-300,100\nA,1,1\n", "0,1e300\nA,1,1\n"})
        EXPECT_FALSE(parseMaterialTable(bad).ok()) << bad;

    // Neighbouring stresses far apart: each listed temperature still gives
    // its own stress exactly, and values between stay between them.
    const Result<MaterialTable> wide = parseMaterialTable("315.56,343.33\nZ,115555555559.3,117.2\n");
    ASSERT_TRUE(wide.ok());
    EXPECT_EQ(*allowableStress(*wide, wide->materials[0], 343.33), 117.2);
    EXPECT_EQ(*allowableStress(*wide, wide->materials[0], 315.56), 115555555559.3);
}

// The shipped table: every grade at ambient is a third of its 415 MPa
// (60 ksi) tensile strength, and S never rises with the temperature.
TEST(MaterialTable, ShippedTable)
{
    const Result<MaterialTable> t = readMaterialTable(std::string(TESSIK_DATA_DIR) + "/" + kMaterialFile);
    ASSERT_TRUE(t.ok()) << t.error().description;
    ASSERT_EQ(t->materials.size(), 3u);
    for (const MaterialStresses& m : t->materials) {
        EXPECT_NEAR(*allowableStress(*t, m, 20), 60 * 6.894757 / 3, 0.05) << m.name;
        for (std::size_t i = 1; i < m.stress.size(); ++i) EXPECT_LE(m.stress[i], m.stress[i - 1]) << m.name;
    }
    EXPECT_FALSE(readMaterialTable(std::string(TESSIK_DATA_DIR)).ok());  // a folder is no table
}

}  // namespace
}  // namespace tessik

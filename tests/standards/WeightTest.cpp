#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "NumberText.h"
#include "Weight.h"

namespace tessik {
namespace {

// The chords InputParameter derives for a middle segment of `DblB` degrees.
WeightInputs design(double DblD, double DblR, std::int16_t IntN, double DblAB)
{
    const double DblB = DblAB / (IntN + 1);
    const double x = DblB / 2 / 180 * 3.1415926;
    const double DblR1 = DblR - DblD / 2;
    const double DblR2 = DblD / 2 + DblR;
    return {DblD, std::sin(x) * DblR1 * 2, std::sin(x) * DblR2 * 2, IntN};
}

struct WeightCase {
    const char* name;
    WeightInputs in;
    const char* density;
    const char* wall;
    bool inputParameterFailed;
    const char* text;
};

class WeightRows : public testing::TestWithParam<WeightCase> {};

TEST_P(WeightRows, ShowsTheWeightOrBlank)
{
    const WeightCase& c = GetParam();
    float SngCZ = -1, SngBH = -1, SngWeight = 42;
    PendingError pending;
    if (c.inputParameterFailed) pending.raise(Error::typeMismatch("CmbWJ"));
    const std::string text = CalculateWeight(pending, c.in, c.density, c.wall, {SngCZ, SngBH, SngWeight});
    EXPECT_EQ(text, c.text);
    if (text == "(空白)") EXPECT_EQ(SngWeight, 42) << "SngWeight keeps its value";
    else EXPECT_EQ(singleToText(SngWeight), text);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, WeightRows,
    testing::Values(
        WeightCase{"WorkedExample", design(100, 150, 2, 90), "7850", "10", false, "5.170122"},
        WeightCase{"DensityEmptied", design(100, 150, 2, 90), "", "10", false, "(空白)"},
        WeightCase{"WallAtDesignTimeText", design(100, 150, 2, 90), "7850", "(空白)", false, "(空白)"},
        WeightCase{"InputParameterFailed", design(100, 150, 2, 90), "7850", "10", true, "(空白)"},
        WeightCase{"WallEqualsDiameter", design(100, 150, 2, 90), "7850", "100", false, "0"},
        WeightCase{"WallAboveDiameterNegative", design(100, 150, 2, 90), "7850", "110", false, "-6.319037"},
        WeightCase{"NoMiddleSegment", design(100, 150, 0, 90), "7850", "10", false, "4.708345"},
        WeightCase{"IntNPlusOneOverflows", WeightInputs{100, 50, 100, 32767}, "7850", "10", false, "(空白)"},
        WeightCase{"DoubleOverflow", WeightInputs{1e300, 1e300, 1e300, 2}, "7850", "10", false, "(空白)"},
        WeightCase{"WallBeyondSingleRange", design(100, 150, 2, 90), "7850", "1E39", false, "(空白)"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Weight, RoundingBeyondSingleRangeStoresInfinity)
{
    float SngCZ = 0, SngBH = 0, SngWeight = 42;
    // Finite in double precision, too large for single precision.
    const std::string text =
        CalculateWeight({}, WeightInputs{1e22, 1e22, 1e22, 0}, "7850", "1", {SngCZ, SngBH, SngWeight});
    EXPECT_EQ(text, "(空白)");
    EXPECT_EQ(SngWeight, std::numeric_limits<float>::infinity());
}

}  // namespace
}  // namespace tessik

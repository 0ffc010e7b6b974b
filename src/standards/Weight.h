#pragma once
// The weight of the elbow: IntN + 1 full middle segments of pipe wall,
//   (DblD - SngBH) x PI x SngBH x (DblC1 + DblC2) / 2 x (IntN + 1) x SngCZ / 10^9,
// evaluated strictly left to right in double precision from single-precision
// wall thickness and density, then rounded to single precision and shown
// with at most 7 significant digits. PI is 3.1415926, as everywhere.

#include <cstdint>
#include <string>
#include <string_view>

#include "Error.h"
#include "PendingError.h"

namespace tessik {

// The derived design values the weight reads, as InputParameter left them.
struct WeightInputs {
    double DblD = 0;
    double DblC1 = 0;
    double DblC2 = 0;
    std::int16_t IntN = 0;
};

// The window-level variables the weight calculation writes.
struct WeightVariables {
    float& SngCZ;
    float& SngBH;
    float& SngWeight;
};

// The formula alone, before the rounding to single precision. Fails on the
// overflow of IntN + 1 and on a result that is not finite.
Result<double> elbowWeight(double DblD, float SngBH, double DblC1, double DblC2, std::int16_t IntN, float SngCZ);

// The weight calculation after InputParameter: `pending` is what
// InputParameter returned. Converts the density and wall texts, and returns
// the text of the weight field: the weight, or "(空白)" when any step failed
// (SngWeight then keeps its value, unless the rounding to single precision
// overflowed, in which case the infinite value is stored as the formula
// produced it).
std::string CalculateWeight(PendingError pending, const WeightInputs& in, std::string_view TxtCZ,
                            std::string_view CmbBH, WeightVariables vars);

}  // namespace tessik

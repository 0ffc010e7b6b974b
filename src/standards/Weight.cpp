#include "Weight.h"

#include <cmath>
#include <limits>

#include "NumberText.h"
#include "ToolConstants.h"
#include "StandardLookup.h"

namespace tessik {
Result<double> elbowWeight(double DblD, float SngBH, double DblC1, double DblC2, std::int16_t IntN, float SngCZ)
{
    if (IntN == kInt16Max) return Error::overflow("IntN + 1");
    const double segments = static_cast<double>(static_cast<std::int16_t>(IntN + 1));
    double w = DblD - static_cast<double>(SngBH);
    w = w * kPi;
    w = w * static_cast<double>(SngBH);
    w = w * (DblC1 + DblC2);
    w = w / 2;
    w = w * segments;
    w = w * static_cast<double>(SngCZ);
    w = w / 1e9;
    if (!std::isfinite(w)) return Error::overflow("weight");
    return w;
}

static bool fitsSingle(double value)
{
    // Values from here on round to infinity (FLT_MAX has an odd mantissa, so
    // the midpoint to 2^128 rounds up).
    static const double kLimit = std::ldexp(1.0, 128) - std::ldexp(1.0, 103);
    return std::fabs(value) < kLimit;
}

std::string CalculateWeight(PendingError pending, const WeightInputs& in, std::string_view TxtCZ,
                            std::string_view CmbBH, WeightVariables vars)
{
    pending.assign(vars.SngCZ, textToSingle(TxtCZ));
    pending.assign(vars.SngBH, textToSingle(CmbBH));
    if (pending) return kBlankText;

    const auto weight = elbowWeight(in.DblD, vars.SngBH, in.DblC1, in.DblC2, in.IntN, vars.SngCZ);
    if (!weight) return kBlankText;
    if (!fitsSingle(*weight)) {
        constexpr float kInf = std::numeric_limits<float>::infinity();
        vars.SngWeight = *weight > 0 ? kInf : -kInf;
        return kBlankText;
    }
    vars.SngWeight = static_cast<float>(*weight);
    return singleToText(vars.SngWeight);
}

}  // namespace tessik

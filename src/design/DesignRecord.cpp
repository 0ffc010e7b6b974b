#include "DesignRecord.h"

#include <cmath>

#include "NumberText.h"
#include "PortableMath.h"
#include "ToolConstants.h"

namespace tessik {
namespace {

// The field (or derived value) a failing step is about.
template <class T>
Result<T> about(Result<T> result, const char* source)
{
    if (result.ok()) return result;
    Error e = result.error();
    e.source = source;
    return e;
}

// The error a non-finite quotient stands for: 0/0 is an overflow, x/0 a
// division by zero, anything else an overflow.
Error quotientError(double numerator, double divisor, const char* source)
{
    if (divisor == 0 && numerator != 0 && !std::isnan(numerator)) return Error::divisionByZero(source);
    return Error::overflow(source);
}

}  // namespace

PendingError InputParameter(const DesignFieldTexts& fields, DesignRecord& r)
{
    PendingError err;

    // Steps 1 and 2 end the method at their first failure.
    if (!err.assign(r.DblAB, about(textToDouble(fields.CmbHd), "CmbHd"))) return err;
    if (!err.assign(r.IntN, about(textToInt16(fields.TxtZJS), "TxtZJS"))) return err;

    // From here on every step runs: a failing one leaves its error pending.
    err.clear();

    r.StrTemp = std::string(withoutSeriesMark(fields.CmbWJ));
    err.assign(r.DblD, about(textToDouble(r.StrTemp), "CmbWJ"));
    err.assign(r.DblR, about(textToDouble(fields.TxtWJ), "TxtWJ"));

    // IntN + 1 in 16-bit arithmetic: 32767 overflows and DblB keeps its value.
    if (r.IntN == kInt16Max) {
        err.raise(Error::overflow("TxtZJS"));
    } else {
        const double segments = static_cast<double>(r.IntN + 1);
        err.storeFinite(r.DblB, r.DblAB / segments, quotientError(r.DblAB, segments, "TxtZJS"));
    }
    err.storeFinite(r.DblA, r.DblB / 2, Error::overflow("DblA"));
    err.storeFinite(r.DblR1, r.DblR - r.DblD / 2, Error::overflow("DblR1"));
    err.storeFinite(r.DblR2, r.DblD / 2 + r.DblR, Error::overflow("DblR2"));
    err.storeFinite(r.DblC1, math::sin(r.DblB / 2 / 180 * kPi) * r.DblR1 * 2, Error::overflow("DblC1"));
    err.storeFinite(r.DblC2, math::sin(r.DblB / 2 / 180 * kPi) * r.DblR2 * 2, Error::overflow("DblC2"));
    return err;
}

}  // namespace tessik

#include "automation/AutomationArgs.h"

#include <cmath>

namespace tessik::cadhost {

const JsonValue& AutomationArgs::value(std::ptrdiff_t i) const
{
    static const JsonValue undefined;
    return i >= 0 && i < size() ? items_[std::size_t(i)] : undefined;
}

bool AutomationArgs::finiteNumbers(std::ptrdiff_t i, double* out, std::ptrdiff_t count) const
{
    const JsonValue& v = value(i);
    if (!v.isArray() || std::ptrdiff_t(v.items().size()) != count) return false;
    for (std::ptrdiff_t k = 0; k < count; ++k) {
        const JsonValue& c = v.items()[std::size_t(k)];
        if (!c.isNumber() || !std::isfinite(c.toDouble())) return false;
        out[k] = c.toDouble();
    }
    return true;
}

std::optional<double> AutomationArgs::finiteNumber(std::ptrdiff_t i) const
{
    const JsonValue& v = value(i);
    if (!v.isNumber() || !std::isfinite(v.toDouble())) return std::nullopt;
    return v.toDouble();
}

}  // namespace tessik::cadhost

#include "DxfTag.h"

#include <charconv>
#include <cmath>

namespace tessik::dxf {

ValueKind valueKind(int code)
{
    const auto in = [code](int lo, int hi) { return code >= lo && code <= hi; };
    if (in(10, 59) || in(110, 149) || in(210, 239) || in(460, 469) || in(1010, 1059))
        return ValueKind::Double;
    if (in(60, 79) || in(170, 179) || in(270, 289) || in(370, 389) || in(400, 409) ||
        in(1060, 1070))
        return ValueKind::Int16;
    if (in(90, 99) || in(420, 429) || in(440, 459) || code == 1071) return ValueKind::Int32;
    if (in(160, 169)) return ValueKind::Int64;
    if (in(290, 299)) return ValueKind::Bool;
    if (in(310, 319) || code == 1004) return ValueKind::Binary;
    return ValueKind::String;
}

std::optional<double> tagNumber(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '+')) s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    double v = 0;
    const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || ptr != s.data() + s.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

}  // namespace tessik::dxf

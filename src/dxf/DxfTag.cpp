#include "DxfTag.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace tessik::dxf {

namespace {

ValueKind kindOf(int code)
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

// Every tag read asks: the answers for the codes a file may hold, worked out once.
struct KindTable {
    ValueKind kinds[kMaxCode - kMinCode + 1];
    KindTable()
    {
        for (int code = kMinCode; code <= kMaxCode; ++code) kinds[code - kMinCode] = kindOf(code);
    }
};

}  // namespace

ValueKind valueKind(int code)
{
    static const KindTable table;
    return code >= kMinCode && code <= kMaxCode ? table.kinds[code - kMinCode] : kindOf(code);
}

bool readReal(std::string_view s, double& out)
{
    // [-]digits[.digits] with at most 15 digits: the digits make an integer
    // below 2^53 and the divisor a power of ten below 10^22, both exact
    // doubles, so one division rounds as the library does.
    static constexpr double kTens[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const char* p = s.data();
    const char* const end = p + s.size();
    const bool negative = p != end && *p == '-';
    p += negative;
    std::uint64_t digits = 0;
    const char* const whole = p;
    while (p != end && static_cast<unsigned char>(*p - '0') < 10) digits = digits * 10 + std::uint64_t(*p++ - '0');
    std::ptrdiff_t count = p - whole, decimals = 0;
    if (p != end && *p == '.') {
        const char* const fraction = ++p;
        while (p != end && static_cast<unsigned char>(*p - '0') < 10) digits = digits * 10 + std::uint64_t(*p++ - '0');
        decimals = p - fraction;
        count += decimals;
    }
    if (p == end && count > 0 && count <= 15) {
        const double v = double(digits) / kTens[decimals];
        out = negative ? -v : v;
        return true;
    }
    const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && ptr == s.data() + s.size();
}

std::optional<double> tagNumber(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '+')) s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    double v = 0;
    if (!readReal(s, v) || !std::isfinite(v)) return std::nullopt;
    return v;
}

}  // namespace tessik::dxf

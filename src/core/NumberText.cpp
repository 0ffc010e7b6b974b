#include "NumberText.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <optional>

namespace tessik {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The decimal notation, checked by hand so that nothing the locale or the
// parser would also accept ("inf", "0x10", "1,5") slips through.
struct Decimal {
    std::string text;      // sign-free, trimmed, ready for from_chars
    bool negative = false;
    bool nonZeroDigit = false;
    long magnitude = 0;    // decimal exponent of the leading non-zero digit, roughly
};

std::optional<Decimal> parseDecimal(std::string_view in)
{
    while (!in.empty() && isBlank(in.front())) in.remove_prefix(1);
    while (!in.empty() && isBlank(in.back())) in.remove_suffix(1);

    Decimal d;
    std::size_t i = 0;
    if (i < in.size() && (in[i] == '+' || in[i] == '-')) {
        d.negative = in[i] == '-';
        ++i;
    }
    const std::size_t start = i;
    long intDigits = 0;       // significant digits before the point
    long leadingFraction = 0; // zeros after the point before the first non-zero digit
    std::size_t digits = 0;
    while (i < in.size() && isDigit(in[i])) {
        if (in[i] != '0' || d.nonZeroDigit) {
            d.nonZeroDigit = true;
            ++intDigits;
        }
        ++i;
        ++digits;
    }
    if (i < in.size() && in[i] == '.') {
        ++i;
        while (i < in.size() && isDigit(in[i])) {
            if (in[i] != '0') d.nonZeroDigit = true;
            else if (!d.nonZeroDigit) ++leadingFraction;
            ++i;
            ++digits;
        }
    }
    if (digits == 0) return std::nullopt;
    long exponent = 0;
    if (i < in.size() && (in[i] == 'e' || in[i] == 'E')) {
        ++i;
        bool expNegative = false;
        if (i < in.size() && (in[i] == '+' || in[i] == '-')) {
            expNegative = in[i] == '-';
            ++i;
        }
        std::size_t expDigits = 0;
        while (i < in.size() && isDigit(in[i])) {
            if (exponent < 100000) exponent = exponent * 10 + (in[i] - '0');
            ++i;
            ++expDigits;
        }
        if (expDigits == 0) return std::nullopt;
        if (expNegative) exponent = -exponent;
    }
    if (i != in.size()) return std::nullopt;

    d.text.assign(in.substr(start));
    d.magnitude = (intDigits > 0 ? intDigits - 1 : -(leadingFraction + 1)) + exponent;
    return d;
}

// Splits a finite, non-zero value into its decimal digits (at most `digits`,
// trailing zeros removed) and the exponent of the first digit.
void decimalDigits(double value, int digits, std::string& mantissa, int& exponent)
{
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific,
                             digits - 1);
    std::string_view s(buf, static_cast<std::size_t>(res.ptr - buf));
    const std::size_t e = s.find('e');
    mantissa.clear();
    for (char c : s.substr(0, e))
        if (isDigit(c)) mantissa.push_back(c);
    while (mantissa.size() > 1 && mantissa.back() == '0') mantissa.pop_back();
    std::from_chars(s.data() + e + 1 + (s[e + 1] == '+' ? 1 : 0), s.data() + s.size(), exponent);
}

std::string generalText(double value, int digits)
{
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value < 0 ? "-Infinity" : "Infinity";
    if (value == 0) return "0";

    std::string mantissa;
    int exponent = 0;
    decimalDigits(value, digits, mantissa, exponent);

    std::string out = value < 0 ? "-" : "";
    if (exponent >= digits || exponent < -5) {
        out += mantissa[0];
        if (mantissa.size() > 1) {
            out += '.';
            out.append(mantissa, 1);
        }
        out += exponent < 0 ? "E-" : "E+";
        std::string e = std::to_string(std::abs(exponent));
        if (e.size() < 2) e.insert(0, "0");
        return out + e;
    }
    if (exponent < 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-exponent - 1), '0');
        return out + mantissa;
    }
    const auto intLen = static_cast<std::size_t>(exponent) + 1;
    if (mantissa.size() <= intLen) {
        out += mantissa;
        out.append(intLen - mantissa.size(), '0');
        return out;
    }
    out.append(mantissa, 0, intLen);
    out += '.';
    out.append(mantissa, intLen);
    return out;
}

}  // namespace

Result<double> textToDouble(std::string_view text)
{
    const auto d = parseDecimal(text);
    if (!d) return Error::typeMismatch();
    double value = 0;
    const auto res = std::from_chars(d->text.data(), d->text.data() + d->text.size(), value);
    if (res.ec == std::errc::result_out_of_range) {
        // Too large is an overflow; too small underflows to zero.
        if (d->magnitude > 0) return Error::overflow();
        value = 0;
    } else if (res.ec != std::errc{} || res.ptr != d->text.data() + d->text.size()) {
        return Error::typeMismatch();
    }
    if (!std::isfinite(value)) return Error::overflow();
    return d->negative ? -value : value;
}

Result<float> textToSingle(std::string_view text)
{
    const auto d = textToDouble(text);
    if (!d) return d.error();
    const float f = static_cast<float>(*d);
    if (!std::isfinite(f)) return Error::overflow();
    return f;
}

Result<std::int16_t> textToInt16(std::string_view text)
{
    const auto d = textToDouble(text);
    if (!d) return d.error();
    // Banker's rounding, independent of the current floating-point mode.
    double whole = std::floor(*d);
    const double rest = *d - whole;
    if (rest > 0.5 || (rest == 0.5 && std::fmod(whole, 2.0) != 0)) whole += 1;
    if (whole < std::numeric_limits<std::int16_t>::min() || whole > std::numeric_limits<std::int16_t>::max())
        return Error::overflow();
    return static_cast<std::int16_t>(whole);
}

std::string doubleToText(double value) { return generalText(value, 15); }

std::string singleToText(float value) { return generalText(static_cast<double>(value), 7); }

std::string doubleToRoundTripText(double value)
{
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, res.ptr);
}

}  // namespace tessik

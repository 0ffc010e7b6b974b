#pragma once
// Number <-> text rules of the design fields and data files.
//
// Text to number accepts exactly the decimal notation: optional blanks
// around, an optional sign, digits with an optional decimal point (at least
// one digit on one side of it), and an optional exponent "E"/"e" with optional
// sign and digits. Everything else ("", "(空白)", "1,5", "0x10", "直径")
// is a type-mismatch failure. The rules never depend on the user's locale.
//
// Number to text writes the general decimal form the fields show: at most 15
// (double) or 7 (single) significant digits, no trailing zeros, no decimal
// point for whole numbers, an exponent form "1.5E+20" / "1E-07" only for very
// large or very small magnitudes.

#include <cstdint>
#include <string>
#include <string_view>

#include "Error.h"

namespace tessik {

Result<double> textToDouble(std::string_view text);
// The decimal value rounded to single precision; beyond the single range: overflow.
Result<float> textToSingle(std::string_view text);
// The decimal value rounded to the nearest integer, an exact half to the even
// neighbour; outside -32768..32767: overflow.
Result<std::int16_t> textToInt16(std::string_view text);

std::string doubleToText(double value);
std::string singleToText(float value);

// Shortest text that reads back to the same double (for machine-readable output).
std::string doubleToRoundTripText(double value);

}  // namespace tessik

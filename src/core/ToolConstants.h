#pragma once
// The tool's own constants and text rules, said once: the value of pi every
// formula works with, the blank text a field shows when it holds no value,
// the basic-series mark of a diameter, the 16-bit limit of the segment count,
// the program's title and the program id of the CAD application it drives.
//
// kPi is 3.1415926, not the double nearest to pi: the geometry, the chords and
// the weight are computed with this value so that they compare bit for bit
// with the reference computation. Do not replace it with std::numbers::pi.

#include <cstdint>
#include <limits>
#include <string_view>

namespace tessik {

inline constexpr double kPi = 3.1415926;

// Degrees to radians: a division by 180 followed by a multiplication by kPi,
// in this order (the rounding of the result depends on it).
inline double rad(double degrees) { return degrees / 180 * kPi; }

// What a field shows when it holds no value; it is no number.
inline constexpr const char* kBlankText = "(空白)";

// The title of the main window and of its message boxes.
inline constexpr const char* kProgramTitle = "Tessik";

// The program id the CAD link asks for (running instance or a new one).
inline constexpr const char* kCadProgramId = "autocad.application";

// The largest segment count; one more does not fit the 16-bit arithmetic.
inline constexpr std::int16_t kInt16Max = std::numeric_limits<std::int16_t>::max();

// A diameter text without one leading "*", the mark of the basic series.
inline constexpr std::string_view withoutSeriesMark(std::string_view text)
{
    if (!text.empty() && text.front() == '*') text.remove_prefix(1);
    return text;
}

}  // namespace tessik

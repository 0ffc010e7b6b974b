#pragma once
// The standard lookup: from the outer-diameter and bend-angle texts to the
// proposed bend radius and number of middle segments, read afresh from
// book.ini at every lookup.
//
// The column comes from the diameter's range (first match wins, both bounds
// belong to the range); the lower bounds 220.00001 ... 3000.00001 are exact
// decimal constants, so a diameter just above an upper bound, by less than
// 0.00001, falls into a gap and matches no column. The row comes from the
// bend angle by exact equality (90, 60, 45, 30); any other angle has no row,
// and only the bend radius is proposed. A diameter outside every range is
// reported through `outOfRange` (the window's message box) and the last
// column is proposed after it. A proposal that cannot be right (a radius not
// above 0, a cell that is no segment count) is "(空白)" instead; so is a
// radius the field cannot hold as a length (not finite, or written with an
// exponent: 10^15 mm and more), which is also added to the table's problems,
// naming the factor's line, so the window and tessik-elbow say why.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "BookTable.h"
#include "ToolConstants.h"

namespace tessik {

inline constexpr const char* kOutOfRangeMessage = "此范围内尚未给出标准，请自行输入！";
inline constexpr const char* kOutOfRangeTitle = "提示";
inline constexpr int kNoColumn = 0;
inline constexpr int kNoRow = 5;  // the row of an angle the table does not hold

// Column 1-6 of the diameter's range, kNoColumn when no range holds it.
int diameterColumn(double DblD);
// Row 1-4 of the bend angle, kNoRow for any other angle.
std::int16_t angleRow(double DblAB);

// The window-level variables the lookup reads and writes.
struct LookupVariables {
    double& DblD;
    double& DblAB;
    std::string& StrTemp;
    int& IntJ;
    std::int16_t& IntK;
    BookTable& DblBook;
};

struct Proposal {
    std::string TxtWJ;   // bend radius: factor x diameter, 15-digit text
    std::string TxtZJS;  // middle segments, or "(空白)" when the angle has no row
                         // or the cell holds no segment count
    bool outOfRange = false;
    BookReadReport book;
};

// The lookup up to the proposals. Returns nothing when the diameter or the
// angle text is no number: then nothing is read and no field is to be written.
// `showOutOfRange` runs (and may wait for the user) before the last column is
// used for a diameter outside every range.
std::optional<Proposal> standardLookup(std::string_view CmbWJ, std::string_view CmbHd, LookupVariables vars,
                                       const std::filesystem::path& bookFile,
                                       const std::function<void()>& showOutOfRange);

}  // namespace tessik

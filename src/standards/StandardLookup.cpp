#include "StandardLookup.h"

#include <array>
#include <cmath>

#include "NumberText.h"
#include "PendingError.h"

namespace tessik {
namespace {

struct DiameterRange {
    double low;
    double high;
};

// Written as the decimal constants they are; see the header.
constexpr std::array<DiameterRange, BookTable::kColumns> kRanges{{
    {80, 220},
    {220.00001, 450},
    {450.00001, 800},
    {800.00001, 1400},
    {1400.00001, 3000},
    {3000.00001, 4400},
}};

// A radius the field can show as a length: finite, and written without an
// exponent (below 10^15 mm once rounded to 15 digits).
bool showableRadius(double radius, const std::string& text)
{
    return std::isfinite(radius) && text.find("E+") == std::string::npos;
}

// Why a factor of the table gives no radius for this diameter, in the words
// of the table's other problems.
std::string radiusProblem(const BookReadReport& book, int column, double factor, double diameter)
{
    const int line = book.lines.at(column - 1).at(0);
    const std::string where = line ? "第 " + std::to_string(line) + " 行的" : std::string("沿用先前的");
    return where + "弯曲半径系数 " + doubleToText(factor) + " 乘以外径 " + doubleToText(diameter) +
           " 得不到可用的弯曲半径（结果超过 15 位数字，曲率半径栏写不下），该外径不推荐弯曲半径。";
}

}  // namespace

int diameterColumn(double DblD)
{
    for (std::size_t i = 0; i < kRanges.size(); ++i)
        if (DblD >= kRanges[i].low && DblD <= kRanges[i].high) return static_cast<int>(i) + 1;
    return kNoColumn;
}

std::int16_t angleRow(double DblAB)
{
    if (DblAB == 90) return 1;
    if (DblAB == 60) return 2;
    if (DblAB == 45) return 3;
    if (DblAB == 30) return 4;
    return kNoRow;
}

std::optional<Proposal> standardLookup(std::string_view CmbWJ, std::string_view CmbHd, LookupVariables vars,
                                       const std::filesystem::path& bookFile,
                                       const std::function<void()>& showOutOfRange)
{
    PendingError pending;
    vars.StrTemp = std::string(withoutSeriesMark(CmbWJ));
    pending.assign(vars.DblD, textToDouble(vars.StrTemp));
    pending.assign(vars.DblAB, textToDouble(CmbHd));
    if (pending) return std::nullopt;

    Proposal proposal;
    proposal.book = ReadBookTable(bookFile, vars.DblBook, {vars.IntJ, vars.IntK, vars.StrTemp});
    vars.IntK = angleRow(vars.DblAB);
    vars.IntJ = diameterColumn(vars.DblD);
    if (vars.IntJ == kNoColumn) {
        proposal.outOfRange = true;
        if (showOutOfRange) showOutOfRange();
        vars.IntJ = BookTable::kColumns;
    }

    const double factor = vars.DblBook.at(vars.IntJ - 1, 0);
    const double radius = factor * vars.DblD;
    // A radius that overflowed or is too long to write as a length, or one no
    // bend can have (a damaged table, a diameter below 0), is no proposal;
    // leaving the old text beside the new diameter would pass off a stale
    // radius as the standard one. A factor that is a number but still gives
    // no length is told with the table's problems. The segment count does not
    // depend on it and is proposed all the same.
    proposal.TxtWJ = radius > 0 ? doubleToText(radius) : kBlankText;
    if (radius > 0 && !showableRadius(radius, proposal.TxtWJ)) {
        proposal.TxtWJ = kBlankText;
        proposal.book.problems.push_back(radiusProblem(proposal.book, vars.IntJ, factor, vars.DblD));
    }
    proposal.TxtZJS = kBlankText;
    if (vars.IntK >= 0 && vars.IntK < BookTable::kRows) {
        const double segments = vars.DblBook.at(vars.IntJ - 1, vars.IntK);
        if (isSegmentCount(segments)) proposal.TxtZJS = doubleToText(segments);
    }
    return proposal;
}

}  // namespace tessik

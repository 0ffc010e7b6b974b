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

    const double radius = vars.DblBook.at(vars.IntJ - 1, 0) * vars.DblD;
    // A radius that overflowed, or one no bend can have (a damaged table, a
    // diameter below 0), is no proposal; leaving the old text beside the new
    // diameter would pass off a stale radius as the standard one. The segment
    // count does not depend on it and is proposed all the same.
    proposal.TxtWJ = std::isfinite(radius) && radius > 0 ? doubleToText(radius) : kBlankText;
    proposal.TxtZJS = kBlankText;
    if (vars.IntK >= 0 && vars.IntK < BookTable::kRows) {
        const double segments = vars.DblBook.at(vars.IntJ - 1, vars.IntK);
        if (isSegmentCount(segments)) proposal.TxtZJS = doubleToText(segments);
    }
    return proposal;
}

}  // namespace tessik

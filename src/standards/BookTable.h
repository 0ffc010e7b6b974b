#pragma once
// The standard table read from book.ini: 6 columns (outer-diameter ranges)
// by 5 rows (row 0 bend-radius factor; rows 1-4 middle segments for 90, 60,
// 45 and 30 degrees). Every cell starts at 0.
//
// ReadBookTable refills it from the file's numeric fields, row after row; a
// field that is no number is skipped and the next one takes its cell; cells
// after the last number keep what they held. It always ends: a missing file
// leaves the table as it was, and fields after the 30th number are not read.
//
// The fill rule stays as it is, but a damaged table is never silent: the
// report lists, line by line, each field that was no number (the values after
// it moved up a cell), each value that cannot be a bend-radius factor or a
// segment count, a file with fewer than 30 numbers (the cells it did not reach
// keep what they held) or with more, so that the window and tessik-elbow can
// say what is wrong and where.

#include <array>
#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace tessik {

struct BookTable {
    static constexpr int kColumns = 6;
    static constexpr int kRows = 5;
    std::array<std::array<double, kRows>, kColumns> cells{};  // [column][row]

    double& at(int column, int row) { return cells.at(column).at(row); }
    double at(int column, int row) const { return cells.at(column).at(row); }
    friend bool operator==(const BookTable&, const BookTable&) = default;
};

// A factor gives a bend radius only when it is above 0; a segment count is a
// whole number the segment field can hold.
bool isRadiusFactor(double value);
bool isSegmentCount(double value);
inline constexpr double kMaxSegmentCount = 32767;

struct BookReadReport {
    enum class Status { Read, Missing, CannotOpen, ReadFailed };
    static constexpr std::size_t kMaxListedProblems = 12;

    Status status = Status::Read;
    int values = 0;            // cells refreshed
    int skippedFields = 0;     // fields that were no number
    bool moreValues = false;   // numbers or other fields follow the 30th number
    std::string fileName;      // as shown to the user
    std::string folder;
    // What is wrong, one sentence each, naming the line; empty when all is
    // well. At most kMaxListedProblems about fields (the last one then
    // counting the rest), and one about where the file ended.
    std::vector<std::string> problems;
    // The line each cell was read from, [column][row]; 0 for a cell this read
    // did not reach (it kept what it held).
    std::array<std::array<int, BookTable::kRows>, BookTable::kColumns> lines{};
};

// The user's message for `problems` (all or some of report.problems): names
// the file and the folder, then says what is wrong. Empty when there is none.
std::string bookProblemMessage(const BookReadReport& report, const std::vector<std::string>& problems);

// The scratch variables of the window the reader shares: the column (from 1)
// and row it fills next, and the text of the last field read.
struct BookCursor {
    int& IntJ;
    std::int16_t& IntK;
    std::string& StrTemp;
};

BookReadReport ReadBookTable(const std::filesystem::path& file, BookTable& DblBook, BookCursor cursor);

// The same over an opened stream; `name` and `folder` only serve the messages.
BookReadReport readBookTable(std::istream& in, BookTable& DblBook, BookCursor cursor, std::string_view name,
                             std::string_view folder);

}  // namespace tessik

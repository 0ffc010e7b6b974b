#pragma once
// The standard table read from book.ini: 6 columns (outer-diameter ranges)
// by 5 rows (row 0 bend-radius factor; rows 1-4 middle segments for 90, 60,
// 45 and 30 degrees). Every cell starts at 0.

#include <array>

namespace tessik {

struct BookTable {
    static constexpr int kColumns = 6;
    static constexpr int kRows = 5;
    std::array<std::array<double, kRows>, kColumns> cells{};  // [column][row]

    double& at(int column, int row) { return cells.at(column).at(row); }
    double at(int column, int row) const { return cells.at(column).at(row); }
    friend bool operator==(const BookTable&, const BookTable&) = default;
};

}  // namespace tessik

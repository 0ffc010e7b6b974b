#include <gtest/gtest.h>

#include <string>

#include "BookTable.h"
#include "StandardLookup.h"
#include "TempFolder.h"

namespace tessik {
namespace {

// Every cell distinct, so a wrong column or row shows in the texts.
constexpr const char* kBook =
    "1.5,2,2.5,3,3.5,4\r\n"
    "11,12,13,14,15,16\r\n"
    "21,22,23,24,25,26\r\n"
    "31,32,33,34,35,36\r\n"
    "41,42,43,44,45,46\r\n";

BookTable filledWith(double value)
{
    BookTable t;
    for (auto& column : t.cells) column.fill(value);
    return t;
}

struct Scratch {
    int IntJ = 0;
    std::int16_t IntK = 0;
    std::string StrTemp;
    BookCursor cursor() { return {IntJ, IntK, StrTemp}; }
};

// --- ReadBookTable -------------------------------------------------------

struct BookCase {
    const char* name;
    std::string bytes;
    int values;
    int skipped;
    bool more;
    double col6row4;  // the last cell, 99 when it kept its old value
    double col1row1;
};

class BookRows : public testing::TestWithParam<BookCase> {};

TEST_P(BookRows, FillsCellsRowAfterRow)
{
    const BookCase& c = GetParam();
    test::TempFolder folder;
    const auto file = folder.write("book.ini", c.bytes);
    BookTable table = filledWith(99);
    Scratch s;
    const BookReadReport report = ReadBookTable(file, table, s.cursor());
    EXPECT_EQ(report.status, BookReadReport::Status::Read);
    EXPECT_EQ(report.values, c.values);
    EXPECT_EQ(report.skippedFields, c.skipped);
    EXPECT_EQ(report.moreValues, c.more);
    EXPECT_EQ(table.at(5, 4), c.col6row4);
    EXPECT_EQ(table.at(0, 1), c.col1row1);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, BookRows,
    testing::Values(
        BookCase{"ThirtyNumbers", kBook, 30, 0, false, 46, 11},
        BookCase{"TwentyNineKeepLastCell", "1.5,2,2.5,3,3.5,4\n11,12,13,14,15,16\n21,22,23,24,25,26\n"
                                           "31,32,33,34,35,36\n41,42,43,44,45\n",
                 29, 0, false, 99, 11},
        BookCase{"WordBetweenNumbersSkipped", "1.5,2,2.5,3,3.5,4,半径\n11,12,13,14,15,16\n21,22,23,24,25,26\n"
                                              "31,32,33,34,35,36\n41,42,43,44,45,46\n",
                 30, 1, false, 46, 11},
        BookCase{"OneLongLineSameTable", "1.5,2,2.5,3,3.5,4,11,12,13,14,15,16,21,22,23,24,25,26,"
                                         "31,32,33,34,35,36,41,42,43,44,45,46",
                 30, 0, false, 46, 11},
        BookCase{"MoreThanThirtyNumbersEnds", std::string(kBook) + "51,52,53\n", 30, 0, true, 46, 11},
        BookCase{"TrailingWordEnds", std::string(kBook) + "end\n", 30, 0, true, 46, 11},
        BookCase{"ShortFileTrailingWord", "1.5,2,x", 2, 1, false, 99, 99},
        BookCase{"EmptyFile", "", 0, 0, false, 99, 99}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReadBookTable, MissingFileLeavesTableAndSaysWhere)
{
    test::TempFolder folder;
    BookTable table = filledWith(7);
    Scratch s;
    const BookReadReport report = ReadBookTable(folder.path() / "book.ini", table, s.cursor());
    EXPECT_EQ(report.status, BookReadReport::Status::Missing);
    EXPECT_EQ(table, filledWith(7));
    EXPECT_NE(report.problem.find("book.ini"), std::string::npos);
    EXPECT_NE(report.problem.find(folder.path().string()), std::string::npos) << report.problem;
}

TEST(ReadBookTable, CursorEndsAfterTheLastValue)
{
    test::TempFolder folder;
    const auto file = folder.write("book.ini", "1,2,3,4,5,6,7,8");
    BookTable table;
    Scratch s;
    (void)ReadBookTable(file, table, s.cursor());
    EXPECT_EQ(s.IntJ, 3);
    EXPECT_EQ(s.IntK, 1);
    EXPECT_EQ(s.StrTemp, "8");
}

// --- The lookup -------------------------------------------------------------

struct LookupCase {
    const char* name;
    const char* diameter;
    const char* angle;
    int column;
    std::int16_t row;
    bool outOfRange;
    const char* radius;
    const char* segments;
};

class LookupRows : public testing::TestWithParam<LookupCase> {};

TEST_P(LookupRows, ProposesFromTheRangeAndAngle)
{
    const LookupCase& c = GetParam();
    test::TempFolder folder;
    const auto book = folder.write("book.ini", kBook);
    double DblD = 0, DblAB = 0;
    Scratch s;
    BookTable table;
    int messages = 0;
    const auto p = standardLookup(c.diameter, c.angle, {DblD, DblAB, s.StrTemp, s.IntJ, s.IntK, table}, book,
                                  [&] { ++messages; });
    ASSERT_TRUE(p.has_value());
    EXPECT_EQ(s.IntJ, c.column);
    EXPECT_EQ(s.IntK, c.row);
    EXPECT_EQ(p->outOfRange, c.outOfRange);
    EXPECT_EQ(messages, c.outOfRange ? 1 : 0);
    EXPECT_EQ(p->TxtWJ, c.radius);
    EXPECT_EQ(p->TxtZJS, c.segments);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, LookupRows,
    testing::Values(
        LookupCase{"Below80", "79.9", "90", 6, 1, true, "319.6", "16"},
        LookupCase{"Exactly80", "80", "90", 1, 1, false, "120", "11"},
        LookupCase{"Star219", "*219", "90", 1, 1, false, "328.5", "11"},
        LookupCase{"Exactly220", "220", "90", 1, 1, false, "330", "11"},
        LookupCase{"GapAbove220", "220.000005", "90", 6, 1, true, "880.00002", "16"},
        LookupCase{"LowerBound220_00001", "220.00001", "90", 2, 1, false, "440.00002", "12"},
        LookupCase{"Exactly450", "450", "60", 2, 2, false, "900", "22"},
        LookupCase{"GapAbove450", "450.000001", "60", 6, 2, true, "1800.000004", "26"},
        LookupCase{"LowerBound450_00001", "450.00001", "60", 3, 2, false, "1125.000025", "23"},
        LookupCase{"Exactly800", "800", "45", 3, 3, false, "2000", "33"},
        LookupCase{"Exactly1400", "*1400", "45", 4, 3, false, "4200", "34"},
        LookupCase{"Exactly3000", "3000", "30", 5, 4, false, "10500", "45"},
        LookupCase{"LowerBound3000_00001", "3000.00001", "30", 6, 4, false, "12000.00004", "46"},
        LookupCase{"Exactly4400", "4400", "90", 6, 1, false, "17600", "16"},
        LookupCase{"Above4400", "4400.5", "90", 6, 1, true, "17602", "16"},
        LookupCase{"AngleTypedWithDecimals", "100", "90.0", 1, 1, false, "150", "11"},
        LookupCase{"AngleWithBlanksAndExponent", "100", " 4.5E1 ", 1, 3, false, "150", "31"},
        LookupCase{"AngleWithoutRow", "100", "75", 1, 5, false, "150", "(空白)"},
        LookupCase{"NegativeDiameter", "-100", "90", 6, 1, true, "-400", "16"}),
    [](const auto& info) { return std::string(info.param.name); });

struct SilentCase {
    const char* name;
    const char* diameter;
    const char* angle;
};

class SilentRows : public testing::TestWithParam<SilentCase> {};

TEST_P(SilentRows, EndsWithoutReadingOrProposing)
{
    test::TempFolder folder;
    const auto book = folder.write("book.ini", kBook);
    double DblD = 5, DblAB = 5;
    Scratch s;
    BookTable table = filledWith(99);
    int messages = 0;
    const auto p = standardLookup(GetParam().diameter, GetParam().angle, {DblD, DblAB, s.StrTemp, s.IntJ, s.IntK, table},
                                  book, [&] { ++messages; });
    EXPECT_FALSE(p.has_value());
    EXPECT_EQ(table, filledWith(99));
    EXPECT_EQ(messages, 0);
}

INSTANTIATE_TEST_SUITE_P(Rows, SilentRows,
                         testing::Values(SilentCase{"DesignTimeAngle", "*1016", "弯角"},
                                         SilentCase{"DesignTimeDiameter", "直径", "90"},
                                         SilentCase{"TwoStars", "**100", "90"},
                                         SilentCase{"StarOnly", "*", "90"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(StandardLookup, ReadsTheBookAfreshAtEveryLookup)
{
    test::TempFolder folder;
    const auto book = folder.write("book.ini", kBook);
    double DblD = 0, DblAB = 0;
    Scratch s;
    BookTable table;
    LookupVariables vars{DblD, DblAB, s.StrTemp, s.IntJ, s.IntK, table};
    EXPECT_EQ(standardLookup("200", "90", vars, book, {})->TxtWJ, "300");
    folder.write("book.ini", "1,2,2.5,3,3.5,4\r\n4,12,13,14,15,16\r\n");
    const auto second = standardLookup("200", "90", vars, book, {});
    EXPECT_EQ(second->TxtWJ, "200");
    EXPECT_EQ(second->TxtZJS, "4");
    // Rows the edited file no longer holds keep the earlier values.
    EXPECT_EQ(table.at(0, 4), 41);
}

TEST(StandardLookup, MissingBookProposesFromTheTableAsItIs)
{
    test::TempFolder folder;
    double DblD = 0, DblAB = 0;
    Scratch s;
    BookTable table;
    const auto p = standardLookup("200", "90", {DblD, DblAB, s.StrTemp, s.IntJ, s.IntK, table},
                                  folder.path() / "book.ini", {});
    ASSERT_TRUE(p.has_value());
    EXPECT_EQ(p->TxtWJ, "0");
    EXPECT_EQ(p->TxtZJS, "0");
    EXPECT_EQ(p->book.status, BookReadReport::Status::Missing);
}

// The radius overflows; the segment count, read from the table, still holds.
TEST(StandardLookup, RadiusThatOverflowsIsNoProposalTheSegmentsStill)
{
    test::TempFolder folder;
    const auto book = folder.write("book.ini", "1E300,2,2.5,3,3.5,1E300\r\n11,12,13,14,15,16\r\n");
    double DblD = 0, DblAB = 0;
    Scratch s;
    BookTable table;
    const auto p = standardLookup("1E10", "90", {DblD, DblAB, s.StrTemp, s.IntJ, s.IntK, table}, book, {});
    ASSERT_TRUE(p.has_value());
    EXPECT_EQ(p->TxtWJ, "(空白)");
    EXPECT_EQ(p->TxtZJS, "16");
}

}  // namespace
}  // namespace tessik

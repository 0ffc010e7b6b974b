#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <random>
#include <sstream>
#include <string>

#include "BookTable.h"
#include "NumberText.h"
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
    const std::string message = bookProblemMessage(report, report.problems);
    EXPECT_NE(message.find("book.ini"), std::string::npos);
    EXPECT_NE(message.find(folder.path().string()), std::string::npos) << message;
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

// --- A damaged table -----------------------------------------------------------

// kBook with one field replaced: `line` (from 1) and `column` (from 0).
std::string bookWith(int line, int column, const std::string& field)
{
    std::string text = kBook;
    std::size_t at = 0;
    for (int l = 1; l < line; ++l) at = text.find('\n', at) + 1;
    for (int c = 0; c < column; ++c) at = text.find(',', at) + 1;
    const std::size_t end = text.find_first_of(",\r", at);
    return text.replace(at, end - at, field);
}

struct DamageCase {
    const char* name;
    std::string bytes;
    std::vector<std::string> said;  // each in some problem; none means no problem
};

class DamagedBook : public testing::TestWithParam<DamageCase> {};

TEST_P(DamagedBook, SaysWhatIsWrongAndWhere)
{
    std::istringstream in(GetParam().bytes);
    BookTable table;
    Scratch s;
    const BookReadReport report = readBookTable(in, table, s.cursor(), "book.ini", "/data");
    std::string all;
    for (const std::string& problem : report.problems) all += problem + "\n";
    EXPECT_EQ(report.problems.empty(), GetParam().said.empty()) << all;
    for (const std::string& part : GetParam().said) EXPECT_NE(all.find(part), std::string::npos) << part << "\n" << all;
    const std::string message = bookProblemMessage(report, report.problems);
    if (!report.problems.empty()) {
        EXPECT_EQ(message.find("数据文件 book.ini"), 0u) << message;
    }
    EXPECT_NE(message.find("/data") != std::string::npos, report.problems.empty()) << message;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DamagedBook,
    testing::Values(
        DamageCase{"Sound", kBook, {}},
        DamageCase{"NoteAfterTheTable", std::string(kBook) + "end\r\n", {}},
        DamageCase{"BeyondDoubleShiftsTheRest", bookWith(2, 1, "1e309"),
                   {"第 2 行的字段“1e309”不是数值", "只有 29 个数值"}},
        DamageCase{"NaNOnLine4", bookWith(4, 5, "NaN"), {"第 4 行的字段“NaN”不是数值"}},
        DamageCase{"EmptyFieldOnLine3", bookWith(3, 0, ""), {"第 3 行有一个空字段"}},
        DamageCase{"NegativeFactor", bookWith(1, 4, "-1"), {"第 1 行的数值 -1 不能作弯曲半径系数"}},
        DamageCase{"ZeroFactor", bookWith(1, 0, "0"), {"第 1 行的数值 0 不能作弯曲半径系数"}},
        DamageCase{"NegativeCount", bookWith(3, 2, "-2"), {"第 3 行的数值 -2 不能作中节数"}},
        DamageCase{"FractionalCount", bookWith(5, 5, "2.5"), {"第 5 行的数值 2.5 不能作中节数"}},
        DamageCase{"EmptyFile", "", {"只有 0 个数值", "30 个表格单元沿用先前的值"}},
        DamageCase{"ShortFile", "1.5,2\r\n3\r\n", {"只有 3 个数值", "最后一个在第 2 行"}},
        DamageCase{"NumbersLeftOver", std::string(kBook) + "\r\n51,52\r\n", {"第 7 行起还有数值"}},
        DamageCase{"LongGarbageFieldShownShort", bookWith(2, 0, std::string(500, 'x')),
                   {"第 2 行的字段“" + std::string(24, 'x') + "…”不是数值"}}),
    [](const auto& info) { return std::string(info.param.name); });

// A garbage file gives a message a person can read, not one line per field.
TEST(ReadBookTable, GarbageFileListsAFewProblemsAndCountsTheRest)
{
    std::string garbage;
    for (int i = 0; i < 1000; ++i) garbage += "x\n";
    std::istringstream in(garbage);
    BookTable table;
    Scratch s;
    const BookReadReport report = readBookTable(in, table, s.cursor(), "book.ini", "/data");
    ASSERT_EQ(report.problems.size(), BookReadReport::kMaxListedProblems + 1);
    EXPECT_NE(report.problems[0].find("第 1 行"), std::string::npos);
    EXPECT_NE(report.problems[BookReadReport::kMaxListedProblems - 1].find(
                  std::to_string(1000 - (BookReadReport::kMaxListedProblems - 1))),
              std::string::npos);
    EXPECT_NE(report.problems.back().find("只有 0 个数值"), std::string::npos);
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
        // A radius below 0 cannot be right: no proposal.
        LookupCase{"NegativeDiameter", "-100", "90", 6, 1, true, "(空白)", "16"}),
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
    EXPECT_EQ(p->TxtWJ, "(空白)");  // a factor of 0 gives no radius
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

// Whatever the table holds, no radius at or below 0 and no segment count
// the segment field cannot take is proposed; the other value still is.
TEST(StandardLookup, DamagedCellsGiveNoProposal)
{
    struct Case {
        std::string book;
        const char* radius;
        const char* segments;
    } cases[] = {
        {bookWith(1, 0, "-1"), "(空白)", "11"},
        {bookWith(1, 0, "0"), "(空白)", "11"},
        {bookWith(2, 0, "-3"), "300", "(空白)"},
        {bookWith(2, 0, "1.5"), "300", "(空白)"},
        {bookWith(2, 0, "40000"), "300", "(空白)"},
        {bookWith(2, 0, "0"), "300", "0"},
    };
    for (const Case& c : cases) {
        test::TempFolder folder;
        const auto book = folder.write("book.ini", c.book);
        double DblD = 0, DblAB = 0;
        Scratch s;
        BookTable table;
        const auto p = standardLookup("200", "90", {DblD, DblAB, s.StrTemp, s.IntJ, s.IntK, table}, book, {});
        ASSERT_TRUE(p.has_value());
        EXPECT_EQ(p->TxtWJ, c.radius) << c.book;
        EXPECT_EQ(p->TxtZJS, c.segments) << c.book;
    }
}

// A factor that is a number but gives a radius the field cannot hold as a
// length (not finite, or only in exponent form) is no proposal and is told
// with the table's problems, naming its line; every radius the field can
// hold is proposed as before.
TEST(StandardLookup, RadiusTooLongToWriteIsToldNotProposed)
{
    std::mt19937_64 rng(26);
    // Half the factors round the edge of what the field can write.
    std::uniform_real_distribution<double> nearTheEdge(-3, 16), anyMagnitude(-3, 308), diameterIn(80, 4400);
    test::TempFolder folder;
    for (int i = 0; i < 300; ++i) {
        const double factor = std::pow(10.0, i % 2 ? nearTheEdge(rng) : anyMagnitude(rng));
        char text[32];
        const auto written = std::to_chars(text, text + sizeof text, factor);
        const double diameter = std::round(diameterIn(rng) * 10) / 10;
        const int column = diameterColumn(diameter);
        if (column == kNoColumn) continue;  // a gap: the message box, not this
        const auto book = folder.write("book.ini", bookWith(1, column - 1, std::string(text, written.ptr)));
        double DblD = 0, DblAB = 0;
        Scratch s;
        BookTable table;
        const auto p = standardLookup(std::to_string(diameter), "90",
                                      {DblD, DblAB, s.StrTemp, s.IntJ, s.IntK, table}, book, {});
        ASSERT_TRUE(p.has_value());
        const long double exact = static_cast<long double>(factor) * diameter;
        const std::string about = std::string(text, written.ptr) + " x " + std::to_string(diameter) + ": " + p->TxtWJ;
        if (exact < 1e14L) {
            const auto shown = textToDouble(p->TxtWJ);
            ASSERT_TRUE(shown.ok()) << about;
            EXPECT_LE(std::fabs(*shown - exact) / exact, 1e-14L) << about;
            EXPECT_TRUE(p->book.problems.empty()) << about;
        } else if (exact >= 1e15L) {
            EXPECT_EQ(p->TxtWJ, "(空白)") << about;
            ASSERT_EQ(p->book.problems.size(), 1u) << about;
            EXPECT_EQ(p->book.problems[0].rfind("第 1 行的弯曲半径系数", 0), 0u) << p->book.problems[0];
            EXPECT_NE(bookProblemMessage(p->book, p->book.problems).find(folder.path().string()), std::string::npos);
        }
        EXPECT_EQ(p->TxtZJS, std::to_string(10 + column)) << about;  // the segments do not depend on it
    }
}

}  // namespace
}  // namespace tessik

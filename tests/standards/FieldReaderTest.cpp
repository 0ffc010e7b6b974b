#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "FieldReader.h"
#include "FailingBuffer.h"
#include "FieldText.h"
#include "OnWine.h"

namespace tessik {
namespace {

std::vector<std::string> readAll(const std::string& bytes)
{
    std::istringstream in(bytes);
    FieldReader reader(in);
    std::vector<std::string> fields;
    while (!reader.atEnd()) {
        auto f = reader.next();
        EXPECT_TRUE(f.ok());
        if (!f) break;
        fields.push_back(*f);
    }
    return fields;
}

struct FieldCase {
    const char* name;
    std::string bytes;
    std::vector<std::string> fields;
};

class FieldSyntax : public testing::TestWithParam<FieldCase> {};

TEST_P(FieldSyntax, SplitsIntoFields) { EXPECT_EQ(readAll(GetParam().bytes), GetParam().fields); }

INSTANTIATE_TEST_SUITE_P(
    Rows, FieldSyntax,
    testing::Values(
        FieldCase{"Empty", "", {}},
        FieldCase{"OneLineCrLf", "1.5\r\n", {"1.5"}},
        FieldCase{"NoFinalLineEnd", "*88.9\r\n108", {"*88.9", "108"}},
        FieldCase{"TwoOnALine", "108,133\r\n159\r\n", {"108", "133", "159"}},
        FieldCase{"LfOnly", "1\n2\n", {"1", "2"}},
        FieldCase{"LoneCr", "1\r2\r", {"1", "2"}},
        FieldCase{"BlankLineIsEmptyField", "1\r\n\r\n2\r\n", {"1", "", "2"}},
        FieldCase{"CommaBeforeLineEnd", "1,\r\n2", {"1", "", "2"}},
        FieldCase{"LeadingBlanksSkipped", "  3.2,\t 4\r\n", {"3.2", "4"}},
        FieldCase{"TrailingBlanksDropped", "3.2  ,4 \r\n", {"3.2", "4"}},
        FieldCase{"InnerBlankKept", "(空 白)\n", {"(空 白)"}},
        FieldCase{"QuotedComma", "\"1,5\",2\r\n", {"1,5", "2"}},
        FieldCase{"QuotedLineEnd", "\"a\r\nb\"\r\nc", {"a\r\nb", "c"}},
        FieldCase{"TextAfterClosingQuoteDropped", "\"a\"xyz,b\n", {"a", "b"}},
        FieldCase{"UnclosedQuoteRunsToEnd", "\"abc,def", {"abc,def"}},
        FieldCase{"Utf8BomSkipped", "\xEF\xBB\xBF*88.9\r\n", {"*88.9"}},
        FieldCase{"PartialBomIsText", "\xEF\xBB" "1\n", {"\xEF\xBB" "1"}},
        FieldCase{"BomOnlyAtStart", "1\n\xEF\xBB\xBF" "2\n", {"1", "\xEF\xBB\xBF" "2"}},
        FieldCase{"NulBytesAreText", std::string("a\0b\n", 4), {std::string("a\0b", 3)}},
        FieldCase{"GbkTextSplitsOnAsciiOnly", "\xD6\xB1\xBE\xB6,\xBF\xD5\xB0\xD7\r\n",
                  {"\xD6\xB1\xBE\xB6", "\xBF\xD5\xB0\xD7"}},
        FieldCase{"BlanksThenEnd", "1\n   ", {"1", ""}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FieldReader, ReadingAtTheEndFails)
{
    std::istringstream in("1");
    FieldReader reader(in, "gbhd.ini");
    ASSERT_TRUE(reader.next().ok());
    ASSERT_TRUE(reader.atEnd());
    const auto past = reader.next();
    ASSERT_FALSE(past.ok());
    EXPECT_EQ(past.error().number, errc::kInputPastEndOfFile);
    EXPECT_EQ(past.error().source, "gbhd.ini");
    EXPECT_FALSE(reader.failed());
}

TEST(FieldReader, OverlongFieldIsCutAndTheRestStillSplits)
{
    const std::string huge(FieldReader::kMaxFieldBytes + 1000, '7');
    std::istringstream in(huge + ",8\n");
    FieldReader reader(in);
    const auto first = reader.next();
    ASSERT_TRUE(first.ok());
    EXPECT_EQ(first->size(), FieldReader::kMaxFieldBytes);
    EXPECT_TRUE(reader.lastFieldTruncated());
    const auto second = reader.next();
    ASSERT_TRUE(second.ok());
    EXPECT_EQ(*second, "8");
    EXPECT_FALSE(reader.lastFieldTruncated());
}

TEST(FieldReader, DeviceFailureEndsTheInputAndIsReported)
{
    test::FailingBuffer buffer("108\r\n133\r\n159\r\n", 7);
    std::istream in(&buffer);
    FieldReader reader(in);
    std::vector<std::string> fields;
    while (!reader.atEnd()) {
        auto f = reader.next();
        if (!f) break;
        fields.push_back(*f);
    }
    // The field cut by the failure is not delivered as if it were complete.
    EXPECT_EQ(fields, std::vector<std::string>{"108"});
    EXPECT_TRUE(reader.failed());
}

struct TextCase {
    const char* name;
    std::string bytes;
    std::string text;
    bool beyondGbk = false;  // needs GB18030 proper, not only its GBK part
};

class FieldTextRows : public testing::TestWithParam<TextCase> {};

TEST_P(FieldTextRows, DecodesToUtf8)
{
    if (GetParam().beyondGbk && test::runningOnWine())
        GTEST_SKIP() << "wine has no code page 54936 (GB18030): the files are read as GBK there";
    EXPECT_EQ(fieldText(GetParam().bytes), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FieldTextRows,
    testing::Values(TextCase{"Ascii", "*88.9", "*88.9"}, TextCase{"Utf8Kept", "直径", "直径"},
                    TextCase{"GbkDecoded", "\xD6\xB1\xBE\xB6", "直径"},
                    TextCase{"Gb18030Euro", "\xA2\xE3", "€", true},
                    TextCase{"GarbageReplaced", "\xFF\xFF", "\xEF\xBF\xBD\xEF\xBF\xBD"},
                    TextCase{"TruncatedGbkAtEnd", "1\xD6", "1\xEF\xBF\xBD"}),
    [](const auto& info) { return std::string(info.param.name); });

// Every kind of line end, a blank line and a quoted field over two lines:
// each field is placed on the line it starts on.
TEST(FieldReader, TellsTheLineEachFieldStartsOn)
{
    std::istringstream in("a,b\r\nc\rd\n\r\n  \"e\r\nf\",g\r\nh");
    FieldReader reader(in);
    std::vector<std::pair<std::string, int>> seen;
    while (!reader.atEnd()) {
        auto f = reader.next();
        ASSERT_TRUE(f.ok());
        seen.emplace_back(*f, reader.lastFieldLine());
    }
    const std::vector<std::pair<std::string, int>> expected{
        {"a", 1}, {"b", 1}, {"c", 2}, {"d", 3}, {"", 4}, {"e\r\nf", 5}, {"g", 6}, {"h", 7}};
    EXPECT_EQ(seen, expected);
}

}  // namespace
}  // namespace tessik

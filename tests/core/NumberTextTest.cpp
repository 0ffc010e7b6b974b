#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

#include "NumberText.h"

namespace tessik {
namespace {

struct DoubleCase {
    const char* name;
    const char* text;
    bool ok;
    double value;
    int error;
};

class TextToDouble : public testing::TestWithParam<DoubleCase> {};

TEST_P(TextToDouble, ReadsTheDecimalNotationOnly)
{
    const DoubleCase& c = GetParam();
    const auto r = textToDouble(c.text);
    ASSERT_EQ(r.ok(), c.ok) << c.text;
    if (c.ok) {
        EXPECT_EQ(*r, c.value);
    } else {
        EXPECT_EQ(r.error().number, c.error);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TextToDouble,
    testing::Values(DoubleCase{"Integer", "90", true, 90, 0}, DoubleCase{"Fraction", "2.5", true, 2.5, 0},
                    DoubleCase{"Blanks", " 1e3 ", true, 1000, 0}, DoubleCase{"Tabs", "\t7\t", true, 7, 0},
                    DoubleCase{"TrailingPoint", "1.", true, 1, 0}, DoubleCase{"LeadingPoint", ".5", true, 0.5, 0},
                    DoubleCase{"PlusSign", "+5", true, 5, 0}, DoubleCase{"MinusZero", "-0", true, 0, 0},
                    DoubleCase{"Negative", "-12.25", true, -12.25, 0},
                    DoubleCase{"ExponentSigned", "2.5E-2", true, 0.025, 0},
                    DoubleCase{"ExponentLower", "1e+2", true, 100, 0},
                    DoubleCase{"Underflow", "1e-400", true, 0, 0},
                    DoubleCase{"Overflow", "1e400", false, 0, errc::kOverflow},
                    DoubleCase{"DecimalComma", "1,5", false, 0, errc::kTypeMismatch},
                    DoubleCase{"Hex", "0x10", false, 0, errc::kTypeMismatch},
                    DoubleCase{"Empty", "", false, 0, errc::kTypeMismatch},
                    DoubleCase{"OnlyBlanks", "   ", false, 0, errc::kTypeMismatch},
                    DoubleCase{"Placeholder", "(空白)", false, 0, errc::kTypeMismatch},
                    DoubleCase{"DesignText", "直径", false, 0, errc::kTypeMismatch},
                    DoubleCase{"Star", "*100", false, 0, errc::kTypeMismatch},
                    DoubleCase{"LonePoint", ".", false, 0, errc::kTypeMismatch},
                    DoubleCase{"TwoPoints", "1.2.3", false, 0, errc::kTypeMismatch},
                    DoubleCase{"ExponentWithoutDigits", "1e", false, 0, errc::kTypeMismatch},
                    DoubleCase{"Infinity", "inf", false, 0, errc::kTypeMismatch},
                    DoubleCase{"NaN", "nan", false, 0, errc::kTypeMismatch},
                    DoubleCase{"InnerBlank", "1 0", false, 0, errc::kTypeMismatch},
                    DoubleCase{"DoubleSign", "--1", false, 0, errc::kTypeMismatch}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TextToDouble, NegativeZeroKeepsItsSignAndLocaleDoesNotMatter)
{
    // A locale with a decimal comma must not change the reading.
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    EXPECT_EQ(*textToDouble("2.5"), 2.5);
    EXPECT_FALSE(textToDouble("2,5").ok());
    EXPECT_EQ(doubleToText(2.5), "2.5");
    std::setlocale(LC_ALL, "C");
    EXPECT_TRUE(std::signbit(*textToDouble("-0")));
}

TEST(TextToSingle, RoundsToSinglePrecisionAndChecksItsRange)
{
    EXPECT_EQ(*textToSingle("7850"), 7850.0f);
    EXPECT_EQ(*textToSingle("0.1"), 0.1f);
    EXPECT_EQ(*textToSingle("3.4e38"), 3.4e38f);
    EXPECT_EQ(textToSingle("3.5e38").error().number, errc::kOverflow);
    EXPECT_EQ(textToSingle("-1e39").error().number, errc::kOverflow);
    EXPECT_EQ(textToSingle("(空白)").error().number, errc::kTypeMismatch);
}

struct IntCase {
    const char* name;
    const char* text;
    bool ok;
    int value;
};

class TextToInt16 : public testing::TestWithParam<IntCase> {};

TEST_P(TextToInt16, RoundsHalfToEvenWithinSixteenBits)
{
    const IntCase& c = GetParam();
    const auto r = textToInt16(c.text);
    ASSERT_EQ(r.ok(), c.ok) << c.text;
    if (c.ok) {
        EXPECT_EQ(*r, c.value);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TextToInt16,
    testing::Values(IntCase{"Two", "2", true, 2}, IntCase{"HalfDown", "2.5", true, 2}, IntCase{"HalfUp", "3.5", true, 4},
                    IntCase{"NegativeHalf", "-2.5", true, -2}, IntCase{"NegativeHalfUp", "-3.5", true, -4},
                    IntCase{"AboveHalf", "2.51", true, 3}, IntCase{"BelowHalf", "2.49", true, 2},
                    IntCase{"Max", "32767", true, 32767}, IntCase{"Min", "-32768", true, -32768},
                    IntCase{"MaxByRounding", "32767.4", true, 32767}, IntCase{"OverMax", "32768", false, 0},
                    IntCase{"OverMaxByRounding", "32767.5", false, 0}, IntCase{"UnderMin", "-32769", false, 0},
                    IntCase{"Exponent", "1e3", true, 1000}, IntCase{"Placeholder", "(空白)", false, 0},
                    IntCase{"Empty", "", false, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TextToInt16, OutOfRangeIsAnOverflow)
{
    EXPECT_EQ(textToInt16("32768").error().number, errc::kOverflow);
    EXPECT_EQ(textToInt16("abc").error().number, errc::kTypeMismatch);
}

TEST(NumberToText, GeneralFormWithFifteenOrSevenDigits)
{
    const std::pair<double, const char*> doubles[] = {
        {0, "0"},
        {-0.0, "0"},
        {300, "300"},
        {2.5, "2.5"},
        {-2.5, "-2.5"},
        {150.00000000000003, "150"},  // beyond 15 digits
        {0.1 + 0.2, "0.3"},
        {1.0 / 3, "0.333333333333333"},
        {123456789012345, "123456789012345"},
        {1e15, "1E+15"},
        {1.5e20, "1.5E+20"},
        {0.00001, "0.00001"},
        {0.0000012, "1.2E-06"},
        {-1e-7, "-1E-07"},
        {99999999999999.99, "100000000000000"},
        {std::numeric_limits<double>::infinity(), "Infinity"},
    };
    for (const auto& [value, text] : doubles) EXPECT_EQ(doubleToText(value), text) << value;

    const std::pair<float, const char*> singles[] = {
        {5.1701217f, "5.170122"}, {0.0f, "0"}, {7850.0f, "7850"}, {-0.5f, "-0.5"},
        {1234567.0f, "1234567"}, {12345678.0f, "1.234568E+07"}, {0.1f, "0.1"},
    };
    for (const auto& [value, text] : singles) EXPECT_EQ(singleToText(value), text) << value;
}

TEST(NumberToText, WholeTableValuesReadBackAsWritten)
{
    for (const char* text : {"2", "1.5", "4400", "0.25", "3000.00001"})
        EXPECT_EQ(doubleToText(*textToDouble(text)), text);
}

TEST(NumberToText, RoundTripTextReadsBackToTheSameDouble)
{
    for (double v : {51.763808157774726, 1.0 / 3, 1e-300, -123.20507855604282, 0.1})
        EXPECT_EQ(*textToDouble(doubleToRoundTripText(v)), v);
}

}  // namespace
}  // namespace tessik

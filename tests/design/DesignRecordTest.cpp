#include <gtest/gtest.h>

#include <cmath>

#include "DesignRecord.h"

namespace tessik {
namespace {

// A record whose every variable holds a recognisable earlier value.
DesignRecord previousRecord()
{
    DesignRecord r;
    r.DblAB = 11;
    r.DblA = 12;
    r.DblB = 13;
    r.DblD = 14;
    r.DblR = 15;
    r.DblR1 = 16;
    r.DblR2 = 17;
    r.DblC1 = 18;
    r.DblC2 = 19;
    r.IntN = 20;
    r.StrTemp = "old";
    return r;
}

TEST(InputParameter, WorkedExample)
{
    DesignRecord r = previousRecord();
    const PendingError err = InputParameter({"90", "2", "*100", "150"}, r);
    EXPECT_FALSE(err.pending());
    EXPECT_EQ(r.DblAB, 90);
    EXPECT_EQ(r.IntN, 2);
    EXPECT_EQ(r.StrTemp, "100");
    EXPECT_EQ(r.DblD, 100);
    EXPECT_EQ(r.DblR, 150);
    EXPECT_EQ(r.DblB, 30);
    EXPECT_EQ(r.DblA, 15);
    EXPECT_EQ(r.DblR1, 100);
    EXPECT_EQ(r.DblR2, 200);
    EXPECT_NEAR(r.DblC1, 51.763808, 1e-6);
    EXPECT_NEAR(r.DblC2, 103.527616, 1e-6);
    // The invariants hold within rounding.
    EXPECT_NEAR(r.DblC1 / r.DblR1, r.DblC2 / r.DblR2, 1e-15);
    EXPECT_DOUBLE_EQ(r.DblC1 / r.DblR1, 2 * std::sin(r.DblB / 2 / 180 * kPi));
}

TEST(InputParameter, DiameterWithoutStarIsTheSame)
{
    DesignRecord a, b;
    ASSERT_FALSE(InputParameter({"90", "2", "*100", "150"}, a).pending());
    ASSERT_FALSE(InputParameter({"90", "2", "100", "150"}, b).pending());
    EXPECT_EQ(a.DblD, b.DblD);
    EXPECT_EQ(a.DblC2, b.DblC2);
}

TEST(InputParameter, SegmentCountRoundsHalfToEven)
{
    const std::pair<const char*, int> cases[] = {{"2.5", 2}, {"3.5", 4}, {"0", 0}};
    for (const auto& [text, n] : cases) {
        DesignRecord r;
        ASSERT_FALSE(InputParameter({"90", text, "100", "150"}, r).pending()) << text;
        EXPECT_EQ(r.IntN, n) << text;
        EXPECT_EQ(r.DblB, 90.0 / (n + 1)) << text;
        EXPECT_EQ(r.DblA, r.DblB / 2) << text;
    }
}

TEST(InputParameter, EarlyFailuresEndTheMethod)
{
    {
        SCOPED_TRACE("angle is no number: nothing changes");
        DesignRecord r = previousRecord();
        const PendingError err = InputParameter({"弯角", "2", "100", "150"}, r);
        EXPECT_TRUE(err.pending());
        EXPECT_EQ(err.error().source, "CmbHd");
        EXPECT_EQ(r.DblAB, 11);
        EXPECT_EQ(r.IntN, 20);
        EXPECT_EQ(r.StrTemp, "old");
    }
    for (const char* segments : {"32768", "(空白)"}) {
        SCOPED_TRACE(segments);
        DesignRecord r = previousRecord();
        const PendingError err = InputParameter({"90", segments, "100", "150"}, r);
        EXPECT_TRUE(err.pending());
        EXPECT_EQ(err.error().source, "TxtZJS");
        EXPECT_EQ(r.DblAB, 90) << "the angle is already updated";
        EXPECT_EQ(r.IntN, 20);
        EXPECT_EQ(r.DblD, 14);
        EXPECT_EQ(r.DblB, 13);
        EXPECT_EQ(r.StrTemp, "old");
    }
}

TEST(InputParameter, TwoStarsLeaveTheDiameterButStillDerive)
{
    DesignRecord r = previousRecord();
    const PendingError err = InputParameter({"90", "2", "**100", "150"}, r);
    EXPECT_TRUE(err.pending());
    EXPECT_EQ(err.error().number, errc::kTypeMismatch);
    EXPECT_EQ(r.StrTemp, "*100");
    EXPECT_EQ(r.DblD, 14);
    EXPECT_EQ(r.DblR, 150);
    EXPECT_EQ(r.DblR1, 150 - 14.0 / 2);
    EXPECT_EQ(r.DblR2, 14.0 / 2 + 150);
    EXPECT_EQ(r.DblB, 30);
}

TEST(InputParameter, LoneStarBecomesEmptyAndFails)
{
    DesignRecord r = previousRecord();
    EXPECT_TRUE(InputParameter({"90", "2", "*", "150"}, r).pending());
    EXPECT_EQ(r.StrTemp, "");
    EXPECT_EQ(r.DblD, 14);
}

TEST(InputParameter, SegmentOverflowKeepsDblB)
{
    DesignRecord r = previousRecord();
    const PendingError err = InputParameter({"90", "32767", "100", "150"}, r);
    EXPECT_TRUE(err.pending());
    EXPECT_EQ(err.sources().front(), "TxtZJS");
    EXPECT_EQ(r.IntN, 32767);
    EXPECT_EQ(r.DblB, 13);
    EXPECT_EQ(r.DblA, 6.5);
    EXPECT_EQ(r.DblR1, 100) << "later steps still run";
}

TEST(InputParameter, MinusOneDividesByZero)
{
    DesignRecord r = previousRecord();
    PendingError err = InputParameter({"90", "-1", "100", "150"}, r);
    EXPECT_TRUE(err.pending());
    EXPECT_EQ(err.sources().front(), "TxtZJS");
    EXPECT_TRUE(std::isinf(r.DblB));
    EXPECT_TRUE(std::isinf(r.DblA));
    EXPECT_EQ(r.DblR1, 100);
    EXPECT_EQ(r.DblR2, 200);

    r = previousRecord();
    err = InputParameter({"0", "-1", "100", "150"}, r);
    EXPECT_TRUE(std::isnan(r.DblB));
    EXPECT_EQ(err.sources().front(), "TxtZJS");
}

TEST(InputParameter, HugeValuesOverflowTheDerivedSteps)
{
    DesignRecord r;
    const PendingError err = InputParameter({"90", "2", "1e308", "1.7e308"}, r);
    EXPECT_TRUE(err.pending());
    EXPECT_EQ(err.error().number, errc::kOverflow);
    EXPECT_TRUE(std::isinf(r.DblR2));
    EXPECT_TRUE(std::isfinite(r.DblR1));
}

}  // namespace
}  // namespace tessik

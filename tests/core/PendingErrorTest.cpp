#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "PendingError.h"

namespace tessik {
namespace {

TEST(PendingError, FailedStepsKeepTheTargetAndTheLastErrorWins)
{
    PendingError err;
    double target = 7;
    EXPECT_TRUE(err.assign(target, Result<double>(3.0)));
    EXPECT_EQ(target, 3);
    EXPECT_FALSE(err.pending());

    EXPECT_FALSE(err.assign(target, Result<double>(Error::typeMismatch("A"))));
    EXPECT_EQ(target, 3);
    EXPECT_FALSE(err.assign(target, Result<double>(Error::overflow("B"))));
    EXPECT_EQ(err.error().number, errc::kOverflow);
    EXPECT_EQ(err.sources(), (std::vector<std::string>{"A", "B"}));

    err.clear();
    EXPECT_FALSE(err.pending());
    EXPECT_TRUE(err.sources().empty());
}

TEST(PendingError, NonFiniteResultsAreStoredThenReported)
{
    PendingError err;
    double target = 1;
    EXPECT_FALSE(err.storeFinite(target, std::numeric_limits<double>::infinity(), Error::divisionByZero()));
    EXPECT_TRUE(std::isinf(target));
    EXPECT_EQ(err.error().number, errc::kDivisionByZero);
    EXPECT_TRUE(err.storeFinite(target, 2.0, Error::overflow()));
    EXPECT_TRUE(err.pending()) << "a later success does not clear the pending error";
}

}  // namespace
}  // namespace tessik

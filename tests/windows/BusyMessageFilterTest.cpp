// The wait for a busy CAD, decided on a clock of the test's own: what COM is
// told through IMessageFilter::RetryRejectedCall and what the status line is
// told, whether or not the COM runtime ever calls the filter.

#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <vector>

#include "BusyMessageFilter.h"
#include "ComAutomation.h"

namespace tessik {
namespace {

constexpr DWORD kRetry = BusyMessageFilter::kRetryDelayMs;
constexpr DWORD kGiveUp = BusyMessageFilter::kGiveUp;

struct FilterOnClock {
    ULONGLONG now = 5000;
    std::vector<bool> told;
    BusyMessageFilter filter{30000, [this](bool waiting) { told.push_back(waiting); }, [this] { return now; }};

    DWORD refusedAt(ULONGLONG t, DWORD rejectType = SERVERCALL_RETRYLATER)
    {
        now = t;
        return filter.RetryRejectedCall(nullptr, 0, rejectType);
    }
};

TEST(BusyMessageFilter, RetriesEitherRefusalForThirtySecondsFromTheFirstThenGivesUp)
{
    for (DWORD rejectType : {DWORD(SERVERCALL_RETRYLATER), DWORD(SERVERCALL_REJECTED)}) {
        SCOPED_TRACE(rejectType);
        FilterOnClock f;
        EXPECT_EQ(f.refusedAt(1000, rejectType), kRetry);
        EXPECT_EQ(f.told, (std::vector<bool>{true}));
        EXPECT_EQ(f.refusedAt(1000 + 29999, rejectType), kRetry);
        EXPECT_EQ(f.refusedAt(1000 + 30000, rejectType), kGiveUp);
        EXPECT_EQ(f.told, (std::vector<bool>{true, false}));
        EXPECT_FALSE(f.filter.waiting());
        // A later refusal is a new wait with a clock of its own.
        EXPECT_EQ(f.refusedAt(90000, rejectType), kRetry);
        EXPECT_EQ(f.refusedAt(90000 + 29999, rejectType), kRetry);
        EXPECT_EQ(f.told, (std::vector<bool>{true, false, true}));
    }
}

TEST(BusyMessageFilter, AnAnswerEndsTheWaitOnceAndTheNextRefusalCountsAfresh)
{
    FilterOnClock f;
    f.filter.answered();
    EXPECT_TRUE(f.told.empty()) << "an answer with no wait told the status line";
    EXPECT_EQ(f.refusedAt(0), kRetry);
    f.now = 20000;
    f.filter.answered();
    f.filter.answered();
    EXPECT_EQ(f.told, (std::vector<bool>{true, false}));
    // The refusal through the link's own loop shares the filter's clock.
    f.now = 25000;
    EXPECT_EQ(f.filter.refused(), kRetry);
    EXPECT_EQ(f.refusedAt(25000 + 29999), kRetry);
    EXPECT_EQ(f.refusedAt(25000 + 30000), kGiveUp);
    EXPECT_EQ(f.told, (std::vector<bool>{true, false, true, false}));
}

TEST(BusyMessageFilter, IsTheFilterTheLinkRegistersAndRevokes)
{
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    std::vector<bool> told;
    {
        ComAutomationOptions options;
        options.onBusy = [&told](bool waiting) { told.push_back(waiting); };
        const std::unique_ptr<CadAutomation> link = makeComAutomation(options);

        IMessageFilter* registered = nullptr;
        ASSERT_TRUE(SUCCEEDED(CoRegisterMessageFilter(nullptr, &registered)));
        ASSERT_NE(registered, nullptr) << "the link registered no message filter";
        const DWORD retry = registered->RetryRejectedCall(nullptr, 0, SERVERCALL_RETRYLATER);
        const DWORD other = registered->RetryRejectedCall(nullptr, 0, SERVERCALL_ISHANDLED);
        CoRegisterMessageFilter(registered, nullptr);
        registered->Release();
        EXPECT_EQ(retry, kRetry);
        EXPECT_EQ(other, kGiveUp);
        EXPECT_EQ(told, (std::vector<bool>{true}));
    }
    IMessageFilter* left = nullptr;
    EXPECT_TRUE(SUCCEEDED(CoRegisterMessageFilter(nullptr, &left)));
    EXPECT_EQ(left, nullptr) << "the link left its filter registered behind it";
    if (left) left->Release();
    CoUninitialize();
}

}  // namespace
}  // namespace tessik

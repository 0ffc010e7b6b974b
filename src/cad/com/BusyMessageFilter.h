#pragma once
// How the COM link waits for a busy CAD (a dialog open, a command running):
// one clock per link, started at the first refusal and stopped when the CAD
// answers again or the wait is given up. COM asks it through
// IMessageFilter::RetryRejectedCall when a call is refused inside the call;
// the link's own retry loop asks it (refused(), answered()) when a refusal
// comes back as the call's result. Either way the waiting starts and ends
// once, and onBusy is told so.
//
// The clock is a seam: the decisions are tested with a clock of the test's
// own, since not every COM runtime calls the filter.

#include <windows.h>
#include <objbase.h>

#include <functional>
#include <optional>

namespace tessik {

class BusyMessageFilter final : public IMessageFilter {
public:
    // Between two tries of a refused call.
    static constexpr DWORD kRetryDelayMs = 250;
    // RetryRejectedCall's answer for "cancel the call".
    static constexpr DWORD kGiveUp = DWORD(-1);
    // Milliseconds on a clock that never goes back.
    using Clock = std::function<ULONGLONG()>;

    // `timeoutMs`: how long the CAD may stay busy, counted from its first
    // refusal. `onBusy(true)` when a wait starts, `onBusy(false)` when it ends.
    BusyMessageFilter(int timeoutMs, std::function<void(bool waiting)> onBusy, Clock clock = {});
    BusyMessageFilter(const BusyMessageFilter&) = delete;
    BusyMessageFilter& operator=(const BusyMessageFilter&) = delete;

    // After a refusal: the milliseconds to wait before the next try, or
    // kGiveUp once the CAD has been busy for timeoutMs (the wait then ends).
    DWORD refused();
    // The CAD answered, or failed otherwise: a wait in progress is over.
    void answered();
    bool waiting() const { return busySince_.has_value(); }

    // IUnknown: owned by its user, who revokes it before it goes.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    // IMessageFilter: incoming calls are taken; a refused outgoing call of
    // either kind is retried through refused(); messages arriving during a
    // call get the default treatment.
    DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) override;
    DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK callee, DWORD elapsedMs, DWORD rejectType) override;
    DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override;

private:
    void tell(bool waiting) const;

    int timeoutMs_;
    std::function<void(bool)> onBusy_;
    Clock clock_;
    std::optional<ULONGLONG> busySince_;
};

}  // namespace tessik

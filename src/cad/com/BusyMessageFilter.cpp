#include "BusyMessageFilter.h"

#include <utility>

namespace tessik {

BusyMessageFilter::BusyMessageFilter(int timeoutMs, std::function<void(bool waiting)> onBusy, Clock clock)
    : timeoutMs_(timeoutMs), onBusy_(std::move(onBusy)), clock_(clock ? std::move(clock) : Clock(GetTickCount64))
{
}

DWORD BusyMessageFilter::refused()
{
    const ULONGLONG now = clock_();
    if (!busySince_) {
        busySince_ = now;
        tell(true);
    }
    if (timeoutMs_ <= 0 || now - *busySince_ >= ULONGLONG(timeoutMs_)) {
        busySince_.reset();
        tell(false);
        return kGiveUp;
    }
    return kRetryDelayMs;
}

void BusyMessageFilter::answered()
{
    if (!busySince_) return;
    busySince_.reset();
    tell(false);
}

void BusyMessageFilter::tell(bool waiting) const
{
    if (onBusy_) onBusy_(waiting);
}

HRESULT STDMETHODCALLTYPE BusyMessageFilter::QueryInterface(REFIID iid, void** out)
{
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IMessageFilter) {
        *out = static_cast<IMessageFilter*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

DWORD STDMETHODCALLTYPE BusyMessageFilter::HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO)
{
    return SERVERCALL_ISHANDLED;
}

DWORD STDMETHODCALLTYPE BusyMessageFilter::RetryRejectedCall(HTASK, DWORD, DWORD rejectType)
{
    if (rejectType != SERVERCALL_RETRYLATER && rejectType != SERVERCALL_REJECTED) return kGiveUp;
    return refused();
}

DWORD STDMETHODCALLTYPE BusyMessageFilter::MessagePending(HTASK, DWORD, DWORD)
{
    return PENDINGMSG_WAITDEFPROCESS;
}

}  // namespace tessik

#pragma once
// The CAD link over COM (Windows only): AutoCAD, or a CAD that offers the
// same automation model under its own program id, driven late-bound through
// IDispatch. Every member is looked up by name (GetIDsOfNames, then Invoke),
// spelled as the tool spells it; points travel as a VARIANT holding a
// SAFEARRAY of three doubles, texts as BSTR.
//
// "Get running instance" = CLSIDFromProgID, GetActiveObject and
// QueryInterface for IDispatch; "create instance" = CoCreateInstance as a
// local server. A failure carries the number and description the CAD
// supplies (EXCEPINFO, else IErrorInfo), else Windows' text for the HRESULT.
//
// A CAD that refuses a call because it is busy (a dialog open, a command
// running) is retried, through a registered IMessageFilter and for a refusal
// returned from the call itself, until busyTimeoutMs have passed since the
// first refusal; onBusy is told when the waiting starts and ends. One
// BusyMessageFilter (BusyMessageFilter.h) decides for both. A CAD that
// went away answers every later call at once with caderr::kServerUnavailable;
// an object whose drawing was closed while the CAD still runs answers
// caderr::kObjectDisconnected.
//
// The objects belong to the thread that made the automation: COM is
// initialised there as a single-threaded apartment for as long as any of
// them lives. Calls are synchronous, so settle() has nothing left to wait for.

#include <functional>
#include <memory>

#include "CadObjects.h"

namespace tessik {

struct ComAutomationOptions {
    // How long a busy CAD is retried, counted from its first refusal.
    int busyTimeoutMs = 30000;
    // true when a call has been refused as busy and is being retried;
    // false once the CAD answers again or the waiting is given up.
    std::function<void(bool waiting)> onBusy;
};

std::unique_ptr<CadAutomation> makeComAutomation(ComAutomationOptions options = {});

}  // namespace tessik

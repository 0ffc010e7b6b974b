#pragma once
// Error numbers and descriptions of the CAD link. The CAD application's own
// errors (a cancelled pick, no drawing open, an invalid argument) arrive with
// its numbers; the ones raised on this side follow the classic automation
// runtime, so the callers cannot tell where an error was raised. Texts are
// UTF-8.

#include <cstdint>
#include <string>

#include "AutomationNumbers.h"
#include "Error.h"

namespace tessik::caderr {

// Numbers the CAD application answers with.
inline constexpr std::int32_t kPickCancelled = protocol::kPickCancelled;
inline constexpr std::int32_t kNoDrawing = protocol::kNoDocument;
inline constexpr std::int32_t kInvalidArgument = protocol::kInvalidArgument;
// The object no longer exists on the CAD's side: the drawing it belongs to
// was closed.
inline constexpr std::int32_t kObjectDisconnected = protocol::kDisconnected;

// Numbers raised by the link itself.
inline constexpr std::int32_t kCannotCreateObject = 429;  // no running instance / launch failed
inline constexpr std::int32_t kObjectNotSet = 91;         // a call on an object never taken
inline constexpr std::int32_t kServerUnavailable = -2147023174;  // the connection broke
inline constexpr std::int32_t kObjectChanged = -2147418113;      // the active drawing changed mid-burst
inline constexpr std::int32_t kActivationFailed = 5;             // invalid procedure call

Error cannotCreateObject(const std::string& why);
// The CAD program could not be started (same number): why says what was
// tried and what went wrong, in the words of this desktop.
Error launchFailed(const std::string& why);
Error objectNotSet(const std::string& member);
Error serverUnavailable(const std::string& why);
Error invalidArgument(const std::string& member);
Error objectChanged(const std::string& member);
Error activationFailed(const std::string& title);

}  // namespace tessik::caderr

#pragma once
// One request line of the automation protocol read into an AutomationCall,
// with no socket, no drawing and no toolkit involved: what the line asks
// for, or why it is refused and whether the refusal gets a reply (a request
// without an "id" is a notification and is never answered, unless its id
// could not be read at all). The reply lines are written here too, but for
// a result held as Qt's JSON (AutomationJsonQt.h).

#include <cstdint>
#include <string>
#include <string_view>

#include "automation/AutomationArgs.h"
#include "automation/JsonValue.h"

namespace tessik::cadhost {

enum class AutomationVerb { Get, Set, Call };

struct AutomationCall {
    AutomationVerb verb = AutomationVerb::Get;
    std::int64_t target = 0;
    std::string member;   // UTF-8, never empty in a request read
    JsonValue value;      // Set
    AutomationArgs args;  // Call
    friend bool operator==(const AutomationCall&, const AutomationCall&) = default;
};

struct AutomationRequest {
    enum class Outcome { Blank, Invoke, Refuse };
    Outcome outcome = Outcome::Blank;
    JsonValue id = JsonValue::null();  // Null when absent or unusable
    bool wantsReply = false;           // false for notifications
    AutomationCall invocation;         // Invoke
    std::int32_t code = 0;             // Refuse
    std::string message;               // Refuse, UTF-8
    friend bool operator==(const AutomationRequest&, const AutomationRequest&) = default;
};

// line: without its '\n'; a trailing '\r' is ignored, and a blank line is
// Blank.
AutomationRequest parseRequest(std::string_view line);
// The same answer read through readJson's tree of the whole line, as
// parseRequest reads every line it does not read more directly.
AutomationRequest parseRequestByTree(std::string_view line);

// The reply envelopes, each one line ending in '\n'. id must be a number, a
// string or Null.
std::string resultReply(const JsonValue& id, const JsonValue& result);
// The line for a result {"handle": handle, "type": type}.
std::string handleReply(const JsonValue& id, std::int64_t handle, std::string_view type);
// The same line appended to out, for a writer that keeps its buffer.
void appendHandleReply(std::string& out, const JsonValue& id, std::int64_t handle, std::string_view type);
std::string errorReply(const JsonValue& id, std::int32_t code, std::string_view message);
// The start of every reply line, up to and with its id: for the writer of a
// result held in another form.
std::string replyStart(const JsonValue& id);

}  // namespace tessik::cadhost

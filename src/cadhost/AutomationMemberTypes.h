#pragma once
// The short names the files that fill the dispatcher's member tables use:
// the dispatcher's own types and the automation error helpers.

#include "AutomationDispatcher.h"
#include "AutomationError.h"

namespace tessik::cadhost::members {

using namespace automation;
using Kind = AutomationDispatcher::Kind;
using ObjectRef = AutomationDispatcher::ObjectRef;
using Member = AutomationDispatcher::Member;
using Context = AutomationDispatcher::Context;

}  // namespace tessik::cadhost::members

#pragma once
// The short names the files that fill the dispatcher's member tables use:
// the dispatcher's own types, the automation error helpers and the member
// names both sides of the socket spell alike (each table's key is
// memberKey(member::kName)).

#include "automation/AutomationDispatcher.h"
#include "automation/AutomationError.h"
#include "AutomationMembers.h"

namespace tessik::cadhost::members {

using namespace automation;
namespace member = protocol::member;
using protocol::memberKey;
using Kind = AutomationDispatcher::Kind;
using ObjectRef = AutomationDispatcher::ObjectRef;
using Member = AutomationDispatcher::Member;
using Context = AutomationDispatcher::Context;
using Pending = AutomationDispatcher::Pending;

}  // namespace tessik::cadhost::members

#pragma once
// What both sides of tessik-cad's automation socket agree on: where the socket
// is, and the error numbers a reply carries. The tool's client (cad/) and
// tessik-cad (cadhost/) link this and meet only through the socket.
//
// The socket is "cad.sock" in a folder only the user can reach:
// $XDG_RUNTIME_DIR/tessik/ when that variable is set, else /tmp/tessik-<uid>/.
// TESSIK_CAD_SOCKET=<path> overrides the whole path (tests run private
// instances this way).
//
// The member names both sides spell alike are in AutomationMembers.h, the
// error numbers a reply carries in AutomationNumbers.h.

#include <QString>

#include "AutomationNumbers.h"

namespace tessik::protocol {

inline constexpr char kSocketOverrideVariable[] = "TESSIK_CAD_SOCKET";

// The path only, nothing is created.
QString socketPath();

}  // namespace tessik::protocol

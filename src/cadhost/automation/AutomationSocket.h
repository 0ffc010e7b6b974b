#pragma once
// Where tessik-cad listens, and the rule that only one instance listens there.
//
// The path follows protocol::socketPath(), the rule clients follow too.
// The single-instance lock on "<socket>.lock" is model/InstanceLock.h.

#include <QString>

#include "AutomationProtocol.h"
#include "Error.h"
#include "model/InstanceLock.h"

namespace tessik::cadhost {

// What stands at a socket's path: nothing, a socket nobody serves (left by a
// crash), a live server (it accepts, or its backlog is full), something that
// is not a socket, or nothing can be told (no access, another error).
enum class SocketProbe { Absent, Stale, Live, NotSocket, Unknown };
SocketProbe probeSocket(const QString& path);


// The path only, nothing is created: what `tessik-cad --socket-path` prints.
inline QString automationSocketPath() { return protocol::socketPath(); }

// Creates the socket's folder when missing (mode 0700) and refuses one that
// another user owns or that others can enter.
Status prepareSocketFolder(const QString& socketPath);

}  // namespace tessik::cadhost

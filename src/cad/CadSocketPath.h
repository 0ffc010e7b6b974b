#pragma once
// Where tessik-cad listens (the rule is protocol::socketPath()), and the
// client's check of the socket it finds there.

#include <QString>

#include "AutomationProtocol.h"
#include "Error.h"

namespace tessik {

inline QString tessikCadSocketPath() { return protocol::socketPath(); }

// A socket that another user could have planted is refused before anything is
// sent: the socket must be ours, and so must its folder, which nobody else may
// write to (else the socket could be swapped under us).
Status checkSocketOwner(const QString& path);

}  // namespace tessik

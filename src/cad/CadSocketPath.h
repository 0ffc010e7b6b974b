#pragma once
// Where tessik-cad listens: $TESSIK_CAD_SOCKET when set (tests run a private
// instance this way), else $XDG_RUNTIME_DIR/tessik/cad.sock, else
// /tmp/tessik-<uid>/cad.sock. tessik-cad computes the same path.

#include <QString>

#include "Error.h"

namespace tessik {

QString tessikCadSocketPath();

// A socket that another user could have planted is refused: the socket file
// must belong to us.
Status checkSocketOwner(const QString& path);

}  // namespace tessik

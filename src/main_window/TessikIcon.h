#pragma once
// The program's own window icon: a mitred elbow, 32 x 32 pixels, 16 colours
// at most.

#include <QIcon>

namespace tessik {

QIcon tessikIcon();

}  // namespace tessik

#pragma once
// Paints a space's entities through a Viewport onto any QPainter (the view,
// an image, a printer). Entities outside the visible area are skipped and
// ones smaller than a pixel become a dot, so a big drawing repaints quickly.

#include <QPainter>

#include "CadDocument.h"
#include "Viewport.h"

namespace tessik::cadhost {

void paintSpace(QPainter& painter, const Viewport& viewport, const CadSpace& space);

}  // namespace tessik::cadhost

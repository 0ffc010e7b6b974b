#pragma once
// Texts of a drawing's picture painted with Qt's fonts: a single-line text
// at its height and rotation (a justified one laid out by its alignment
// point), a multi-line text as its formatted runs laid out in lines from
// its attachment point, each run in its own ink, font, size, width,
// tracking and slant, with its stacks and under-, over- and strike-through
// lines. Both through the text's frame (stretched, slanted or mirrored by
// a block reference).

#include <QColor>
#include <QFont>
#include <QPainter>

#include "model/DxfShapes.h"
#include "render/Viewport.h"

namespace tessik::cadhost {

// The em of font's face in units of text height. A text's height is the
// cap height of the font its style names; a face standing in for another
// is sized as that one would be.
double emPerTextHeight(const QFont& font);

// Paints t with p (no clipping but what the view's size implies); color is
// the foreground ink.
void paintText(QPainter& p, QColor color, const Viewport& viewport, const ShownText& t);

}  // namespace tessik::cadhost

#pragma once
// Draws a space's entities through a Viewport. One traversal turns every
// entity into screen line segments and dots (curves become polylines whose
// chords stray under a quarter of a pixel from them at any zoom, and only
// their stretches that reach the view are traced; entities under a pixel
// become a dot; entities outside the view are skipped), and a sink puts them
// somewhere:
//
// - traceSpace hands them to two callbacks;
// - paintSpace hands them to any QPainter (printing, images, tests) in large
//   batches;
// - rasterizeSpace writes one-pixel lines straight into a 32-bit image, which
//   is what lets the view repaint 100,000 entities in a frame (QPainter
//   spends most of its time per call, not per pixel);
//   circles, arcs and ellipses (whole or partial, of radius up to about a
//   million pixels) skip the chords there and are cut into pixels directly,
//   clipped to the image (CircleRasterizer, EllipseRasterizer).

#include <functional>
#include <vector>

#include <QImage>
#include <QPainter>

#include "model/DrawingDocument.h"
#include "render/SpaceLook.h"
#include "render/Viewport.h"

namespace tessik::cadhost {

using SegmentFn = std::function<void(QPointF, QPointF)>;
using DotFn = std::function<void(QPointF)>;
void traceSpace(const Viewport& viewport, const CadSpace& space, const SegmentFn& line, const DotFn& dot);

void paintSpace(QPainter& painter, const Viewport& viewport, const CadSpace& space);

// The entities at the given indices (those not erased), as paintSpace
// paints them (texts lettered as look says): the selection's highlight,
// over the cached drawing.
void paintEntities(QPainter& painter, const Viewport& viewport, const CadSpace& space,
                   const std::vector<int>& indices, const SpaceLook* look = nullptr);

// image must be Format_RGB32, Format_ARGB32 or Format_ARGB32_Premultiplied, and
// of the viewport's size. Entities before index first are left out (they are
// in the image already). The rows are split into bands (when bands is 0, one
// per core, at most four, for a drawing large enough to gain from it),
// drawn at once by threads (when threads is 0, one per band; never more):
// each band by one thread, its entities in order, so the pixels do not
// depend on which thread draws what. A line that crosses from
// one band into the next is cut where they meet, so its pixels may lie a
// pixel aside from where one band puts them; a circle, an arc or an
// ellipse is cut to each band's rows as pixels, without chords (a dashed
// one is drawn in chords everywhere).
//
// With a look (SpaceLook.h) each entity is drawn in its own ink (color
// standing for the foreground) and dashed by its line type; without one,
// all in color. Where entities of two colours cross, the later one is on top.
void rasterizeSpace(QImage& image, QRgb color, const Viewport& viewport, const CadSpace& space,
                    int first = 0, int bands = 0, int threads = 0, const SpaceLook* look = nullptr);

// The shapes of entities the spaces do not hold (DxfShapes.h), painted over
// the image in their inks (color for the foreground; one-pixel opaque lines
// written straight into a 32-bit image, the rest with a QPainter):
// fills, outlines dashed by their line types, hatch pattern lines, and texts
// in the fonts their styles map to, at their height and rotation; a
// multi-line text laid out from its attachment point and wrapped to its
// width. With lineweights, outlines are as wide as their line weights say
// (at 96 pixels an inch; 0.25 mm and under is one pixel), else one pixel.
void paintExtras(QImage& image, QColor color, const Viewport& viewport, const DrawingExtras& extras,
                 bool lineweights = false);

// The width in pixels a line weight (hundredths of a millimetre) is shown at.
int lineweightPixels(int lineweight);

}  // namespace tessik::cadhost

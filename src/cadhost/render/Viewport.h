#pragma once
// The mapping between drawing (world) coordinates and the pixels of the view,
// free of widgets so it can be tested and reused: world y points up, screen y
// down; a uniform scale (pixels per drawing unit) and the world point shown at
// the centre of the view fix the mapping.

#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include "model/ModelEntity.h"

namespace tessik::cadhost {

class Viewport {
public:
    static constexpr double kMinScale = 1e-9;
    static constexpr double kMaxScale = 1e9;

    void setSize(QSizeF size) { size_ = size; }
    QSizeF size() const { return size_; }
    double scale() const { return scale_; }
    QPointF center() const { return center_; }
    void setView(QPointF worldCenter, double scale);

    QPointF toScreen(double x, double y) const
    {
        return {size_.width() / 2 + (x - center_.x()) * scale_,
                size_.height() / 2 - (y - center_.y()) * scale_};
    }
    QPointF toScreen(QPointF world) const { return toScreen(world.x(), world.y()); }
    QPointF toWorld(QPointF screen) const;

    // Scales by factor keeping the world point under screenPos where it is.
    void zoomAbout(QPointF screenPos, double factor);
    // Moves the drawing by a screen distance (a drag).
    void panBy(QPointF screenDelta);
    // Fits the bounds into the view with a margin on each side; empty bounds
    // show the area around the origin.
    void zoomToBounds(const Bounds& bounds, double marginFraction = 0.05);

    // The world area the view shows.
    Bounds visibleWorld() const;
    // The world area a rectangle of the view's pixels shows.
    Bounds worldBounds(const QRectF& screenArea) const;

private:
    QSizeF size_{640, 480};
    QPointF center_{0, 0};
    double scale_ = 1;
};

}  // namespace tessik::cadhost

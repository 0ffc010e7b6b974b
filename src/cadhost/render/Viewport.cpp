#include "render/Viewport.h"

#include <algorithm>
#include <cmath>

namespace tessik::cadhost {

void Viewport::setView(QPointF worldCenter, double scale)
{
    center_ = worldCenter;
    scale_ = std::clamp(scale, kMinScale, kMaxScale);
}

QPointF Viewport::toWorld(QPointF screen) const
{
    return {center_.x() + (screen.x() - size_.width() / 2) / scale_,
            center_.y() - (screen.y() - size_.height() / 2) / scale_};
}

void Viewport::zoomAbout(QPointF screenPos, double factor)
{
    if (!(factor > 0) || !std::isfinite(factor)) return;
    const QPointF fixed = toWorld(screenPos);
    scale_ = std::clamp(scale_ * factor, kMinScale, kMaxScale);
    // Put the fixed world point back under the cursor.
    const QPointF drift = toScreen(fixed) - screenPos;
    center_ += QPointF(drift.x() / scale_, -drift.y() / scale_);
}

void Viewport::panBy(QPointF screenDelta)
{
    center_ -= QPointF(screenDelta.x() / scale_, -screenDelta.y() / scale_);
}

void Viewport::zoomToBounds(const Bounds& bounds, double marginFraction)
{
    if (bounds.empty()) {
        setView({0, 0}, std::min(size_.width(), size_.height()) / 100.0);
        return;
    }
    const double usableW = size_.width() * (1 - 2 * marginFraction);
    const double usableH = size_.height() * (1 - 2 * marginFraction);
    const double w = bounds.width(), h = bounds.height();
    double scale;
    if (w <= 0 && h <= 0)
        scale = scale_;  // a single point: keep the zoom, just centre it
    else if (w <= 0)
        scale = usableH / h;
    else if (h <= 0)
        scale = usableW / w;
    else
        scale = std::min(usableW / w, usableH / h);
    setView({(bounds.minX + bounds.maxX) / 2, (bounds.minY + bounds.maxY) / 2}, scale);
}

Bounds Viewport::visibleWorld() const { return worldBounds(QRectF(QPointF(), size_)); }

Bounds Viewport::worldBounds(const QRectF& screenArea) const
{
    Bounds b;
    const QPointF a = toWorld(screenArea.topLeft()), c = toWorld(screenArea.bottomRight());
    b.add(a.x(), a.y());
    b.add(c.x(), c.y());
    return b;
}

}  // namespace tessik::cadhost

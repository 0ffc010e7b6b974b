#include "DrawingPainter.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include <QPolygonF>

namespace tessik::cadhost {

namespace {

class EntityPainter {
public:
    EntityPainter(QPainter& painter, const Viewport& viewport)
        : p_(painter), v_(viewport), visible_(viewport.visibleWorld())
    {
    }

    void operator()(const CadLine& l)
    {
        Bounds b;
        b.add(l.start[0], l.start[1]);
        b.add(l.end[0], l.end[1]);
        if (!b.intersects(visible_)) return;
        p_.drawLine(QLineF(v_.toScreen(l.start[0], l.start[1]), v_.toScreen(l.end[0], l.end[1])));
    }

    void operator()(const CadCircle& c)
    {
        if (!roughlyVisible(c.center, c.radius)) return;
        const double r = c.radius * v_.scale();
        const QPointF centre = v_.toScreen(c.center[0], c.center[1]);
        if (r < 0.5) {
            p_.drawPoint(centre);
            return;
        }
        p_.drawEllipse(centre, r, r);
    }

    void operator()(const CadArc& a)
    {
        if (!roughlyVisible(a.center, a.radius)) return;
        const double r = a.radius * v_.scale();
        const QPointF centre = v_.toScreen(a.center[0], a.center[1]);
        if (r < 0.5) {
            p_.drawPoint(centre);
            return;
        }
        // Qt measures arc angles counter-clockwise as seen on screen, which
        // is counter-clockwise in the world too since only y is mirrored.
        constexpr double kSixteenthsPerRadian = 16.0 * 180.0 / (kTwoPi / 2);
        const double span = sweep(a.startAngle, a.endAngle);
        p_.drawArc(QRectF(centre.x() - r, centre.y() - r, 2 * r, 2 * r),
                   static_cast<int>(std::lround(a.startAngle * kSixteenthsPerRadian)),
                   static_cast<int>(std::lround(span * kSixteenthsPerRadian)));
    }

    void operator()(const CadEllipse& e)
    {
        const double major = std::hypot(e.majorAxis[0], e.majorAxis[1]);
        if (!roughlyVisible(e.center, major)) return;
        const double pixels = major * v_.scale();
        if (pixels < 0.5) {
            p_.drawPoint(v_.toScreen(e.center[0], e.center[1]));
            return;
        }
        const double span = sweep(e.startParam, e.endParam);
        // Enough segments that the chord error stays under about half a pixel.
        const int segments =
            std::clamp(static_cast<int>(std::ceil(span * std::sqrt(pixels))), 4, 512);
        polygon_.resize(segments + 1);
        for (int i = 0; i <= segments; ++i) {
            const Point3 pt = ellipsePoint(e, e.startParam + span * i / segments);
            polygon_[i] = v_.toScreen(pt[0], pt[1]);
        }
        p_.drawPolyline(polygon_);
    }

private:
    bool roughlyVisible(const Point3& c, double r) const
    {
        Bounds b;
        b.add(c[0] - r, c[1] - r);
        b.add(c[0] + r, c[1] + r);
        return b.intersects(visible_);
    }

    QPainter& p_;
    const Viewport& v_;
    Bounds visible_;
    QPolygonF polygon_;
};

}  // namespace

void paintSpace(QPainter& painter, const Viewport& viewport, const CadSpace& space)
{
    EntityPainter entityPainter(painter, viewport);
    for (const CadEntity& entity : space.entities()) std::visit(entityPainter, entity);
}

}  // namespace tessik::cadhost

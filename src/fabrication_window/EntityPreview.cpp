#include "EntityPreview.h"

#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace tessik {

EntityPreview::EntityPreview(QSize least, QSize hint, QWidget* parent) : QWidget(parent), hint_(hint)
{
    setMinimumSize(least);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void EntityPreview::setEntities(std::vector<LayeredEntity> entities)
{
    entities_ = std::move(entities);
    extents_ = templateExtents(entities_);
    update();
}

int EntityPreview::textPixels(double truePixels, const std::function<QRectF(int)>& boxAt,
                              const std::vector<QPainterPath>& outlines)
{
    if (!(truePixels > 0)) return 0;
    if (truePixels >= kLeastTextPixels) return std::min(static_cast<int>(truePixels), kMostTextPixels);
    const QRectF box = boxAt(kLeastTextPixels);
    const bool crosses = std::any_of(outlines.begin(), outlines.end(), [&](const QPainterPath& outline) {
        return outline.intersects(box) && !outline.contains(box);
    });
    return crosses ? 0 : kLeastTextPixels;
}

void EntityPreview::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    const double w = extents_.maxX - extents_.minX, h = extents_.maxY - extents_.minY;
    if (entities_.empty() || !(w > 0) || !(h > 0)) return;
    p.setRenderHint(QPainter::Antialiasing);
    const double margin = 8;
    const double scale = std::min((width() - 2 * margin) / w, (height() - 2 * margin) / h);
    const double left = (width() - w * scale) / 2, bottom = (height() + h * scale) / 2;
    const auto at = [&](double x, double y) {
        return QPointF(left + (x - extents_.minX) * scale, bottom - (y - extents_.minY) * scale);
    };

    std::vector<QPainterPath> outlines;
    for (const LayeredEntity& e : entities_) {
        if (const auto* line = std::get_if<entities::Polyline>(&e.entity)) {
            QPolygonF drawn;
            for (const entities::PolylineVertex& v : line->vertices) drawn << at(v.x, v.y);
            if (!line->closed) {
                p.setPen(QPen(QColor(0, 0, 160), 1));
                p.drawPolyline(drawn);
                continue;
            }
            const bool stock = e.layer == kStockLayer;
            p.setPen(QPen(stock ? QColor(110, 110, 110) : QColor(200, 0, 0), stock ? 1.0 : 1.2));
            p.setBrush(stock ? QColor(245, 245, 245) : QColor(255, 240, 235));
            p.drawPolygon(drawn);
            if (!stock) {
                QPainterPath path;
                path.addPolygon(drawn);
                path.closeSubpath();
                outlines.push_back(path);
            }
        } else if (const auto* l = std::get_if<entities::Line>(&e.entity)) {
            p.setPen(QPen(QColor(0, 60, 190), 1, Qt::DashLine));
            p.drawLine(at(l->start[0], l->start[1]), at(l->end[0], l->end[1]));
        }
    }
    // Texts last, judged against every outline.
    p.setPen(Qt::black);
    for (const LayeredEntity& e : entities_) {
        const auto* text = std::get_if<entities::Text>(&e.entity);
        if (!text) continue;
        const QString words = QString::fromStdString(text->text);
        const QPointF base = at(text->insertion[0], text->insertion[1]);
        QFont font = p.font();
        const auto boxAt = [&](int pixels) {
            font.setPixelSize(pixels);
            const QFontMetricsF metrics(font);
            return QRectF(base.x(), base.y() - metrics.ascent(), metrics.horizontalAdvance(words),
                          metrics.ascent() + metrics.descent());
        };
        const int pixels = textPixels(text->height * scale, boxAt, outlines);
        if (pixels == 0) continue;
        font.setPixelSize(pixels);
        p.setFont(font);
        p.drawText(base, words);
    }
}

}  // namespace tessik

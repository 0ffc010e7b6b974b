#include "NestPreview.h"

#include <QPainter>
#include <algorithm>

namespace tessik {

NestPreview::NestPreview(QWidget* parent) : QWidget(parent)
{
    setMinimumSize(320, 120);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void NestPreview::setEntities(std::vector<LayeredEntity> entities)
{
    entities_ = std::move(entities);
    extents_ = templateExtents(entities_);
    update();
}

void NestPreview::paintEvent(QPaintEvent*)
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
    for (const LayeredEntity& e : entities_) {
        if (const auto* line = std::get_if<entities::Polyline>(&e.entity)) {
            QPolygonF drawn;
            for (const entities::PolylineVertex& v : line->vertices) drawn << at(v.x, v.y);
            const bool stock = e.layer == kStockLayer;
            p.setPen(QPen(stock ? QColor(110, 110, 110) : QColor(200, 0, 0), stock ? 1.0 : 1.2));
            p.setBrush(stock ? QColor(245, 245, 245) : QColor(255, 240, 235));
            p.drawPolygon(drawn);
        } else if (const auto* text = std::get_if<entities::Text>(&e.entity)) {
            QFont font = p.font();
            font.setPixelSize(std::clamp(int(text->height * scale), 8, 12));
            p.setFont(font);
            p.setPen(Qt::black);
            p.drawText(at(text->insertion[0], text->insertion[1]), QString::fromStdString(text->text));
        }
    }
}

}  // namespace tessik

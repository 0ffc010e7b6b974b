#include "TemplatePreview.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace tessik {

TemplatePreview::TemplatePreview(QWidget* parent) : QWidget(parent)
{
    setMinimumSize(320, 180);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void TemplatePreview::setSheet(const TemplateSheet& sheet)
{
    sheet_ = sheet;
    update();
}

void TemplatePreview::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    if (sheet_.pieces.empty() || sheet_.width <= 0 || sheet_.height <= 0) return;
    p.setRenderHint(QPainter::Antialiasing);
    const double margin = 10;
    const double scale = std::min((width() - 2 * margin) / sheet_.width, (height() - 2 * margin) / sheet_.height);
    const double left = (width() - sheet_.width * scale) / 2;
    const double bottom = (height() + sheet_.height * scale) / 2;
    const auto at = [&](const TemplatePoint& v) { return QPointF(left + v.x * scale, bottom - v.y * scale); };
    for (const PieceTemplate& t : sheet_.pieces) {
        QPolygonF outline;
        for (const TemplatePoint& v : t.outline) outline << at(v);
        p.setPen(QPen(QColor(200, 0, 0), 1.2));
        p.setBrush(QColor(255, 240, 235));
        p.drawPolygon(outline);
        p.setPen(QPen(QColor(0, 60, 190), 1, Qt::DashLine));
        for (const TemplateSegment& m : t.marks) p.drawLine(at(m.start), at(m.end));
        p.setPen(QPen(QColor(0, 0, 160), 1));
        for (const auto& line : t.surfaceLines) {
            QPolygonF drawn;
            for (const TemplatePoint& v : line) drawn << at(v);
            p.drawPolyline(drawn);
        }
        QFont font = p.font();
        font.setPixelSize(std::clamp(int(t.labelHeight * scale), 9, 14));
        p.setFont(font);
        p.setPen(Qt::black);
        p.drawText(at(t.labelAt), QString::fromStdString(t.label));
        // The piece's name where the template holds it; the other notes are too small to read here.
        for (const TemplateText& n : t.notes) {
            if (n.text != t.name) continue;
            font.setPixelSize(std::clamp(int(n.height * scale), 7, 14));
            p.setFont(font);
            p.drawText(at(n.at), QString::fromStdString(n.text));
        }
    }
}

}  // namespace tessik

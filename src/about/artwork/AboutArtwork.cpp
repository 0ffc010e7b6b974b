// Draws the About dialog's pictures into a folder:
//   elbow-front.png, elbow-side.png, elbow-template.png, elbow-wireframe.png
//     four 100 x 100 line drawings of one mitred elbow (90 degrees, two middle
//     segments, outer diameter 100, bend radius 150);
//   elbow-photo.png   a shaded, grainy 100 x 100 rendering of the same elbow;
//   banner.png        the 263 x 19 two-colour strip on a transparent background;
//   hand.png          the 32 x 32 pointing-hand cursor, fingertip at (12, 1).
//
// The pictures are drawn once and kept as resources beside the dialog; run
// this again (target tessik_about_artwork) only to change them:
//   cmake --build build --target tessik_about_artwork
//   QT_QPA_PLATFORM=offscreen build/src/about/tessik_about_artwork src/about/pictures

#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRadialGradient>
#include <QRandomGenerator>
#include <QTextStream>
#include <cmath>
#include <vector>

namespace {

constexpr double kDiameter = 100;
constexpr double kBendRadius = 150;
constexpr double kBendAngle = 90;
constexpr int kMiddleSegments = 2;
constexpr double kDegree = M_PI / 180;
constexpr double kHalfSegment = kBendAngle / (kMiddleSegments + 1) / 2;
constexpr double kInner = kBendRadius - kDiameter / 2;
constexpr double kOuter = kBendRadius + kDiameter / 2;

// Angles (degrees) of the cut planes through the bend centre: the two end
// faces and the mitre joints between them.
std::vector<double> cutAngles()
{
    const double segment = kBendAngle / (kMiddleSegments + 1);
    std::vector<double> angles{0};
    for (int j = 0; j <= kMiddleSegments; ++j) angles.push_back(segment / 2 + j * segment);
    angles.push_back(kBendAngle);
    return angles;
}

// Distance from the bend centre to the edge line at radius r where it meets
// cut k: the straight pieces touch radius r, so the joints lie further out.
double edgeDistance(double r, std::size_t k, std::size_t cuts)
{
    const bool endFace = k == 0 || k + 1 == cuts;
    return endFace ? r : r / std::cos(kHalfSegment * kDegree);
}

QPointF polar(double r, double degrees)
{
    return {r * std::cos(degrees * kDegree), r * std::sin(degrees * kDegree)};
}

// Maps elbow millimetres (y up) into a 100 x 100 picture with a margin.
struct PictureFrame {
    double scale;
    QPointF origin;
    QPointF operator()(QPointF p) const { return {origin.x() + p.x() * scale, origin.y() - p.y() * scale}; }
};

QImage whiteSheet()
{
    QImage image(100, 100, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

void caption(QPainter& painter, const QString& text)
{
    QFont font(QStringLiteral("WenQuanYi Micro Hei"));
    font.setPixelSize(11);
    painter.setFont(font);
    painter.setPen(QColor(40, 40, 40));
    painter.drawText(QRect(0, 86, 100, 14), Qt::AlignCenter, text);
}

QPen linePen(QColor colour = QColor(0, 0, 0), double width = 1.2)
{
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

QPen centrePen()
{
    QPen pen(QColor(200, 0, 0), 0.8);
    pen.setDashPattern({8, 2, 1.5, 2});
    return pen;
}

// Front view: the outline of the four straight pieces, the joint lines and
// the dash-dot pipe axis.
QImage frontView()
{
    QImage image = whiteSheet();
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const PictureFrame frame{0.36, QPointF(8, 82)};
    const auto cuts = cutAngles();

    painter.setPen(linePen());
    for (double r : {kInner, kOuter}) {
        QPolygonF edge;
        for (std::size_t k = 0; k < cuts.size(); ++k) edge << frame(polar(edgeDistance(r, k, cuts.size()), cuts[k]));
        painter.drawPolyline(edge);
    }
    for (std::size_t k = 0; k < cuts.size(); ++k) {
        painter.drawLine(frame(polar(edgeDistance(kInner, k, cuts.size()), cuts[k])),
                         frame(polar(edgeDistance(kOuter, k, cuts.size()), cuts[k])));
    }
    QPolygonF axis;
    for (std::size_t k = 0; k < cuts.size(); ++k) axis << frame(polar(edgeDistance(kBendRadius, k, cuts.size()), cuts[k]));
    painter.setPen(centrePen());
    painter.drawPolyline(axis);
    painter.drawLine(frame(QPointF(0, 0)), frame(polar(kBendRadius, 0)));
    painter.drawLine(frame(QPointF(0, 0)), frame(polar(kBendRadius, 90)));
    caption(painter, QStringLiteral("主视图"));
    return image;
}

// Side view along the inlet axis: the outlet face seen as a circle, the
// mitre joints as ellipses, the pipe's silhouette as two lines.
QImage sideView()
{
    QImage image = whiteSheet();
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const PictureFrame frame{0.36, QPointF(50, 80)};
    const auto cuts = cutAngles();

    painter.setPen(linePen());
    painter.drawLine(frame(QPointF(-kDiameter / 2, 0)), frame(QPointF(-kDiameter / 2, kBendRadius)));
    painter.drawLine(frame(QPointF(kDiameter / 2, 0)), frame(QPointF(kDiameter / 2, kBendRadius)));
    for (std::size_t k = 1; k < cuts.size(); ++k) {
        const bool outlet = k + 1 == cuts.size();
        const double reach = outlet ? kBendRadius : kBendRadius / std::cos(kHalfSegment * kDegree);
        const double halfDepth = (outlet ? kDiameter / 2 : kDiameter / 2 / std::cos(kHalfSegment * kDegree))
                                 * (outlet ? 1.0 : std::sin(cuts[k] * kDegree));
        const QPointF centre = frame(QPointF(0, reach * std::sin(cuts[k] * kDegree)));
        const QRectF box(centre.x() - kDiameter / 2 * frame.scale, centre.y() - halfDepth * frame.scale,
                         kDiameter * frame.scale, 2 * halfDepth * frame.scale);
        painter.setPen(linePen());
        painter.drawArc(box, 180 * 16, 180 * 16);
        QPen hidden = linePen(QColor(0, 0, 0), 0.8);
        hidden.setStyle(outlet ? Qt::SolidLine : Qt::DashLine);
        painter.setPen(hidden);
        painter.drawArc(box, 0, 180 * 16);
    }
    painter.setPen(centrePen());
    painter.drawLine(frame(QPointF(0, -8)), frame(QPointF(0, kBendRadius + kDiameter / 2 + 8)));
    painter.drawLine(frame(QPointF(-kDiameter / 2 - 8, kBendRadius)), frame(QPointF(kDiameter / 2 + 8, kBendRadius)));
    caption(painter, QStringLiteral("左视图"));
    return image;
}

// Cutting template of one middle segment: the pipe's circumference unrolled,
// each mitre becoming a cosine curve.
QImage cuttingTemplate()
{
    QImage image = whiteSheet();
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const double circumference = M_PI * kDiameter;
    const double scale = 88 / circumference;
    const QPointF middle(6, 45);
    auto curve = [&](double sign) {
        QPolygonF line;
        for (int i = 0; i <= 64; ++i) {
            const double t = 2 * M_PI * i / 64;
            const double half = (kBendRadius + kDiameter / 2 * std::cos(t)) * std::tan(kHalfSegment * kDegree);
            line << QPointF(middle.x() + t / (2 * M_PI) * circumference * scale, middle.y() - sign * half * scale);
        }
        return line;
    };
    const QPolygonF top = curve(1);
    const QPolygonF bottom = curve(-1);
    painter.setPen(QPen(QColor(150, 170, 210), 0.6));
    for (int i = 0; i <= 8; ++i) {
        const int step = i * 8;
        painter.drawLine(top[step], bottom[step]);
    }
    painter.setPen(linePen(QColor(0, 0, 0), 1.1));
    painter.drawPolyline(top);
    painter.drawPolyline(bottom);
    painter.drawLine(top.first(), bottom.first());
    painter.drawLine(top.last(), bottom.last());
    painter.setPen(centrePen());
    painter.drawLine(QPointF(2, middle.y()), QPointF(98, middle.y()));
    caption(painter, QStringLiteral("展开图"));
    return image;
}

struct Point3 {
    double x, y, z;
};

// The cut section k as a ring of points: a circle of the pipe stretched
// along the cut plane by the mitre.
std::vector<Point3> section(std::size_t k, const std::vector<double>& cuts, int count)
{
    const bool endFace = k == 0 || k + 1 == cuts.size();
    const double stretch = endFace ? 1.0 : 1.0 / std::cos(kHalfSegment * kDegree);
    const double reach = kBendRadius * stretch;
    const double c = std::cos(cuts[k] * kDegree);
    const double s = std::sin(cuts[k] * kDegree);
    std::vector<Point3> ring;
    for (int i = 0; i < count; ++i) {
        const double t = 2 * M_PI * i / count;
        const double along = reach + kDiameter / 2 * stretch * std::cos(t);
        ring.push_back({along * c, along * s, kDiameter / 2 * std::sin(t)});
    }
    return ring;
}

QPointF oblique(const Point3& p, const PictureFrame& frame)
{
    return frame(QPointF(p.x + 0.5 * p.z, p.y + 0.35 * p.z));
}

// Wire-frame view: the cut sections as rings joined by generator lines.
QImage wireframe()
{
    QImage image = whiteSheet();
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const PictureFrame frame{0.33, QPointF(14, 80)};
    const auto cuts = cutAngles();
    constexpr int kRing = 48;
    std::vector<std::vector<Point3>> rings;
    for (std::size_t k = 0; k < cuts.size(); ++k) rings.push_back(section(k, cuts, kRing));

    painter.setPen(QPen(QColor(0, 70, 160), 0.6));
    for (std::size_t k = 0; k + 1 < rings.size(); ++k) {
        for (int i = 0; i < kRing; i += 6) painter.drawLine(oblique(rings[k][i], frame), oblique(rings[k + 1][i], frame));
    }
    painter.setPen(linePen(QColor(0, 0, 0), 1.0));
    for (const auto& ring : rings) {
        QPolygonF outline;
        for (const auto& p : ring) outline << oblique(p, frame);
        painter.drawPolygon(outline);
    }
    caption(painter, QStringLiteral("轴测图"));
    return image;
}

// A shaded rendering in the manner of a photograph: polished pipe pieces
// under a soft light on a workshop-grey background, weld seams, film grain.
QImage photograph()
{
    QImage image(100, 100, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QRadialGradient backdrop(QPointF(70, 25), 110);
    backdrop.setColorAt(0, QColor(205, 200, 190));
    backdrop.setColorAt(1, QColor(85, 82, 78));
    painter.fillRect(image.rect(), backdrop);

    const PictureFrame frame{0.38, QPointF(8, 84)};
    const auto cuts = cutAngles();

    QRadialGradient shadow(QPointF(45, 90), 40);
    shadow.setColorAt(0, QColor(0, 0, 0, 110));
    shadow.setColorAt(1, QColor(0, 0, 0, 0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(shadow);
    painter.drawEllipse(QPointF(45, 90), 45, 8);

    for (std::size_t k = 0; k + 1 < cuts.size(); ++k) {
        const QPointF a1 = frame(polar(edgeDistance(kInner, k, cuts.size()), cuts[k]));
        const QPointF a2 = frame(polar(edgeDistance(kOuter, k, cuts.size()), cuts[k]));
        const QPointF b1 = frame(polar(edgeDistance(kInner, k + 1, cuts.size()), cuts[k + 1]));
        const QPointF b2 = frame(polar(edgeDistance(kOuter, k + 1, cuts.size()), cuts[k + 1]));
        // Light across the piece, from its inner edge to its outer edge.
        const QPointF from = (a1 + b1) / 2;
        const QPointF to = (a2 + b2) / 2;
        QLinearGradient metal(from, to);
        metal.setColorAt(0.0, QColor(55, 60, 66));
        metal.setColorAt(0.35, QColor(150, 158, 166));
        metal.setColorAt(0.55, QColor(235, 238, 240));
        metal.setColorAt(0.75, QColor(140, 146, 152));
        metal.setColorAt(1.0, QColor(45, 48, 52));
        painter.setPen(Qt::NoPen);
        painter.setBrush(metal);
        painter.drawPolygon(QPolygonF{a1, a2, b2, b1});
    }
    painter.setPen(QPen(QColor(70, 55, 40), 1.6));
    for (std::size_t k = 1; k + 1 < cuts.size(); ++k) {
        painter.drawLine(frame(polar(edgeDistance(kInner, k, cuts.size()), cuts[k])),
                         frame(polar(edgeDistance(kOuter, k, cuts.size()), cuts[k])));
    }
    // The cut end faces catch the light as thin bright rims.
    painter.setPen(QPen(QColor(225, 228, 230), 1.2));
    for (double angle : {cuts.front(), cuts.back()}) painter.drawLine(frame(polar(kInner, angle)), frame(polar(kOuter, angle)));
    painter.end();

    // Grain with a fixed seed, so a redraw gives the same picture.
    QRandomGenerator grain(20060308);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int n = static_cast<int>(grain.bounded(13)) - 6;
            const QRgb c = line[x];
            line[x] = qRgb(qBound(0, qRed(c) + n, 255), qBound(0, qGreen(c) + n, 255), qBound(0, qBlue(c) + n, 255));
        }
    }
    return image;
}

// The strip under the separator: a small elbow mark and the product line in
// dark blue, a red rule, nothing else; the rest is transparent.
QImage banner()
{
    QImage image(263, 19, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    const QColor blue(0, 51, 153);
    const QColor red(204, 0, 0);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, false);
    painter.setPen(QPen(blue, 2, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    painter.drawPolyline(QPolygon{QPoint(2, 3), QPoint(9, 3), QPoint(13, 6), QPoint(15, 11), QPoint(15, 16)});
    painter.drawPolyline(QPolygon{QPoint(2, 8), QPoint(7, 8), QPoint(9, 10), QPoint(10, 13), QPoint(10, 16)});
    QFont font(QStringLiteral("WenQuanYi Micro Hei"));
    font.setPixelSize(12);
    font.setStyleStrategy(QFont::NoAntialias);
    painter.setFont(font);
    painter.drawText(QRect(22, 0, 200, 17), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Tessik · 分节弯头设计"));
    painter.setPen(QPen(red, 1));
    painter.drawLine(QPoint(170, 14), QPoint(260, 14));
    painter.drawLine(QPoint(170, 11), QPoint(220, 11));
    return image;
}

// White hand with a black outline, the index finger pointing up, its tip at
// (12, 1).
QImage handCursor()
{
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainterPath hand;
    hand.moveTo(10, 3);
    hand.quadTo(10, 1, 12, 1);
    hand.quadTo(14, 1, 14, 3);
    hand.lineTo(14, 11);
    hand.quadTo(15, 9.5, 16.5, 10);
    hand.quadTo(18, 10.5, 18, 12);
    hand.quadTo(19, 10.5, 20.5, 11);
    hand.quadTo(22, 11.5, 22, 13);
    hand.quadTo(23, 12, 24.5, 12.5);
    hand.quadTo(26, 13.5, 26, 15);
    hand.lineTo(26, 21);
    hand.quadTo(26, 25, 23, 27);
    hand.lineTo(23, 30);
    hand.lineTo(12, 30);
    hand.lineTo(12, 27);
    hand.quadTo(9, 25, 6, 20);
    hand.quadTo(4, 17, 5, 16);
    hand.quadTo(6.5, 15, 8, 16.5);
    hand.lineTo(10, 19);
    hand.closeSubpath();
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 1.2));
    painter.setBrush(Qt::white);
    painter.drawPath(hand);
    painter.setPen(QPen(Qt::black, 0.8));
    painter.drawLine(QPointF(18, 13), QPointF(18, 18));
    painter.drawLine(QPointF(22, 14), QPointF(22, 18));
    return image;
}

}  // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    QTextStream err(stderr);
    if (argc != 2) {
        err << "usage: tessik_about_artwork <output folder>\n";
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.exists() && !QDir().mkpath(out.path())) {
        err << "cannot create " << out.path() << "\n";
        return 1;
    }
    const std::pair<const char*, QImage> pictures[] = {
        {"elbow-front.png", frontView()}, {"elbow-side.png", sideView()},
        {"elbow-template.png", cuttingTemplate()}, {"elbow-wireframe.png", wireframe()},
        {"elbow-photo.png", photograph()}, {"banner.png", banner()},
        {"hand.png", handCursor()},
    };
    for (const auto& [name, image] : pictures) {
        const QString path = out.filePath(QString::fromLatin1(name));
        if (!image.save(path, "PNG")) {
            err << "cannot write " << path << "\n";
            return 1;
        }
    }
    return 0;
}

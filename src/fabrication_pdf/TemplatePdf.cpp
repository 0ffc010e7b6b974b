#include "TemplatePdf.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>

#include <QBuffer>
#include <QFont>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>

#include "FileAccess.h"
#include "NumberText.h"
#include "ToolConstants.h"

namespace tessik {
namespace {

constexpr int kResolution = 1200;  // dots per inch of the PDF's device space
constexpr double kPad = 5;         // mm of paper round the sheet before tiling
constexpr const char* kFontFamily = "WenQuanYi Micro Hei";

QString q(const std::string& s) { return QString::fromStdString(s); }

std::string fixed(double v, int decimals = 1)
{
    if (!std::isfinite(v)) return "-";
    return QString::number(v, 'f', decimals).toStdString();
}

int pageCount(const TileLayout& t) { return t.columns * t.rows; }

TileLayout layoutFor(double sheetWidth, double sheetHeight, double pageWidth, double pageHeight)
{
    TileLayout t;
    t.pageWidth = pageWidth;
    t.pageHeight = pageHeight;
    t.tileWidth = pageWidth - 2 * kPdfPageMargin;
    t.tileHeight = pageHeight - 2 * kPdfPageMargin - kPdfFooter;
    const auto count = [](double length, double tile) {
        return length <= tile ? 1 : static_cast<int>(std::ceil((length - kPdfTileOverlap) / (tile - kPdfTileOverlap)));
    };
    t.columns = count(sheetWidth, t.tileWidth);
    t.rows = count(sheetHeight, t.tileHeight);
    return t;
}

// Page drawing in millimetres, y down from the page's top-left corner.
class MmPainter {
public:
    explicit MmPainter(QPainter& p) : p_(p) {}
    static double u(double mm) { return mm * kResolution / 25.4; }
    static QPointF at(double x, double y) { return {u(x), u(y)}; }

    void pen(double width, QColor color = Qt::black, Qt::PenStyle style = Qt::SolidLine)
    {
        QPen pen(color, u(width), style, Qt::FlatCap, Qt::MiterJoin);
        p_.setPen(pen);
    }
    void line(double x1, double y1, double x2, double y2) { p_.drawLine(at(x1, y1), at(x2, y2)); }
    void rect(double x, double y, double w, double h, bool filled = false)
    {
        p_.setBrush(filled ? QBrush(Qt::black) : QBrush(Qt::NoBrush));
        p_.drawRect(QRectF(at(x, y), at(x + w, y + h)));
        p_.setBrush(Qt::NoBrush);
    }
    // Text with its baseline's left end at (x, y), height in mm.
    void text(double x, double y, double height, const std::string& s, QColor color = Qt::black)
    {
        QFont font(kFontFamily);
        font.setPixelSize(std::max(1, static_cast<int>(std::lround(u(height)))));
        p_.setFont(font);
        p_.setPen(color);
        p_.drawText(at(x, y), q(s));
    }
    QPainter& raw() { return p_; }

private:
    QPainter& p_;
};

// Every page: the 100 mm scale bar with 10 mm ticks and the printing note.
void drawFooter(MmPainter& m, const TileLayout& t, const std::string& pageLabel)
{
    const double base = t.pageHeight - kPdfPageMargin;  // bottom of the footer band
    const double barY = base - 12;
    const double x0 = kPdfPageMargin;
    m.pen(0.5);
    m.line(x0, barY, x0 + 100, barY);
    for (int i = 0; i <= 10; ++i) {
        m.pen(0.25);
        m.line(x0 + 10 * i, barY, x0 + 10 * i, barY - (i % 5 ? 2.5 : 4.5));
    }
    m.text(x0, barY + 4.5, 3, "0");
    m.text(x0 + 92, barY + 4.5, 3, "100 mm");
    m.text(x0, base - 1, 3.2, kPrintNote);
    m.text(x0 + 104, barY, 4, pageLabel);
}

// The small map of the tiles with this one filled.
void drawMap(MmPainter& m, const TileLayout& t, int column, int row)
{
    const double cell = std::min(3.0, std::min(40.0 / t.columns, 14.0 / t.rows));
    const double x0 = t.pageWidth - kPdfPageMargin - cell * t.columns;
    const double y0 = t.pageHeight - kPdfPageMargin - 4 - cell * t.rows;
    m.pen(0.1);
    if (t.columns * t.rows <= 400) {
        for (int r = 0; r < t.rows; ++r)
            for (int c = 0; c < t.columns; ++c) m.rect(x0 + c * cell, y0 + r * cell, cell, cell);
    } else {
        m.rect(x0, y0, cell * t.columns, cell * t.rows);
    }
    m.rect(x0 + column * cell, y0 + row * cell, cell, cell, true);
}

struct SheetWindow {
    double x0, y0, x1, y1;  // sheet coordinates shown on this page
    double left, top;       // page position (mm) of (x0, y1)
    QPointF at(double x, double y) const { return MmPainter::at(left + (x - x0), top + (y1 - y)); }
};

void drawSheet(MmPainter& m, const TemplateSheet& sheet, const SheetWindow& w)
{
    QPainter& p = m.raw();
    p.save();
    p.setClipRect(QRectF(MmPainter::at(w.left, w.top), MmPainter::at(w.left + (w.x1 - w.x0), w.top + (w.y1 - w.y0))));
    for (const PieceTemplate& t : sheet.pieces) {
        double low = t.labelAt.y, high = t.labelAt.y;
        for (const TemplatePoint& v : t.outline) {
            low = std::min(low, v.y);
            high = std::max(high, v.y);
        }
        if (high < w.y0 || low > w.y1) continue;
        QPolygonF outline;
        for (const TemplatePoint& v : t.outline) outline << w.at(v.x, v.y);
        m.pen(0.35, QColor(200, 0, 0));
        p.drawPolygon(outline);
        m.pen(0.25, QColor(0, 60, 190), Qt::DashLine);
        for (const TemplateSegment& s : t.marks) p.drawLine(w.at(s.start.x, s.start.y), w.at(s.end.x, s.end.y));
        const QPointF labelAt = w.at(t.labelAt.x, t.labelAt.y);
        m.text(labelAt.x() * 25.4 / kResolution, labelAt.y() * 25.4 / kResolution, t.labelHeight, t.label);
    }
    p.restore();
}

// Ticks every 10 mm of the sheet along the tile's four edges, longer every 50.
void drawEdgeGrid(MmPainter& m, const SheetWindow& w)
{
    const double right = w.left + (w.x1 - w.x0), bottom = w.top + (w.y1 - w.y0);
    m.pen(0.15, QColor(90, 90, 90));
    for (double x = std::ceil(w.x0 / 10) * 10; x <= w.x1 + 1e-9; x += 10) {
        const double px = w.left + (x - w.x0);
        const double len = std::fmod(std::fabs(x), 50) < 1e-6 ? 4 : 2;
        m.line(px, w.top, px, w.top + len);
        m.line(px, bottom, px, bottom - len);
    }
    for (double y = std::ceil(w.y0 / 10) * 10; y <= w.y1 + 1e-9; y += 10) {
        const double py = w.top + (w.y1 - y);
        const double len = std::fmod(std::fabs(y), 50) < 1e-6 ? 4 : 2;
        m.line(w.left, py, w.left + len, py);
        m.line(right, py, right - len, py);
    }
    m.pen(0.2);
    m.rect(w.left, w.top, right - w.left, bottom - w.top);
}

// A circled cross in the middle of every overlap band; neighbouring pages
// carry the same crosses at the same sheet points.
void drawAlignmentMarks(MmPainter& m, const SheetWindow& w, const std::vector<double>& xs, const std::vector<double>& ys)
{
    m.pen(0.2, QColor(190, 0, 190));
    const double cx = (w.x0 + w.x1) / 2, cy = (w.y0 + w.y1) / 2;
    const auto cross = [&](double x, double y) {
        if (x < w.x0 || x > w.x1 || y < w.y0 || y > w.y1) return;
        const QPointF c = w.at(x, y);
        const double px = c.x() * 25.4 / kResolution, py = c.y() * 25.4 / kResolution;
        m.line(px - 4, py, px + 4, py);
        m.line(px, py - 4, px, py + 4);
        m.raw().drawEllipse(c, MmPainter::u(2.5), MmPainter::u(2.5));
    };
    for (const double x : xs) cross(x, cy);
    for (const double y : ys) cross(cx, y);
}

// The lines under the piece table: angles, joints, lengths, weight, warnings.
std::vector<std::string> fabricationFacts(const ElbowFabrication& f)
{
    std::vector<std::string> facts = {
        "切角 " + fixed(f.cutAngle, 4) + " 度，焊口 " + std::to_string(f.joints) + " 道，样板直径 " +
            fixed(f.templateDiameter) + " mm，样板展开长 " + fixed(f.templateWidth) + " mm",
        "切口回缩 " + fixed(f.cutback, 2) + " mm，每道焊缝长 " + fixed(f.weldPerJoint, 2) + " mm，焊缝总长 " +
            fixed(f.weldTotal, 1) + " mm，所需管长 " + fixed(f.pipeLength, 1) + " mm（相邻节转 180 度共用切口，不计割缝）"};
    if (f.weight) facts.push_back("管段重量 " + fixed(*f.weight, 2) + " kg");
    for (const std::string& w : f.warnings) facts.push_back("注意：" + warningText(w));
    return facts;
}

// The title, the piece table and the facts; where the ordinate table starts.
double drawSummary(MmPainter& m, const ElbowFabrication& f, double x0)
{
    double y = kPdfPageMargin + 10;
    m.text(x0, y, 6, std::string("下料表 - ") + kProgramTitle);
    y += 10;
    const double cols[] = {0, 22, 40, 75, 110};
    const char* heads[] = {"节", "数量", "中心线长 mm", "长边 mm", "短边 mm"};
    for (int i = 0; i < 5; ++i) m.text(x0 + cols[i], y, 3.5, heads[i]);
    y += 5.5;
    for (const PieceLengths& p : f.pieces) {
        const std::string cells[] = {pieceName(p.kind), std::to_string(p.count), fixed(p.centerline),
                                     fixed(p.longSide), fixed(p.shortSide)};
        for (int i = 0; i < 5; ++i) m.text(x0 + cols[i], y, 3.5, cells[i]);
        y += 5;
    }
    y += 3;
    for (const std::string& line : fabricationFacts(f)) {
        m.text(x0, y, 3.2, line);
        y += 5;
    }
    y += 4;
    m.text(x0, y, 4, "坐标表（沿样板展开方向 x，自外侧长边起；各点处的节长）");
    return y + 7;
}

int drawTables(QPdfWriter& writer, MmPainter& m, const ElbowFabrication& f, const TileLayout& t)
{
    const double x0 = kPdfPageMargin + 6;
    double y = drawSummary(m, f, x0);

    // The ordinate table in blocks of four columns, as many as fit across.
    const double blockWidth = 64, rowHeight = 4.4;
    const int blocks = std::max(1, static_cast<int>((t.pageWidth - 2 * kPdfPageMargin) / blockWidth));
    const double bottom = t.pageHeight - kPdfPageMargin - kPdfFooter;
    const Ordinates& o = f.ordinates;
    int pages = 1;
    std::size_t k = 0;
    while (k < o.x.size()) {
        const int rows = std::max(1, static_cast<int>((bottom - y) / rowHeight) - 1);
        for (int b = 0; b < blocks && k < o.x.size(); ++b) {
            const double bx = x0 + b * blockWidth;
            double by = y;
            const char* h[] = {"k", "x", "端节", "中节"};
            const double cx[] = {0, 8, 26, 44};
            for (int i = 0; i < 4; ++i) m.text(bx + cx[i], by, 3, h[i]);
            for (int r = 0; r < rows && k < o.x.size(); ++r, ++k) {
                by += rowHeight;
                const std::string cells[] = {std::to_string(k), fixed(o.x[k]), fixed(o.end[k]),
                                             f.pieces.size() > 1 ? fixed(o.middle[k]) : "-"};
                for (int i = 0; i < 4; ++i) m.text(bx + cx[i], by, 3, cells[i]);
            }
        }
        drawEdgeGrid(m, SheetWindow{0, 0, t.tileWidth, t.tileHeight, kPdfPageMargin, kPdfPageMargin});
        drawFooter(m, t, "下料表");
        if (k < o.x.size()) {
            writer.newPage();
            ++pages;
            y = kPdfPageMargin + 10;
        }
    }
    return pages;
}

}  // namespace

std::optional<PaperSize> paperSize(const std::string& name)
{
    static const std::map<std::string, PaperSize> sizes{
        {"A4", {"A4", 210, 297}},  {"A3", {"A3", 297, 420}},  {"A2", {"A2", 420, 594}},
        {"A1", {"A1", 594, 841}},  {"A0", {"A0", 841, 1189}}, {"letter", {"letter", 215.9, 279.4}}};
    const auto it = sizes.find(name);
    if (it == sizes.end()) return std::nullopt;
    return it->second;
}

TileLayout tileLayout(const TemplateSheet& sheet, const PaperSize& paper)
{
    const double w = sheet.width + 2 * kPad, h = sheet.height + 2 * kPad;
    const TileLayout portrait = layoutFor(w, h, paper.width, paper.height);
    TileLayout landscape = layoutFor(w, h, paper.height, paper.width);
    landscape.landscape = true;
    return pageCount(landscape) < pageCount(portrait) ? landscape : portrait;
}

Status writeTemplatePdf(const std::string& path, const ElbowFabrication& f, const TemplateSheet& sheet,
                        const PaperSize& paper)
{
    // QPdfWriter needs the font database of a Qt application.
    std::unique_ptr<QGuiApplication> app;
    static int argc = 3;
    static char name[] = "tessik", platformOption[] = "-platform", offscreen[] = "offscreen";
    static char* argv[] = {name, platformOption, offscreen, nullptr};
    if (!QCoreApplication::instance()) {
        // Its start-up chatter (no runtime directory and the like) is no news to our user.
        const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        app = std::make_unique<QGuiApplication>(argc, argv);
        qInstallMessageHandler(previous);
    }

    // The whole file is made in memory and handed to replaceFile, which
    // writes it the way every other file of ours is written.
    const Error failed{errc::kFileNotFound, "无法写入 " + path, path};
    QBuffer file;
    if (!file.open(QIODevice::WriteOnly)) return failed;

    const TileLayout t = tileLayout(sheet, paper);
    QPdfWriter writer(&file);
    writer.setResolution(kResolution);
    writer.setCreator(QString::fromUtf8(kProgramTitle));
    writer.setTitle(QStringLiteral("下料展开图"));
    const QPageSize size(QSizeF(paper.width, paper.height), QPageSize::Millimeter, q(paper.name),
                         QPageSize::FuzzyMatch);
    writer.setPageLayout(QPageLayout(size, t.landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                                     QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter));
    QPainter painter;
    if (!painter.begin(&writer)) return failed;
    painter.setRenderHint(QPainter::Antialiasing);
    MmPainter m(painter);
    drawTables(writer, m, f, t);

    // Tiles from the sheet's top-left, row by row.
    const double strideX = t.tileWidth - kPdfTileOverlap, strideY = t.tileHeight - kPdfTileOverlap;
    const double sx0 = -kPad, sy1 = sheet.height + kPad;
    std::vector<double> xs, ys;
    for (int c = 1; c < t.columns; ++c) xs.push_back(sx0 + c * strideX + kPdfTileOverlap / 2);
    for (int r = 1; r < t.rows; ++r) ys.push_back(sy1 - r * strideY - kPdfTileOverlap / 2);
    const int total = pageCount(t);
    for (int r = 0; r < t.rows; ++r) {
        for (int c = 0; c < t.columns; ++c) {
            writer.newPage();
            const double x0 = sx0 + c * strideX, y1 = sy1 - r * strideY;
            const SheetWindow w{x0, y1 - t.tileHeight, x0 + t.tileWidth, y1, kPdfPageMargin, kPdfPageMargin};
            drawSheet(m, sheet, w);
            drawEdgeGrid(m, w);
            drawAlignmentMarks(m, w, xs, ys);
            const int index = r * t.columns + c + 1;
            drawFooter(m, t, std::to_string(index) + "/" + std::to_string(total) + "  第 " + std::to_string(r + 1) +
                                 " 行 第 " + std::to_string(c + 1) + " 列");
            drawMap(m, t, c, r);
        }
    }
    if (!painter.end()) return failed;
    file.close();
    const QByteArray& bytes = file.buffer();
    return dxf::replaceFile(path, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

}  // namespace tessik

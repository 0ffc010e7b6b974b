#include "TemplatePdf.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>

#include "FileAccess.h"
#include "NumberText.h"
#include "PdfDocument.h"
#include "ToolConstants.h"

namespace tessik {
namespace {

constexpr double kPad = 5;              // mm of paper round the sheet before tiling
constexpr int kMostTilesAcross = 1000000;  // beyond any sheet worth counting pages for

constexpr pdf::Color kBlack{0, 0, 0};
constexpr pdf::Color kCutColor{200, 0, 0};
constexpr pdf::Color kMarkColor{0, 60, 190};
constexpr pdf::Color kBevelColor{0, 0, 160};
constexpr pdf::Color kGridColor{90, 90, 90};
constexpr pdf::Color kAlignColor{190, 0, 190};
constexpr pdf::Color kNameColor{120, 120, 120};

std::string fixed(double v, int decimals = 1)
{
    if (!std::isfinite(v)) return "-";
    char buf[400];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    if (ec != std::errc()) return "-";
    std::string s(buf, end);
    // No "-0.0" for a value that rounds to zero.
    if (s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos) s.erase(0, 1);
    return s;
}

long long pageCount(const TileLayout& t)
{
    return t.counted ? static_cast<long long>(t.tiles.size()) : static_cast<long long>(t.columns) * t.rows;
}

TileGrid gridOf(const TileLayout& t, const TemplateSheet& sheet)
{
    TileGrid g;
    g.x0 = -kPad;
    g.top = sheet.height + kPad;
    g.width = t.tileWidth;
    g.height = t.tileHeight;
    g.strideX = t.tileWidth - kPdfTileOverlap;
    g.strideY = t.tileHeight - kPdfTileOverlap;
    g.columns = t.columns;
    g.rows = t.rows;
    return g;
}

TileLayout layoutFor(const TemplateSheet& sheet, double pageWidth, double pageHeight, double scale)
{
    const double sheetWidth = sheet.width + 2 * kPad, sheetHeight = sheet.height + 2 * kPad;
    TileLayout t;
    t.pageWidth = pageWidth;
    t.pageHeight = pageHeight;
    t.scale = scale;
    t.tileWidth = (pageWidth - 2 * kPdfPageMargin) / scale;
    t.tileHeight = (pageHeight - 2 * kPdfPageMargin - kPdfFooter) / scale;
    const auto count = [](double length, double tile) {
        if (length <= tile) return 1;
        const double n = std::ceil((length - kPdfTileOverlap) / (tile - kPdfTileOverlap));
        return std::isfinite(n) && n < kMostTilesAcross ? static_cast<int>(n) : kMostTilesAcross;
    };
    t.columns = count(sheetWidth, t.tileWidth);
    t.rows = count(sheetHeight, t.tileHeight);
    t.tiles = plannedTiles(sheet, gridOf(t, sheet), &t.counted);
    return t;
}

// What every page says about the elbow it belongs to.
std::string identityLine(const ElbowIdentity& e)
{
    return "弯头：外径 " + doubleToText(e.outerDiameter) + " mm  弯角 " + doubleToText(e.bendAngle) + "°  曲率半径 " +
           doubleToText(e.bendRadius) + " mm  中节 " + std::to_string(e.middlePieces) + "（共 " +
           std::to_string(e.middlePieces + 2) + " 节）  " + e.date;
}

// Every page: the elbow, the 100 mm scale bar with 10 mm ticks (drawn
// corrected, so that it prints 100 mm), the page label and the printing note.
void drawFooter(pdf::Page& m, const TileLayout& t, const PrintSettings& print, const std::string& pageLabel,
                const std::string& pieces = {})
{
    const double base = t.pageHeight - kPdfPageMargin;  // bottom of the footer band
    const double barY = base - 12;
    const double x0 = kPdfPageMargin;
    const double bar = 100 * t.scale;
    if (print.identity) m.text(x0, base - 19.5, 3, identityLine(*print.identity));
    m.pen(0.5);
    m.line(x0, barY, x0 + bar, barY);
    m.pen(0.25);
    for (int i = 0; i <= 10; ++i) m.line(x0 + bar * i / 10, barY, x0 + bar * i / 10, barY - (i % 5 ? 2.5 : 4.5));
    m.text(x0, barY + 4.5, 3, "0");
    m.text(x0 + bar - 8, barY + 4.5, 3, "100 mm");
    m.text(x0, base - 1, 3.2, kPrintNote);
    m.text(x0 + bar + 4, barY, 4, pageLabel);
    if (!pieces.empty()) m.text(x0 + bar + 4, barY + 5, 3, pieces);
    if (print.measuredBar)
        m.text(x0 + 92, base - 1, 2.6,
               "已按上次比例尺量得 " + doubleToText(*print.measuredBar) + " mm 放大 " + fixed(t.scale, 4) + " 倍");
}

// The small map of the printed tiles with this one filled.
void drawMap(pdf::Page& m, const TileLayout& t, int column, int row)
{
    const double cell = std::min(3.0, std::min(40.0 / t.columns, 14.0 / t.rows));
    const double x0 = t.pageWidth - kPdfPageMargin - cell * t.columns;
    const double y0 = t.pageHeight - kPdfPageMargin - 4 - cell * t.rows;
    m.pen(0.1);
    if (t.tiles.size() <= 400) {
        for (const PlannedTile& p : t.tiles) m.rect(x0 + p.column * cell, y0 + p.row * cell, cell, cell);
    } else {
        m.rect(x0, y0, cell * t.columns, cell * t.rows);
    }
    m.rect(x0 + column * cell, y0 + row * cell, cell, cell, true);
}

struct SheetWindow {
    double x0, y0, x1, y1;  // sheet coordinates shown on this page
    double left, top;       // page position (mm) of (x0, y1)
    double scale = 1;       // page mm per sheet mm
    double px(double x) const { return left + (x - x0) * scale; }
    double py(double y) const { return top + (y1 - y) * scale; }
};

void drawSheet(pdf::Page& m, const TemplateSheet& sheet, const SheetWindow& w)
{
    m.clip(w.left, w.top, (w.x1 - w.x0) * w.scale, (w.y1 - w.y0) * w.scale);
    std::vector<double> outline;
    for (const PieceTemplate& t : sheet.pieces) {
        // The label is drawn from labelAt rightwards; its width counts too.
        double left = t.labelAt.x, right = t.labelAt.x + pdf::textWidth(t.label, t.labelHeight);
        double low = t.labelAt.y, high = t.labelAt.y + t.labelHeight;
        for (const TemplatePoint& v : t.outline) {
            left = std::min(left, v.x);
            right = std::max(right, v.x);
            low = std::min(low, v.y);
            high = std::max(high, v.y);
        }
        if (high < w.y0 || low > w.y1 || right < w.x0 || left > w.x1) continue;
        outline.clear();
        for (const TemplatePoint& v : t.outline) {
            outline.push_back(w.px(v.x));
            outline.push_back(w.py(v.y));
        }
        m.pen(0.35, kCutColor);
        m.polygon(outline);
        m.pen(0.25, kMarkColor, true);
        for (const TemplateSegment& s : t.marks) m.line(w.px(s.start.x), w.py(s.start.y), w.px(s.end.x), w.py(s.end.y));
        m.pen(0.2, kBevelColor);
        for (const auto& line : t.surfaceLines)
            for (std::size_t i = 1; i < line.size(); ++i)
                m.line(w.px(line[i - 1].x), w.py(line[i - 1].y), w.px(line[i].x), w.py(line[i].y));
        for (const TemplateText& n : t.notes) m.text(w.px(n.at.x), w.py(n.at.y), n.height * w.scale, n.text);
        m.text(w.px(t.labelAt.x), w.py(t.labelAt.y), t.labelHeight * w.scale, t.label);
    }
    m.restore();
}

// Ticks every 10 mm of the sheet along the tile's four edges, longer every 50.
void drawEdgeGrid(pdf::Page& m, const SheetWindow& w)
{
    const double right = w.px(w.x1), bottom = w.py(w.y0);
    m.pen(0.15, kGridColor);
    for (double x = std::ceil(w.x0 / 10) * 10; x <= w.x1 + 1e-9; x += 10) {
        const double px = w.px(x);
        const double len = std::fmod(std::fabs(x), 50) < 1e-6 ? 4 : 2;
        m.line(px, w.top, px, w.top + len);
        m.line(px, bottom, px, bottom - len);
    }
    for (double y = std::ceil(w.y0 / 10) * 10; y <= w.y1 + 1e-9; y += 10) {
        const double py = w.py(y);
        const double len = std::fmod(std::fabs(y), 50) < 1e-6 ? 4 : 2;
        m.line(w.left, py, w.left + len, py);
        m.line(right, py, right - len, py);
    }
    m.pen(0.2);
    m.rect(w.left, w.top, right - w.left, bottom - w.top);
}

// A circled cross in the middle of every overlap band; neighbouring pages
// carry the same crosses at the same sheet points.
void drawAlignmentMarks(pdf::Page& m, const SheetWindow& w, const std::vector<double>& xs,
                        const std::vector<double>& ys)
{
    m.pen(0.2, kAlignColor);
    const double cx = (w.x0 + w.x1) / 2, cy = (w.y0 + w.y1) / 2;
    const auto cross = [&](double x, double y) {
        if (x < w.x0 || x > w.x1 || y < w.y0 || y > w.y1) return;
        const double px = w.px(x), py = w.py(y);
        m.line(px - 4, py, px + 4, py);
        m.line(px, py - 4, px, py + 4);
        m.circle(px, py, 2.5);
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

// The length of the UTF-8 sequence starting with byte c.
std::size_t sequenceLength(unsigned char c) { return c < 0xc0 ? 1 : c < 0xe0 ? 2 : c < 0xf0 ? 3 : 4; }

// Text broken into lines no wider than `width` mm: after the last "，" or
// space that fits, else after the last character that fits.
std::vector<std::string> wrapped(const std::string& text, double height, double width)
{
    std::vector<std::string> lines;
    std::string_view rest = text;
    while (pdf::textWidth(rest, height) > width) {
        std::size_t fits = 0, pause = 0;
        double used = 0;
        for (std::size_t i = 0; i < rest.size();) {
            const std::size_t next = std::min(rest.size(), i + sequenceLength(static_cast<unsigned char>(rest[i])));
            const std::string_view ch = rest.substr(i, next - i);
            used += pdf::textWidth(ch, height);
            if (used > width) break;
            fits = next;
            if (ch == "，" || ch == " ") pause = next;
            i = next;
        }
        const std::size_t cut = pause ? pause : std::max<std::size_t>(fits, sequenceLength(rest[0]));
        lines.emplace_back(rest.substr(0, cut));
        rest.remove_prefix(std::min(cut, rest.size()));
    }
    if (!rest.empty()) lines.emplace_back(rest);
    return lines;
}

constexpr double kTableLeft = kPdfPageMargin + 6;  // mm
constexpr double kFactHeight = 3.2;                // mm
constexpr double kOrdinateBlock = 64, kOrdinateRow = 4.4;

// The title, the piece table, the facts and the code checks, drawn when
// there is a page; where the ordinate table starts.
double drawSummary(pdf::Page* m, const ElbowFabrication& f, const TileLayout& t, const std::vector<std::string>& checks)
{
    const auto text = [m](double x, double y, double height, const std::string& s) {
        if (m) m->text(x, y, height, s);
    };
    const double x0 = kTableLeft;
    double y = kPdfPageMargin + 10;
    text(x0, y, 6, std::string("下料表 - ") + kProgramTitle);
    y += 10;
    const double cols[] = {0, 22, 40, 75, 110};
    const char* heads[] = {"节", "数量", "中心线长 mm", "长边 mm", "短边 mm"};
    for (int i = 0; i < 5; ++i) text(x0 + cols[i], y, 3.5, heads[i]);
    y += 5.5;
    for (const PieceLengths& p : f.pieces) {
        const std::string cells[] = {pieceName(p.kind), std::to_string(p.count), fixed(p.centerline),
                                     fixed(p.longSide), fixed(p.shortSide)};
        for (int i = 0; i < 5; ++i) text(x0 + cols[i], y, 3.5, cells[i]);
        y += 5;
    }
    y += 3;
    const double width = t.pageWidth - kPdfPageMargin - x0;
    for (const std::string& fact : fabricationFacts(f)) {
        for (const std::string& line : wrapped(fact, kFactHeight, width)) {
            text(x0, y, kFactHeight, line);
            y += 5;
        }
    }
    if (!checks.empty()) {
        y += 3;
        text(x0, y, 4, "规范校核（ASME B31.3 304.2.3）");
        y += 6;
        for (const std::string& check : checks) {
            for (const std::string& line : wrapped(check, kFactHeight, width)) {
                text(x0, y, kFactHeight, line);
                y += 5;
            }
        }
    }
    y += 4;
    text(x0, y, 4, "坐标表（沿样板展开方向 x，自外侧长边起；各点处的节长）");
    return y + 7;
}

// Ordinate rows on a table page whose table starts at y.
int ordinateRows(const TileLayout& t, double y)
{
    const double bottom = t.pageHeight - kPdfPageMargin - kPdfFooter;
    return std::max(1, static_cast<int>((bottom - y) / kOrdinateRow) - 1);
}

// The ordinate table in blocks of four columns, as many as fit across.
int ordinateBlocks(const TileLayout& t)
{
    return std::max(1, static_cast<int>((t.pageWidth - 2 * kPdfPageMargin) / kOrdinateBlock));
}

long long tablePages(const ElbowFabrication& f, const TileLayout& t, const std::vector<std::string>& checks)
{
    const long long count = static_cast<long long>(f.ordinates.x.size());
    const long long first =
        static_cast<long long>(ordinateRows(t, drawSummary(nullptr, f, t, checks))) * ordinateBlocks(t);
    const long long later = static_cast<long long>(ordinateRows(t, kPdfPageMargin + 10)) * ordinateBlocks(t);
    return count <= first ? 1 : 1 + (count - first + later - 1) / later;
}

void drawTables(pdf::Document& doc, const ElbowFabrication& f, const TileLayout& t, const PrintSettings& print)
{
    pdf::Page* m = &doc.newPage(t.pageWidth, t.pageHeight);
    double y = drawSummary(m, f, t, print.codeCheck);
    const int blocks = ordinateBlocks(t);
    const Ordinates& o = f.ordinates;
    std::size_t k = 0;
    for (;;) {
        const int rows = ordinateRows(t, y);
        for (int b = 0; b < blocks && k < o.x.size(); ++b) {
            const double bx = kTableLeft + b * kOrdinateBlock;
            double by = y;
            const char* h[] = {"k", "x", "端节", "中节"};
            const double cx[] = {0, 8, 26, 44};
            for (int i = 0; i < 4; ++i) m->text(bx + cx[i], by, 3, h[i]);
            for (int r = 0; r < rows && k < o.x.size(); ++r, ++k) {
                by += kOrdinateRow;
                const std::string cells[] = {std::to_string(k), fixed(o.x[k]), fixed(o.end[k]),
                                             f.pieces.size() > 1 ? fixed(o.middle[k]) : "-"};
                for (int i = 0; i < 4; ++i) m->text(bx + cx[i], by, 3, cells[i]);
            }
        }
        drawEdgeGrid(*m, SheetWindow{0, 0, t.tileWidth, t.tileHeight, kPdfPageMargin, kPdfPageMargin, t.scale});
        drawFooter(*m, t, print, "下料表");
        if (k >= o.x.size()) break;
        m = &doc.newPage(t.pageWidth, t.pageHeight);
        y = kPdfPageMargin + 10;
    }
}

// "2-3": row 2, column 3, counted from 1.
std::string tileName(const PlannedTile& p) { return std::to_string(p.row + 1) + "-" + std::to_string(p.column + 1); }

// The names of the pieces on a tile, "端节、中节".
std::string piecesOn(const TemplateSheet& sheet, const PlannedTile& p)
{
    std::string names;
    for (const int i : p.pieces) {
        const std::string name = pieceName(sheet.pieces[static_cast<std::size_t>(i)].kind);
        if (names.find(name) != std::string::npos) continue;
        names += (names.empty() ? "" : "、") + name;
    }
    return names;
}

// The tile map: the sheet in small, every printed tile framed with its name
// and number, and how the tiles go together.
void drawTileMap(pdf::Document& doc, const TemplateSheet& sheet, const TileLayout& t, const PrintSettings& print,
                 long long firstTilePage)
{
    pdf::Page& m = doc.newPage(t.pageWidth, t.pageHeight);
    const double x0 = kTableLeft;
    double y = kPdfPageMargin + 10;
    m.text(x0, y, 6, "拼接图");
    y += 8;
    const std::string order =
        "共 " + std::to_string(t.tiles.size()) + " 页图块（本文件第 " + std::to_string(firstTilePage) + " 到 " +
        std::to_string(firstTilePage + static_cast<long long>(t.tiles.size()) - 1) +
        " 页），只打印有样板的图块。拼接顺序：自第 1 行起自上而下，每行自左向右，按图块编号 1、2、3…… 依次拼贴；"
        "图块名“行-列”。相邻图块重叠 10 mm，对齐紫色圆十字后粘贴，再用比例尺核对。";
    const double width = t.pageWidth - kPdfPageMargin - x0;
    for (const std::string& line : wrapped(order, kFactHeight, width)) {
        m.text(x0, y, kFactHeight, line);
        y += 5;
    }
    y += 3;
    // The whole grid scaled into what is left of the page.
    const TileGrid g = gridOf(t, sheet);
    const double gridWidth = g.strideX * (t.columns - 1) + g.width, gridHeight = g.strideY * (t.rows - 1) + g.height;
    const double areaHeight = t.pageHeight - kPdfPageMargin - kPdfFooter - 4 - y;
    const double k = std::min(width / gridWidth, areaHeight / gridHeight);
    if (t.counted && k > 0 && std::isfinite(k)) {
        const SheetWindow w{g.x0, g.top - gridHeight, g.x0 + gridWidth, g.top, x0, y, k};
        std::vector<double> outline;
        m.pen(0.25, kCutColor);
        for (const PieceTemplate& p : sheet.pieces) {
            outline.clear();
            for (const TemplatePoint& v : p.outline) outline.insert(outline.end(), {w.px(v.x), w.py(v.y)});
            m.polygon(outline);
        }
        const double cellW = g.width * k, cellH = g.height * k;
        const double height = std::clamp(std::min(cellW / 3.2, cellH / 3), 0.8, 4.0);
        for (std::size_t i = 0; i < t.tiles.size(); ++i) {
            const PlannedTile& p = t.tiles[i];
            const double left = w.px(g.left(p.column)), top = w.py(g.upper(p.row));
            m.pen(0.2);
            m.rect(left, top, cellW, cellH);
            const std::string number = "#" + std::to_string(i + 1), name = tileName(p);
            m.text(left + cellW / 2 - pdf::textWidth(number, height) / 2, top + cellH / 2, height, number);
            m.text(left + cellW / 2 - pdf::textWidth(name, height) / 2, top + cellH / 2 + 1.3 * height, height, name);
        }
    }
    drawFooter(m, t, print, "拼接图");
}

// Each piece on the tile named where it lies, away from the overlap bands.
void namePiecesOnTile(pdf::Page& m, const TemplateSheet& sheet, const PlannedTile& p, const SheetWindow& w)
{
    constexpr double kNameHeight = 6;  // page mm
    const double band = kPdfTileOverlap;
    for (const int i : p.pieces) {
        const PieceTemplate& piece = sheet.pieces[static_cast<std::size_t>(i)];
        const std::string name = pieceName(piece.kind);
        const double halfWidth = pdf::textWidth(name, kNameHeight) / 2 / w.scale, halfHeight = kNameHeight / 2 / w.scale;
        const TemplatePoint at = nameSpot(piece, w.x0, w.y0, w.x1, w.y1, band, halfWidth, halfHeight);
        m.text(w.px(at.x - halfWidth), w.py(at.y - halfHeight), kNameHeight, name, kNameColor);
    }
}

void drawTiles(pdf::Document& doc, const TemplateSheet& sheet, const TileLayout& t, const PrintSettings& print)
{
    const TileGrid g = gridOf(t, sheet);
    std::vector<double> xs, ys;
    for (int c = 1; c < t.columns; ++c) xs.push_back(g.left(c) + kPdfTileOverlap / 2);
    for (int r = 1; r < t.rows; ++r) ys.push_back(g.upper(r) - kPdfTileOverlap / 2);
    const std::string total = std::to_string(t.tiles.size());
    for (std::size_t i = 0; i < t.tiles.size(); ++i) {
        const PlannedTile& p = t.tiles[i];
        pdf::Page& m = doc.newPage(t.pageWidth, t.pageHeight);
        const double x0 = g.left(p.column), y1 = g.upper(p.row);
        const SheetWindow w{x0, y1 - t.tileHeight, x0 + t.tileWidth, y1, kPdfPageMargin, kPdfPageMargin, t.scale};
        drawSheet(m, sheet, w);
        namePiecesOnTile(m, sheet, p, w);
        drawEdgeGrid(m, w);
        drawAlignmentMarks(m, w, xs, ys);
        drawFooter(m, t, print,
                   std::to_string(i + 1) + "/" + total + "  第 " + std::to_string(p.row + 1) + " 行 第 " +
                       std::to_string(p.column + 1) + " 列（" + tileName(p) + "）",
                   "本页：" + piecesOn(sheet, p));
        drawMap(m, t, p.column, p.row);
    }
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

std::optional<std::string> measuredBarProblem(double measuredBar)
{
    if (std::isfinite(measuredBar) && measuredBar >= kLeastMeasuredBar && measuredBar <= kMostMeasuredBar)
        return std::nullopt;
    return "打印比例尺量得的长度须在 " + doubleToText(kLeastMeasuredBar) + " 到 " + doubleToText(kMostMeasuredBar) +
           " mm 之间（打印时请选“实际大小”），现为 " + doubleToText(measuredBar) + " mm。";
}

TileLayout tileLayout(const TemplateSheet& sheet, const PaperSize& paper, double scale)
{
    const TileLayout portrait = layoutFor(sheet, paper.width, paper.height, scale);
    TileLayout landscape = layoutFor(sheet, paper.height, paper.width, scale);
    landscape.landscape = true;
    return pageCount(landscape) < pageCount(portrait) ? landscape : portrait;
}

long long templatePdfPages(const ElbowFabrication& f, const TemplateSheet& sheet, const PaperSize& paper,
                           const PrintSettings& print)
{
    const TileLayout t = tileLayout(sheet, paper, print.scaleCorrection());
    return tablePages(f, t, print.codeCheck) + 1 + pageCount(t);
}

std::string templatePdfPagesText(long long pages, const PaperSize& paper)
{
    if (pages >= kMostTilesAcross) return std::to_string(kMostTilesAcross) + " 页以上的 " + paper.name + " 纸";
    return std::to_string(pages) + " 页 " + paper.name + " 纸";
}

std::optional<Error> templatePdfRefusal(const std::string& path, long long pages, const PaperSize& paper)
{
    if (pages <= kPdfMostPages) return std::nullopt;
    return Error{errc::kOverflow,
                 "无法保存“" + path + "”：样板 PDF 需要 " + templatePdfPagesText(pages, paper) + "，多于 " +
                     std::to_string(kPdfMostPages) + " 页的上限。请换用更大的纸张，或核对管径。",
                 path};
}

Status writeTemplatePdf(const std::string& path, const ElbowFabrication& f, const TemplateSheet& sheet,
                        const PaperSize& paper, const PrintSettings& print)
{
    if (print.measuredBar)
        if (auto problem = measuredBarProblem(*print.measuredBar))
            return Error{errc::kInvalidProcedureCall, "无法保存“" + path + "”：" + *problem, path};
    const TileLayout t = tileLayout(sheet, paper, print.scaleCorrection());
    const long long pages = tablePages(f, t, print.codeCheck) + 1 + pageCount(t);
    if (auto refused = templatePdfRefusal(path, pages, paper)) return *refused;
    pdf::Document doc("下料展开图", kProgramTitle);
    drawTables(doc, f, t, print);
    drawTileMap(doc, sheet, t, print, doc.pageCount() + 2);
    drawTiles(doc, sheet, t, print);
    return dxf::replaceFile(path, doc.finish());
}

}  // namespace tessik

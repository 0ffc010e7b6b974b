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

constexpr pdf::Rgb kBlack{0, 0, 0};
constexpr pdf::Rgb kCutColor{200, 0, 0};
constexpr pdf::Rgb kMarkColor{0, 60, 190};
constexpr pdf::Rgb kBevelColor{0, 0, 160};
constexpr pdf::Rgb kGridColor{90, 90, 90};
constexpr pdf::Rgb kAlignColor{190, 0, 190};

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

long long pageCount(const TileLayout& t) { return static_cast<long long>(t.columns) * t.rows; }

TileLayout layoutFor(double sheetWidth, double sheetHeight, double pageWidth, double pageHeight)
{
    TileLayout t;
    t.pageWidth = pageWidth;
    t.pageHeight = pageHeight;
    t.tileWidth = pageWidth - 2 * kPdfPageMargin;
    t.tileHeight = pageHeight - 2 * kPdfPageMargin - kPdfFooter;
    const auto count = [](double length, double tile) {
        if (length <= tile) return 1;
        const double n = std::ceil((length - kPdfTileOverlap) / (tile - kPdfTileOverlap));
        return std::isfinite(n) && n < kMostTilesAcross ? static_cast<int>(n) : kMostTilesAcross;
    };
    t.columns = count(sheetWidth, t.tileWidth);
    t.rows = count(sheetHeight, t.tileHeight);
    return t;
}

// Every page: the 100 mm scale bar with 10 mm ticks and the printing note.
void drawFooter(pdf::Page& m, const TileLayout& t, const std::string& pageLabel)
{
    const double base = t.pageHeight - kPdfPageMargin;  // bottom of the footer band
    const double barY = base - 12;
    const double x0 = kPdfPageMargin;
    m.pen(0.5);
    m.line(x0, barY, x0 + 100, barY);
    m.pen(0.25);
    for (int i = 0; i <= 10; ++i) m.line(x0 + 10 * i, barY, x0 + 10 * i, barY - (i % 5 ? 2.5 : 4.5));
    m.text(x0, barY + 4.5, 3, "0");
    m.text(x0 + 92, barY + 4.5, 3, "100 mm");
    m.text(x0, base - 1, 3.2, kPrintNote);
    m.text(x0 + 104, barY, 4, pageLabel);
}

// The small map of the tiles with this one filled.
void drawMap(pdf::Page& m, const TileLayout& t, int column, int row)
{
    const double cell = std::min(3.0, std::min(40.0 / t.columns, 14.0 / t.rows));
    const double x0 = t.pageWidth - kPdfPageMargin - cell * t.columns;
    const double y0 = t.pageHeight - kPdfPageMargin - 4 - cell * t.rows;
    m.pen(0.1);
    if (pageCount(t) <= 400) {
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
    double px(double x) const { return left + (x - x0); }
    double py(double y) const { return top + (y1 - y); }
};

void drawSheet(pdf::Page& m, const TemplateSheet& sheet, const SheetWindow& w)
{
    m.clip(w.left, w.top, w.x1 - w.x0, w.y1 - w.y0);
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
        for (const TemplateText& n : t.notes) m.text(w.px(n.at.x), w.py(n.at.y), n.height, n.text);
        m.text(w.px(t.labelAt.x), w.py(t.labelAt.y), t.labelHeight, t.label);
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

void drawTables(pdf::Document& doc, const ElbowFabrication& f, const TileLayout& t,
                const std::vector<std::string>& checks)
{
    pdf::Page* m = &doc.newPage(t.pageWidth, t.pageHeight);
    double y = drawSummary(m, f, t, checks);
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
        drawEdgeGrid(*m, SheetWindow{0, 0, t.tileWidth, t.tileHeight, kPdfPageMargin, kPdfPageMargin});
        drawFooter(*m, t, "下料表");
        if (k >= o.x.size()) break;
        m = &doc.newPage(t.pageWidth, t.pageHeight);
        y = kPdfPageMargin + 10;
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

TileLayout tileLayout(const TemplateSheet& sheet, const PaperSize& paper)
{
    const double w = sheet.width + 2 * kPad, h = sheet.height + 2 * kPad;
    const TileLayout portrait = layoutFor(w, h, paper.width, paper.height);
    TileLayout landscape = layoutFor(w, h, paper.height, paper.width);
    landscape.landscape = true;
    return pageCount(landscape) < pageCount(portrait) ? landscape : portrait;
}

long long templatePdfPages(const ElbowFabrication& f, const TemplateSheet& sheet, const PaperSize& paper,
                           const std::vector<std::string>& checks)
{
    const TileLayout t = tileLayout(sheet, paper);
    return tablePages(f, t, checks) + pageCount(t);
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
                        const PaperSize& paper, const std::vector<std::string>& checks)
{
    if (auto refused = templatePdfRefusal(path, templatePdfPages(f, sheet, paper, checks), paper)) return *refused;
    const TileLayout t = tileLayout(sheet, paper);
    pdf::Document doc("下料展开图", kProgramTitle);
    drawTables(doc, f, t, checks);

    // Tiles from the sheet's top-left, row by row.
    const double strideX = t.tileWidth - kPdfTileOverlap, strideY = t.tileHeight - kPdfTileOverlap;
    const double sx0 = -kPad, sy1 = sheet.height + kPad;
    std::vector<double> xs, ys;
    for (int c = 1; c < t.columns; ++c) xs.push_back(sx0 + c * strideX + kPdfTileOverlap / 2);
    for (int r = 1; r < t.rows; ++r) ys.push_back(sy1 - r * strideY - kPdfTileOverlap / 2);
    const long long total = pageCount(t);
    for (int r = 0; r < t.rows; ++r) {
        for (int c = 0; c < t.columns; ++c) {
            pdf::Page& m = doc.newPage(t.pageWidth, t.pageHeight);
            const double x0 = sx0 + c * strideX, y1 = sy1 - r * strideY;
            const SheetWindow w{x0, y1 - t.tileHeight, x0 + t.tileWidth, y1, kPdfPageMargin, kPdfPageMargin};
            drawSheet(m, sheet, w);
            drawEdgeGrid(m, w);
            drawAlignmentMarks(m, w, xs, ys);
            const long long index = static_cast<long long>(r) * t.columns + c + 1;
            drawFooter(m, t, std::to_string(index) + "/" + std::to_string(total) + "  第 " + std::to_string(r + 1) +
                                 " 行 第 " + std::to_string(c + 1) + " 列");
            drawMap(m, t, c, r);
        }
    }
    return dxf::replaceFile(path, doc.finish());
}

}  // namespace tessik

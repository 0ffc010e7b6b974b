#include "MaterialNesting.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "NumberText.h"
#include "PortableMath.h"

namespace tessik {
namespace {

Error cannotNest(const std::string& why) { return Error{errc::kInvalidProcedureCall, "无法排料：" + why, "nesting"}; }

// The pieces one after the other on the developed pipe surface, sharing
// their cuts: cut j (from 1) runs along y = C_j + s_j a cos(x / rho), s_j
// alternating from +1, and is `gap` wide along the axis.
struct Strip {
    double width = 0;   // pi Dt
    double rho = 0;     // Dt / 2
    double amplitude = 0;  // rho tan theta
    double half = 0;    // R tan theta: an end piece's centre line
    double gap = 0;     // kerf along the axis
    int joints = 0;
    int segments = 0;   // chords per cut

    double cutCentre(int j) const { return half + gap / 2 + (j - 1) * (2 * half + gap); }
    double length() const { return joints * (2 * half + gap); }
    double curve(int j, double x) const { return (j % 2 ? 1 : -1) * amplitude * math::cos(x / rho); }
    // Piece p (from 0) lies between cut p (its bottom) and cut p + 1 (its top).
    std::vector<TemplatePoint> piece(int p) const;
};

std::vector<TemplatePoint> Strip::piece(int p) const
{
    const int n = segments;
    const auto xAt = [&](int i) { return i == n ? width : width * i / n; };
    std::vector<TemplatePoint> out;
    if (p == 0) {
        out.push_back({0, 0});
        out.push_back({width, 0});
    } else {
        for (int i = 0; i <= n; ++i) out.push_back({xAt(i), cutCentre(p) + gap / 2 + curve(p, xAt(i))});
    }
    if (p == joints) {
        out.push_back({width, length()});
        out.push_back({0, length()});
    } else {
        for (int i = n; i >= 0; --i) out.push_back({xAt(i), cutCentre(p + 1) - gap / 2 + curve(p + 1, xAt(i))});
    }
    return out;
}

double area(const std::vector<TemplatePoint>& v)
{
    double twice = 0;
    for (std::size_t i = 0, j = v.size() - 1; i < v.size(); j = i++) twice += v[j].x * v[i].y - v[i].x * v[j].y;
    return twice / 2;
}

Result<Strip> strip(const ElbowFabrication& f, double kerf)
{
    if (!(kerf >= 0 && kerf <= kMaxKerf))
        return cannotNest("割缝须在 0 到 " + doubleToText(kMaxKerf) + " mm 之间，现为 " + doubleToText(kerf) + " mm。");
    const double theta = f.cutAngle / 180 * std::numbers::pi;
    Strip s;
    s.width = f.templateWidth;
    s.rho = f.templateDiameter / 2;
    s.amplitude = s.rho * math::tan(theta);
    s.half = f.bendRadius * math::tan(theta);
    s.gap = kerf / math::cos(theta);
    s.joints = f.joints;
    // A chord of length h under a curve with |y''| <= tan theta / rho strays
    // at most h^2 tan theta / (8 rho) from it.
    const double chord = std::sqrt(8 * kChordError * s.rho / math::tan(theta));
    const double n = std::ceil(s.width / chord / 4) * 4;
    if (!(n <= kMaxSegmentsPerCut)) return cannotNest("切口曲线过细，无法画出。");
    s.segments = std::max(32, static_cast<int>(n));
    if (f.bendRadius < s.rho) return cannotNest("曲率半径小于样板半径，相邻两节的切口相交。");
    return s;
}

NestedPiece stripPiece(const ElbowFabrication& f, const Strip& s, int p)
{
    NestedPiece piece;
    piece.kind = p == 0 || p == f.joints ? PieceKind::end : PieceKind::middle;
    piece.number = p + 1;
    piece.turned = p % 2 == 1;
    piece.outline = s.piece(p);
    piece.area = area(piece.outline);
    return piece;
}

struct YRange {
    double low, high;
};

YRange yBounds(const std::vector<TemplatePoint>& v)
{
    YRange b{v.front().y, v.front().y};
    for (const TemplatePoint& p : v) b = {std::min(b.low, p.y), std::max(b.high, p.y)};
    return b;
}

// The strip's pieces in lanes `laneLength` long, `lanes` to a sheet; each
// lane starts one kerf from the sheet's edge. Pieces in the strip's frame,
// with the lane and sheet each was put in and its shift along the lane.
struct LanePlacement {
    int sheet = 0, lane = 0;
    double shift = 0;
};

std::vector<LanePlacement> fillLanes(const std::vector<NestedPiece>& pieces, double kerf, double laneLength, int lanes)
{
    std::vector<LanePlacement> out;
    LanePlacement at{0, -1, 0};
    for (const NestedPiece& p : pieces) {
        const YRange b = yBounds(p.outline);
        if (at.lane < 0 || b.high + at.shift > laneLength + kerf) {
            if (++at.lane == lanes) {
                at.lane = 0;
                ++at.sheet;
            }
            at.shift = kerf - b.low;
        }
        out.push_back(at);
    }
    return out;
}

}  // namespace

Result<MaterialNest> pipeNest(const ElbowFabrication& f, double kerf)
{
    const Result<Strip> s = strip(f, kerf);
    if (!s) return s.error();
    MaterialNest nest;
    nest.kind = NestKind::pipe;
    nest.kerf = kerf;
    nest.stockWidth = s->width;
    nest.stockHeight = s->length();
    nest.stocks = 1;
    for (int p = 0; p <= f.joints; ++p) {
        nest.pieces.push_back(stripPiece(f, *s, p));
        nest.piecesArea += nest.pieces.back().area;
    }
    nest.pipeLength = s->length();
    nest.piecesLength = 2 * f.joints * s->half;
    nest.waste = f.joints * s->gap;
    nest.utilisation = 100 * nest.piecesLength / nest.pipeLength;
    return nest;
}

Result<MaterialNest> plateNest(const ElbowFabrication& f, double kerf, double sheetWidth, double sheetHeight)
{
    if (!(sheetWidth > 0 && sheetHeight > 0 && std::isfinite(sheetWidth) && std::isfinite(sheetHeight)))
        return cannotNest("钢板的长和宽须大于 0。");
    const Result<Strip> s = strip(f, kerf);
    if (!s) return s.error();
    std::vector<NestedPiece> strip;
    double longest = 0;
    for (int p = 0; p <= f.joints; ++p) {
        strip.push_back(stripPiece(f, *s, p));
        const YRange b = yBounds(strip.back().outline);
        longest = std::max(longest, b.high - b.low);
    }
    // Lanes across the sheet (pieces upright) or along it (turned 90 degrees).
    struct Way {
        bool alongWidth;
        double across, along;  // the sheet's size across the lanes and along them
    };
    const Way ways[] = {{false, sheetWidth, sheetHeight}, {true, sheetHeight, sheetWidth}};
    std::optional<MaterialNest> best;
    for (const Way& way : ways) {
        const double laneLength = way.along - 2 * kerf;
        const double lanes = std::floor((way.across - kerf) / (s->width + kerf));
        if (lanes < 1 || longest > laneLength) continue;
        const std::vector<LanePlacement> placed = fillLanes(strip, kerf, laneLength, static_cast<int>(std::min(lanes, 1e6)));
        if (placed.back().sheet + 1 > kMostSheets) continue;
        MaterialNest nest;
        nest.kind = NestKind::plate;
        nest.kerf = kerf;
        nest.stockWidth = sheetWidth;
        nest.stockHeight = sheetHeight;
        nest.lanesAlongWidth = way.alongWidth;
        nest.stocks = placed.back().sheet + 1;
        for (std::size_t i = 0; i < strip.size(); ++i) {
            NestedPiece p = strip[i];
            const LanePlacement& at = placed[i];
            const double laneStart = kerf + at.lane * (s->width + kerf);
            for (TemplatePoint& v : p.outline) {
                const double along = v.y + at.shift;
                // Turned 90 degrees clockwise: x round the pipe runs down the sheet.
                v = way.alongWidth ? TemplatePoint{along, laneStart + s->width - v.x} : TemplatePoint{laneStart + v.x, along};
            }
            p.stock = at.sheet;
            nest.piecesArea += p.area;
            nest.pieces.push_back(std::move(p));
        }
        nest.utilisation = 100 * nest.piecesArea / (nest.stocks * sheetWidth * sheetHeight);
        if (!best || nest.stocks < best->stocks) best = std::move(nest);
    }
    if (!best)
        return cannotNest("钢板 " + doubleToText(sheetWidth) + " × " + doubleToText(sheetHeight) +
                          " mm 放不下一节：展开宽 " + doubleToText(std::round(s->width * 10) / 10) + " mm，最长一节 " +
                          doubleToText(std::round(longest * 10) / 10) + " mm（另留割缝 " + doubleToText(kerf) +
                          " mm）。请换用更大的钢板。");
    return std::move(*best);
}

std::string nestedPieceName(const NestedPiece& piece)
{
    return pieceName(piece.kind) + " " + std::to_string(piece.number) + (piece.turned ? "（转 180°）" : "");
}

}  // namespace tessik

namespace tessik {
namespace {

std::string oneDecimal(double v) { return doubleToText(std::round(v * 10) / 10); }

// A point well inside the piece at mid-width, with the height text there may have.
TemplatePoint nameAt(const NestedPiece& p, bool lanesAlongWidth, double& height)
{
    // The pieces' centre line lies half-way between their two cuts at every x.
    double lowX = p.outline.front().x, highX = lowX, lowY = p.outline.front().y, highY = lowY;
    for (const TemplatePoint& v : p.outline) {
        lowX = std::min(lowX, v.x), highX = std::max(highX, v.x), lowY = std::min(lowY, v.y), highY = std::max(highY, v.y);
    }
    const double across = lanesAlongWidth ? highY - lowY : highX - lowX;
    const double along = lanesAlongWidth ? highX - lowX : highY - lowY;
    height = std::clamp(std::min(across / 30, along / 6), 2.5, 60.0);
    const std::string name = nestedPieceName(p);
    return {(lowX + highX) / 2 - approximateTextWidth(name, height) / 2, (lowY + highY) / 2 - height / 2};
}

}  // namespace

std::string nestSummary(const MaterialNest& n)
{
    if (n.kind == NestKind::pipe)
        return "单根管排料：各节相邻转 180° 共用切口，共 " + std::to_string(n.pieces.size() - 1) + " 道切口；需管长 " +
               oneDecimal(n.pipeLength) + " mm（各节中心线共 " + oneDecimal(n.piecesLength) + " mm），割缝损耗 " +
               oneDecimal(n.waste) + " mm，利用率 " + oneDecimal(n.utilisation) + "%";
    return "钢板排料：" + doubleToText(n.stockWidth) + " × " + doubleToText(n.stockHeight) + " mm 钢板 " +
           std::to_string(n.stocks) + " 张，" + std::to_string(n.pieces.size()) + " 节相邻转 180° 共用切口、接缝错开" +
           (n.lanesAlongWidth ? "，各节转 90° 沿板长排" : "") + "；利用率 " + oneDecimal(n.utilisation) + "%";
}

std::vector<LayeredEntity> nestEntities(const MaterialNest& n)
{
    std::vector<LayeredEntity> out;
    const double gap = std::max(50.0, n.stockWidth / 10);
    const double labelHeight = std::clamp(n.stockWidth / 40, 5.0, 60.0);
    for (int s = 0; s < n.stocks; ++s) {
        const double x0 = s * (n.stockWidth + gap);
        entities::Polyline box;
        box.closed = true;
        for (const auto& [x, y] : {std::pair{0.0, 0.0}, {n.stockWidth, 0.0}, {n.stockWidth, n.stockHeight}, {0.0, n.stockHeight}})
            box.vertices.push_back({x0 + x, y, 0});
        out.push_back({kStockLayer, std::move(box)});
        const std::string name = n.kind == NestKind::pipe
                                     ? "管 展开 " + oneDecimal(n.stockWidth) + " × 长 " + oneDecimal(n.stockHeight) + " mm"
                                     : "钢板 " + std::to_string(s + 1) + "/" + std::to_string(n.stocks) + "  " +
                                           doubleToText(n.stockWidth) + " × " + doubleToText(n.stockHeight) + " mm";
        out.push_back({kTextLayer, entities::Text{name, Point3{x0, -1.8 * labelHeight, 0}, labelHeight, 0}});
    }
    for (const NestedPiece& p : n.pieces) {
        const double x0 = p.stock * (n.stockWidth + gap);
        entities::Polyline outline;
        outline.closed = true;
        for (const TemplatePoint& v : p.outline) outline.vertices.push_back({x0 + v.x, v.y, 0});
        out.push_back({kCutLayer, std::move(outline)});
        double height = 0;
        const TemplatePoint at = nameAt(p, n.lanesAlongWidth, height);
        out.push_back({kTextLayer, entities::Text{nestedPieceName(p), Point3{x0 + at.x, at.y, 0}, height, 0}});
    }
    return out;
}

}  // namespace tessik

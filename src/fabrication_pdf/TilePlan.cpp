#include "TilePlan.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <set>
#include <utility>

namespace tessik {
namespace {

struct Box {
    double x0, y0, x1, y1;
};

Box window(const TileGrid& g, int row, int column)
{
    const double left = g.left(column), upper = g.upper(row);
    return {left, upper - g.height, left + g.width, upper};
}

// Whether the segment a-b meets the closed box (Liang-Barsky clipping).
bool segmentMeetsBox(TemplatePoint a, TemplatePoint b, const Box& box)
{
    double t0 = 0, t1 = 1;
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x - box.x0, box.x1 - a.x, a.y - box.y0, box.y1 - a.y};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0) return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0) t0 = std::max(t0, t);
        else t1 = std::min(t1, t);
        if (t0 > t1) return false;
    }
    return true;
}

// Even-odd rule over the closed outline.
bool inside(const std::vector<TemplatePoint>& outline, double x, double y, std::size_t step = 1)
{
    bool in = false;
    const std::size_t n = outline.size();
    for (std::size_t i = 0, j = n - 1 - (n - 1) % step; i < n; j = i, i += step) {
        const TemplatePoint& a = outline[i];
        const TemplatePoint& b = outline[j];
        if ((a.y > y) != (b.y > y) && x < (b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x) in = !in;
    }
    return in;
}

// Columns (or rows) whose span [start + k stride, + length] meets [lo, hi].
std::pair<int, int> spans(double start, double stride, double length, int count, double lo, double hi)
{
    const double first = std::ceil((lo - start - length) / stride);
    const double last = std::floor((hi - start) / stride);
    return {static_cast<int>(std::clamp(first, 0.0, static_cast<double>(count))),
            static_cast<int>(std::clamp(last, -1.0, static_cast<double>(count - 1)))};
}

std::pair<int, int> columnsMeeting(const TileGrid& g, double lo, double hi)
{
    return spans(g.x0, g.strideX, g.width, g.columns, lo, hi);
}

// Rows run downwards: row r spans [top - r strideY - height, top - r strideY].
std::pair<int, int> rowsMeeting(const TileGrid& g, double lo, double hi)
{
    return spans(-g.top, g.strideY, g.height, g.rows, -hi, -lo);
}

// The tiles one piece lies on: those its outline crosses, and those wholly inside it.
void tilesOfPiece(const PieceTemplate& piece, const TileGrid& g, std::set<std::pair<int, int>>& on)
{
    const std::vector<TemplatePoint>& v = piece.outline;
    if (v.size() < 3) return;
    double lowX = v[0].x, highX = v[0].x, lowY = v[0].y, highY = v[0].y;
    for (std::size_t i = 0; i < v.size(); ++i) {
        const TemplatePoint a = v[i], b = v[(i + 1) % v.size()];
        lowX = std::min(lowX, a.x), highX = std::max(highX, a.x), lowY = std::min(lowY, a.y), highY = std::max(highY, a.y);
        const auto [c0, c1] = columnsMeeting(g, std::min(a.x, b.x), std::max(a.x, b.x));
        const auto [r0, r1] = rowsMeeting(g, std::min(a.y, b.y), std::max(a.y, b.y));
        for (int r = r0; r <= r1; ++r)
            for (int c = c0; c <= c1; ++c)
                if (!on.count({r, c}) && segmentMeetsBox(a, b, window(g, r, c))) on.insert({r, c});
    }
    // A tile no edge meets lies wholly inside or wholly outside: its centre tells which.
    const auto [c0, c1] = columnsMeeting(g, lowX, highX);
    const auto [r0, r1] = rowsMeeting(g, lowY, highY);
    for (int r = r0; r <= r1; ++r)
        for (int c = c0; c <= c1; ++c) {
            if (on.count({r, c})) continue;
            const Box b = window(g, r, c);
            if (inside(v, (b.x0 + b.x1) / 2, (b.y0 + b.y1) / 2)) on.insert({r, c});
        }
}

}  // namespace

std::vector<PlannedTile> plannedTiles(const TemplateSheet& sheet, const TileGrid& grid, bool* searched)
{
    const bool search = grid.columns > 0 && grid.rows > 0 && grid.strideX > 0 && grid.strideY > 0 &&
                        static_cast<long long>(grid.columns) * grid.rows <= kMostPlannedTiles;
    if (searched) *searched = search;
    if (!search) return {};
    std::map<std::pair<int, int>, std::vector<int>> tiles;  // ordered by row, then column
    for (std::size_t i = 0; i < sheet.pieces.size(); ++i) {
        std::set<std::pair<int, int>> on;
        tilesOfPiece(sheet.pieces[i], grid, on);
        for (const auto& rc : on) tiles[rc].push_back(static_cast<int>(i));
    }
    std::vector<PlannedTile> out;
    out.reserve(tiles.size());
    for (auto& [rc, pieces] : tiles) out.push_back({rc.first, rc.second, std::move(pieces)});
    return out;
}

namespace {

// The sample of a grid over the box whose name lies most on the piece, then
// nearest the box's middle; none where no sample falls on the piece.
std::optional<TemplatePoint> bestSample(const PieceTemplate& piece, const Box& box, int samples, std::size_t step,
                                        double halfWidth, double halfHeight)
{
    const auto in = [&](double x, double y) { return inside(piece.outline, x, y, step); };
    std::optional<TemplatePoint> best;
    double bestScore = -1;
    for (int i = 1; i < samples; ++i) {
        for (int j = 1; j < samples; ++j) {
            const double x = box.x0 + (box.x1 - box.x0) * i / samples, y = box.y0 + (box.y1 - box.y0) * j / samples;
            if (!in(x, y)) continue;
            const int corners = in(x - halfWidth, y - halfHeight) + in(x + halfWidth, y - halfHeight) +
                                in(x - halfWidth, y + halfHeight) + in(x + halfWidth, y + halfHeight);
            const double central = std::min({x - box.x0, box.x1 - x, y - box.y0, box.y1 - y});
            const double score = corners * 1e9 + central;
            if (score > bestScore) {
                bestScore = score;
                best = TemplatePoint{x, y};
            }
        }
    }
    return best;
}

}  // namespace

TemplatePoint nameSpot(const PieceTemplate& piece, double x0, double y0, double x1, double y1, double band,
                       double halfWidth, double halfHeight)
{
    // Placing a name needs no fine outline: a long outline is thinned for it.
    const std::size_t step = std::max<std::size_t>(1, piece.outline.size() / 2000);
    const Box clear{x0 + band, y0 + band, x1 - band, y1 - band};
    if (clear.x0 < clear.x1 && clear.y0 < clear.y1)
        if (const auto spot = bestSample(piece, clear, 9, step, halfWidth, halfHeight)) return *spot;
    // The piece lies only in the overlap bands or in a sliver: a finer search
    // of the whole tile against the whole outline.
    const Box whole{x0, y0, x1, y1};
    if (const auto spot = bestSample(piece, whole, 40, 1, halfWidth, halfHeight)) return *spot;
    // Thinner still: the middle of the outline's first stretch on the tile.
    const std::vector<TemplatePoint>& v = piece.outline;
    for (std::size_t i = 0; i < v.size(); ++i) {
        const TemplatePoint a = v[i], b = v[(i + 1) % v.size()];
        if (!segmentMeetsBox(a, b, whole)) continue;
        const TemplatePoint c{std::clamp((a.x + b.x) / 2, x0, x1), std::clamp((a.y + b.y) / 2, y0, y1)};
        return c;
    }
    return {(x0 + x1) / 2, (y0 + y1) / 2};
}

}  // namespace tessik
